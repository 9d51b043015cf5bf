// The DEFLATE decoder against zlib, and crafted streams for its error paths
// and leniencies, each decoded under every read pattern.
#include "DecoderHarness.h"
#include "DeflateTestSupport.h"
#include "LogCapture.h"

#include "inflate/InflateMessages.h"

#include <gtest/gtest.h>
#ifdef BV_WITH_ZLIB
#include "ZlibSupport.h"
#endif

#include <cstdarg>
#include <cstdio>
#include <functional>
#include <string>

namespace {

using bv_inflate::InflateDecoder;
using namespace inflate_test;

// Streams the decoder must take although a strict decoder would not, or that
// zlib's encoder never writes.
TEST(InflateDecoderTest, FullDistanceAndLongestRun) {
    ByteVector head(32768);
    std::uint32_t s = 9;
    for (auto& b : head) {
        s = s * 1103515245u + 12345u;
        b = static_cast<std::uint8_t>(s >> 16);
    }
    BitWriter w;
    w.StoredHeader(false, 0x8000, 0x7FFF);
    for (std::uint8_t b : head) {
        w.Byte(b);
    }
    w.Bits(1, 1);        // BFINAL
    w.Bits(1, 2);        // BTYPE fixed
    w.FixedLiteral(285); // length 258
    w.FixedDistance(29); // base 24577, 13 extra bits
    w.Bits(32768 - 24577, 13);
    w.FixedLiteral(285);
    w.FixedDistance(0); // distance 1
    w.FixedLiteral(256);
    ByteVector stream = w.Finish();
    ByteVector expected(head.size() + 2 * 258);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        // the head, its first 258 bytes again, then its byte 257 repeated
        expected[i] = head[i < 32768 ? i : i < 32768 + 258 ? i - 32768 : 257];
    }
#ifdef BV_WITH_ZLIB
    ByteVector viaZlib;
    ASSERT_TRUE(ZlibInflate(stream, viaZlib));
    ASSERT_EQ(viaZlib, expected);
#endif
    ExpectDecodesTo(stream, expected, "full distance");
}

TEST(InflateDecoderTest, DistanceBeforeFirstByteCopiesZeros) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedLiteral(257); // length 3
    w.FixedDistance(4);  // distance 5..6
    w.Bits(1, 1);        // 6
    w.FixedLiteral('z');
    w.FixedLiteral(256);
    ExpectDecodesTo(w.Finish(), ByteVector{0, 0, 0, 'z'}, "before first byte");
}

// After an end-of-block code the decoder may hold a whole byte of the next
// block; a stored block after it must still start at the right byte. Every
// number of literals before the end shifts the alignment.
TEST(InflateDecoderTest, StoredBlockAfterHuffmanBlockAtEveryAlignment) {
    for (int literals = 0; literals < 16; ++literals) {
        BitWriter w;
        w.Bits(0, 1);
        w.Bits(1, 2);
        ByteVector expected;
        for (int i = 0; i < literals; ++i) {
            int sym = i % 2 == 0 ? 'a' + i : 200 + i; // 8- and 9-bit codes
            w.FixedLiteral(sym);
            expected.push_back(static_cast<std::uint8_t>(sym));
        }
        w.FixedLiteral(256);
        w.StoredHeader(false, 3, 0xFFFC);
        for (std::uint8_t b : {'x', 'y', 'z'}) {
            w.Byte(b);
            expected.push_back(b);
        }
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.FixedLiteral('!');
        w.FixedLiteral(256);
        expected.push_back('!');
        ByteVector stream = w.Finish();
#ifdef BV_WITH_ZLIB
        ByteVector viaZlib;
        ASSERT_TRUE(ZlibInflate(stream, viaZlib));
        ASSERT_EQ(viaZlib, expected);
#endif
        ExpectDecodesTo(stream, expected, Name("literals %d", literals));
    }
}

// Dynamic block header writer: HLIT, HDIST, HCLEN and the code-length code
// lengths, in transmission order.
void DynamicHeader(BitWriter& w, bool final, int nlit, int ndist,
                   const std::vector<int>& clLengths) {
    w.Bits(final ? 1 : 0, 1);
    w.Bits(2, 2);
    w.Bits(static_cast<std::uint32_t>(nlit - 257), 5);
    w.Bits(static_cast<std::uint32_t>(ndist - 1), 5);
    w.Bits(static_cast<std::uint32_t>(clLengths.size() - 4), 4);
    for (int len : clLengths) {
        w.Bits(static_cast<std::uint32_t>(len), 3);
    }
}

