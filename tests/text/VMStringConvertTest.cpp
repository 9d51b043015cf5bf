// Number parsing, path parts, ShortCode and IntAfterPrefix of VMString texts.
// The parsers are checked at every result code's boundary and against the C
// library's strtoll, strtoull and strtod on generated numbers where the rules
// agree (a bounded count of digits, no white space).
#include "text/VMString.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <random>
#include <string>

namespace {

struct Parse {
    std::int64_t value; // the returned value as a signed 64-bit number
    int code;
};

// Runs the parser named by type on text with default 7 (for the floating
// types 7.0), returning what it gave.
Parse RunParser(const std::string& type, const std::string& text, bool allowFloat,
                bool null = false) {
    Text s = null ? Text(new VMString) : MakeBytes(text);
    int code = -1;
    std::int64_t v = 0;
    if (type == "i8")
        v = s->ToInt8(7, &code, allowFloat);
    else if (type == "u8")
        v = s->ToUInt8(7, &code, allowFloat);
    else if (type == "i16")
        v = s->ToInt16(7, &code, allowFloat);
    else if (type == "u16")
        v = s->ToUInt16(7, &code, allowFloat);
    else if (type == "i32")
        v = s->ToInt32(7, &code, allowFloat);
    else if (type == "u32")
        v = s->ToUInt32(7, &code, allowFloat);
    else if (type == "i64")
        v = s->ToInt64(7, &code, allowFloat);
    else if (type == "u64")
        v = static_cast<std::int64_t>(s->ToUInt64(7, &code, allowFloat));
    return {v, code};
}

struct ParseCase {
    const char* type;
    const char* text;
    bool allowFloat;
    std::int64_t value;
    int code;
};

TEST(VMStringParse, ResultCodesAtTheirBoundaries) {
    const std::int64_t kU64Max = -1; // 18446744073709551615 as int64 bits
    const ParseCase cases[] = {
        {"i8", "127", false, 127, 0},
        {"i8", "128", false, 7, 4},
        {"i8", "-128", false, -128, 0},
        {"i8", "-129", false, 7, 4},
        {"i8", "12a", false, 7, 3},
        {"i8", "", false, 7, 1},
        {"i8", "+", false, 0, 0},
        {"i8", "-", false, 0, 0},
        {"i8", "+0000000127", false, 127, 0}, // ten digits are allowed
        {"i8", "00000000127", false, 7, 2},   // eleven are not
        {"u8", "255", false, 255, 0},
        {"u8", "256", false, 7, 4},
        {"u8", "-1", false, 7, 4},
        {"u8", "-0", false, 0, 0},
        {"u8", "-4294967295", false, 7, 4},  // would wrap to 1
        {"u16", "-4294901761", false, 7, 4}, // would wrap to 65535
        {"i16", "32767", false, 32767, 0},
        {"i16", "-32768", false, -32768, 0},
        {"i16", "-32769", false, 7, 4},
        {"u16", "65535", false, 65535, 0},
        {"u16", "65536", false, 7, 4},
        {"i32", "2147483647", false, 2147483647, 0},
        {"i32", "2147483648", false, 7, 4},
        {"i32", "-2147483648", false, -2147483648LL, 0},
        {"i32", "-2147483649", false, 7, 4},
        {"i32", "9999999999", false, 7, 4}, // ten digits beyond the accumulator's check
        {"i32", "12345678901", false, 7, 2},
        {"i32", " 1", false, 7, 3},
        {"u32", "4294967295", false, 4294967295LL, 0},
        {"u32", "4294967296", false, 7, 4},
        {"u32", "4294967300", false, 7, 4},
        {"u32", "5000000000", false, 7, 4},
        {"u32", "-1", false, 4294967295LL, 0}, // wraps: no check after the sign
        {"i64", "9223372036854775807", false, INT64_MAX, 0},
        {"i64", "9223372036854775808", false, 7, 4},
        {"i64", "-9223372036854775808", false, INT64_MIN, 0},
        {"i64", "-9223372036854775809", false, 7, 4},
        {"i64", "12345678901234567890", false, 7, 2},
        {"u64", "18446744073709551615", false, kU64Max, 0},
        {"u64", "18446744073709551616", false, 7, 4},
        {"u64", "18446744073709551620", false, 7, 4},
        {"u64", "-1", false, kU64Max, 0},
        {"u64", "123456789012345678901", false, 7, 2},
        // The floating-point path replaces a failed integer path's code.
        {"i16", "1e3", false, 7, 3},
        {"i16", "1e3", true, 1000, 0},
        {"i16", "12.9", true, 12, 0},
        {"i16", "-12.9", true, -12, 0},
        {"i16", "12.9 ", true, 7, 2},
        {"i16", " 12.9", true, 12, 0}, // strtod skips leading white space
        {"i16", "1e400", true, 7, 2},
        {"i16", "4e4", true, 7, 4},
        {"u8", "-1.0", true, 7, 4},
        {"u32", "4294967295.0", true, 4294967295LL, 0},
        {"u32", "4294967296.0", true, 7, 4},
        {"u64", "18446744073709551615.0", true, 7, 4},
        {"u64", "9223372036854774784.0", true, 9223372036854774784LL, 0},
        {"i64", "1e19", true, 7, 4}, // beyond int64: refused, not wrapped
        {"i64", "-9223372036854775808.0", true, INT64_MIN, 0},
        {"i32", "nan", true, 7, 4},
        {"i32", "inf", true, 7, 4},
        {"i32", "x", true, 7, 2},
        {"i32", "", true, 7, 1},
    };
    for (const ParseCase& c : cases) {
        const Parse got = RunParser(c.type, c.text, c.allowFloat);
        EXPECT_EQ(got.code, c.code) << c.type << " '" << c.text << "' " << c.allowFloat;
        EXPECT_EQ(got.value, c.value) << c.type << " '" << c.text << "' " << c.allowFloat;
    }
}

TEST(VMStringParse, NullTextAndMissingErrorPointer) {
    for (const char* type : {"i8", "u8", "i16", "u16", "i32", "u32", "i64", "u64"}) {
        const Parse got = RunParser(type, "", true, true);
        EXPECT_EQ(got.code, 1) << type;
        EXPECT_EQ(got.value, 7) << type;
    }
    Text s = MakeText("42");
    EXPECT_EQ(s->ToInt32(7, nullptr, false), 42);
    EXPECT_EQ(s->ToDouble(7.0, nullptr), 42.0);
}

TEST(VMStringParse, FloatingTypes) {
    struct Case {
        const char* text;
        double value;
        int code;
    };
    const Case cases[] = {
        {"2.5", 2.5, 0},  {"", 7.0, 1},    {"-1e-3", -1e-3, 0}, {"1e400", 7.0, 2},
        {"2.5x", 7.0, 2}, {"\t3", 3.0, 0}, {"0x10", 16.0, 0},   {"1e-400", 7.0, 2},
    };
    for (const Case& c : cases) {
        Text s = MakeText(c.text);
        int code = -1;
        EXPECT_EQ(s->ToDouble(7.0, &code), c.value) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
        code = -1;
        EXPECT_EQ(s->ToFloat(7.0f, &code), static_cast<float>(c.value)) << c.text;
        EXPECT_EQ(code, c.code) << c.text;
    }
    int code = -1;
    EXPECT_EQ(MakeText("1e300")->ToFloat(7.0f, &code), std::numeric_limits<float>::infinity());
    EXPECT_EQ(code, 0);
    Text null(new VMString);
    EXPECT_EQ(null->ToDouble(7.0, &code), 7.0);
    EXPECT_EQ(code, 1);
}

TEST(VMStringParse, FloatPathTerminatesAViewWithoutChangingIt) {
    Text whole = MakeText("12.5xyz");
    Text view(new VMString);
    view->AssignSub(whole.get(), 0, 4);
    int code = -1;
    EXPECT_EQ(view->ToDouble(0.0, &code), 12.5);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(Str(*view), "12.5");
    EXPECT_EQ(Str(*whole), "12.5xyz");
}

// Numbers with an optional sign and 1..22 digits, often with leading zeros
// or near a power of two.
std::string GenerateNumber(std::mt19937_64& rng) {
    std::string s;
    const int sign = static_cast<int>(rng() % 3);
    if (sign == 1)
        s += '-';
    else if (sign == 2)
        s += '+';
    if (rng() % 4 == 0) {
        const int bits = static_cast<int>(rng() % 64) + 1;
        const std::uint64_t v = (bits == 64 ? 0 : (std::uint64_t(1) << bits)) - 1 + rng() % 3;
        return s + std::to_string(v);
    }
    const int digits = 1 + static_cast<int>(rng() % 22);
    for (int i = 0; i < digits; ++i)
        s += static_cast<char>('0' + (i < 3 && rng() % 3 == 0 ? 0 : rng() % 10));
    return s;
}

int Digits(const std::string& s) {
    return static_cast<int>(s.size()) - (s[0] == '-' || s[0] == '+');
}

// What strtoll says for a signed type of [lo, hi], where the digit count is allowed.
Parse SignedReference(const std::string& s, std::int64_t lo, std::int64_t hi) {
    errno = 0;
    const long long v = std::strtoll(s.c_str(), nullptr, 10);
    if (errno == ERANGE || v < lo || v > hi)
        return {7, 4};
    return {v, 0};
}

// What strtoull says for an unsigned type; the sign wraps only uint32 and
// uint64, the narrow ones refuse a negative value.
Parse UnsignedReference(const std::string& s, std::uint64_t max) {
    const bool negative = s[0] == '-';
    const std::string magnitude = s.substr(s[0] == '-' || s[0] == '+' ? 1 : 0);
    errno = 0;
    const unsigned long long m = std::strtoull(magnitude.c_str(), nullptr, 10);
    if (errno == ERANGE || m > max)
        return {7, 4};
    const std::uint64_t v = negative ? (0 - m) & max : m;
    if (negative && m != 0 && max < 0xFFFFFFFFu)
        return {7, 4};
    return {static_cast<std::int64_t>(v), 0};
}

TEST(VMStringParse, AgreesWithStrtollAndStrtoull) {
    struct Type {
        const char* name;
        int maxDigits;
        bool isSigned;
        std::int64_t lo;
        std::int64_t hi;
    };
    const Type types[] = {
        {"i8", 10, true, INT8_MIN, INT8_MAX},    {"i16", 10, true, INT16_MIN, INT16_MAX},
        {"i32", 10, true, INT32_MIN, INT32_MAX}, {"i64", 19, true, INT64_MIN, INT64_MAX},
        {"u8", 10, false, 0, UINT8_MAX},         {"u16", 10, false, 0, UINT16_MAX},
        {"u32", 10, false, 0, UINT32_MAX},       {"u64", 20, false, 0, -1},
    };
    std::mt19937_64 rng(4);
    int accepted = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string s = GenerateNumber(rng);
        for (const Type& t : types) {
            Parse expected{7, 2};
            if (Digits(s) <= t.maxDigits)
                expected = t.isSigned ? SignedReference(s, t.lo, t.hi)
                                      : UnsignedReference(s, static_cast<std::uint64_t>(t.hi));
            const Parse got = RunParser(t.name, s, false);
            accepted += got.code == 0;
            ASSERT_EQ(got.code, expected.code) << t.name << " " << s;
            ASSERT_EQ(got.value, expected.value) << t.name << " " << s;
        }
    }
    EXPECT_GT(accepted, 40000);
}

