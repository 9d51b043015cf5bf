// kernel32's file calls as the file classes use them. The same tests run
// natively against the stand-in and under Wine against the real calls, which
// keeps the stand-in honest.
#include "platform/Win32.h"

#include "support/TestTempDir.h"
#ifndef _WIN32
#include "platform/Win32TestDouble.h"
#endif

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

class Win32Files : public testing::Test {
  protected:
    HANDLE Open(const std::string& name, DWORD access, DWORD share, DWORD disposition,
                DWORD flags = FILE_ATTRIBUTE_NORMAL) {
        return CreateFileA(dir.Path(name).c_str(), access, share, nullptr, disposition, flags,
                           nullptr);
    }
    std::string ReadAll(HANDLE file) {
        char chunk[64];
        std::string text;
        DWORD done = 0;
        while (ReadFile(file, chunk, sizeof chunk, &done, nullptr) && done > 0)
            text.append(chunk, done);
        return text;
    }
    bool WriteAll(HANDLE file, const std::string& text) {
        DWORD done = 0xCAFECAFE;
        return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &done, nullptr) &&
               done == text.size();
    }

    TestTempDir dir;
};

struct DispositionCase {
    const char* name;
    DWORD access;
    DWORD disposition;
    bool exists;
    bool opens;
    DWORD error;         // GetLastError after the call, success or not
    const char* content; // what reading the file afterwards gives ("" when missing)
};

TEST_F(Win32Files, Dispositions) {
    const DispositionCase cases[] = {
        {"create new, missing", GENERIC_WRITE, CREATE_NEW, false, true, ERROR_SUCCESS, ""},
        {"create new, present", GENERIC_WRITE, CREATE_NEW, true, false, ERROR_FILE_EXISTS, "old"},
        {"create always, missing", GENERIC_WRITE, CREATE_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"create always, present", GENERIC_WRITE, CREATE_ALWAYS, true, true, ERROR_ALREADY_EXISTS,
         ""},
        {"open existing, missing", GENERIC_READ, OPEN_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
         ""},
        {"open existing, present", GENERIC_WRITE, OPEN_EXISTING, true, true, ERROR_SUCCESS, "old"},
        {"open always, missing", GENERIC_WRITE, OPEN_ALWAYS, false, true, ERROR_SUCCESS, ""},
        {"open always, present", GENERIC_WRITE, OPEN_ALWAYS, true, true, ERROR_ALREADY_EXISTS,
         "old"},
        {"truncate, present", GENERIC_WRITE, TRUNCATE_EXISTING, true, true, ERROR_SUCCESS, ""},
        {"truncate, missing", GENERIC_WRITE, TRUNCATE_EXISTING, false, false, ERROR_FILE_NOT_FOUND,
         ""},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::string name = "f" + std::to_string(row++);
        if (c.exists)
            dir.WriteText(name, "old");
        SetLastError(0xCAFE);
        HANDLE file = Open(name, c.access, 0, c.disposition);
        EXPECT_EQ(GetLastError(), c.error);
        ASSERT_EQ(file != INVALID_HANDLE_VALUE, c.opens);
        if (file != INVALID_HANDLE_VALUE) {
            EXPECT_TRUE(CloseHandle(file));
        }
        EXPECT_EQ(dir.ReadText(name), c.content);
    }
}

