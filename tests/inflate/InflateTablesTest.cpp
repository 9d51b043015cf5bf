// The constant tables: the fixed-code tables are the generator's output, the
// CRC is the standard one, and the builder lays out roots and sub-tables as
// the decoder expects.
#include "ContainerFile.h"
#include "DeflateTestSupport.h"
#include "FixedTableGenerator.h"

#include "inflate/Crc32.h"
#include "inflate/InflateDecoder.h"
#include "inflate/InflateTables.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using namespace bv_inflate;

bool Same(const HuffEntry& a, const HuffEntry& b) {
    return a.op == b.op && a.bits == b.bits && a.value == b.value;
}

TEST(InflateTablesTest, FixedTablesAreTheGeneratorsOutput) {
    const inflate_test::FixedTables t = inflate_test::GenerateFixedTables();
    ASSERT_EQ(t.literal.size(), 512u);
    ASSERT_EQ(t.distance.size(), 32u);
    for (std::size_t i = 0; i < 512; ++i) {
        EXPECT_TRUE(Same(t.literal[i], kFixedLiteralTable[i])) << "literal slot " << i;
    }
    for (std::size_t i = 0; i < 32; ++i) {
        EXPECT_TRUE(Same(t.distance[i], kFixedDistanceTable[i])) << "distance slot " << i;
    }
#ifndef _WIN32
    std::ifstream committed(BV_INFLATE_SOURCE_DIR "/InflateFixedTables.inc");
    std::stringstream text;
    text << committed.rdbuf();
    EXPECT_EQ(text.str(), inflate_test::FormatFixedTables(t));
#endif
}

TEST(InflateTablesTest, FixedTablesInvalidSymbols) {
    // 286 and 287 (8-bit codes 0xC6, 0xC7) decode as invalid, with their length.
    EXPECT_EQ(kFixedLiteralTable[0x63].op, kOpInvalid);
    EXPECT_EQ(kFixedLiteralTable[0x63].bits, 8u);
    EXPECT_EQ(kFixedLiteralTable[0xE3].op, kOpInvalid);
    // Distances 30 and 31 are unfilled slots.
    EXPECT_TRUE(Same(kFixedDistanceTable[0x0F], HuffEntry{kOpInvalid, 0, 0}));
    EXPECT_TRUE(Same(kFixedDistanceTable[0x1F], HuffEntry{kOpInvalid, 0, 0}));
}

TEST(InflateTablesTest, CrcIsTheStandardOne) {
    EXPECT_EQ(CrcTable()[1], 0x77073096u);
    const char* check = "123456789";
    EXPECT_EQ(~Crc32Update(kCrcPreset, check, 9), 0xCBF43926u);
    EXPECT_EQ(~Crc32Update(kCrcPreset, nullptr, 0), 0u);
    // Every length and alignment, in pieces, against one step per byte: the
    // 512-bit folding path (256 bytes and more, where the processor has it),
    // the 128-bit one (64 bytes and more) and the table path.
    std::vector<std::uint8_t> data(1100);
    for (std::size_t i = 0; i < data.size(); ++i) {
        data[i] = static_cast<std::uint8_t>(i * 37 + 11 + (i >> 7));
    }
    for (std::size_t start = 0; start < 16; ++start) {
        for (std::size_t len = 0; start + len <= data.size(); len += len < 160 ? 1 : 61) {
            const inflate_test::ByteVector piece(data.begin() + static_cast<std::ptrdiff_t>(start),
                                                 data.begin() +
                                                     static_cast<std::ptrdiff_t>(start + len));
            const std::uint32_t want = inflate_test::ReferenceCrc(piece);
            const std::size_t split = len / 3;
            std::uint32_t reg = Crc32Update(kCrcPreset, piece.data(), split);
            reg = Crc32Update(reg, piece.data() + split, len - split);
            ASSERT_EQ(~reg, want) << start << " " << len;
            ASSERT_EQ(~Crc32UpdateNarrow(kCrcPreset, piece.data(), len), want)
                << start << " " << len;
            ASSERT_EQ(~Crc32UpdateTable(kCrcPreset, piece.data(), len), want)
                << start << " " << len;
        }
    }
}

class BuilderTest : public ::testing::Test {
  protected:
    void SetUp() override { decoder.Start(work.data(), nullptr, ""); }
    bool Build(const std::vector<int>& lengths, int root) {
        for (std::size_t i = 0; i < lengths.size(); ++i) {
            decoder.Lengths()[i] = lengths[i];
        }
        decoder.RequestRoot(root);
        return decoder.BuildTable(0, static_cast<int>(lengths.size()), 300, nullptr, nullptr);
    }
    std::vector<std::uint8_t> work = std::vector<std::uint8_t>(kWorkAreaSize, 0);
    InflateDecoder decoder;
};

TEST_F(BuilderTest, RootShrinksToTheLongestCode) {
    ASSERT_TRUE(Build({2, 2, 2, 2}, 9));
    EXPECT_EQ(decoder.BuiltRootBits(), 2);
    EXPECT_EQ(decoder.TableSpaceUsed(), 4);
    ASSERT_TRUE(Build({0, 0, 0}, 9));
    EXPECT_EQ(decoder.BuiltRootBits(), 0); // empty table
}