// A code-length code in which only symbols 0..15 exist, each with 4 bits:
// symbol k is the code k. Order of transmission: 16 17 18 0 8 7 9 6 10 5 11
// 4 12 3 13 2 14 1 15 - so 19 entries, the first three 0.
std::vector<int> FlatCodeLengthCode() {
    return {0, 0, 0, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4};
}
void FlatLength(BitWriter& w, int len) {
    w.Code(static_cast<std::uint32_t>(len), 4);
}

// Over-subscribed codes are taken: three 1-bit codes for 'A', 'B' and the end
// of block make the third overwrite the first.
TEST(InflateDecoderTest, OverSubscribedCodesOverwrite) {
    BitWriter w;
    DynamicHeader(w, true, 257, 1, FlatCodeLengthCode());
    for (int sym = 0; sym < 257; ++sym) {
        FlatLength(w, sym == 'A' || sym == 'B' || sym == 256 ? 1 : 0);
    }
    FlatLength(w, 0); // distance 0 unused
    w.Code(1, 1);     // 'B'
    w.Code(1, 1);     // 'B'
    w.Code(0, 1);     // end of block (overwrote 'A')
    ExpectDecodesTo(w.Finish(), ByteVector{'B', 'B'}, "over-subscribed");
}

// HLIT 288: symbols 286 and 287 may have lengths; using them is an error, the
// others decode. Incomplete sets decode as long as only their codes appear.
ByteVector Hlit288Stream(bool use287) {
    BitWriter w;
    DynamicHeader(w, true, 288, 1, FlatCodeLengthCode());
    for (int sym = 0; sym < 288; ++sym) {
        FlatLength(w, sym == 'q' || sym == 256 || sym == 287 ? 2 : 0);
    }
    FlatLength(w, 0);
    // codes: 'q' 00, 256 01, 287 10 (11 unused: the set is incomplete)
    w.Code(0, 2);
    if (use287) {
        w.Code(2, 2);
    }
    w.Code(1, 2);
    return w.Finish();
}

TEST(InflateDecoderTest, Hlit288Accepted) {
    ExpectDecodesTo(Hlit288Stream(false), ByteVector{'q'}, "hlit");
}

// A block whose distance codes are peeked further past their ends than the
// literal/length root reaches: codes of 2 bits for 'a', 'b', the end and
// length 3, and a complete distance code of lengths 1 to 15 whose 1- and
// 7-bit codes leave 5 and 8 bits of the 6-bit root and sub-table unused.
// Every read must still take exactly the bytes the byte-at-a-time path takes.
TEST(InflateDecoderTest, DistancePeeksReachPastTinyLiteralRoot) {
    BitWriter w;
    DynamicHeader(w, true, 258, 16, FlatCodeLengthCode());
    for (int sym = 0; sym < 258; ++sym) {
        FlatLength(w, sym == 'a' || sym == 'b' || sym >= 256 ? 2 : 0);
    }
    for (int d = 0; d < 16; ++d) {
        FlatLength(w, d < 15 ? d + 1 : 15);
    }
    ByteVector expected;
    std::uint32_t s = 3;
    for (int k = 0; k < 3000; ++k) {
        s = s * 1103515245u + 12345u;
        const std::uint32_t pick = (s >> 16) % 4;
        if (expected.size() < 12 || pick < 2) {
            w.Code(pick & 1, 2); // 'a' 00, 'b' 01
            expected.push_back(pick & 1 ? 'b' : 'a');
            continue;
        }
        w.Code(3, 2); // length 3
        std::size_t distance = 1;
        if (pick == 2) {
            w.Code(0, 1); // distance symbol 0: distance 1
        } else {
            const std::uint32_t extra = (s >> 20) & 3;
            w.Code(0x7E, 7); // distance symbol 6: 9 + two extra bits
            w.Bits(extra, 2);
            distance = 9 + extra;
        }
        for (int i = 0; i < 3; ++i) {
            expected.push_back(expected[expected.size() - distance]);
        }
    }
    // Literals last: a distance code's root is peeked in full even at the
    // end of the data.
    for (int k = 0; k < 4; ++k) {
        w.Code(0, 2);
        expected.push_back('a');
    }
    w.Code(2, 2); // end of block
    ExpectDecodesTo(w.Finish(), expected, "tiny literal root");
}

