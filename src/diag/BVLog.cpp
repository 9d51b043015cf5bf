#include "diag/BVLog.h"

#include "diag/BVWin32Semaphore.h"
#include "file/BVWin32File.h"
#include "text/TextBytes.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

namespace {

// The one log of the process, set up by the runtime when the DLL is loaded.
// Before that its storage is zero, so an early Write finds it disabled.
BVLog theLog;

// Registered only once the log is whole: the runtime then runs the exit
// routine before the log's own destructor, not after it.
[[maybe_unused]] const int exitRoutineRegistered = std::atexit(BVLog::RunExitRoutine);

bool SameSecond(const SYSTEMTIME& a, const SYSTEMTIME& b) {
    return a.wYear == b.wYear && a.wMonth == b.wMonth && a.wDay == b.wDay && a.wHour == b.wHour &&
           a.wMinute == b.wMinute && a.wSecond == b.wSecond;
}

// Appending, creating the file when it is missing: mode ModeWrite | ModeAppend.
std::unique_ptr<BVWin32File> OpenLogFile(BVString& path) {
    path.Terminate();
    if (path.Text() == nullptr)
        return nullptr;
    return std::unique_ptr<BVWin32File>(
        BVWin32File::Create(path.Text(), BVFile::ModeWrite | BVFile::ModeAppend));
}

} // namespace

BVLog::BVLog()
    : enabled(false), active(false), path(""), indent(0), timestamps(false), lastTime{},
      buffered(false), fill(0), buffer{}, lock(new (std::nothrow) BVWin32Semaphore(1, 1)) {
    if (lock != nullptr)
        lock->IsValid();
}

void BVLog::Write(const char* format, ...) {
    if (!theLog.enabled)
        return;
    va_list args;
    va_start(args, format);
    theLog.WriteV(format, args);
    va_end(args);
}

void BVLog::WriteV(const char* format, va_list args) {
    if (lock != nullptr && !lock->Wait(-1))
        return;
    char message[kMessageSize];
    if (std::vsnprintf(message, sizeof message, format, args) < 0)
        message[0] = '\0';
    message[kMessageSize - 1] = '\0';
    SYSTEMTIME now{};
    if (clock != nullptr)
        clock(&now);
    else
        GetLocalTime(&now);
    char stamp[48]; // 22 bytes for any real time; room for the widest WORD values
    if (SameSecond(now, lastTime))
        std::snprintf(stamp, sizeof stamp, "%*s", kStampLength, "");
    else
        std::snprintf(stamp, sizeof stamp, "%04d/%02d/%02d %02d:%02d:%02d : ", now.wYear,
                      now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    char indentation[kMaxIndent + 1];
    const int spaces = std::clamp(indent, 0, kMaxIndent);
    std::memset(indentation, ' ', static_cast<std::size_t>(spaces));
    indentation[spaces] = '\0';
    if (active)
        WriteLine(stamp, indentation, message, now);
    if (lock != nullptr)
        lock->Signal(1);
}

void BVLog::WriteLine(const char* stamp, const char* indentation, const char* message,
                      const SYSTEMTIME& now) {
    bool ok = true;
    if (buffered) {
        if (timestamps)
            ok = Append(stamp);
        lastTime = now;
        ok = ok && Append(indentation) && Append(message);
    } else {
        ok = WriteUnbuffered(stamp, indentation, message, now);
    }
    if (!ok)
        active = false;
}

// A file that cannot be opened costs this one line and nothing more; a write
// that fails, including the one that closing makes, switches the log off.
bool BVLog::WriteUnbuffered(const char* stamp, const char* indentation, const char* message,
                            const SYSTEMTIME& now) {
    std::unique_ptr<BVWin32File> file = OpenLogFile(path);
    if (file == nullptr)
        return true;
    bool ok = true;
    if (timestamps)
        ok = file->WriteText(stamp, 0);
    lastTime = now;
    ok = ok && file->WriteText(indentation, 0) && file->WriteText(message, 0);
    // The text sits in the file's buffer until it is closed: only a close
    // that got it to the disk counts as written.
    return file->Close(false) && ok;
}

bool BVLog::Append(const char* text) {
    std::size_t left = std::strlen(text);
    while (left > 0) {
        if (static_cast<std::size_t>(fill) + left > kBufferSize && !WriteOut())
            return false;
        const std::size_t n = std::min(left, static_cast<std::size_t>(kBufferSize - fill));
        std::memcpy(buffer + fill, text, n);
        fill += static_cast<std::int32_t>(n);
        text += n;
        left -= n;
    }
    return true;
}

// Each LF becomes CR LF, except the byte after a lead byte, which goes out
// with it unchanged; a lead byte in the last place goes out alone.
bool BVLog::WriteOut() {
    if (fill == 0)
        return true;
    std::unique_ptr<BVWin32File> file = OpenLogFile(path);
    if (file == nullptr)
        return false;
    int runStart = 0;
    for (int i = 0; i < fill; ++i) {
        if (textbytes::IsLead(buffer[i])) {
            ++i; // the trail byte belongs to the run as it is
        } else if (buffer[i] == '\n') {
            if (!file->Write(buffer, runStart, i - runStart) || !file->Write("\r\n", 0, 2))
                return false;
            runStart = i + 1;
        }
    }
    if (!file->Write(buffer, runStart, fill - runStart) || !file->Close(false))
        return false;
    fill = 0;
    return true;
}

bool BVLog::Flush() {
    if (theLog.lock != nullptr && !theLog.lock->Wait(-1))
        return false;
    const bool ok = theLog.WriteOut();
    if (theLog.lock != nullptr)
        theLog.lock->Signal(1);
    return ok;
}

// After a failed write the log writes nothing more, at exit neither.
void BVLog::Exit() {
    if (buffered && active && (lock == nullptr || lock->Wait(-1))) {
        WriteOut();
        if (lock != nullptr)
            lock->Signal(1);
    }
    delete lock;
    lock = nullptr;
    path = BVString();
}

void BVLog::RunExitRoutine() {
    theLog.Exit();
}

void BVLog::EnableForTest(const BVLogSettings& settings) {
    theLog.enabled = true;
    theLog.active = true;
    theLog.path = BVString(settings.path != nullptr ? settings.path : "");
    theLog.timestamps = settings.timestamps;
    theLog.buffered = settings.buffered;
    theLog.indent = std::clamp(settings.indent, 0, kMaxIndent);
    theLog.lastTime = SYSTEMTIME{};
    theLog.fill = 0;
}

void BVLog::DisableForTest() {
    theLog.enabled = false;
    theLog.active = false;
    theLog.path = BVString("");
    theLog.fill = 0;
}

bool BVLog::IsActiveForTest() {
    return theLog.active;
}

BVLog::Clock BVLog::SetClockForTest(Clock clock) {
    std::swap(theLog.clock, clock);
    return clock;
}

BVSemaphore* BVLog::SetLockForTest(BVSemaphore* lock) {
    std::swap(theLog.lock, lock);
    return lock;
}
