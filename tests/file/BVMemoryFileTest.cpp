#include "file/BVMemoryFile.h"

#include "support/TestTempDir.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <numeric>
#include <string>
#include <vector>

namespace {

std::vector<std::uint8_t> Counting(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t{0});
    return bytes;
}

std::vector<std::uint8_t> ReadAll(BVFile& file, int count) {
    std::vector<std::uint8_t> got(static_cast<std::size_t>(std::max(count, 0)) + 1, 0xEE);
    const int n = file.Read(got.data(), 0, count);
    got.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
    return got;
}

TEST(BVMemoryFile, FactoryReadsCallerMemory) {
    const auto data = Counting(10);
    std::unique_ptr<BVMemoryFile> file(BVMemoryFile::FromMemory(data.data(), 10));
    ASSERT_NE(file, nullptr);
    EXPECT_EQ(file->GetLength(), 10);
    EXPECT_EQ(file->GetMode(), 0u);
    EXPECT_EQ(ReadAll(*file, 10), data);
    EXPECT_TRUE(file->LastOk());
    EXPECT_EQ(file->Read(nullptr, 0, 1), 0);
    EXPECT_FALSE(file->LastOk());
    EXPECT_FALSE(file->Write(data.data(), 0, 1));
    file.reset(); // frees nothing of the caller's: ASan would see a bad free
    EXPECT_EQ(data, Counting(10));
}

TEST(BVMemoryFile, AttachStartsAtOffset) {
    const auto data = Counting(20);
    BVMemoryFile file;
    ASSERT_TRUE(file.Attach(data.data(), 4, 10));
    EXPECT_EQ(file.GetPosition(), 4);
    EXPECT_EQ(file.GetLength(), 10);
    EXPECT_EQ(ReadAll(file, 100), std::vector<std::uint8_t>(data.begin() + 4, data.begin() + 10));
    ASSERT_TRUE(file.Rewind());
    EXPECT_EQ(ReadAll(file, 100), std::vector<std::uint8_t>(data.begin(), data.begin() + 10));
}

TEST(BVMemoryFile, AttachRefusesOffsetsOutsideTheBlock) {
    // Reading would start before the block or past its end.
    const auto data = Counting(10);
    BVMemoryFile file;
    EXPECT_FALSE(file.Attach(data.data(), 11, 10));
    EXPECT_FALSE(file.Attach(data.data(), -1, 10));
    EXPECT_FALSE(file.Attach(nullptr, 0, 5));
    EXPECT_EQ(BVMemoryFile::FromMemory(nullptr, 5), nullptr);
    ASSERT_TRUE(file.Attach(data.data(), 10, 10));
    EXPECT_EQ(file.Read(nullptr, 0, 1), 0);
    std::unique_ptr<BVMemoryFile> empty(BVMemoryFile::FromMemory(nullptr, 0));
    ASSERT_NE(empty, nullptr);
    EXPECT_EQ(empty->Read(nullptr, 0, 1), 0);
    EXPECT_TRUE(empty->Seek(5, 0));
    EXPECT_EQ(empty->GetPosition(), 0);
}

TEST(BVMemoryFile, OpenKeepsTheStringAlive) {
    BVMemoryFile file;
    {
        BVString text("hello, file");
        ASSERT_TRUE(file.Open(text));
        EXPECT_EQ(text.Record()->shareCount, 2);
    }
    // The caller's copy is gone; the file still reads the bytes (ASan).
    std::vector<std::uint8_t> got = ReadAll(file, 11);
    EXPECT_EQ(std::string(got.begin(), got.end()), "hello, file");
    EXPECT_EQ(file.GetLength(), 11);
    EXPECT_FALSE(file.Write("x", 0, 1));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsOpen());
}

struct GrowthCase {
    std::uint32_t step;
    int written;
    std::uint32_t capacity;
};

