#include "diag/BVLog.h"
#include "support/BVLogCapture.h"

#include "diag/BVWin32Semaphore.h"
#include "support/TestTempDir.h"
#ifndef _WIN32
#include "platform/Win32TestDouble.h"
#endif

#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// A working lock that counts its use and can be told to refuse.
class CountingSemaphore : public BVWin32Semaphore {
  public:
    // At destruction *waitsAtEnd gets the number of waits, which stays
    // readable after the log has destroyed its lock; -1 while it lives.
    explicit CountingSemaphore(int* waitsAtEnd = nullptr) : waitsAtEnd(waitsAtEnd) {
        if (waitsAtEnd != nullptr)
            *waitsAtEnd = -1;
    }
    ~CountingSemaphore() override {
        if (waitsAtEnd != nullptr)
            *waitsAtEnd = waits;
    }
    bool Wait(std::int32_t timeoutMs) override {
        ++waits;
        return !refuse && BVWin32Semaphore::Wait(timeoutMs);
    }
    void Signal(std::int32_t count) override {
        ++signals;
        BVWin32Semaphore::Signal(count);
    }
    std::atomic<int> waits{0}, signals{0};
    bool refuse = false;

  private:
    int* waitsAtEnd;
};

SYSTEMTIME fakeNow;
std::atomic<int> clockReads{0};

void FakeClock(SYSTEMTIME* now) {
    ++clockReads;
    *now = fakeNow;
}

void SetFakeTime(int hour, int minute, int second, int millisecond) {
    fakeNow = SYSTEMTIME{};
    fakeNow.wYear = 2026;
    fakeNow.wMonth = 5;
    fakeNow.wDay = 22;
    fakeNow.wHour = static_cast<WORD>(hour);
    fakeNow.wMinute = static_cast<WORD>(minute);
    fakeNow.wSecond = static_cast<WORD>(second);
    fakeNow.wMilliseconds = static_cast<WORD>(millisecond);
}

class BVLogTest : public testing::Test {
  protected:
    void SetUp() override {
        lock = new CountingSemaphore(&waitsAtEnd);
        delete BVLog::SetLockForTest(lock);
        BVLog::SetClockForTest(FakeClock);
        clockReads = 0;
        SetFakeTime(13, 4, 5, 0);
    }
    void TearDown() override {
        BVLog::DisableForTest();
        BVLog::SetClockForTest(nullptr);
        delete BVLog::SetLockForTest(new BVWin32Semaphore);
#ifndef _WIN32
        Win32TestDouble::Reset();
#endif
    }
    void Enable(bool buffered, bool timestamps = false, int indent = 0,
                const std::string& name = "log") {
        logPath = dir.Path(name);
        BVLogSettings settings;
        settings.path = logPath.c_str();
        settings.buffered = buffered;
        settings.timestamps = timestamps;
        settings.indent = indent;
        BVLog::EnableForTest(settings);
    }
    // What the file holds once buffered lines are written out.
    std::string Logged() {
        BVLog::Flush();
        return dir.ReadText("log");
    }

    TestTempDir dir;
    std::string logPath;
    CountingSemaphore* lock = nullptr; // owned by the log
    int waitsAtEnd = -1;               // the lock's waits once the log destroyed it
};

TEST_F(BVLogTest, DisabledTakesNoLockReadsNoClockWritesNothing) {
    Enable(false);
    BVLog::DisableForTest();
    for (int i = 0; i < 3; ++i)
        BVLog::Write("[BVInflate] line %d - %s\n", i, "name");
    EXPECT_EQ(lock->waits, 0);
    EXPECT_EQ(lock->signals, 0);
    EXPECT_EQ(clockReads, 0);
    EXPECT_TRUE(dir.ReadText("log").empty());
}

