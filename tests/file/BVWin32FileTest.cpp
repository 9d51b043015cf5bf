#include "file/BVWin32File.h"

#include "support/TestTempDir.h"
#ifndef _WIN32
#include "platform/Win32TestDouble.h"
#endif

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t W = BVFile::ModeWrite, A = BVFile::ModeAppend, H = BVFile::ModeHandleOnly,
                        SR = BVFile::ModeShareRead, SW = BVFile::ModeShareWrite;

std::vector<std::uint8_t> Counting(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

std::string ReadText(BVFile& file, int count) {
    std::string text(static_cast<std::size_t>(count), '\0');
    const int n = file.Read(&text[0], 0, count);
    text.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return text;
}

class BVWin32FileTest : public testing::Test {
  protected:
    void TearDown() override {
#ifndef _WIN32
        Win32TestDouble::Reset();
#endif
    }
    std::unique_ptr<BVWin32File> Open(const std::string& name, std::uint32_t mode,
                                      std::uint32_t bufferSize = 8192) {
        auto file = std::make_unique<BVWin32File>();
        if (!file->Open(dir.Path(name).c_str(), mode, bufferSize))
            return nullptr;
        return file;
    }
    void MakeCounting(const std::string& name, std::size_t n) {
        dir.WriteBytes(name, Counting(n));
    }

    TestTempDir dir;
};

struct ModeCase {
    const char* name;
    std::uint32_t mode;
    bool exists;
    bool opens;
    const char* after; // the file after writing "new" and closing ("-": missing)
};

TEST_F(BVWin32FileTest, ModeRows) {
    const ModeCase cases[] = {
        {"read, missing", 0, false, false, "-"},
        {"read, present", 0, true, true, "old"},
        {"write, missing: created", W, false, true, "new"},
        {"write, present: truncated", W, true, true, "new"},
        {"write+append, missing: created", W | A, false, true, "new"},
        {"write+append, present: kept", W | A, true, true, "oldnew"},
        {"handle only, missing", H, false, false, "-"},
        {"handle only, present", H, true, true, "old"},
        {"handle only with write, present", H | W, true, true, "old"},
        {"handle only with write, missing", H | W, false, false, "-"},
    };
    int row = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = "f" + std::to_string(row++);
        if (c.exists)
            dir.WriteText(name, "old");
        auto file = Open(name, c.mode);
        ASSERT_EQ(file != nullptr, c.opens);
        if (file != nullptr) {
            EXPECT_EQ(file->GetMode(), c.mode);
            EXPECT_EQ(file->IsOpen(), (c.mode & H) == 0);
            EXPECT_EQ(file->Write("new", 0, 3), (c.mode & W) != 0 && (c.mode & H) == 0);
            EXPECT_TRUE(file->Close());
        }
        EXPECT_EQ(c.exists || c.opens ? dir.ReadText(name) : std::string("-"), c.after);
    }
}

TEST_F(BVWin32FileTest, ShareFlagsAdmitOtherReaders) {
    struct Case {
        std::uint32_t first, second;
        bool opens;
    };
    const Case cases[] = {{0, 0, false},       {SR, SR, true},         {SR, 0, false},
                          {SR | SW, SR, true}, {W | SR, SR, false},    {W | SR, SR | SW, true},
                          {SR, W | SR, false}, {SR | SW, W | SR, true}};
    dir.WriteText("f", "x");
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.first << " then " << c.second);
        auto first = Open("f", c.first | A); // append keeps the content for the next row
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(Open("f", c.second | A) != nullptr, c.opens);
    }
}

TEST_F(BVWin32FileTest, AppendWritesAtTheEnd) {
    for (const char* line : {"one\n", "two\n", "three\n"}) {
        const auto before = static_cast<std::int64_t>(dir.ReadText("log").size());
        std::unique_ptr<BVWin32File> file(BVWin32File::Create(dir.Path("log").c_str(), W | A));
        ASSERT_NE(file, nullptr);
        EXPECT_EQ(file->GetPosition(), before);
        ASSERT_TRUE(file->WriteText(line, 0));
    }
    EXPECT_EQ(dir.ReadText("log"), "one\r\ntwo\r\nthree\r\n");
    EXPECT_EQ(BVWin32File::Create(dir.Path("no/log").c_str(), W | A), nullptr);
}

