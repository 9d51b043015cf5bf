// The decoder against zlib: every stream zlib writes, at every level and
// strategy, decodes to the same bytes under every read pattern; every cut of a
// stream fails cleanly.
#include "DecoderHarness.h"
#include "DeflateTestSupport.h"
#include "LogCapture.h"
#include "ZlibSupport.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace {

using bv_inflate::InflateDecoder;
using namespace inflate_test;

struct Config {
    int level;
    int strategy;
    int memLevel;
    bool everyPlan = false; // also the fixed-size and large-skip plans
};

std::vector<Config> Configs() {
    std::vector<Config> c;
    for (int level = 0; level <= 9; ++level) {
        c.push_back({level, Z_DEFAULT_STRATEGY, 8, level == 6});
    }
    for (int strategy : {Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED}) {
        for (int level : {1, 6, 9}) {
            c.push_back({level, strategy, 8, false});
        }
    }
    c.push_back({6, Z_DEFAULT_STRATEGY, 1, true}); // small blocks: many block boundaries
    c.push_back({9, Z_DEFAULT_STRATEGY, 9});
    return c;
}

TEST(InflateDecoderTest, MatchesZlibOverCorpus) {
    for (const CorpusItem& item : Corpus()) {
        for (const Config& c : Configs()) {
            ByteVector stream = ZlibDeflate(item.data, c.level, c.strategy, c.memLevel);
            ASSERT_FALSE(stream.empty());
            ExpectDecodesTo(stream, item.data,
                            item.name + Name(" level %d", c.level) +
                                Name(" strategy %d", c.strategy) + Name(" mem %d", c.memLevel),
                            c.everyPlan);
        }
    }
}

TEST(InflateDecoderTest, AfterFinalBlockReadsReturnZero) {
    ByteVector stream = ZlibDeflate(ByteVector{'h', 'i'}, 6, Z_DEFAULT_STRATEGY);
    stream.insert(stream.end(), {0xDE, 0xAD, 0xBE, 0xEF}); // ignored after the final block
    ByteVector work(bv_inflate::kWorkAreaSize, 0);
    ByteInput input(stream, 0);
    InflateDecoder d;
    d.Start(work.data(), &input, "n");
    std::uint8_t buf[8] = {};
    EXPECT_EQ(d.Decode(buf, 8), 2);
    EXPECT_EQ(d.Decode(buf, 8), 0);
    EXPECT_EQ(d.GetState(), InflateDecoder::Done);
    EXPECT_LT(input.Taken(), stream.size());
}

// Every proper prefix of a valid stream fails with the shortage line, after
// producing only a prefix of the data.
TEST(InflateDecoderTest, EveryTruncationPointFails) {
    ByteVector data(3000);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>((i * i / 7) % 251);
    }
    for (int level : {0, 1, 9}) {
        ByteVector stream = ZlibDeflate(data, level, Z_DEFAULT_STRATEGY, 1);
        for (std::size_t cut = 0; cut < stream.size(); ++cut) {
            ByteVector prefix(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
            for (int plan : {0, 4}) {
                LogCapture log;
                DecodeOutcome r =
                    RunDecoder(prefix, ChunkPlans()[plan], 3000, plan == 0 ? 0 : 1 << 24);
                ASSERT_EQ(r.lastResult, -1) << "level " << level << " cut " << cut;
                ASSERT_FALSE(log.Lines().empty());
                ASSERT_LE(r.out.size(), data.size());
                for (std::size_t i = 0; i < r.out.size(); ++i) {
                    ASSERT_TRUE(r.skipped[i] || r.out[i] == data[i]) << "cut " << cut;
                }
            }
        }
    }
}

} // namespace