// One crafted stream per failure: the lines written and the bytes produced
// before the failure, under every read pattern.
struct ErrorVector {
    const char* name;
    ByteVector stream;
    ByteVector produced; // before the failure
    std::vector<std::string> lines;
};

ByteVector Fixed(std::initializer_list<int> symbols,
                 std::function<void(BitWriter&)> tail = nullptr) {
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    for (int s : symbols) {
        w.FixedLiteral(s);
    }
    if (tail) {
        tail(w);
    }
    return w.Finish();
}

std::vector<ErrorVector> ErrorVectors() {
    using namespace bv_inflate;
    const std::string shortData = Line(kMsgShortData, "0xTEST");
    std::vector<ErrorVector> v;
    v.push_back({"empty input", {}, {}, {shortData}});
    {
        BitWriter w;
        w.StoredHeader(true, 0x0010, 0xFFEE);
        v.push_back(
            {"stored length check", w.Finish(), {}, {Line(kMsgStoredSize, 0x10, 0x11, "0xTEST")}});
    }
    v.push_back({"block type 3", {0x07}, {}, {Line(kMsgBlockType, "0xTEST")}});
    {
        BitWriter w;
        w.StoredHeader(true, 5, 0xFFFA);
        w.Byte('a');
        w.Byte('b');
        v.push_back(
            {"stored bytes missing", w.Finish(), {'a', 'b'}, {Line(kMsgReadError, "0xTEST")}});
    }
    {
        BitWriter w; // only symbol 0 has a code ("0"); the code "1" is unfilled
        DynamicHeader(w, true, 257, 1, {0, 0, 0, 1});
        w.Code(1, 1);
        v.push_back(
            {"invalid code-length code", w.Finish(), {}, {Line(kMsgBadCodeLengthCode, "0xTEST")}});
    }
    {
        BitWriter w; // no code-length code at all
        DynamicHeader(w, true, 257, 1, {0, 0, 0, 0});
        w.Bits(0, 8);
        v.push_back(
            {"empty code-length code", w.Finish(), {}, {Line(kMsgBadCodeLengthCode, "0xTEST")}});
    }
    {
        BitWriter w; // symbol 16 first
        DynamicHeader(w, true, 257, 1, {1, 0, 0, 1});
        w.Code(1, 1); // 16 (1-bit codes in symbol order: 0 is "0", 16 is "1")
        w.Bits(0, 2);
        v.push_back({"repeat first", w.Finish(), {}, {Line(kMsgBadRepeat, "0xTEST")}});
    }
    {
        BitWriter w; // 18 with 138 zeros, then again: 276 > 258 lengths
        DynamicHeader(w, true, 257, 1, {0, 0, 1, 1});
        w.Code(1, 1); // 18 (codes: symbol 0 -> 0, symbol 18 -> 1)
        w.Bits(127, 7);
        w.Code(1, 1);
        w.Bits(127, 7);
        v.push_back({"repeat past the end", w.Finish(), {}, {Line(kMsgBadRepeat, "0xTEST")}});
    }
    {
        // Every literal/length length 11: a 2,048-entry root table.
        BitWriter w;
        DynamicHeader(w, true, 257, 1, FlatCodeLengthCode());
        for (int i = 0; i < 258; ++i) {
            FlatLength(w, 11);
        }
        v.push_back({"literal table too large",
                     w.Finish(),
                     {},
                     {Line(kMsgTableSpace), Line(kMsgBadLiteralTable, "0xTEST")}});
    }
    {
        // Literal/length lengths all 10 (1,024 entries), distance lengths 9 (512).
        BitWriter w;
        DynamicHeader(w, true, 257, 30, FlatCodeLengthCode());
        for (int i = 0; i < 257; ++i) {
            FlatLength(w, 10);
        }
        for (int i = 0; i < 30; ++i) {
            FlatLength(w, 9);
        }
        v.push_back({"distance table too large",
                     w.Finish(),
                     {},
                     {Line(kMsgTableSpace), Line(kMsgBadDistanceTable, "0xTEST")}});
    }
    // Fixed symbol 286: code 11000110, reversed 0x63, ninth bit 0.
    v.push_back(
        {"literal 286", Fixed({'k', 286}), {'k'}, {Line(kMsgBadCode, 0x63, 0xC0u, "0xTEST")}});
    // Fixed distance 30: code 11110, reversed 01111.
    v.push_back({"distance 30",
                 Fixed({'k', 257}, [](BitWriter& w) { w.FixedDistance(30); }),
                 {'k'},
                 {Line(kMsgBadDistance, 15, 0xC0u, "0xTEST")}});
    v.push_back({"HLIT 288 symbol 287",
                 Hlit288Stream(true),
                 {'q'},
                 {Line(kMsgBadCode, 1, 0xC0u, "0xTEST")}});
    {
        BitWriter w; // only distance codes: the literal/length table is empty
        DynamicHeader(w, true, 257, 1, FlatCodeLengthCode());
        for (int i = 0; i < 257; ++i) {
            FlatLength(w, 0);
        }
        FlatLength(w, 1);
        v.push_back(
            {"empty literal table", w.Finish(), {}, {Line(kMsgBadCode, 0, 0xC0u, "0xTEST")}});
    }
    {
        BitWriter w; // a length with no distance code
        DynamicHeader(w, true, 258, 1, FlatCodeLengthCode());
        for (int i = 0; i < 258; ++i) {
            FlatLength(w, i == 'a' || i == 257 ? 1 : 0);
        }
        FlatLength(w, 0);
        w.Code(0, 1); // 'a'
        w.Code(1, 1); // length 3
        v.push_back({"empty distance table",
                     w.Finish(),
                     {'a'},
                     {Line(kMsgBadDistance, 0, 0xC0u, "0xTEST")}});
    }
    // Data ending inside a code: the root peek uses what is there first.
    v.push_back({"cut inside a code", ByteVector{0x03}, {}, {shortData, shortData}});
    return v;
}