// Decimal fractions and exponents, which only the floating-point path takes.
TEST(VMStringParse, FloatPathAgreesWithStrtod) {
    std::mt19937_64 rng(5);
    for (int round = 0; round < 5000; ++round) {
        std::string s = rng() % 2 ? "-" : "";
        s += std::to_string(rng() % 100000);
        s += "." + std::to_string(rng() % 1000);
        if (rng() % 3 == 0)
            s += "e" + std::to_string(static_cast<int>(rng() % 40) - 20);
        const double d = std::strtod(s.c_str(), nullptr);
        Text text = MakeText(s.c_str());
        int code = -1;
        ASSERT_EQ(text->ToDouble(0.0, &code), d) << s;
        ASSERT_EQ(code, 0) << s;
        const Parse got = RunParser("i32", s, true);
        if (std::fabs(d) < 2147483647.0) {
            EXPECT_EQ(got.code, 0) << s;
            EXPECT_EQ(got.value, static_cast<std::int64_t>(d)) << s;
        } else {
            EXPECT_EQ(got.code, 4) << s;
        }
    }
}

// --- path parts -----------------------------------------------------------------------

TEST(VMStringPath, Parts) {
    struct Case {
        const char* path;
        bool useSlash;
        const char* title;
        const char* extension;
        const char* dirWithSeparator;
        const char* dir;
    };
    const Case cases[] = {
        {"C:\\dir\\name.ext", false, "name", "ext", "C:\\dir\\", "C:\\dir"},
        {"dir.d\\file", false, "file", "d\\file", "dir.d\\", "dir.d"},
        {"a/b/c.txt", true, "c", "txt", "a/b/", "a/b"},
        {"a/b/c.txt", false, "a/b/c", "txt", "<null>", "<null>"}, // the wrong separator
        {"name", false, "<null>", "<null>", "<null>", "<null>"},  // neither
        {"name.ext", false, "name", "ext", "<null>", "<null>"},   // no separator
        {"dir\\name", false, "name", "<null>", "dir\\", "dir"},   // no dot
        {".ext", false, "<null>", "ext", "<null>", "<null>"},     // a dot first
        {"name.", false, "name", "<null>", "<null>", "<null>"},   // a dot last
        {"\\name", false, "name", "<null>", "\\", "<null>"},      // a separator first
        {"dir\\", false, "<null>", "<null>", "dir\\", "dir"},     // a separator last
        {"d\\.x", false, "<null>", "x", "d\\", "d"},
        {"\x95\\.x", false, "\x95\\", "x", "<null>", "<null>"}, // 0x95 0x5C is one character
        {"", false, "<null>", "<null>", "<null>", "<null>"},
    };
    for (const Case& c : cases) {
        Text s = MakeText(c.path);
        EXPECT_EQ(Str(*Text(s->FileTitle(c.useSlash))), c.title) << c.path;
        EXPECT_EQ(Str(*Text(s->FileExtension())), c.extension) << c.path;
        EXPECT_EQ(Str(*Text(s->DirectoryWithSeparator(c.useSlash))), c.dirWithSeparator) << c.path;
        EXPECT_EQ(Str(*Text(s->Directory(c.useSlash))), c.dir) << c.path;
    }
    Text null(new VMString);
    EXPECT_TRUE(Text(null->FileTitle(false))->IsNull());
    EXPECT_TRUE(Text(null->FileExtension())->IsNull());
}

