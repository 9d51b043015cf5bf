#include "text/BVString.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <string>

namespace {

std::string Str(const BVString& s) {
    return s.Text() == nullptr ? std::string("<null>")
                               : std::string(s.Text(), static_cast<std::size_t>(s.Length()));
}

TEST(BVString, CopiesShareOneRecord) {
    BVString a("abc");
    ASSERT_NE(a.Record(), nullptr);
    EXPECT_EQ(a.Record()->shareCount, 1);
    {
        BVString b(a);
        BVString c;
        c = b;
        EXPECT_EQ(a.Record()->shareCount, 3);
        EXPECT_EQ(c.Text(), a.Text());
        c = c;
        EXPECT_EQ(a.Record()->shareCount, 3) << "self-assignment changes nothing";
        c.Clear();
        EXPECT_TRUE(c.IsNull());
        EXPECT_EQ(a.Record()->shareCount, 2);
    }
    EXPECT_EQ(a.Record()->shareCount, 1);

    BVString null;
    BVString copy(null);
    EXPECT_TRUE(copy.IsNull());
    EXPECT_EQ(copy.Record(), nullptr);
    a = null;
    EXPECT_TRUE(a.IsNull());
    EXPECT_EQ(a.Record(), nullptr);
}

TEST(BVString, Concatenation) {
    const BVString ab("ab");
    const BVString joined{BVString(), ab};
    EXPECT_EQ(Str(joined), "ab");
    EXPECT_NE(joined.Record(), ab.Record());
    EXPECT_EQ(ab.Record()->shareCount, 1);
    EXPECT_EQ(Str(BVString(ab, BVString("cde"))), "abcde");
    const BVString empty{BVString(), BVString()};
    EXPECT_EQ(Str(empty), "");
    EXPECT_EQ(empty.Text()[0], 0);
}

TEST(BVString, FormatSizesByTheRule) {
    const BVString s = BVString::Format("%d-%s", 7, "x");
    EXPECT_EQ(Str(s), "7-x");
    EXPECT_EQ(s.Record()->capacity, 16);
    EXPECT_EQ(s.Text()[3], 0);
    EXPECT_EQ(s.Text()[4], 0);
    EXPECT_EQ(s.Record()->shareCount, 1);

    const BVString big = BVString::Format("%1023s", "");
    EXPECT_EQ(big.Length(), 1023);
    EXPECT_EQ(big.Record()->capacity, 1040);
    EXPECT_TRUE(BVString::Format(nullptr).IsNull());
}

// The same text in every build: 32- and 64-bit, native and Windows.
TEST(BVString, FormatIsTheSameEverywhere) {
    struct Case {
        BVString got;
        const char* expected;
    };
    const Case cases[] = {
        {BVString::Format("0x%016llx", 0x12345678ABCDull), "0x000012345678abcd"},
        {BVString::Format("0x%08x", 0xBEEFu), "0x0000beef"},
        {BVString::Format("%lld", static_cast<long long>(INT64_MIN)), "-9223372036854775808"},
        {BVString::Format("%zu", static_cast<std::size_t>(123)), "123"},
        {BVString::Format("%5.2f|%-4d|%+d", 3.14159, 42, 5), " 3.14|42  |+5"},
        {BVString::Format("%e", 12345.678), "1.234568e+04"},
        {BVString::Format("%g %g", 1e-5, 0.5), "1e-05 0.5"},
        {BVString::Format("%%%c%s", 'Z', "\x82\xa0"), "%Z\x82\xa0"}, // "あ" passes as bytes
        {BVString::Format("%s", ""), ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Str(c.got), c.expected);
}

TEST(BVString, AdoptTakesTheBlock) {
    BVString s;
    char* block = new char[8]{'a', 'b', 'c', 'x', 'x', 'x', 'x', 'x'};
    s.Adopt(block, 3, 8);
    EXPECT_EQ(s.Text(), block);
    EXPECT_EQ(s.Record()->capacity, 8);
    EXPECT_FALSE(s.Record()->unterminated);
    EXPECT_EQ(block[3], 0);
    EXPECT_EQ(block[4], 0);

    s.Adopt(new char[4]{'a', 'b', 'c', 'd'}, 4, 0); // releases the first block
    EXPECT_EQ(s.Record()->capacity, 4);
    EXPECT_TRUE(s.Record()->unterminated);
    EXPECT_EQ(Str(s), "abcd");

    s.Adopt(new char[4](), -3, 4); // a negative length counts as empty
    EXPECT_EQ(s.Length(), 0);
    s.Adopt(nullptr, 3, 8);
    EXPECT_TRUE(s.IsNull());
}

TEST(BVString, ResizeSharedOnlyShortensTheView) {
    BVString a("hello");
    BVString b(a);
    b.Resize(2, true);
    EXPECT_EQ(Str(b), "he");
    EXPECT_EQ(b.Record(), a.Record());
    b.Resize(4, true);
    EXPECT_EQ(Str(b), "hell") << "still inside the record: a view again";
    b.Resize(2, false);
    EXPECT_EQ(Str(b), "he");
    EXPECT_NE(b.Record(), a.Record());
    EXPECT_EQ(a.Record()->shareCount, 1);
    EXPECT_EQ(b.Text()[2], 0);
    EXPECT_EQ(Str(a), "hello");

    BVString c(a);
    c.Resize(8, true); // longer: a record of its own, old bytes first
    EXPECT_EQ(c.Length(), 8);
    EXPECT_EQ(std::string(c.Text(), 5), "hello");
    EXPECT_EQ(a.Record()->shareCount, 1);
}

TEST(BVString, ResizeUniqueAndNull) {
    BVString s("abc");
    TextBuffer* record = s.Record();
    s.Resize(10, false);
    EXPECT_EQ(s.Record(), record);
    EXPECT_EQ(s.Length(), 10);
    EXPECT_EQ(std::string(s.Text(), 3), "abc");
    s.Resize(-1, false);
    EXPECT_EQ(s.Length(), 10) << "refused";
    s.Resize(INT_MAX, false);
    EXPECT_EQ(s.Length(), 10) << "refused";

    BVString n;
    n.Resize(3, true);
    EXPECT_EQ(n.Length(), 3);
    EXPECT_EQ(n.Record()->shareCount, 1);
}

TEST(BVString, TerminateCopiesAViewOfASharedRecord) {
    BVString whole("abcdef");
    BVString view(whole);
    view.Resize(3, true);
    ASSERT_EQ(whole.Record()->shareCount, 2);
    view.Terminate();
    EXPECT_EQ(Str(view), "abc");
    EXPECT_EQ(view.Text()[3], 0);
    EXPECT_NE(view.Record(), whole.Record());
    EXPECT_EQ(whole.Record()->shareCount, 1);
    EXPECT_EQ(Str(whole), "abcdef");

    TextBuffer* record = whole.Record();
    whole.Terminate();
    EXPECT_EQ(whole.Record(), record) << "already followed by a zero byte";
}

TEST(BVString, TerminateUnterminatedAndNull) {
    BVString s;
    s.Adopt(new char[4]{'w', 'x', 'y', 'z'}, 4, 4);
    s.Terminate();
    EXPECT_EQ(Str(s), "wxyz");
    EXPECT_EQ(s.Text()[4], 0);
    EXPECT_FALSE(s.Record()->unterminated);

    BVString null;
    null.Terminate();
    ASSERT_NE(null.Text(), nullptr);
    EXPECT_EQ(null.Length(), 0);
    EXPECT_EQ(null.Text()[0], 0);
}

} // namespace