TEST_F(BVWin32FileTest, ReadPositionAndBufferedSeeks) {
    MakeCounting("f", 100);
    auto file = Open("f", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetLength(), 100);
    EXPECT_EQ(file->Read(nullptr, 0, 10), 10);
    EXPECT_EQ(file->GetPosition(), 10); // although 100 bytes came from the disk
    ASSERT_TRUE(file->Seek(-5, 1));     // inside the buffer
    EXPECT_EQ(file->GetPosition(), 5);
    EXPECT_EQ(file->ReadUInt8(0xFF), 5);
    ASSERT_TRUE(file->Seek(200, 1)); // to the disk: file offset 206
    EXPECT_EQ(file->GetPosition(), 206);
    EXPECT_EQ(file->Read(nullptr, 0, 1), 0);
    ASSERT_TRUE(file->Seek(-10, 2));
    EXPECT_EQ(file->ReadUInt8(0xFF), 90);
    ASSERT_TRUE(file->Seek(3, 0));
    EXPECT_EQ(file->ReadUInt8(0xFF), 3);
    EXPECT_FALSE(file->Seek(-1, 0));
    EXPECT_FALSE(file->Seek(0, 3));
    EXPECT_EQ(file->ReadUInt8(0xFF), 4);
}

TEST_F(BVWin32FileTest, RefusedSeekLeavesTheReadPointAlone) {
    // Positions from 2 GiB on cannot be reported; the refused seek must not
    // leave the handle's pointer out there either.
    MakeCounting("f", 100);
    auto file = Open("f", 0, 16);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Read(nullptr, 0, 10), 10);
    for (std::int64_t offset : {INT64_C(1) << 31, INT64_C(1) << 32, (INT64_C(1) << 32) + 20}) {
        SCOPED_TRACE(offset);
        EXPECT_FALSE(file->Seek(offset, 0));
        EXPECT_FALSE(file->Seek(offset, 1));
        EXPECT_EQ(file->GetPosition(), 10);
    }
    EXPECT_FALSE(file->Seek(INT64_MIN, 1));
    EXPECT_FALSE(file->Seek(INT64_MAX, 2));
    std::string rest = ReadText(*file, 200);
    ASSERT_EQ(rest.size(), 90u);
    EXPECT_EQ(static_cast<std::uint8_t>(rest[0]), 10);
    EXPECT_EQ(static_cast<std::uint8_t>(rest[89]), 99);
}

TEST_F(BVWin32FileTest, Sections) {
    MakeCounting("f", 100);
    auto file = Open("f", 0);
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->SetSection(10, 20));
    EXPECT_EQ(file->GetLength(), 20);
    EXPECT_EQ(file->GetPosition(), 0);
    std::string inside = ReadText(*file, 100);
    ASSERT_EQ(inside.size(), 20u);
    EXPECT_EQ(static_cast<std::uint8_t>(inside[0]), 10);
    EXPECT_EQ(static_cast<std::uint8_t>(inside[19]), 29);
    ASSERT_TRUE(file->Seek(0, 2));
    EXPECT_EQ(file->GetPosition(), 20);
    EXPECT_EQ(file->Read(nullptr, 0, 1), 0);
    ASSERT_TRUE(file->Seek(-3, 2));
    EXPECT_EQ(file->ReadUInt8(0xFF), 27);
    ASSERT_TRUE(file->Seek(5, 0));
    EXPECT_EQ(file->ReadUInt8(0xFF), 15);
    // Nothing leads out of the section, by any origin.
    EXPECT_FALSE(file->Seek(-1, 0));
    EXPECT_FALSE(file->Seek(21, 0));
    EXPECT_FALSE(file->Seek(1, 2));
    EXPECT_FALSE(file->Seek(-21, 2));
    EXPECT_FALSE(file->Seek(-7, 1)); // read point 6, inside the buffer but before the section
    EXPECT_FALSE(file->Seek(15, 1));
    EXPECT_EQ(file->GetPosition(), 6);
    ASSERT_TRUE(file->Seek(14, 1));
    EXPECT_EQ(file->GetPosition(), 20);

    auto writer = Open("g", W);
    ASSERT_NE(writer, nullptr);
    EXPECT_FALSE(writer->SetSection(0, 1));
}