TEST_F(Win32Files, MissingFolderAndEmptyName) {
    HANDLE file = Open("no-such-folder/f", GENERIC_READ, 0, OPEN_EXISTING);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    file = CreateFileA("", GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
}

TEST_F(Win32Files, AccessDecidesReadAndWrite) {
    dir.WriteText("f", "abc");
    HANDLE reader = Open("f", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(WriteAll(reader, "x"));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReadAll(reader), "abc");
    CloseHandle(reader);

    HANDLE writer = Open("f", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    char byte;
    DWORD done = 0xCAFE;
    EXPECT_FALSE(ReadFile(writer, &byte, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(done, 0u);
    EXPECT_TRUE(WriteAll(writer, "xy"));
    CloseHandle(writer);
    EXPECT_EQ(dir.ReadText("f"), "xyc");
}

struct ShareCase {
    DWORD firstAccess, firstShare, secondAccess, secondShare;
    bool opens;
};

TEST_F(Win32Files, ShareModesBindBothSides) {
    const DWORD R = GENERIC_READ, W = GENERIC_WRITE, SR = FILE_SHARE_READ, SW = FILE_SHARE_WRITE;
    const ShareCase cases[] = {
        {R, 0, R, SR | SW, false},
        {R, SR, R, SR, true},
        {R, SR, R, 0, false},
        {R, SR, W, SR | SW, false},
        {R, SR | SW, W, SW, false},
        {R, SR | SW, W, SR | SW, true},
        {W, SR, R, SR | SW, true},
        {W, SR, R, SR, false},
        {W, SR, W, SR | SW, false},
        {W, SW, W, SW, true},
        {R | W, SR | SW, R | W, SR | SW, true},
        {R | W, SR, R, SR, false},
        {R, SR | SW, W, SR, true},
    };
    dir.WriteText("f", "abc");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.firstAccess << "/" << c.firstShare
                                        << " then " << c.secondAccess << "/" << c.secondShare);
        HANDLE first = Open("f", c.firstAccess, c.firstShare, OPEN_EXISTING);
        ASSERT_NE(first, INVALID_HANDLE_VALUE);
        HANDLE second = Open("f", c.secondAccess, c.secondShare, OPEN_EXISTING);
        EXPECT_EQ(second != INVALID_HANDLE_VALUE, c.opens);
        if (second == INVALID_HANDLE_VALUE) {
            EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
        } else {
            CloseHandle(second);
        }
        CloseHandle(first);
    }
}

TEST_F(Win32Files, SharingViolationDoesNotTruncate) {
    dir.WriteText("f", "keep");
    HANDLE reader = Open("f", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Open("f", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
    CloseHandle(reader);
    EXPECT_EQ(dir.ReadText("f"), "keep");
}

TEST_F(Win32Files, ReadOnlyFileRefusesWriting) {
    dir.WriteText("f", "ro");
    dir.MakeReadOnly("f");
    for (DWORD disposition : {OPEN_EXISTING, OPEN_ALWAYS, CREATE_ALWAYS}) {
        SCOPED_TRACE(disposition);
        HANDLE writer = Open("f", GENERIC_WRITE, 0, disposition);
        if (writer != INVALID_HANDLE_VALUE) {
            CloseHandle(writer);
            // Wine run by the superuser opens the file as the superuser may.
            GTEST_SKIP() << "this platform lets the superuser write read-only files";
        }
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
    HANDLE reader = Open("f", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadAll(reader), "ro");
    CloseHandle(reader);
}

TEST_F(Win32Files, FolderOpensOnlyWithBackupSemantics) {
    dir.MakeFolder("d");
    EXPECT_EQ(Open("d", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(Open("d", GENERIC_WRITE, 0, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);

    HANDLE folder =
        Open("d", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE);
    FILETIME written{};
    EXPECT_TRUE(GetFileTime(folder, nullptr, nullptr, &written));
    EXPECT_NE(written.dwHighDateTime, 0u);
    char byte;
    DWORD done = 0xCAFE;
    EXPECT_FALSE(ReadFile(folder, &byte, 1, &done, nullptr));
    EXPECT_EQ(done, 0u);
    CloseHandle(folder);
}

TEST_F(Win32Files, FilePointerAndSize) {
    HANDLE file = Open("f", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(WriteAll(file, "0123456789"));
    DWORD high = 0xCAFE;
    EXPECT_EQ(GetFileSize(file, &high), 10u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 10u);
    EXPECT_EQ(SetFilePointer(file, -4, nullptr, FILE_END), 6u);
    EXPECT_EQ(ReadAll(file), "6789");
    EXPECT_EQ(SetFilePointer(file, 3, nullptr, FILE_BEGIN), 3u);
    EXPECT_EQ(SetFilePointer(file, 2, nullptr, FILE_CURRENT), 5u);

    // Before the start: refused, and the pointer stays where it was.
    EXPECT_EQ(SetFilePointer(file, -6, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
    EXPECT_EQ(SetFilePointer(file, 0, nullptr, FILE_CURRENT), 5u);

    // A 64-bit distance through the high part.
    LONG distanceHigh = -1;
    EXPECT_EQ(SetFilePointer(file, -2, &distanceHigh, FILE_END), 8u);
    EXPECT_EQ(distanceHigh, 0);
    distanceHigh = -1;
    EXPECT_EQ(SetFilePointer(file, -20, &distanceHigh, FILE_END), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);

    // Past the end is allowed; reading there ends at once, writing extends.
    EXPECT_EQ(SetFilePointer(file, 20, nullptr, FILE_BEGIN), 20u);
    EXPECT_EQ(ReadAll(file), "");
    ASSERT_TRUE(WriteAll(file, "!"));
    EXPECT_EQ(GetFileSize(file, nullptr), 21u);
    CloseHandle(file);
    std::string text = dir.ReadText("f");
    EXPECT_EQ(text, std::string("0123456789") + std::string(10, '\0') + "!");
}

TEST_F(Win32Files, FileTimesNeedWriteAccessToBeSet) {
    dir.WriteText("f", "t");
    // 2001-02-03 04:05:06 UTC and one day later, in 100 ns ticks since 1601.
    const unsigned long long day = 864000000000ULL;
    const unsigned long long base = 126256251060000000ULL;
    FILETIME accessed{static_cast<DWORD>(base), static_cast<DWORD>(base >> 32)};
    FILETIME written{static_cast<DWORD>(base + day), static_cast<DWORD>((base + day) >> 32)};

#ifndef _WIN32
    // Windows wants FILE_WRITE_ATTRIBUTES, which GENERIC_READ lacks; Wine does
    // not check, so this holds for the stand-in and Windows only.
    HANDLE reader = Open("f", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(SetFileTime(reader, nullptr, &accessed, &written));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    CloseHandle(reader);
#endif

    HANDLE both = Open("f", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS);
    ASSERT_NE(both, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(SetFileTime(both, nullptr, &accessed, &written));
    FILETIME created{}, gotAccessed{}, gotWritten{};
    ASSERT_TRUE(GetFileTime(both, &created, &gotAccessed, &gotWritten));
    EXPECT_EQ(gotWritten.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(gotWritten.dwHighDateTime, written.dwHighDateTime);
    EXPECT_EQ(gotAccessed.dwHighDateTime, accessed.dwHighDateTime);
    EXPECT_NE(created.dwHighDateTime, 0u);
    CloseHandle(both);
}

TEST_F(Win32Files, WideNames) {
    std::wstring name = L"wide-\u00e9\u65e5.txt";
    HANDLE file = CreateFileW(dir.WidePath(name).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(WriteAll(file, "w"));
    CloseHandle(file);
    file = CreateFileW(dir.WidePath(name).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadAll(file), "w");
    CloseHandle(file);
}

TEST_F(Win32Files, ClosedHandleIsInvalid) {
    HANDLE file = Open("f", GENERIC_READ | GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(CloseHandle(file));
    EXPECT_FALSE(CloseHandle(file));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    // The share mode ended with the handle.
    file = Open("f", GENERIC_READ | GENERIC_WRITE, 0, OPEN_EXISTING);
    EXPECT_NE(file, INVALID_HANDLE_VALUE);
    CloseHandle(file);
}

#ifndef _WIN32
class Win32TestDoubles : public Win32Files {
  protected:
    void TearDown() override { Win32TestDouble::Reset(); }
};

TEST_F(Win32TestDoubles, FullDiskWritesWhatFits) {
    HANDLE file = Open("f", GENERIC_WRITE, 0, CREATE_ALWAYS);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Win32TestDouble::SetDiskSpace(5);
    EXPECT_TRUE(WriteAll(file, "abc"));
    DWORD done = 0xCAFE;
    EXPECT_FALSE(WriteFile(file, "defg", 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_DISK_FULL);
    EXPECT_EQ(done, 2u);
    EXPECT_FALSE(WriteFile(file, "h", 1, &done, nullptr));
    EXPECT_EQ(done, 0u);
    CloseHandle(file);
    EXPECT_EQ(dir.ReadText("f"), "abcde");
}

TEST_F(Win32TestDoubles, ReadFault) {
    dir.WriteText("f", "abc");
    HANDLE file = Open("f", GENERIC_READ, 0, OPEN_EXISTING);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    Win32TestDouble::SetReadFault(true);
    char bytes[4];
    DWORD done = 0xCAFE;
    EXPECT_FALSE(ReadFile(file, bytes, 4, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_READ_FAULT);
    EXPECT_EQ(done, 0u);
    Win32TestDouble::SetReadFault(false);
    EXPECT_EQ(ReadAll(file), "abc");
    CloseHandle(file);
}

TEST_F(Win32TestDoubles, MadeUpHandlesAreRefused) {
    int local = 0;
    DWORD done;
    EXPECT_FALSE(ReadFile(&local, &local, 1, &done, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(GetFileSize(INVALID_HANDLE_VALUE, nullptr), INVALID_FILE_SIZE);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}
#endif

} // namespace
