// The formatting engine and its driver: the framework's own printf rules,
// capacity handling, malformed formats, and agreement with the C library
// wherever the rules are the same.
#include "text/VMStringFormat.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#ifdef __MINGW32__
#define C_SNPRINTF __mingw_snprintf // the C99 formatter BVString uses too
#else
#define C_SNPRINTF std::snprintf
#endif

namespace {

const int kRoomy = 1 << 16;

// The engine's output, or "<-1>" / "<-2>" for its failure results.
std::string VFmt(int capacity, const char* format, va_list args) {
    std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity));
    const int n = FormatInto(buffer.data(), capacity, format, args);
    if (n < 0)
        return "<" + std::to_string(n) + ">";
    EXPECT_LT(n, capacity);
    EXPECT_EQ(buffer[static_cast<std::size_t>(n)], 0) << "the zero byte after the text";
    return std::string(buffer.begin(), buffer.begin() + n);
}

std::string Fmt(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = VFmt(kRoomy, format, args);
    va_end(args);
    return out;
}

std::string FmtIn(int capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string out = VFmt(capacity, format, args);
    va_end(args);
    return out;
}

const long long kBig = 1LL << 40; // 1099511627776: visible only when read as 64 bits

TEST(FormatInto, DiffersFromCWhereTheFrameworkSaysSo) {
    // The sign stands outside the width.
    EXPECT_EQ(Fmt("%5d|", -42), "   -42|");
    EXPECT_EQ(Fmt("%05d", -42), "-00042");
    EXPECT_EQ(Fmt("%+5d", 42), "   +42");
    EXPECT_EQ(Fmt("%10.2f|", -1.5), "      -1.50|");
    // '+' gives no sign to 0, for integers and floating values.
    EXPECT_EQ(Fmt("%+d %+d %+d", 5, 0, -5), "+5 0 -5");
    EXPECT_EQ(Fmt("%+.1f %+.1f", 1.5, 0.0), "+1.5 0.0");
    // ' ' is ignored.
    EXPECT_EQ(Fmt("% d|% f", 5, 1.0), "5|1.000000");
    // '#' adds no prefix to o, x, X.
    EXPECT_EQ(Fmt("%#o %#x %#X", 8, 255, 255), "10 ff FF");
    // '#' with g appends ".0" when there is no point, and only then.
    EXPECT_EQ(Fmt("%#g", 100.0), "100.0");
    EXPECT_EQ(Fmt("%#g", 1.5), "1.5");
    EXPECT_EQ(Fmt("%#G", 1e20), "1E+20.0");
    // '0' does nothing to floating values.
    EXPECT_EQ(Fmt("%08.2f", 1.5), "    1.50");
    // '.' alone leaves the precision unset.
    EXPECT_EQ(Fmt("%.f|%.s|%.d", 1.5, "abc", 0), "1.500000|abc|0");
    // Precision 0 still writes the digit of 0.
    EXPECT_EQ(Fmt("%.0d|%.0x", 0, 0), "0|0");
    // 'a' is fixed-point.
    EXPECT_EQ(Fmt("%a|%.2A", 1.5, 1.5), "1.500000|1.50");
    // 'S' and 'C' are narrow.
    EXPECT_EQ(Fmt("%S%C", "ab", 'c'), "abc");
    // n, p and Z are dropped and take no argument: the next conversion gets it.
    EXPECT_EQ(Fmt("%p%d", 7), "7");
    EXPECT_EQ(Fmt("[%-5n%Z%#lp]%s", "x"), "[]x");
    // A negative '*' width neither pads nor left-justifies.
    EXPECT_EQ(Fmt("%*d|", -5, 42), "42|");
    // A character conversion of 0 writes nothing (its padding still comes).
    EXPECT_EQ(Fmt("[%c][%3c]", 0, 0), "[][   ]");
    // A backslash stays and keeps the next character from being interpreted.
    EXPECT_EQ(Fmt("\\%d%d", 7), "\\%d7");
    EXPECT_EQ(Fmt("a\\\\b\\"), "a\\\\b");
}