TEST_F(BVLogTest, StampAndItsBlankReplacement) {
    for (bool buffered : {false, true}) {
        SCOPED_TRACE(buffered ? "buffered" : "unbuffered");
        dir.WriteText("log", "");
        Enable(buffered, true, 3);
        SetFakeTime(13, 4, 5, 10);
        BVLog::Write("a=%d\n", 1);
        SetFakeTime(13, 4, 5, 990); // the same second
        BVLog::Write("b\n");
        SetFakeTime(13, 4, 6, 0);
        BVLog::Write("c\n");
        const std::string blank(22, ' ');
        EXPECT_EQ(Logged(), "2026/05/22 13:04:05 :    a=1\r\n" + blank + "   b\r\n" +
                                "2026/05/22 13:04:06 :    c\r\n");
        EXPECT_EQ(clockReads, 3);
        clockReads = 0;
    }
}

TEST_F(BVLogTest, WithoutStampsOnlyIndentAndMessage) {
    Enable(false, false, 40); // indents beyond 31 are held to 31
    BVLog::Write("x\n");
    EXPECT_EQ(Logged(), std::string(31, ' ') + "x\r\n");
}

TEST_F(BVLogTest, MessagesAreCutAt1023Bytes) {
    for (bool buffered : {false, true}) {
        SCOPED_TRACE(buffered ? "buffered" : "unbuffered");
        dir.WriteText("log", "");
        Enable(buffered);
        BVLog::Write("%s\n", std::string(2000, 'a').c_str());
        EXPECT_EQ(Logged(), std::string(1023, 'a')); // the line end was cut off too
    }
}

TEST_F(BVLogTest, BufferedModeWritesOutWhenTheNextPieceWouldNotFit) {
    Enable(true);
    const std::string piece(1023, 'x');
    for (int i = 0; i < 16; ++i)
        BVLog::Write("%s", piece.c_str());
    BVLog::Write("%s", std::string(16384 - 16 * 1023, 'y').c_str()); // exactly full
    EXPECT_TRUE(dir.ReadText("log").empty());
    BVLog::Write("z");
    EXPECT_EQ(dir.ReadText("log").size(), 16384u);
    EXPECT_EQ(Logged().size(), 16385u);
    EXPECT_EQ(dir.ReadText("log").back(), 'z');
}

TEST_F(BVLogTest, ShiftJisAndLineEnds) {
    // "[BVInflate] ファイル\n" in Shift-JIS, then a double-byte character whose
    // second byte is 0x0A, which must not get a CR.
    const std::string message = "[BVInflate] \x83\x74\x83\x40\x83\x43\x83\x8b\n";
    const std::string odd = "a\nb\x82\x0a";
    for (bool buffered : {false, true}) {
        SCOPED_TRACE(buffered ? "buffered" : "unbuffered");
        dir.WriteText("log", "");
        Enable(buffered);
        BVLog::Write("%s", message.c_str());
        BVLog::Write("%sc\n", odd.c_str());
        EXPECT_EQ(Logged(), "[BVInflate] \x83\x74\x83\x40\x83\x43\x83\x8b\r\n"
                            "a\r\nb\x82\x0a"
                            "c\r\n");
    }
    // Buffered: a lead byte in the last place goes out alone.
    dir.WriteText("log", "");
    Enable(true);
    BVLog::Write("\x82");
    EXPECT_EQ(Logged(), "\x82");
}

TEST_F(BVLogTest, FailedWriteOutSwitchesTheLogOff) {
    Enable(true, false, 0, "missing-folder/log");
    BVLog::Write("%s", std::string(1000, 'x').c_str());
    EXPECT_FALSE(BVLog::Flush());
    EXPECT_TRUE(BVLog::IsActiveForTest()); // a Flush of its own does not switch it off
    for (int i = 0; i < 17; ++i)
        BVLog::Write("%s", std::string(1000, 'x').c_str());
    EXPECT_FALSE(BVLog::IsActiveForTest());
    // Still locked and stamped, but nothing goes anywhere any more.
    const int waits = lock->waits;
    BVLog::Write("more\n");
    EXPECT_EQ(lock->waits, waits + 1);
    EXPECT_FALSE(BVLog::IsActiveForTest());
}

TEST_F(BVLogTest, EmptyPathSwitchesOffAtTheFirstWriteOut) {
    BVLogSettings settings; // the initial path: ""
    settings.buffered = true;
    BVLog::EnableForTest(settings);
    for (int i = 0; i < 17; ++i)
        BVLog::Write("%s", std::string(1000, 'x').c_str());
    EXPECT_FALSE(BVLog::IsActiveForTest());
}

