// BVLog: the process-wide diagnostic log.
//
// BVLog::Write formats like printf, puts a local-time stamp and an indentation
// before the message and appends it to a Shift-JIS text file, either at once
// or through a 16384-byte buffer written out when the next piece would not
// fit and when the process ends. Every LF goes to the file as CR LF, except a
// byte that follows a Shift-JIS lead byte. One unnamed semaphore serialises
// every call, so lines from different threads never interleave.
//
// The product never switches the log on: Write returns at once, without
// taking the lock, reading the clock or formatting. After the first failed
// write the log switches itself off for the rest of the process.
//
// Switching it on in tests
// ------------------------
// The tests' BVLogCapture (tests/support/) is built on EnableForTest, which
// takes every setting; for the log's own tests the clock and the lock can be
// replaced as well. These calls are for one thread at a time, before any
// other thread logs; nothing in the product calls them.
#pragma once

#include "platform/Win32.h"
#include "text/BVString.h"

#include <cstdint>

class BVSemaphore;

struct BVLogSettings {
    const char* path = "";   // in the process's narrow code page
    bool timestamps = false; // stamp (or its 22 blanks) before each message
    bool buffered = false;   // collect lines in the 16384-byte buffer
    int indent = 0;          // spaces between stamp and message, 0..31
};

class BVLog {
  public:
    static constexpr int kMessageSize = 1024; // longer messages are cut to 1023 bytes
    static constexpr int kBufferSize = 16384;
    static constexpr int kStampLength = 22; // "yyyy/mm/dd hh:mm:ss : "
    static constexpr int kMaxIndent = 31;

    static void Write(const char* format, ...) BV_PRINTF_FORMAT(1, 2);
    // Writes the buffered lines out; false when the file cannot be opened or
    // written (the lines stay in the buffer).
    static bool Flush();
    // The exit routine, registered with atexit when the log is set up: the
    // last write-out of buffered lines, then the lock and the path are
    // released. (Tests that run it give the log a new lock afterwards.)
    static void RunExitRoutine();

    // --- test-only --------------------------------------------------------
    // Switches the log on (enabled and active) with these settings and an
    // empty buffer, or off again (disabled, buffer dropped, path empty).
    static void EnableForTest(const BVLogSettings& settings);
    static void DisableForTest();
    // False once a failed write has switched the log off.
    static bool IsActiveForTest();
    // Replaces the clock (null: GetLocalTime again); returns the one before.
    using Clock = void (*)(SYSTEMTIME* now);
    static Clock SetClockForTest(Clock clock);
    // Replaces the lock, which the log then owns and destroys; returns the
    // one before, which the caller now owns (null: the log runs unlocked).
    static BVSemaphore* SetLockForTest(BVSemaphore* lock);

    BVLog();
    BVLog(const BVLog&) = delete;
    BVLog& operator=(const BVLog&) = delete;

  private:
    void WriteV(const char* format, va_list args);
    void WriteLine(const char* stamp, const char* indentation, const char* message,
                   const SYSTEMTIME& now);
    bool WriteUnbuffered(const char* stamp, const char* indentation, const char* message,
                         const SYSTEMTIME& now);
    bool Append(const char* text);
    bool WriteOut();
    void Exit();

    bool enabled;
    bool active;
    BVString path;
    std::int32_t indent;
    bool timestamps;
    SYSTEMTIME lastTime;
    bool buffered;
    std::int32_t fill;
    std::uint8_t buffer[kBufferSize];
    BVSemaphore* lock;
    Clock clock = nullptr;
};
