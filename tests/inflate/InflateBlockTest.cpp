// InflateBlock: one call from a container in memory to a block of global memory.
#include "ContainerFile.h"
#include "DeflateTestSupport.h"
#include "LogCapture.h"

#include "inflate/InflateBlock.h"
#include "inflate/InflateMessages.h"
#include "platform/Win32.h"

#include <gtest/gtest.h>

namespace {

using namespace inflate_test;

struct BlockResult {
    bool null;
    ByteVector bytes;
    int outSize;
};

BlockResult Expand(const ByteVector& data, int size) {
    int outSize = 0x7EADBEEF;
    void* block = InflateBlock(data.data(), size, &outSize);
    BlockResult r{block == nullptr, {}, outSize};
    if (block != nullptr && outSize > 0) {
        auto* p = static_cast<std::uint8_t*>(block);
        r.bytes.assign(p, p + outSize);
    }
    if (block != nullptr) {
        GlobalFree(block);
    }
    // A null out-size pointer is fine in every case.
    void* again = InflateBlock(data.data(), size, nullptr);
    EXPECT_EQ(again == nullptr, r.null);
    if (again != nullptr) {
        GlobalFree(again);
    }
    return r;
}

BlockResult Expand(const ByteVector& data) {
    return Expand(data, static_cast<int>(data.size()));
}

TEST(InflateBlockTest, Results) {
    LogCapture log;
    const ByteVector payload = {'p', 'r', 'e', 'v', 'i', 'e', 'w', 0, 1, 2, 3, 0xFF};
    ByteVector badCrc = StoredContainer(payload);
    badCrc[8] ^= 1;
    ContainerSpec empty;
    empty.flags = 2;
    ContainerSpec encrypted;
    encrypted.flags = 1;
    ContainerSpec longer;
    longer.expanded = 100;
    ByteVector truncated = DeflatedContainer(payload);
    truncated.resize(truncated.size() - 2);
    const struct {
        const char* name;
        ByteVector data;
        bool null;
        ByteVector bytes;
        int outSize;
    } rows[] = {
        {"deflated", DeflatedContainer(payload), false, payload, 12},
        {"stored", StoredContainer(payload), false, payload, 12},
        {"not a container: a copy", payload, false, payload, 12},
        {"size 0", Container(empty, {}), true, {}, 0},
        {"empty block", {}, true, {}, 0},
        {"stored, wrong CRC", badCrc, true, {}, 12},
        {"enciphered", Container(encrypted, ByteVector(8, 0)), true, {}, -1},
        {"fewer bytes than the size",
         Container(longer, FixedLiteralStream(payload)),
         true,
         {},
         100},
        {"truncated stream", truncated, true, {}, 12},
    };
    for (const auto& row : rows) {
        BlockResult r = Expand(row.data);
        EXPECT_EQ(r.null, row.null) << row.name;
        EXPECT_EQ(r.outSize, row.outSize) << row.name;
        EXPECT_EQ(r.bytes, row.bytes) << row.name;
    }
}

TEST(InflateBlockTest, CrcMismatchIsLogged) {
    LogCapture log;
    ByteVector badCrc = StoredContainer({1, 2, 3});
    badCrc[8] ^= 1;
    int outSize = 0;
    EXPECT_EQ(InflateBlock(badCrc.data(), static_cast<int>(badCrc.size()), &outSize), nullptr);
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].rfind(Line(bv_inflate::kMsgCrc, "").substr(0, 16), 0), 0u);
}

// A negative size is taken as an empty block, never as a huge one.
TEST(InflateBlockTest, NegativeSizeReadsNothing) {
    const ByteVector data = StoredContainer({1, 2, 3});
    BlockResult r = Expand(data, -5);
    EXPECT_TRUE(r.null);
    EXPECT_EQ(r.outSize, 0);
}

} // namespace