TEST(BVMemoryFile, WritesGrowInWholeSteps) {
    const GrowthCase cases[] = {{100, 250, 300}, {100, 101, 200}, {100, 100, 100},
                                {100, 0, 100},   {1, 5, 5},       {7, 1000, 1001}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.step << " step, " << c.written << " bytes");
        BVMemoryFile file;
        ASSERT_TRUE(file.Create(c.step, false));
        EXPECT_EQ(file.GetMode(), BVFile::ModeWrite);
        const auto data = Counting(static_cast<std::size_t>(c.written));
        // In pieces of 33, so that growth happens in the middle of a write too.
        for (int done = 0; done < c.written; done += 33)
            ASSERT_TRUE(file.Write(data.data(), done, std::min(33, c.written - done)));
        EXPECT_EQ(file.GetBufferSize(), c.capacity);
        EXPECT_EQ(file.GetLength(), c.written);
        EXPECT_EQ(file.GetPosition(), c.written);
        ASSERT_TRUE(file.Rewind());
        EXPECT_EQ(ReadAll(file, c.written + 10), data);
    }
}

TEST(BVMemoryFile, FullLengthStartsAsZeros) {
    BVMemoryFile file;
    ASSERT_TRUE(file.Create(16, true));
    EXPECT_EQ(file.GetLength(), 16);
    EXPECT_EQ(file.Read(nullptr, 0, 1), 0); // nothing to read before a seek
    ASSERT_TRUE(file.Rewind());
    EXPECT_EQ(ReadAll(file, 20), std::vector<std::uint8_t>(16, 0));
}

TEST(BVMemoryFile, SeekRules) {
    const auto data = Counting(250);
    BVMemoryFile file;
    ASSERT_TRUE(file.Create(100, false));
    ASSERT_TRUE(file.Write(data.data(), 0, 250));
    ASSERT_TRUE(file.Seek(1000, 0)); // grows the block, zero-filled
    EXPECT_EQ(file.GetLength(), 1000);
    EXPECT_EQ(file.GetPosition(), 1000);
    EXPECT_GE(file.GetBufferSize(), 1000u);
    ASSERT_TRUE(file.Rewind());
    std::vector<std::uint8_t> expected = data;
    expected.resize(1000, 0);
    EXPECT_EQ(ReadAll(file, 1000), expected);

    ASSERT_TRUE(file.Seek(-5, 0));
    EXPECT_EQ(file.GetPosition(), 0);
    ASSERT_TRUE(file.Seek(-10, 2));
    EXPECT_EQ(file.GetPosition(), 990);
    ASSERT_TRUE(file.Seek(3, 7)); // an unknown origin keeps the position
    EXPECT_EQ(file.GetPosition(), 990);
    // A target no 32-bit block can hold is refused, nothing changed.
    EXPECT_FALSE(file.Seek(INT64_C(1) << 40, 0));
    EXPECT_FALSE(file.Seek(INT64_MAX, 1));
    EXPECT_EQ(file.GetPosition(), 990);
    EXPECT_EQ(file.GetLength(), 1000);

    BVMemoryFile reader;
    ASSERT_TRUE(reader.Attach(data.data(), 0, 10));
    ASSERT_TRUE(reader.Seek(1000, 0)); // never extended by seeking
    EXPECT_EQ(reader.GetPosition(), 10);
    EXPECT_EQ(reader.GetLength(), 10);
    EXPECT_TRUE(reader.Seek(-1000, 1));
    EXPECT_EQ(reader.GetPosition(), 0);
    EXPECT_FALSE(reader.Seek(INT64_MIN, 1));
}

TEST(BVMemoryFile, RelativeSeekCountsFromTheReadPoint) {
    const auto data = Counting(50);
    BVMemoryFile file;
    ASSERT_TRUE(file.Attach(data.data(), 0, 50));
    ReadAll(file, 20);
    ASSERT_TRUE(file.Seek(5, 1));
    EXPECT_EQ(file.ReadUInt8(0xFF), 25);
    ASSERT_TRUE(file.Seek(-6, 1));
    EXPECT_EQ(file.ReadUInt8(0xFF), 20);
}