TEST_F(BVWin32FileTest, SectionSetAfterReadingStopsAtItsEnd) {
    // The whole file is in the buffer already; the section must still end reads.
    MakeCounting("f", 100);
    auto file = Open("f", 0);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Read(nullptr, 0, 5), 5);
    ASSERT_TRUE(file->SetSection(0, 10));
    EXPECT_EQ(file->GetPosition(), 0);
    std::string inside = ReadText(*file, 100);
    ASSERT_EQ(inside.size(), 10u);
    EXPECT_EQ(static_cast<std::uint8_t>(inside[0]), 5);
}

TEST_F(BVWin32FileTest, WritesFlushInWholeBuffers) {
    const auto data = Counting(100);
    auto file = Open("f", W | SR, 16); // shared, so that the test can look at the file
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(file->Write(data.data(), 0, 100));
    EXPECT_EQ(file->GetPosition(), 100);
    EXPECT_EQ(file->GetLength(), 100);
    EXPECT_EQ(dir.ReadBytes("f").size(), 96u); // the last 4 bytes still wait
    ASSERT_TRUE(file->Seek(10, 0));            // flushes first
    ASSERT_TRUE(file->Write("AB", 0, 2));
    EXPECT_EQ(file->GetPosition(), 12);
    EXPECT_EQ(file->Read(nullptr, 0, 1), -1); // a write-only handle cannot read
    ASSERT_TRUE(file->Close(false));
    auto expected = data;
    expected[10] = 'A';
    expected[11] = 'B';
    EXPECT_EQ(dir.ReadBytes("f"), expected);
}

TEST_F(BVWin32FileTest, HandleOnlyReachesFileTimes) {
    dir.WriteText("f", "t");
    auto file = Open("f", H | W);
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(file->Read(nullptr, 0, 1), -1);
    EXPECT_FALSE(file->Write("x", 0, 1));
    EXPECT_FALSE(file->Seek(0, 0));
    EXPECT_EQ(file->GetPosition(), 0);
    EXPECT_EQ(file->GetLength(), 0);
    const std::uint64_t ticks = 126256251060000000ULL; // 2001-02-03 04:05:06 UTC
    const FILETIME written{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    ASSERT_TRUE(file->SetFileTime(nullptr, nullptr, &written));
    FILETIME got{};
    ASSERT_TRUE(file->GetFileTime(nullptr, nullptr, &got));
    EXPECT_EQ(got.dwLowDateTime, written.dwLowDateTime);
    EXPECT_EQ(got.dwHighDateTime, written.dwHighDateTime);
    // Flush refuses handle-only files, so only a forced close closes one
    // opened with ModeWrite.
    EXPECT_FALSE(file->Close(false));
    EXPECT_TRUE(file->Close());
    EXPECT_FALSE(file->GetFileTime(nullptr, nullptr, &got));

    dir.MakeFolder("d");
    auto folder = Open("d", H);
    ASSERT_NE(folder, nullptr);
    EXPECT_TRUE(folder->GetFileTime(nullptr, nullptr, &got));
    EXPECT_EQ(Open("d", 0), nullptr);
    EXPECT_EQ(Open("d", W), nullptr);
}

TEST_F(BVWin32FileTest, BadInput) {
    dir.WriteText("empty", "");
    auto empty = Open("empty", 0);
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->GetLength(), 0);
    EXPECT_EQ(empty->Read(nullptr, 0, 1), 0);
    EXPECT_FALSE(empty->LastOk());
    EXPECT_EQ(empty->ReadInt32LE(-7), -7);

    // A buffer of no bytes is refused before anything is truncated.
    dir.WriteText("keep", "keep");
    EXPECT_EQ(Open("keep", W, 0), nullptr);
    EXPECT_EQ(dir.ReadText("keep"), "keep");

    BVWin32File file;
    EXPECT_FALSE(file.Open(static_cast<const char*>(nullptr), 0, 8192));
    EXPECT_FALSE(file.Open("", 0, 8192));
    EXPECT_FALSE(file.Seek(0, 0));
    EXPECT_EQ(file.GetPosition(), 0);
    EXPECT_EQ(file.Read(nullptr, 0, 1), -1);
}