TEST(FormatInto, FlagsWidthAndPrecision) {
    EXPECT_EQ(Fmt("%d%%", 7), "7%");
    EXPECT_EQ(Fmt("abc%"), "abc");
    EXPECT_EQ(Fmt("%-5s|%5s|%.1s", "ab", "ab", "ab"), "ab   |   ab|a");
    EXPECT_EQ(Fmt("%05d|%.3d|%-05d|", 42, 5, 42), "00042|005|42   |");
    EXPECT_EQ(Fmt("%8.3d|%-8.3d|%08.3d", 5, 5, 5), "     005|005     |     005");
    EXPECT_EQ(Fmt("%+05d|%0-4d|%-+4d|", 42, 7, 7), "+00042|7   |+7   |");
    EXPECT_EQ(Fmt("%03x|%-4X|%.5o", 10, 10, 8), "00a|A   |00010");
    EXPECT_EQ(Fmt("%3s|%-3s|%3c|%-3c|", "abcd", "", 'x', 'y'), "abcd|   |  x|y  |");
    EXPECT_EQ(
        Fmt("[%s][%3s]", static_cast<const char*>(nullptr), static_cast<const char*>(nullptr)),
        "[][   ]");
    // Width and precision from '*', taken before the value; '*' wins over digits.
    EXPECT_EQ(Fmt("%*d|%.*d|%*.*f", 5, 42, 3, 5, 8, 2, 1.5), "   42|005|    1.50");
    EXPECT_EQ(Fmt("%5*d|%.2*s", 3, 42, 1, "abc"), " 42|a");
    EXPECT_EQ(Fmt("%.*d|%.*s", -1, 5, -1, "abc"), "5|abc");
    EXPECT_EQ(Fmt("%-*d|", 4, 1), "1   |");
    // Digits beyond int32 give 0.
    EXPECT_EQ(Fmt("%2147483648d|%12345678901d", 42, 42), "42|42");
    EXPECT_EQ(Fmt("%.2147483648s", "abc"), "");
    // Unknown letters and upper-case non-conversions are passed over.
    EXPECT_EQ(Fmt("%Dd|%zu|%jd|%hhd", 7, 8u, 9, 300), "7|8|9|300");
}

TEST(FormatInto, LengthModifiersSelectTheArgumentWidth) {
    EXPECT_EQ(Fmt("%ld|%lld|%Id|%I6d|%I64d", kBig, kBig, kBig, kBig, kBig),
              "1099511627776|1099511627776|1099511627776|1099511627776|1099511627776");
    EXPECT_EQ(Fmt("%lx|%I64X|%llo|%llu", 0x123456789LL, 0xABCDEF012LL, 8LL, -1LL),
              "123456789|ABCDEF012|10|18446744073709551615");
    EXPECT_EQ(Fmt("%lld|%lld", LLONG_MIN, LLONG_MAX), "-9223372036854775808|9223372036854775807");
    // h, hh, L, I32 and longer runs read 32 bits and do not narrow.
    EXPECT_EQ(Fmt("%hd|%hhu|%Ld|%I32d|%llld|%I64xd", 70000, 300u, -3, 4, 5, 6LL),
              "70000|300|-3|4|5|6d");
    EXPECT_EQ(Fmt("%d|%u|%x", INT_MIN, 0xFFFFFFFFu, 0xFFFFFFFFu),
              "-2147483648|4294967295|ffffffff");
}

TEST(FormatInto, FloatingConversions) {
    EXPECT_EQ(Fmt("%.2f|%f|%F", -1.5, 0.25, 2.0), "-1.50|0.250000|2.000000");
    EXPECT_EQ(Fmt("%e|%.2E|%#.0e|%#.0f", 12345.678, 0.00125, 2.0, 2.0),
              "1.234568e+04|1.25E-03|2.e+00|2.");
    EXPECT_EQ(Fmt("%g|%G|%.3g|%g", 0.0001, 1e-10, 3.14159, 100000.0), "0.0001|1E-10|3.14|100000");
    EXPECT_EQ(Fmt("%f|%F|%e", INFINITY, -INFINITY, NAN), "inf|-INF|nan");
    EXPECT_EQ(Fmt("%+e", 1.0), "+1.000000e+00");
    // A huge %g precision gives what the longest exact expansion gives.
    EXPECT_EQ(Fmt("%.2000000000g", 0.5), "0.5");
    EXPECT_EQ(Fmt("%.2000g", 0.1), Fmt("%.1024g", 0.1));
}