TEST(VMStringPath, PartsAreViews) {
    Text s = MakeText("C:\\dir\\name.ext");
    Text title(s->FileTitle(false));
    EXPECT_EQ(title->Buffer(), s->Buffer());
    EXPECT_EQ(title->Offset(), 7);
}

// --- codes -----------------------------------------------------------------------------

TEST(VMStringCodes, ShortCode) {
    struct Case {
        std::string text;
        std::uint32_t code;
    };
    const Case cases[] = {
        {"Bmp", 0x00626D70u},
        {"BMPX", 0x00626D70u},
        {"A", 0x61u},
        {"", 0},
        {"\x82\x41Z", 0x0082417Au}, // a two-byte character is not folded
        {"a\x82\x41", 0x00618241u},
        {"ab\x82\x41", 0x00616282u}, // cut inside the character
        {"a\x82", 0x00006182u},      // a lead byte last is a single byte
        {std::string("\xFF\xFE\xFD"), 0x00FFFEFDu},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeBytes(c.text)->ShortCode(), c.code) << c.text;
    EXPECT_EQ(Text(new VMString)->ShortCode(), 0u);
}

TEST(VMStringCodes, HashNoCase) {
    EXPECT_EQ(MakeText("ABC")->HashNoCase(), 0x352441C2u);
    EXPECT_EQ(MakeText("abc")->HashNoCase(), 0x352441C2u);
    EXPECT_EQ(MakeText("")->HashNoCase(), 0u);
    EXPECT_EQ(Text(new VMString)->HashNoCase(), 0u);
    // 0x82 0x41 is one character: its second byte is hashed as it is.
    EXPECT_NE(MakeBytes("\x82\x41")->HashNoCase(), MakeBytes("\x82\x61")->HashNoCase());
    EXPECT_EQ(MakeBytes("\x82\x41")->HashNoCase(), MakeBytes("\x82\x41")->HashNoCase());
    EXPECT_EQ(MakeBytes("A\x82")->HashNoCase(), MakeBytes("a\x82")->HashNoCase());
}

TEST(VMStringCodes, IntAfterPrefix) {
    struct Case {
        const char* text;
        const char* prefix;
        int value;
    };
    const Case cases[] = {
        {"id42", "id", 42},
        {"id-7", "id", -7},
        {"id", "id", 0},
        {"xx42", "id", 0},
        {"id4x", "id", 0},
        {"ID42", "id", 0},
        {"id2147483647", "id", 2147483647},
        {"id2147483648", "id", 0},
        {"id-2147483648", "id", INT32_MIN},
        {"id+5", "id", 5},
        {"12", "", 12},
        {"id", nullptr, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MakeText(c.text)->IntAfterPrefix(c.prefix), c.value) << c.text;
    EXPECT_EQ(Text(new VMString)->IntAfterPrefix("id"), 0);
}

} // namespace