TEST_F(BVWin32FileTest, ReadOnlyFileOpensForReadingOnly) {
    dir.WriteText("ro", "ro");
    dir.MakeReadOnly("ro");
    if (auto writer = Open("ro", W | A))
        GTEST_SKIP() << "this platform lets the superuser write read-only files";
    EXPECT_EQ(Open("ro", W), nullptr);
    EXPECT_EQ(dir.ReadText("ro"), "ro");
    auto reader = Open("ro", 0);
    ASSERT_NE(reader, nullptr);
    EXPECT_EQ(ReadText(*reader, 10), "ro");
}

TEST_F(BVWin32FileTest, ReopenClosesFirst) {
    dir.WriteText("a", "aaa");
    dir.WriteText("b", "bb");
    BVWin32File file;
    ASSERT_TRUE(file.Open(dir.Path("a").c_str(), 0, 64));
    ASSERT_TRUE(file.Open(dir.Path("b").c_str(), 0, 64));
    EXPECT_EQ(ReadText(file, 10), "bb");
    // "a" is no longer held: an exclusive open succeeds.
    EXPECT_NE(Open("a", W), nullptr);
}

TEST_F(BVWin32FileTest, WidePath) {
    const std::wstring name = L"wide-\u00e9.txt";
    BVWin32File file;
    ASSERT_TRUE(file.Open(dir.WidePath(name).c_str(), W, 8192));
    ASSERT_TRUE(file.Write("wide", 0, 4));
    ASSERT_TRUE(file.Close(false));
    ASSERT_TRUE(file.Open(dir.WidePath(name).c_str(), 0, 8192));
    EXPECT_EQ(ReadText(file, 10), "wide");
}

#ifndef _WIN32
TEST_F(BVWin32FileTest, ShortWriteFailsTheFlush) {
    const auto data = Counting(40);
    auto file = Open("f", W, 8);
    ASSERT_NE(file, nullptr);
    Win32TestDouble::SetDiskSpace(10);
    EXPECT_FALSE(file->Write(data.data(), 0, 20)); // the second flush has room for 2 of 8
    EXPECT_EQ(file->GetPosition(), 10 + 8);        // what the disk took plus what waits
    EXPECT_FALSE(file->Close(false));              // still waiting bytes: stays open
    EXPECT_TRUE(file->IsOpen());
    EXPECT_TRUE(file->Close()); // closes anyway, the waiting bytes are lost
    EXPECT_FALSE(file->IsOpen());
    EXPECT_EQ(dir.ReadBytes("f"), std::vector<std::uint8_t>(data.begin(), data.begin() + 10));
}

TEST_F(BVWin32FileTest, ReadFaultEndsTheReadWithMinusOne) {
    MakeCounting("f", 100);
    auto file = Open("f", 0, 16);
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->Read(nullptr, 0, 10), 10);
    Win32TestDouble::SetReadFault(true);
    EXPECT_EQ(file->Read(nullptr, 0, 10), -1);
    EXPECT_FALSE(file->LastOk());
}
#endif

} // namespace