TEST(InflateDecoderTest, ErrorsUnderEveryReadPattern) {
    for (const ErrorVector& e : ErrorVectors()) {
        for (const ChunkPlan& plan : ChunkPlans()) {
            for (int peek : kPeekLimits) {
                LogCapture log;
                DecodeOutcome r = RunDecoder(e.stream, plan, 1000, peek);
                const std::string where =
                    std::string(e.name) + " plan " + plan.name + Name(" peek %d", peek);
                EXPECT_EQ(r.lastResult, -1) << where;
                EXPECT_EQ(r.state, InflateDecoder::Error) << where;
                EXPECT_EQ(log.Lines(), e.lines) << where;
                // What earlier calls delivered is the start of the good bytes;
                // one byte per call delivers all of them before the failing call.
                ASSERT_LE(r.out.size(), e.produced.size()) << where;
                for (std::size_t i = 0; i < r.out.size(); ++i) {
                    if (!r.skipped[i]) {
                        ASSERT_EQ(r.out[i], e.produced[i]) << where << ": byte " << i;
                    }
                }
                if (plan.fixedSize == 1 && !plan.withSkips) {
                    EXPECT_EQ(r.out.size(), e.produced.size()) << where;
                }
            }
        }
    }
}

TEST(InflateDecoderTest, AfterErrorEveryCallFailsSilently) {
    LogCapture log;
    ByteVector work(bv_inflate::kWorkAreaSize, 0);
    ByteVector stream{0x07};
    ByteInput input(stream, 0);
    InflateDecoder d;
    d.Start(work.data(), &input, "n");
    std::uint8_t buf[4];
    EXPECT_EQ(d.Decode(buf, 4), -1);
    log.Clear();
    EXPECT_EQ(d.Decode(buf, 4), -1);
    EXPECT_EQ(d.Decode(nullptr, 4), -1);
    EXPECT_EQ(d.Decode(buf, 0), 0); // a count of 0 does not look at the state
    EXPECT_TRUE(log.Lines().empty());
}

} // namespace
