// Typed, string, block and text members: encodings on file, and what each
// gives back when the bytes are not all there.
#include "file/BVFile.h"
#include "support/VectorFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr std::uint32_t kWrite = BVFile::ModeWrite;

// A reader over bytes, refilled one byte at a time so that every multi-byte
// value straddles refills.
struct Reader : VectorFile {
    explicit Reader(std::vector<std::uint8_t> bytes) : VectorFile(0, 3, std::move(bytes)) {
        piece = 1;
    }
};

// The bytes that a write sequence leaves on file.
std::vector<std::uint8_t> Written(const std::function<bool(BVFile&)>& write, bool expectOk = true) {
    VectorFile f(kWrite, 3);
    EXPECT_EQ(write(f), expectOk);
    f.Close();
    return f.sink;
}

TEST(BVFileTyped, LittleAndBigEndianReaders) {
    const std::vector<std::uint8_t> bytes = Bytes({0x01, 0x02, 0x03, 0x04, 0xF5, 0x06, 0x07, 0x88});
    struct Case {
        const char* name;
        std::function<std::uint64_t(BVFile&)> read;
        std::uint64_t expected;
    };
    const Case cases[] = {
        {"Int8", [](BVFile& f) { return std::uint64_t(f.ReadInt8(0) + 1000); }, 1001},
        {"UInt8", [](BVFile& f) { return std::uint64_t(f.ReadUInt8(0)); }, 0x01},
        {"Int16LE", [](BVFile& f) { return std::uint64_t(f.ReadInt16LE(0)); }, 0x0201},
        {"Int16BE", [](BVFile& f) { return std::uint64_t(f.ReadInt16BE(0)); }, 0x0102},
        {"UInt16LE", [](BVFile& f) { return std::uint64_t(f.ReadUInt16LE(0)); }, 0x0201},
        {"UInt16BE", [](BVFile& f) { return std::uint64_t(f.ReadUInt16BE(0)); }, 0x0102},
        {"WCharLE", [](BVFile& f) { return std::uint64_t(f.ReadWCharLE(0)); }, 0x0201},
        {"WCharBE", [](BVFile& f) { return std::uint64_t(f.ReadWCharBE(0)); }, 0x0102},
        {"Int32LE", [](BVFile& f) { return std::uint64_t(f.ReadInt32LE(0)); }, 0x04030201},
        {"Int32BE", [](BVFile& f) { return std::uint64_t(f.ReadInt32BE(0)); }, 0x01020304},
        {"UInt32LE", [](BVFile& f) { return std::uint64_t(f.ReadUInt32LE(0)); }, 0x04030201},
        {"UInt32BE", [](BVFile& f) { return std::uint64_t(f.ReadUInt32BE(0)); }, 0x01020304},
        {"Int64LE", [](BVFile& f) { return std::uint64_t(f.ReadInt64LE(0)); }, 0x880706F504030201},
        {"Int64BE", [](BVFile& f) { return std::uint64_t(f.ReadInt64BE(0)); }, 0x01020304F5060788},
        {"UInt64LE", [](BVFile& f) { return f.ReadUInt64LE(0); }, 0x880706F504030201},
        {"UInt64BE", [](BVFile& f) { return f.ReadUInt64BE(0); }, 0x01020304F5060788},
    };
    for (const Case& c : cases) {
        Reader f(bytes);
        EXPECT_EQ(c.read(f), c.expected) << c.name;
        EXPECT_TRUE(f.LastOk()) << c.name;
    }
    // Sign comes from the top byte of the value as read.
    Reader f(Bytes({0xF5, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}));
    EXPECT_EQ(f.ReadInt16LE(0), -11);
    EXPECT_EQ(f.ReadInt8(0), -1);
    EXPECT_EQ(f.ReadInt32BE(0), -2);
}