TEST(FormatInto, ShiftJisInTheFormat) {
    // 0x95 0x5C is one character whose second byte is a backslash: no escape.
    EXPECT_EQ(Fmt("\x95\x5c%d", 7), "\x95\x5c"
                                    "7");
    EXPECT_EQ(Fmt("\x95\x5cn"), "\x95\x5cn");
    // 0x82 0x25: a second byte equal to '%' starts no conversion.
    EXPECT_EQ(Fmt("\x82\x25"
                  "d"),
              "\x82\x25"
              "d");
    // A lead byte as the last byte is an ordinary byte.
    EXPECT_EQ(Fmt("a\x82"), "a\x82");
    EXPECT_EQ(Fmt("%s", "\x82\xa0"), "\x82\xa0");
    // The string precision counts bytes and may cut a character.
    EXPECT_EQ(Fmt("%.1s", "\x82\xa0"), "\x82");
    // After '%', inside a conversion, or after a backslash it is an error.
    EXPECT_EQ(Fmt("%\x82\xa0", 1), "<-2>");
    EXPECT_EQ(Fmt("%5\x82\x64", 1), "<-2>"); // its second byte 'd' is no conversion
    EXPECT_EQ(Fmt("\\\x82\xa0"), "<-2>");
}

TEST(FormatInto, MalformedFormats) {
    for (const char* format : {"%5", "%-", "ab%q", "%.*", "%5%", "%ll"})
        EXPECT_EQ(Fmt(format, 1, 2), "<-2>") << format;
    va_list none{};
    EXPECT_EQ(FormatInto(nullptr, 0, nullptr, none), -2);
}

int Into(std::uint8_t* buffer, int capacity, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = FormatInto(buffer, capacity, format, args);
    va_end(args);
    return n;
}

// For every capacity up to the one needed: -1, and not a byte written at or
// past the capacity; from there on the whole text.
TEST(FormatInto, CapacityBoundary) {
    struct Row {
        const char* format;
        int value;
        bool floating;
    };
    const Row rows[] = {{"", 0, false},        {"abcd", 0, false},       {"%5d|", -42, false},
                        {"x%c", 'y', false},   {"\x82\xa0%d", 3, false}, {"\\%%d", 0, false},
                        {"%-4c|", 'z', false}, {"%+.3f", 0, true}};
    for (const Row& row : rows) {
        const std::string whole = row.floating ? Fmt(row.format, 1.5) : Fmt(row.format, row.value);
        const int needed = static_cast<int>(whole.size()) + 1;
        for (int capacity = 0; capacity <= needed + 1; ++capacity) {
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(capacity) + 32, 0xEE);
            const int n = row.floating ? Into(buffer.data(), capacity, row.format, 1.5)
                                       : Into(buffer.data(), capacity, row.format, row.value);
            EXPECT_EQ(n, capacity >= needed ? needed - 1 : -1)
                << row.format << " capacity " << capacity;
            for (std::size_t k = static_cast<std::size_t>(capacity); k < buffer.size(); ++k)
                ASSERT_EQ(buffer[k], 0xEE) << row.format << " wrote past capacity " << capacity;
        }
    }
    // Infinity and NaN write a few letters whatever the precision.
    EXPECT_EQ(FmtIn(8, "%.300f|%.300e", INFINITY, NAN), "inf|nan");
    EXPECT_EQ(FmtIn(5, "abcd"), "abcd"); // exactly capacity - 1 bytes fit
    EXPECT_EQ(FmtIn(4, "abcd"), "<-1>");
}

// --- the driver ------------------------------------------------------------------

TEST(VMStringFormat, RetriesUntilTheResultFitsAndEndsInTwoZeroBytes) {
    Text s(new VMString);
    s->Format("%5000d", 7);
    ASSERT_EQ(s->Length(), 5000);
    EXPECT_EQ(Str(*s), std::string(4999, ' ') + "7");
    EXPECT_EQ(s->Text()[5000], 0);
    EXPECT_EQ(s->Text()[5001], 0);
    EXPECT_TRUE(s->IsUnique());
}

// "abc%s" asks for 5 + 16 bytes, a capacity of 32: a 31-byte result fits the
// first block, a 32-byte one needs the next (32 + 16 bytes: capacity 64).
TEST(VMStringFormat, ExactlyCapacityMinusOneFitsTheFirstBlock) {
    Text s(new VMString);
    s->Format("abc%s", std::string(28, 'x').c_str());
    EXPECT_EQ(s->Length(), 31);
    EXPECT_EQ(s->Buffer()->capacity, 32);
    s->Format("abc%s", std::string(29, 'x').c_str());
    EXPECT_EQ(s->Length(), 32);
    EXPECT_EQ(s->Buffer()->capacity, 64);
    EXPECT_EQ(Str(*s), "abc" + std::string(29, 'x'));
}

TEST(VMStringFormat, MalformedFormatLeavesTheTextNull) {
    Text s = MakeText("before");
    s->Format("%\x82\xa0", 1);
    EXPECT_TRUE(s->IsNull());
    s->Format("x");
    s->Format(nullptr);
    EXPECT_TRUE(s->IsNull());
    s->Format("");
    EXPECT_FALSE(s->IsNull());
    EXPECT_EQ(s->Length(), 0);
}

