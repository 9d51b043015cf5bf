// The buffered core: Read, Write, CopyTo, WriteFrom and Close over a
// transport that can deliver in pieces, end early or fail.
#include "file/BVFile.h"
#include "support/VectorFile.h"
#include "text/VMString.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

constexpr std::uint32_t kRead = 0;
constexpr std::uint32_t kWrite = BVFile::ModeWrite;

TEST(BVFileRead, EverySizeAcrossRefills) {
    const std::vector<std::uint8_t> data = Pattern(100);
    for (std::size_t piece : {0u, 5u}) {
        for (int size = 1; size <= 40; ++size) {
            SCOPED_TRACE(testing::Message() << "size " << size << " piece " << piece);
            VectorFile f(kRead, 16, data);
            f.piece = piece;
            std::vector<std::uint8_t> got;
            std::vector<std::uint8_t> chunk(static_cast<std::size_t>(size));
            int n;
            do {
                n = f.Read(chunk.data(), 0, size);
                ASSERT_EQ(n, std::min<int>(size, 100 - static_cast<int>(got.size())));
                EXPECT_EQ(f.LastOk(), n == size);
                got.insert(got.end(), chunk.begin(), chunk.begin() + n);
            } while (n == size);
            EXPECT_EQ(got, data);
            // One refill per buffer load, and one more that finds the end.
            const int perFill = piece != 0 ? static_cast<int>(piece) : 16;
            EXPECT_EQ(f.fills, (100 + perFill - 1) / perFill + 1);
            EXPECT_EQ(f.Read(chunk.data(), 0, size), 0);
        }
    }
}

TEST(BVFileRead, CountsAndNullBuffer) {
    VectorFile f(kRead, 4, Pattern(10));
    std::uint8_t b[4] = {9, 9, 9, 9};
    EXPECT_EQ(f.Read(b, 0, 0), 0);
    EXPECT_TRUE(f.LastOk());
    EXPECT_EQ(f.Read(b, 0, -3), 0);
    EXPECT_FALSE(f.LastOk());
    EXPECT_EQ(f.fills, 0) << "neither touches the source";

    EXPECT_EQ(f.Read(nullptr, 0, 5), 5) << "a null buffer skips";
    EXPECT_EQ(f.Read(b, 1, 2), 2);
    EXPECT_EQ(b[0], 9);
    EXPECT_EQ(b[1], 5);
    EXPECT_EQ(b[2], 6);
    EXPECT_TRUE(f.Skip(2));
    EXPECT_FALSE(f.Skip(2)) << "only one byte left";
    EXPECT_EQ(f.Read(b, 0, 1), 0);
    EXPECT_FALSE(f.LastOk());
    EXPECT_FALSE(f.Skip(-1));
    EXPECT_TRUE(f.Skip(0));
}

TEST(BVFileRead, ShortAtTheEnd) {
    for (std::size_t endAt : {7u, 12u}) {
        VectorFile f(kRead, 4, Pattern(12));
        f.endAt = endAt;
        std::vector<std::uint8_t> b(20);
        EXPECT_EQ(f.Read(b.data(), 0, 20), static_cast<int>(endAt));
        EXPECT_FALSE(f.LastOk());
        EXPECT_EQ(f.Read(b.data(), 0, 1), 0);
    }
}

TEST(BVFileRead, RefillFailureAfterPartialCopyIsMinusOne) {
    VectorFile f(kRead, 4, Pattern(10));
    f.failFillAt = 1;
    std::uint8_t b[10] = {};
    EXPECT_EQ(f.Read(b, 0, 10), -1);
    EXPECT_FALSE(f.LastOk());
    EXPECT_EQ(b[3], 3) << "the first load was copied all the same";
    EXPECT_EQ(f.GetPosition(), 4);
}

TEST(BVFileRead, PlainBaseHasNoTransport) {
    BVFile f;
    std::uint8_t b[2];
    EXPECT_TRUE(f.LastOk());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.Read(b, 0, 2), -1);
    EXPECT_FALSE(f.Write(b, 0, 2));
    EXPECT_EQ(f.FillBuffer(), -1);
    EXPECT_FALSE(f.Flush());
    EXPECT_FALSE(f.Seek(0, 0));
    EXPECT_FALSE(f.Rewind());
    EXPECT_EQ(f.GetPosition(), 0);
    EXPECT_FALSE(f.SetLength(5));
    EXPECT_FALSE(f.SetSection(0, 5));
    EXPECT_FALSE(f.GetFileTime(nullptr, nullptr, nullptr));
    EXPECT_FALSE(f.SetFileTime(nullptr, nullptr, nullptr));
    for (VMString* text : {f.ReadVMString(3), f.ReadVMStringWithLength()}) {
        EXPECT_TRUE(text->IsNull()); // a new null text, never a null pointer
        text->Release();
    }
    EXPECT_TRUE(f.Write(static_cast<const VMString*>(nullptr))); // nothing to write
    EXPECT_FALSE(f.WriteWithLength(static_cast<const VMString*>(nullptr)));
    EXPECT_TRUE(f.Close());
}