TEST(BVFileTyped, FloatsInBothOrders) {
    Reader f(Bytes({0x00, 0x00, 0xC0, 0x3F, 0x3F, 0xC0, 0x00, 0x00}));
    EXPECT_EQ(f.ReadFloatLE(0), 1.5f);
    EXPECT_EQ(f.ReadFloatBE(0), 1.5f);
    Reader d(Bytes({0, 0, 0, 0, 0, 0, 0x04, 0xC0, 0xC0, 0x04, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(d.ReadDoubleLE(0), -2.5);
    EXPECT_EQ(d.ReadDoubleBE(0), -2.5);
}

TEST(BVFileTyped, ShortReadGivesDefaultAndConsumes) {
    Reader f(Bytes({0x7F}));
    EXPECT_EQ(f.ReadUInt16LE(0xFFFF), 0xFFFF);
    EXPECT_FALSE(f.LastOk());
    EXPECT_EQ(f.ReadUInt8(9), 9) << "the lone byte was consumed";
    EXPECT_EQ(f.ReadInt64BE(-7), -7);
    EXPECT_EQ(f.ReadDoubleLE(0.25), 0.25);
}

TEST(BVFileTyped, ReadBool) {
    Reader f(Bytes({1, 0, 2, 1}));
    EXPECT_TRUE(f.ReadBool(false));
    EXPECT_TRUE(f.LastOk());
    EXPECT_FALSE(f.ReadBool(true));
    EXPECT_TRUE(f.ReadBool(true)) << "2 is no bool";
    EXPECT_FALSE(f.LastOk());
    EXPECT_TRUE(f.ReadBool(false)) << "the bad byte was consumed";
    EXPECT_TRUE(f.ReadBool(true));
    EXPECT_FALSE(f.LastOk());
}

TEST(BVFileTyped, WritersAreLittleEndianAndReadBack) {
    const auto bytes = Written([](BVFile& f) {
        return f.WriteBool(true) && f.WriteInt8(-2) && f.WriteUInt8(0xAB) && f.WriteInt16(-3) &&
               f.WriteUInt16(0x1234) && f.WriteWChar(0x3042) && f.WriteInt32(-5) &&
               f.WriteUInt32(0xDEADBEEF) && f.WriteInt64(-6) && f.WriteUInt64(0x0102030405060708) &&
               f.WriteFloat(1.5f) && f.WriteDouble(-2.5);
    });
    const auto expected = Bytes(
        {1,    0xFE, 0xAB, 0xFD, 0xFF, 0x34, 0x12, 0x42, 0x30, 0xFB, 0xFF, 0xFF, 0xFF, 0xEF, 0xBE,
         0xAD, 0xDE, 0xFA, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 8,    7,    6,    5,    4,
         3,    2,    1,    0,    0,    0xC0, 0x3F, 0,    0,    0,    0,    0,    0,    0x04, 0xC0});
    EXPECT_EQ(bytes, expected);
    Reader f(bytes);
    EXPECT_TRUE(f.ReadBool(false));
    EXPECT_EQ(f.ReadInt8(0), -2);
    EXPECT_EQ(f.ReadUInt8(0), 0xAB);
    EXPECT_EQ(f.ReadInt16LE(0), -3);
    EXPECT_EQ(f.ReadUInt16LE(0), 0x1234);
    EXPECT_EQ(f.ReadWCharLE(0), BVWChar(0x3042));
    EXPECT_EQ(f.ReadInt32LE(0), -5);
    EXPECT_EQ(f.ReadUInt32LE(0), 0xDEADBEEF);
    EXPECT_EQ(f.ReadInt64LE(0), -6);
    EXPECT_EQ(f.ReadUInt64LE(0), 0x0102030405060708u);
    EXPECT_EQ(f.ReadFloatLE(0), 1.5f);
    EXPECT_EQ(f.ReadDoubleLE(0), -2.5);
    EXPECT_TRUE(f.LastOk());
}

TEST(BVFileText, ReadCString) {
    struct Case {
        const char* input;
        std::size_t inputLength;
        int maxCount, result;
        const char* text;
        int nextByte; // -1: end of data
    };
    const Case cases[] = {
        {"abcdef", 6, 4, 4, "abc", 'e'},                             // d is consumed and lost
        {"ab\0cd", 5, 10, 2, "ab", 'c'}, {"ab", 2, 10, 2, "ab", -1}, // the end reads as 0
        {"abc", 3, 4, 3, "abc", -1},     {"", 0, 5, 0, "", -1},
        {"x", 1, 1, 1, "", -1},          {"\0x", 2, 1, 0, "", 'x'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.input << " max " << c.maxCount);
        Reader f(std::vector<std::uint8_t>(c.input, c.input + c.inputLength));
        char buf[16];
        std::memset(buf, '#', sizeof buf);
        EXPECT_EQ(f.ReadCString(buf, 2, c.maxCount), c.result);
        EXPECT_STREQ(buf + 2, c.text);
        EXPECT_EQ(buf[1], '#');
        const std::uint8_t next = f.ReadUInt8(0);
        EXPECT_EQ(f.LastOk() ? int(next) : -1, c.nextByte);
    }
    Reader f(Bytes("abc"));
    char buf[4];
    EXPECT_EQ(f.ReadCString(buf, 0, 0), -1) << "no room for a terminator";
    EXPECT_EQ(f.ReadCString(nullptr, 0, 4), -1);
    EXPECT_EQ(f.ReadUInt8(0), 'a') << "nothing consumed";
}

// Every ReadLine result until the first -1, as "text" or "<-1>".
std::vector<std::string> Lines(const std::vector<std::uint8_t>& bytes, int maxCount) {
    Reader f(bytes);
    std::vector<std::string> out;
    char buf[32];
    for (int i = 0; i < 10; ++i) {
        std::memset(buf, '#', sizeof buf);
        const int n = f.ReadLine(buf, 1, maxCount);
        if (n < 0) {
            EXPECT_EQ(buf[1], '#') << "nothing stored at the end";
            return out;
        }
        EXPECT_EQ(buf[1 + n], 0);
        out.emplace_back(buf + 1, static_cast<std::size_t>(n));
    }
    return out;
}

TEST(BVFileText, ReadLine) {
    using V = std::vector<std::string>;
    EXPECT_EQ(Lines(Bytes("ab\r\ncd"), 16), (V{"ab", "cd"}));
    EXPECT_EQ(Lines(Bytes("ab\n\ncd\n"), 16), (V{"ab", "", "cd"}));
    EXPECT_EQ(Lines(Bytes({'a', 0, 'b'}), 16), (V{"a", "b"}));
    EXPECT_EQ(Lines(Bytes("a\rb\r\r\n"), 16), (V{"a\rb\r"})) << "only the CR before LF goes";
    // Lines longer than maxCount - 1 come in pieces; a CR ending a piece stays.
    EXPECT_EQ(Lines(Bytes("abcdef\n"), 4), (V{"abc", "def", ""}));
    EXPECT_EQ(Lines(Bytes("ab\r\ncd"), 4), (V{"ab\r", "", "cd"}));
    EXPECT_EQ(Lines(Bytes(""), 16), V{});

    Reader f(Bytes("xy"));
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(f.ReadLine(buf, 0, 1), 0) << "room for the terminator only";
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(f.fills, 0) << "nothing read";
    EXPECT_EQ(f.ReadLine(buf, 0, 0), -1);
    EXPECT_EQ(f.ReadLine(nullptr, 0, 4), -1);
}

TEST(BVFileText, ReadLineW) {
    Reader f(Bytes({'a', 0, 0x42, 0x30, 0x0D, 0, 0x0A, 0, 'c', 0, 0, 0, 'd', 0}));
    BVWChar buf[8];
    EXPECT_EQ(f.ReadLineW(buf, 0, 8), 2);
    EXPECT_EQ(buf[1], BVWChar(0x3042));
    EXPECT_EQ(buf[2], BVWChar(0));
    EXPECT_EQ(f.ReadLineW(buf, 0, 8), 1) << "a zero unit ends the line";
    EXPECT_EQ(f.ReadLineW(buf, 1, 2), 1);
    EXPECT_EQ(buf[1], BVWChar('d'));
    EXPECT_EQ(f.ReadLineW(buf, 0, 8), -1);
}

TEST(BVFileText, WriteTextShiftJis) {
    struct Case {
        const char* text;
        int offset;
        std::vector<std::uint8_t> expected;
    };
    const Case cases[] = {
        {"a\nb", 0, Bytes({0x61, 0x0D, 0x0A, 0x62})},
        {"\x83\x0A", 0, Bytes({0x83, 0x0A})}, // trail byte 0x0A stays one character
        {"\xE0\x0A\n", 0, Bytes({0xE0, 0x0A, 0x0D, 0x0A})},
        {"\x82\xA0\x9F\x40", 0, Bytes({0x82, 0xA0, 0x9F, 0x40})}, // "あ" and a second pair
        {"\xA0\n", 0, Bytes({0xA0, 0x0D, 0x0A})},                 // half-width kana, no lead
        {"a\x81", 0, Bytes({0x61, 0x81, 0x00})}, // a last lead byte takes the terminator
        {"xx\n", 2, Bytes({0x0D, 0x0A})},
        {"", 0, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Written([&](BVFile& f) { return f.WriteText(c.text, c.offset); }), c.expected)
            << c.text;
    EXPECT_TRUE(Written([](BVFile& f) { return f.WriteText(nullptr, 0); }, false).empty());
    VectorFile readOnly(0, 4);
    EXPECT_FALSE(readOnly.WriteText("a\n", 0));
}

TEST(BVFileText, WideWriters) {
    const BVWChar text[] = {'a', 0x0A, 0x3042, 'b', 0};
    EXPECT_EQ(Written([&](BVFile& f) { return f.WriteWText(text, 0); }),
              Bytes({'a', 0, 0x0D, 0, 0x0A, 0, 0x42, 0x30, 'b', 0}));
    EXPECT_EQ(Written([&](BVFile& f) { return f.WriteWString(text, 3); }), Bytes({'b', 0}));
    EXPECT_EQ(Written([&](BVFile& f) { return f.WriteWStringZ(text, 2); }),
              Bytes({0x42, 0x30, 'b', 0, 0, 0}));
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteWStringZ(BVWideString()); }), Bytes({0, 0}));
    EXPECT_TRUE(Written([](BVFile& f) { return f.WriteWString(nullptr, 0); }, false).empty());
}

TEST(BVFileText, NarrowWriters) {
    const BVString s("hey");
    EXPECT_EQ(Written([&](BVFile& f) { return f.Write(s) && f.WriteString(s); }), Bytes("heyhey"));
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteString("abc", 1); }), Bytes("bc"));
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteStringZ("abc", 1); }), Bytes({'b', 'c', 0}));
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteStringZ(BVString()); }), Bytes({0}));
    EXPECT_EQ(Written([&](BVFile& f) { return f.WriteStringZ(s); }), Bytes({'h', 'e', 'y', 0}));
    EXPECT_EQ(s.Record()->shareCount, 1) << "by-value arguments gave their share back";
    EXPECT_TRUE(Written([](BVFile& f) { return f.WriteStringZ(nullptr, 0); }, false).empty());
}