TEST(VMStringFormat, ReplacesASharedTextWithoutTouchingTheOtherHolder) {
    Text a = MakeText("shared");
    Text b(a->Clone());
    b->Format("%s-%d", "n", 3);
    EXPECT_EQ(Str(*b), "n-3");
    EXPECT_EQ(Str(*a), "shared");
    EXPECT_EQ(Shares(*a), 1);
}

// The capacity the grow-and-retry loop ends at for a result of n bytes: its
// first guess is strlen + 8 + 8 per '%', and each retry adds that extra to
// the failed capacity; a block fits when it holds the bytes and a zero.
int RetryLoopCapacity(const char* format, int n) {
    const int extra =
        8 + 8 * static_cast<int>(std::count(format, format + std::strlen(format), '%'));
    int capacity = TextBuffer::CapacityFor(static_cast<int>(std::strlen(format)) + extra);
    while (n + 1 > capacity)
        capacity = TextBuffer::CapacityFor(capacity + extra);
    return capacity;
}

// Results that fit the driver's stack and those just past it end in a block
// of the capacity the retry loop would have reached.
TEST(VMStringFormat, CapacityIsWhereTheRetryLoopEnds) {
    for (int width = 480; width <= 560; ++width) {
        for (const char* format : {"%*d", "ab%*d%%", "%*d%d%d%d%d"}) {
            Text s(new VMString);
            s->Format(format, width, 7, 1, 2, 3, 4);
            ASSERT_EQ(Str(*s), FmtIn(kRoomy, format, width, 7, 1, 2, 3, 4)) << width;
            EXPECT_EQ(s->Buffer()->capacity, RetryLoopCapacity(format, s->Length()))
                << format << " width " << width;
        }
    }
}

// A text reformatted into a block of the same capacity ends exactly as a
// new block would leave it; one whose record has an allocator or other
// holders gets a new record without an allocator.
TEST(VMStringFormat, ReformattingLeavesTheTextAsANewBlockWould) {
    Text s(new VMString);
    s->Format("%s", "a longer first text");
    const int capacity = s->Buffer()->capacity;
    s->Format("%s", "short");
    EXPECT_EQ(Str(*s), "short");
    EXPECT_EQ(s->Buffer()->capacity, capacity);
    EXPECT_EQ(s->Buffer()->length, 5);
    EXPECT_EQ(s->Text()[5], 0);
    EXPECT_EQ(s->Text()[6], 0);
    EXPECT_FALSE(s->Buffer()->unterminated);

    CountingAllocator allocator;
    Text owned(new VMString);
    owned->AssignCString("0123456789", &allocator);
    owned->Format("%d", 42);
    EXPECT_EQ(Str(*owned), "42");
    EXPECT_EQ(owned->Buffer()->allocator, nullptr);
}

// The result is built apart from the text it replaces, so an argument may
// point into that text.
TEST(VMStringFormat, AnArgumentMayBeTheTextItself) {
    Text s = MakeText("0123456789abcdef0123456789");
    s->Format("<%s|%s>", s->Text(), s->Text());
    EXPECT_EQ(Str(*s), "<0123456789abcdef0123456789|0123456789abcdef0123456789>");
}

// --- agreement with C where the rules are the same ----------------------------------

template <class T> void ExpectSameAsC(const std::string& ours, const std::string& c, T value) {
    char expected[2048];
    const int n = C_SNPRINTF(expected, sizeof expected, c.c_str(), value);
    ASSERT_GE(n, 0);
    ASSERT_LT(n, static_cast<int>(sizeof expected));
    EXPECT_EQ(Fmt(ours.c_str(), value), std::string(expected, static_cast<std::size_t>(n)))
        << "format " << ours << " (C: " << c << ")";
}

// Flags, width and precision on which both agree: a width or a plus sign only
// for positive values.
std::string Decorations(std::mt19937_64& rng, bool positive) {
    std::string f = "%";
    if (!positive)
        return rng() % 2 ? f : f + "." + std::to_string(1 + rng() % 12);
    switch (rng() % 5) {
    case 0:
        return f;
    case 1:
        return f + "-" + std::to_string(rng() % 25);
    case 2:
        return f + "0" + std::to_string(rng() % 25);
    case 3:
        return f + std::to_string(rng() % 25) + "." + std::to_string(1 + rng() % 12);
    default:
        return f + "+";
    }
}