TEST(BVMemoryFile, SetLength) {
    const auto data = Counting(250);
    BVMemoryFile file;
    ASSERT_TRUE(file.Create(100, false));
    ASSERT_TRUE(file.Write(data.data(), 0, 250));
    ASSERT_TRUE(file.Seek(200, 0));
    ASSERT_TRUE(file.SetLength(100));
    EXPECT_EQ(file.GetLength(), 100);
    EXPECT_EQ(file.GetPosition(), 100);
    ASSERT_TRUE(file.Seek(50, 0));
    ASSERT_TRUE(file.SetLength(700)); // grows, keeps the position
    EXPECT_EQ(file.GetLength(), 700);
    EXPECT_EQ(file.GetPosition(), 50);
    EXPECT_FALSE(file.SetLength(-1));
    EXPECT_EQ(file.GetLength(), 700);

    // Read-only: shorter is fine, longer would read past the content.
    BVMemoryFile reader;
    ASSERT_TRUE(reader.Attach(data.data(), 0, 10));
    EXPECT_FALSE(reader.SetLength(11));
    EXPECT_EQ(reader.GetLength(), 10);
    ASSERT_TRUE(reader.SetLength(4));
    EXPECT_EQ(ReadAll(reader, 10), std::vector<std::uint8_t>(data.begin(), data.begin() + 4));
}

TEST(BVMemoryFile, GrowRefusals) {
    const auto data = Counting(10);
    BVMemoryFile file;
    EXPECT_FALSE(file.Create(0, false)); // no step could ever make room
    EXPECT_FALSE(file.IsOpen());
    ASSERT_TRUE(file.Attach(data.data(), 0, 10));
    EXPECT_FALSE(file.Grow(10)); // borrowed content is never replaced
    EXPECT_EQ(ReadAll(file, 10), data);

    ASSERT_TRUE(file.Create(1, false));
    EXPECT_FALSE(file.Grow(UINT32_MAX)); // capacity would pass 32 bits
    EXPECT_EQ(file.GetBufferSize(), 1u);
    ASSERT_TRUE(file.Grow(0));
    EXPECT_EQ(file.GetBufferSize(), 1u);
    EXPECT_FALSE(file.Write(nullptr, 0, 3));
    EXPECT_TRUE(file.Write(nullptr, 0, 0));
}

TEST(BVMemoryFile, CloseAndReopen) {
    BVMemoryFile file;
    ASSERT_TRUE(file.Create(64, false));
    ASSERT_TRUE(file.Write("abc", 0, 3));
    EXPECT_TRUE(file.Close(false));
    EXPECT_EQ(file.GetLength(), 0);
    EXPECT_FALSE(file.IsOpen());
    // Create over an open block frees the old one (ASan counts the leak).
    ASSERT_TRUE(file.Create(8, false));
    ASSERT_TRUE(file.Create(8, false));
    EXPECT_EQ(file.GetLength(), 0);
}

class BVMemoryFileSave : public testing::Test {
  protected:
    TestTempDir dir;
};

TEST_F(BVMemoryFileSave, SaveAsWritesTheContent) {
    dir.WriteText("out", std::string(20000, 'x')); // truncated, not overwritten in place
    const auto data = Counting(9000);              // more than the disk file's buffer
    BVMemoryFile file;
    ASSERT_TRUE(file.Create(1000, false));
    ASSERT_TRUE(file.Write(data.data(), 0, 9000));
    ASSERT_TRUE(file.SaveAs(dir.Path("out").c_str()));
    EXPECT_EQ(dir.ReadBytes("out"), data);

    BVMemoryFile empty;
    ASSERT_TRUE(empty.Create(10, false));
    ASSERT_TRUE(empty.SaveAs(dir.Path("empty").c_str()));
    EXPECT_TRUE(dir.ReadBytes("empty").empty());

    EXPECT_FALSE(file.SaveAs(dir.Path("missing/out").c_str()));
    dir.MakeFolder("folder");
    EXPECT_FALSE(file.SaveAs(dir.Path("folder").c_str()));
}

} // namespace