TEST_F(BVLogTest, UnopenableFileCostsOneLine) {
    Enable(false, false, 0, "missing-folder/log");
    BVLog::Write("lost\n");
    EXPECT_TRUE(BVLog::IsActiveForTest());
}

#ifndef _WIN32
TEST_F(BVLogTest, FullDiskSwitchesTheLogOff) {
    Enable(false);
    BVLog::Write("first\n");
    Win32TestDouble::SetDiskSpace(3);
    BVLog::Write("second\n"); // only "sec" reaches the disk
    EXPECT_FALSE(BVLog::IsActiveForTest());
    Win32TestDouble::Reset();
    BVLog::Write("third\n");
    EXPECT_EQ(dir.ReadText("log"), "first\r\nsec");
}
#endif

TEST_F(BVLogTest, RefusedLockSkipsTheCall) {
    Enable(false);
    lock->refuse = true;
    BVLog::Write("x\n");
    EXPECT_EQ(lock->waits, 1);
    EXPECT_EQ(lock->signals, 0);
    EXPECT_EQ(clockReads, 0);
    EXPECT_TRUE(dir.ReadText("log").empty());
}

TEST_F(BVLogTest, ExitRoutineWritesOutAndReleases) {
    Enable(true);
    BVLog::Write("last\n");
    EXPECT_TRUE(dir.ReadText("log").empty());
    BVLog::RunExitRoutine();
    EXPECT_EQ(waitsAtEnd, 2); // the line, and the last write-out
    EXPECT_EQ(dir.ReadText("log"), "last\r\n");
    EXPECT_EQ(BVLog::SetLockForTest(nullptr), nullptr);
    // The path is gone: a line logged after exit goes nowhere.
    BVLog::Write("after\n");
    BVLog::RunExitRoutine();
    EXPECT_EQ(dir.ReadText("log"), "last\r\n");
}

TEST_F(BVLogTest, ExitAfterTheLogSwitchedItselfOffWritesNothing) {
    Enable(true, false, 0, "missing-folder/log");
    for (int i = 0; i < 17; ++i)
        BVLog::Write("%s", std::string(1000, 'x').c_str());
    ASSERT_FALSE(BVLog::IsActiveForTest());
    const int waits = lock->waits;
    BVLog::RunExitRoutine();
    EXPECT_EQ(waitsAtEnd, waits); // no write-out was even tried
}

TEST_F(BVLogTest, LinesFromManyThreadsNeverInterleave) {
    for (bool buffered : {false, true}) {
        SCOPED_TRACE(buffered ? "buffered" : "unbuffered");
        dir.WriteText("log", "");
        Enable(buffered);
        const std::string payload(300, 'p');
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([t, &payload] {
                for (int i = 0; i < 60; ++i)
                    BVLog::Write("T%d L%02d %s\n", t, i, payload.c_str());
            });
        for (auto& thread : threads)
            thread.join();
        std::istringstream lines(Logged());
        std::set<std::string> seen;
        std::string line;
        while (std::getline(lines, line)) {
            ASSERT_EQ(line.size(), 7 + payload.size() + 1) << line.substr(0, 40);
            ASSERT_EQ(line.back(), '\r');
            ASSERT_EQ(line.substr(7, payload.size()), payload);
            seen.insert(line.substr(0, 6));
        }
        EXPECT_EQ(seen.size(), 240u);
    }
}

TEST(BVLogCaptureTest, CapturesWhatTheLogWrites) {
    {
        BVLogCapture capture;
        BVLog::Write("[BVInflate] %s - %s\n", "\x83\x74\x83\x40", "0x1234");
        EXPECT_EQ(capture.Bytes(), "[BVInflate] \x83\x74\x83\x40 - 0x1234\r\n");
        capture.Clear();
        BVLog::Write("two\n");
        EXPECT_EQ(capture.Bytes(), "two\r\n");
    }
    BVLog::Write("after\n"); // switched off again
    EXPECT_FALSE(BVLog::IsActiveForTest());
}

} // namespace