TEST(BVFileBlocks, WriteWithLength) {
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteWithLength(nullptr, 0, 5); }),
              Bytes({5, 0, 0, 0}));
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteStringWithLength("xabc", 1, -1); }),
              Bytes({3, 0, 0, 0, 'a', 'b', 'c'}));
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteStringWithLength("abc", 0, 2); }),
              Bytes({2, 0, 0, 0, 'a', 'b'}));
    EXPECT_TRUE(
        Written([](BVFile& f) { return f.WriteStringWithLength(nullptr, 0, -1); }, false).empty());
    EXPECT_EQ(Written([](BVFile& f) { return f.WriteStringWithLength(BVString()); }),
              Bytes({0, 0, 0, 0}));
    VectorFile readOnly(0, 4);
    EXPECT_FALSE(readOnly.WriteWithLength("ab", 0, 2));
}

TEST(BVFileBlocks, ReadBVStringWithLength) {
    struct Case {
        std::vector<std::uint8_t> bytes;
        const char* text; // null: a null string
        bool lastOk;
    };
    const Case cases[] = {
        {Bytes({3, 0, 0, 0, 'a', 'b', 'c', 'd'}), "abc", true},
        {Bytes({0, 0, 0, 0}), "", true},
        {Bytes({0xFF, 0xFF, 0xFF, 0xFF, 'a'}), nullptr, true}, // negative count
        {Bytes({0, 0, 0, 0x80}), nullptr, true},               // most negative
        {Bytes({5, 0, 0, 0, 'a', 'b'}), nullptr, false},       // block cut short
        {Bytes({5, 0}), nullptr, false},                       // count cut short
    };
    for (const Case& c : cases) {
        Reader f(c.bytes);
        const BVString s = f.ReadBVStringWithLength();
        EXPECT_EQ(f.LastOk(), c.lastOk);
        if (c.text == nullptr) {
            EXPECT_TRUE(s.IsNull());
        } else {
            ASSERT_FALSE(s.IsNull());
            EXPECT_EQ(std::string(s.Text(), static_cast<std::size_t>(s.Length())), c.text);
            EXPECT_EQ(s.Text()[s.Length()], 0);
        }
    }
}