// Codes 0 (1 bit), 10 (2 bits), 110, 1110 and 1111 with a 2-bit root: the two
// 4-bit and the 3-bit code share the root slot of "11" through a sub-table.
TEST_F(BuilderTest, LongCodesGoThroughASubTable) {
    decoder.ResetTableSpace();
    ASSERT_TRUE(Build({1, 2, 3, 4, 4}, 2));
    EXPECT_EQ(decoder.BuiltRootBits(), 2);
    const HuffEntry* t = decoder.TableSpace() + decoder.BuiltTableBase();
    EXPECT_TRUE(Same(t[0], HuffEntry{kOpLiteral, 1, 0})); // "0" at indices 0 and 2
    EXPECT_TRUE(Same(t[2], HuffEntry{kOpLiteral, 1, 0}));
    EXPECT_TRUE(Same(t[1], HuffEntry{kOpLiteral, 2, 1})); // "10" read LSB first: 01
    const HuffEntry link = t[3];
    EXPECT_EQ(link.op, 2u); // a 2-bit sub-table
    EXPECT_EQ(link.bits, 2u);
    const HuffEntry* sub = t + 3 + link.value;
    EXPECT_TRUE(Same(sub[0], HuffEntry{kOpLiteral, 1, 2}));
    EXPECT_TRUE(Same(sub[2], HuffEntry{kOpLiteral, 1, 2}));
    EXPECT_TRUE(Same(sub[1], HuffEntry{kOpLiteral, 2, 3}));
    EXPECT_TRUE(Same(sub[3], HuffEntry{kOpLiteral, 2, 4}));
    EXPECT_EQ(decoder.TableSpaceUsed(), 8);
}

TEST_F(BuilderTest, IncompleteSetsLeaveInvalidSlots) {
    decoder.ResetTableSpace();
    ASSERT_TRUE(Build({0, 3}, 9));
    const HuffEntry* t = decoder.TableSpace() + decoder.BuiltTableBase();
    EXPECT_TRUE(Same(t[0], HuffEntry{kOpLiteral, 3, 1}));
    for (int i = 1; i < 8; ++i) {
        EXPECT_TRUE(Same(t[i], HuffEntry{kOpInvalid, 0, 0})) << i;
    }
}

// Every root slot against the definition: the slot whose low len bits are a
// code's bits read first-to-last holds that code; the others of an incomplete
// set are invalid. Random sets, complete and not, of the literal alphabet's
// size and with codes up to and past the root.
TEST_F(BuilderTest, RootSlotsHoldTheCodeTheirLowBitsSpell) {
    std::uint32_t seed = 12345;
    auto next = [&seed](std::uint32_t n) {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 16) % n;
    };
    for (int round = 0; round < 200; ++round) {
        const int root = 5 + static_cast<int>(next(5));
        std::vector<int> lengths(288, 0);
        // Random lengths while code space is left; every third set stops
        // early and stays incomplete.
        const int keep = round % 3 == 0 ? static_cast<int>(next(1 << 14)) : 0;
        int left = 1 << 15;
        for (std::size_t sym = 0; sym < lengths.size() && left > keep; ++sym) {
            const int len = 2 + static_cast<int>(next(round % 2 == 0 ? 14 : 8));
            if (next(3) == 0 || (1 << (15 - len)) > left) {
                continue;
            }
            lengths[sym] = len;
            left -= 1 << (15 - len);
        }
        decoder.ResetTableSpace();
        ASSERT_TRUE(Build(lengths, root)) << round;
        const int built = decoder.BuiltRootBits();
        const HuffEntry* t = decoder.TableSpace() + decoder.BuiltTableBase();
        std::vector<int> owner(1u << built, -1);
        std::uint32_t code = 0;
        for (int len = 1; len <= 15; ++len) {
            for (std::size_t sym = 0; sym < lengths.size(); ++sym) {
                if (lengths[sym] != len) {
                    continue;
                }
                std::uint32_t rev = 0;
                for (int b = 0; b < len; ++b) {
                    rev |= ((code >> b) & 1u) << (len - 1 - b);
                }
                ++code;
                for (std::uint32_t j = 0; len <= built && j < owner.size(); ++j) {
                    if ((j & ((1u << len) - 1)) == rev) {
                        owner[j] = static_cast<int>(sym);
                    }
                }
            }
            code <<= 1;
        }
        for (std::size_t j = 0; j < owner.size(); ++j) {
            const HuffEntry& e = t[j];
            if (owner[j] >= 0) {
                const std::uint32_t op = owner[j] < 256 ? kOpLiteral : kOpEndOfBlock;
                ASSERT_TRUE(Same(e, HuffEntry{op, static_cast<std::uint32_t>(lengths[owner[j]]),
                                              static_cast<std::uint32_t>(owner[j])}))
                    << round << " slot " << j;
            } else {
                ASSERT_TRUE(IsLink(e.op) || e.op == kOpInvalid) << round << " slot " << j;
            }
        }
    }
}

} // namespace