TEST(FormatIntoDifferential, IntegersOfBothWidths) {
    std::mt19937_64 rng(20240522);
    for (int i = 0; i < 3000; ++i) {
        const auto raw = rng();
        const int bits = static_cast<int>(rng() % 64);
        const long long v64 = static_cast<long long>(raw >> bits) * (rng() % 2 ? 1 : -1);
        const int v32 = static_cast<int>(static_cast<std::uint32_t>(raw >> (bits / 2)));
        std::string d = Decorations(rng, v32 > 0);
        if (d == "%" || rng() % 2)
            ExpectSameAsC(d + "d", d + "d", v32);
        d = Decorations(rng, v64 > 0);
        ExpectSameAsC(d + "lld", d + "lld", v64);
        ExpectSameAsC(d + "I64i", d + "lli", v64);
        // Unsigned conversions never carry a sign: every decoration but '+'.
        std::string u = Decorations(rng, true);
        if (u == "%+")
            u = "%";
        const char* letters[] = {"u", "x", "X", "o"};
        const std::string letter = letters[rng() % 4];
        ExpectSameAsC(u + letter, u + letter, static_cast<unsigned>(v32));
        ExpectSameAsC(u + "l" + letter, u + "ll" + letter, static_cast<unsigned long long>(v64));
    }
}

TEST(FormatIntoDifferential, DoublesLargeSmallAndNegative) {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    for (int i = 0; i < 3000; ++i) {
        const int exponent = static_cast<int>(rng() % 601) - 300;
        const double v = mantissa(rng) * std::pow(10.0, exponent) * (rng() % 3 == 0 ? -1 : 1);
        std::string d = Decorations(rng, v > 0);
        if (d.find('0') == 1)
            d = "%"; // '0' pads floating values in C only
        const char* letters[] = {"f", "e", "E", "g", "G"};
        const std::string letter = letters[rng() % 5];
        ExpectSameAsC(d + letter, d + letter, v);
        if (letter != "g" && letter != "G" && v >= 0)
            ExpectSameAsC("%#" + d.substr(1) + letter, "%#" + d.substr(1) + letter, v);
    }
    for (double v : {0.0, -0.0, 0.5, 1e-320, 5e-324, 1.7976931348623157e308})
        for (const char* f : {"%f", "%e", "%g", "%.17g", "%.0f", "%.10e"})
            ExpectSameAsC(f, f, v);
}

// Digits from to_chars where they are the C formatter's, from the C
// formatter where they would not fit the engine's digit room or are spelled
// by the C library alone.
TEST(FormatIntoDifferential, PrecisionsShortAndLong) {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> mantissa(1.0, 10.0);
    for (int i = 0; i < 3000; ++i) {
        const int exponent = static_cast<int>(rng() % 641) - 320;
        const double v = mantissa(rng) * std::pow(10.0, exponent);
        const int precision = static_cast<int>(rng() % 4 == 0 ? rng() % 140 : rng() % 20);
        for (const char* letter : {"f", "e", "g", "E", "G", "F"}) {
            const std::string f = "%." + std::to_string(precision) + letter;
            ExpectSameAsC(f, f, v);
        }
    }
    for (double v : {0.0005, 0.9995, 9.9999999, 123456789.0, 1e21, 1e-5, 2.5, 0.125}) {
        for (const char* f : {"%.3f", "%f", "%e", "%g", "%.0e", "%.0g"})
            ExpectSameAsC(f, f, v);
        // '#' with g: the plain digits, and ".0" when they have no point.
        char plain[64];
        C_SNPRINTF(plain, sizeof plain, "%.3g", v);
        const std::string digits = plain;
        EXPECT_EQ(Fmt("%#.3g", v), digits.find('.') == std::string::npos ? digits + ".0" : digits);
    }
}

TEST(FormatIntoDifferential, StringsAndCharacters) {
    std::mt19937_64 rng(99);
    for (int i = 0; i < 1000; ++i) {
        std::string s;
        for (std::size_t n = rng() % 40; n > 0; --n)
            s += static_cast<char>(1 + rng() % 255);
        std::string d = "%";
        if (rng() % 2)
            d += rng() % 2 ? "-" : "";
        if (rng() % 2)
            d += std::to_string(rng() % 50);
        if (rng() % 2)
            d += "." + std::to_string(rng() % 50);
        ExpectSameAsC(d + "s", d + "s", s.c_str());
        const std::string c = d.substr(0, d.find('.'));
        ExpectSameAsC(c + "c", c + "c", 1 + static_cast<int>(rng() % 255));
    }
}

} // namespace