TEST(BVFileBlocks, WideBlocksRoundTrip) {
    const auto bytes = Written([](BVFile& f) {
        BVWideString w;
        if (!w.SizeForWriting(4))
            return false;
        w.Data()[0] = 'h';
        w.Data()[1] = 0x3042;
        return f.WriteWStringWithLength(w) && f.WriteWString(w);
    });
    EXPECT_EQ(bytes, Bytes({4, 0, 0, 0, 'h', 0, 0x42, 0x30, 'h', 0, 0x42, 0x30}));
    std::vector<std::uint8_t> input(bytes.begin(), bytes.begin() + 8);
    input.insert(input.end(), {6, 0, 0, 0, 'x', 0}); // a second block cut short
    Reader f(input);
    BVWideString w = f.ReadWStringWithLength();
    ASSERT_EQ(w.ByteLength(), 4);
    EXPECT_EQ(w.Data()[1], BVWChar(0x3042));
    EXPECT_TRUE(f.LastOk());
    w = f.ReadWStringWithLength();
    EXPECT_FALSE(f.LastOk());
    EXPECT_EQ(w.Record(), nullptr);

    Reader negative(Bytes({0xFE, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(negative.ReadWStringWithLength().Record(), nullptr);
    EXPECT_TRUE(negative.LastOk());
}

TEST(BVFileBlocks, ReadBVString) {
    Reader f(Pattern(6));
    BVString s = f.ReadBVString(4);
    EXPECT_EQ(s.Length(), 4);
    EXPECT_TRUE(f.LastOk());
    s = f.ReadBVString(5);
    EXPECT_EQ(s.Length(), 2) << "cut to what was there";
    EXPECT_EQ(s.Text()[1], 5);
    EXPECT_FALSE(f.LastOk());
    s = f.ReadBVString(-2);
    EXPECT_EQ(s.Length(), 0);
    EXPECT_FALSE(f.LastOk());

    VectorFile failing(0, 4, Pattern(6));
    failing.failFillAt = 0;
    EXPECT_TRUE(failing.ReadBVString(3).IsNull());
}

} // namespace