TEST(BVFileWrite, FlushesOncePerFullBuffer) {
    for (int size = 0; size <= 25; ++size) {
        SCOPED_TRACE(testing::Message() << "size " << size);
        VectorFile f(kWrite, 8);
        const std::vector<std::uint8_t> data = Pattern(static_cast<std::size_t>(size));
        ASSERT_TRUE(f.Write(data.data(), 0, size));
        EXPECT_EQ(f.flushes, size == 0 ? 0 : (size - 1) / 8);
        EXPECT_EQ(f.WriterPosition(), size);
        EXPECT_EQ(f.GetLength(), size);
        ASSERT_TRUE(f.Close());
        EXPECT_EQ(f.sink, data);
        EXPECT_EQ(f.flushes, (size + 7) / 8);
        EXPECT_EQ(f.GetLength(), 0);
        EXPECT_FALSE(f.IsOpen());
    }
}

TEST(BVFileWrite, RefusedWithoutWriteModeOrSource) {
    VectorFile f(kRead, 8, Pattern(4));
    const std::uint8_t b[3] = {1, 2, 3};
    EXPECT_FALSE(f.Write(b, 0, 3));
    EXPECT_FALSE(f.Write(b, 0, 0));
    EXPECT_EQ(f.GetLength(), 4);

    VectorFile w(kWrite, 8);
    EXPECT_TRUE(w.Write(b, 0, 0));
    EXPECT_TRUE(w.Write(b, 0, -2));
    EXPECT_FALSE(w.Write(nullptr, 0, 2)) << "no bytes to copy from";
    EXPECT_TRUE(w.Write(b, 1, 2));
    EXPECT_EQ(w.Waiting(), 2u);
    EXPECT_EQ(w.GetLength(), 2);
}

TEST(BVFileWrite, FailedFlushKeepsCountedBytes) {
    VectorFile f(kWrite, 4);
    f.failFlush = true;
    const std::vector<std::uint8_t> data = Pattern(10);
    EXPECT_FALSE(f.Write(data.data(), 0, 10));
    EXPECT_EQ(f.WriterPosition(), 4) << "the first buffer load stays counted";
    EXPECT_EQ(f.GetLength(), 4);

    EXPECT_FALSE(f.Close(false));
    EXPECT_TRUE(f.IsOpen());
    EXPECT_EQ(f.GetMode(), kWrite);
    EXPECT_EQ(f.GetLength(), 4);

    f.failFlush = false;
    EXPECT_TRUE(f.Close(false));
    EXPECT_EQ(f.sink, Pattern(4));
}

TEST(BVFileWrite, CloseWithForceLosesUnflushedBytes) {
    VectorFile f(kWrite, 4);
    f.failFlush = true;
    ASSERT_TRUE(f.Write(Pattern(3).data(), 0, 3));
    EXPECT_TRUE(f.Close());
    EXPECT_FALSE(f.IsOpen());
    EXPECT_EQ(f.GetMode(), 0u);
    EXPECT_TRUE(f.sink.empty());
}

TEST(BVFileCopy, CopyToInChunks) {
    const std::vector<std::uint8_t> data = Pattern(2500);
    struct Case {
        int count, expected;
        std::size_t endAt;
    };
    const Case cases[] = {
        {1500, 1500, 2500}, {3000, 2500, 2500}, {3000, 1100, 1100}, {0, 0, 2500}, {-4, 0, 2500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "count " << c.count << " end " << c.endAt);
        VectorFile src(kRead, 100, data);
        src.endAt = c.endAt;
        VectorFile dest(kWrite, 64);
        EXPECT_EQ(src.CopyTo(&dest, c.count), c.expected);
        dest.Close();
        EXPECT_EQ(dest.sink, Pattern(static_cast<std::size_t>(c.expected)));
    }
}

TEST(BVFileCopy, CopyToFailures) {
    VectorFile src(kRead, 100, Pattern(3000));
    src.failFillAt = 12;
    VectorFile dest(kWrite, 64);
    EXPECT_EQ(src.CopyTo(dest, 3000), -1);

    VectorFile src2(kRead, 100, Pattern(30));
    VectorFile readOnly(kRead, 64);
    EXPECT_EQ(src2.CopyTo(readOnly, 10), -1);
    EXPECT_EQ(src2.CopyTo(nullptr, 10), -1);
}

TEST(BVFileCopy, WriteFromTakesUnreadAndRefilledBytes) {
    VectorFile src(kRead, 16, Pattern(40));
    std::uint8_t b[5];
    ASSERT_EQ(src.Read(b, 0, 5), 5);
    VectorFile dest(kWrite, 7);
    EXPECT_TRUE(dest.WriteFrom(&src));
    dest.Close();
    std::vector<std::uint8_t> expected = Pattern(40);
    expected.erase(expected.begin(), expected.begin() + 5);
    EXPECT_EQ(dest.sink, expected);
    EXPECT_EQ(src.Read(b, 0, 1), 0) << "the source is left at its end";
}

TEST(BVFileCopy, WriteFromEdgeCases) {
    VectorFile fresh(kRead, 16, Pattern(40));
    VectorFile dest(kWrite, 8);
    EXPECT_TRUE(dest.WriteFrom(&fresh)) << "nothing buffered yet";
    EXPECT_EQ(dest.GetLength(), 0);
    EXPECT_FALSE(dest.WriteFrom(nullptr));

    VectorFile failing(kRead, 16, Pattern(40));
    std::uint8_t b[1];
    failing.Read(b, 0, 1);
    failing.failFillAt = 1;
    EXPECT_FALSE(dest.WriteFrom(&failing));
    EXPECT_EQ(dest.GetLength(), 15);
}

} // namespace
