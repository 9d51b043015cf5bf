// Comparison and search over VMString texts: tables of cases, and the
// searches that skip ahead (memchr plus a look back over lead bytes) checked
// against plain character-by-character references on generated Shift-JIS text.
#include "text/VMString.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace {

const std::uint8_t* U(const std::string& s) {
    return reinterpret_cast<const std::uint8_t*>(s.data());
}

bool IsLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

unsigned char Lower(unsigned char b) {
    return b >= 'A' && b <= 'Z' ? static_cast<unsigned char>(b + 32) : b;
}

// Text of ASCII letters, '?', separators and two-byte characters, some of
// whose second bytes are ASCII letters or lead bytes themselves.
std::string Generate(std::mt19937& rng, int length) {
    static const unsigned char kBytes[] = {'a',  'b',  'A',  'B',  '?',  '/',  '.', 0x82,
                                           0x41, 0x61, 0x81, 0xE0, 0xA0, '\r', '\n'};
    std::string s;
    for (int i = 0; i < length; ++i)
        s += static_cast<char>(kBytes[rng() % sizeof kBytes]);
    return s;
}

// --- character searches -------------------------------------------------------

struct CharCase {
    const char* text;
    const char* call;
    int arg;
    int from;
    int expected;
};

TEST(VMStringSearch, CharacterSearches) {
    const CharCase cases[] = {
        {"\x82\x41\x41", "Find", 'A', 0, 2}, // the first A is a second byte
        {"abcabc", "Find", 'c', 3, 5},
        {"abc", "Find", 'a', 3, -1}, // from at the end
        {"abc", "Find", 'a', -1, -1},
        {"ab\xE0", "Find", 0xE0, 0, -1}, // bytes above 0x7F are never found
        {"a/b/c", "ReverseFind", '/', -1, 3},
        {"a/b/c", "ReverseFind", '/', 2, 1},
        {"a/b/c", "ReverseFind", '/', 5, -1},
        {"\x81/", "ReverseFind", '/', -1, -1}, // the slash is a second byte
        {"\x81//", "ReverseFind", '/', -1, 2},
        {"aab", "FindNot", 'a', 0, 2},
        {"\x82\xA0"
         "a",
         "FindNot", 'a', 0, 0}, // a two-byte character ends it
        {"aaa", "FindNot", 'a', 0, -1},
        {"ab", "FindNot", 0xE0, 0, 0},
        {"x\x82,", "FindNot", 'x', 2, -1}, // from on a second byte: skipped
    };
    for (const CharCase& c : cases) {
        Text s = MakeText(c.text);
        const std::string call = c.call;
        int got = 0;
        if (call == "Find")
            got = s->Find(c.arg, c.from);
        else if (call == "ReverseFind")
            got = s->ReverseFind(c.arg, c.from);
        else
            got = s->FindNot(c.arg, c.from);
        EXPECT_EQ(got, c.expected) << c.call << " '" << c.text << "' " << c.arg << " " << c.from;
    }
}

TEST(VMStringSearch, SetSearches) {
    Text s = MakeText("a,b;\x81,c");
    EXPECT_EQ(s->FindOneOf(";,", 0), 1);
    EXPECT_EQ(s->FindOneOf(";,", 2), 3);
    EXPECT_EQ(s->FindOneOf(";", 4), -1);
    EXPECT_EQ(s->FindOneOf("", 0), -1);
    EXPECT_EQ(s->FindOneOf(nullptr, 0), -1);
    EXPECT_EQ(s->ReverseFindOneOf(",;", -1), 3) << "the last comma is a second byte";
    EXPECT_EQ(s->ReverseFindOneOf(",", 0), -1);
    EXPECT_EQ(s->FindNotOneOf("a,b", 0), 3);
    EXPECT_EQ(s->FindNotOneOf("a,b;", 0), 4) << "a lead byte ends the search";
    EXPECT_EQ(s->FindNotOneOf("\xE0"
                              "a",
                              0),
              1)
        << "bytes above 0x7F are no members";

    Text null(new VMString);
    EXPECT_EQ(null->Find('a', 0), -1);
    EXPECT_EQ(null->ReverseFind('a', -1), -1);
    EXPECT_EQ(null->FindOneOf("a", 0), -1);
    EXPECT_EQ(null->FindNot('a', 0), -1);
}

// Reference: walk the characters from 0, test single bytes only.
int ReferenceFind(const std::string& t, unsigned char c, int from, int upTo, bool last) {
    int found = -1;
    for (int i = 0; i < static_cast<int>(t.size()) && i <= upTo;) {
        const unsigned char b = static_cast<unsigned char>(t[i]);
        if (!IsLead(b) && b == c && i >= from) {
            if (!last)
                return i;
            found = i;
        }
        i += IsLead(b) ? 2 : 1;
    }
    return found;
}

TEST(VMStringSearch, FindAgreesWithACharacterWalk) {
    std::mt19937 rng(1);
    for (int round = 0; round < 3000; ++round) {
        const std::string t = Generate(rng, 1 + static_cast<int>(rng() % 40));
        Text s = MakeBytes(t);
        const int n = static_cast<int>(t.size());
        const int from = static_cast<int>(rng() % n);
        const unsigned char c = "aA/.?"[rng() % 5];
        EXPECT_EQ(s->Find(c, from), ReferenceFind(t, c, from, n, false)) << round;
        EXPECT_EQ(s->ReverseFind(c, from), ReferenceFind(t, c, 0, from, true)) << round;
        EXPECT_EQ(s->ReverseFindOneOf(std::string(1, c).c_str(), from),
                  ReferenceFind(t, c, 0, from, true))
            << round;
    }
}

// --- comparisons -----------------------------------------------------------------------

struct CompareCase {
    const char* text; // nullptr: a null text
    const char* other;
    int compare;
    int compareNoCase;
    int collate;
};

TEST(VMStringCompare, PositionSignedResults) {
    const CompareCase cases[] = {
        {"abc", "abd", -3, -3, -1}, {"abc", "abc", 0, 0, 0},
        {"abc", "ab", 3, 3, 1},     {"abc", "abcd", -4, -4, -1},
        {"ABC", "abc", -1, 0, 0},   {"a", "B", 1, 1, 1},    // raw bytes decide: a is the greater
        {"B", "a", -1, -1, -1},     {"\xE0", "a", 1, 1, 1}, // unsigned bytes
        {"", "", 0, 0, 0},          {"", "x", -1, -1, -1},
        {"x", "", 1, 1, 1},         {nullptr, "", 0, 0, 0},
        {nullptr, "x", -1, -1, -1}, {"x", nullptr, 1, 1, 1},
        {"", nullptr, 0, 0, 0},     {nullptr, nullptr, 0, 0, 0},
    };
    for (const CompareCase& c : cases) {
        Text s = c.text != nullptr ? MakeText(c.text) : Text(new VMString);
        Text other = c.other != nullptr ? MakeText(c.other) : Text(new VMString);
        const std::string o = c.other != nullptr ? c.other : "";
        const std::uint8_t* bytes = c.other != nullptr ? U(o) : nullptr;
        const int count = static_cast<int>(o.size());
        const std::string name =
            std::string(c.text ? c.text : "<null>") + " vs " + (c.other ? c.other : "<none>");
        EXPECT_EQ(s->CompareCString(c.other), c.compare) << name;
        EXPECT_EQ(s->CompareBytes(bytes, count, 0), c.compare) << name;
        EXPECT_EQ(s->CompareText(other.get()), c.compare) << name;
        EXPECT_EQ(s->Compare(other.get()), c.compare) << name;
        EXPECT_EQ(s->CompareCStringNoCase(c.other), c.compareNoCase) << name;
        EXPECT_EQ(s->CompareBytesNoCase(bytes, count, 0), c.compareNoCase) << name;
        EXPECT_EQ(s->CompareTextNoCase(other.get()), c.compareNoCase) << name;
        EXPECT_EQ(s->CollateCStringNoCase(c.other), c.collate) << name;
        EXPECT_EQ(s->CollateBytesNoCase(bytes, count, 0), c.collate) << name;
        EXPECT_EQ(s->CollateTextNoCase(other.get()), c.collate) << name;
    }
}

TEST(VMStringCompare, OperandRangesAreTheirViewsAndOffsets) {
    Text whole = MakeText("xxabcyy");
    Text view(new VMString);
    view->AssignSub(whole.get(), 2, 3);
    Text s = MakeText("abc");
    EXPECT_EQ(s->CompareText(view.get()), 0) << "only the view counts";
    EXPECT_EQ(view->CompareCString("abc"), 0);
    EXPECT_EQ(s->CompareBytes(U("--abc"), 3, 2), 0);
    EXPECT_EQ(s->CompareBytes(U("abc"), -1, 0), 1) << "a negative count is no bytes";
    EXPECT_EQ(s->Compare(nullptr), 1);
}

TEST(VMStringCompare, AgreesWithMemcmpAndStrncasecmpOnEquality) {
    std::mt19937 rng(2);
    for (int round = 0; round < 3000; ++round) {
        const std::string a = Generate(rng, static_cast<int>(rng() % 6));
        const std::string b = Generate(rng, static_cast<int>(rng() % 6));
        Text s = MakeBytes(a);
        const std::size_t n = std::min(a.size(), b.size());
        const int got = s->CompareBytes(U(b), static_cast<int>(b.size()), 0);
        int memSign = std::memcmp(a.data(), b.data(), n);
        if (memSign == 0)
            memSign = (a.size() > b.size()) - (a.size() < b.size());
        EXPECT_EQ((got > 0) - (got < 0), (memSign > 0) - (memSign < 0)) << round;
        std::size_t k = 0;
        while (k < n && Lower(a[k]) == Lower(b[k]))
            ++k;
        const int noCase = s->CompareBytesNoCase(U(b), static_cast<int>(b.size()), 0);
        if (k == n && a.size() == b.size())
            EXPECT_EQ(noCase, 0) << round;
        else
            EXPECT_EQ(noCase < 0 ? -noCase : noCase, static_cast<int>(k) + 1) << round;
    }
}

// Long enough for the word-at-a-time skip, over every byte value: case flips
// must compare equal and the first real difference must be found exactly.
TEST(VMStringCompare, NoCaseOverEveryByteAndWordBoundary) {
    std::mt19937 rng(7);
    for (int round = 0; round < 20000; ++round) {
        std::string a(rng() % 40, '\0');
        for (char& c : a)
            c = static_cast<char>(rng() % 256);
        std::string b = a;
        for (char& c : b)
            if (rng() % 2 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                c = static_cast<char>(c ^ 0x20);
        if (!b.empty() && rng() % 2)
            b[rng() % b.size()] = static_cast<char>(rng() % 256);
        std::size_t k = 0;
        while (k < a.size() && Lower(a[k]) == Lower(b[k]))
            ++k;
        const int expected = k == a.size() ? 0
                             : static_cast<unsigned char>(a[k]) < static_cast<unsigned char>(b[k])
                                 ? -static_cast<int>(k + 1)
                                 : static_cast<int>(k + 1);
        Text s = MakeBytes(a);
        ASSERT_EQ(s->CompareBytesNoCase(U(b), static_cast<int>(b.size()), 0), expected) << round;
    }
}

TEST(VMStringCompare, Prefixes) {
    Text s = MakeText("xaby");
    EXPECT_EQ(s->CompareCStringPrefix("ab", 2, 1), 0);
    EXPECT_EQ(s->CompareCStringPrefix("ab", 2, 4), -1) << "from at the end";
    EXPECT_EQ(s->CompareCStringPrefix("ab", 2, -1), -1);
    EXPECT_EQ(s->CompareCStringPrefix("abz", 2, 1), 0) << "only n bytes decide";
    EXPECT_EQ(s->CompareCStringPrefix("aby", 5, 1), 0);
    EXPECT_EQ(s->CompareCStringPrefix("abyz", 5, 1), -4) << "the text ran out first";
    EXPECT_EQ(s->CompareCStringPrefix("a", 3, 1), 2);
    EXPECT_EQ(s->CompareCStringPrefix("aC", 2, 1), 2);
    EXPECT_EQ(s->CompareCStringPrefixNoCase("AB", 2, 1), 0);
    EXPECT_EQ(s->CompareCStringPrefixNoCase("aC", 2, 1), 2);
    EXPECT_EQ(s->CompareCStringPrefix(nullptr, 2, 1), 1);
    Text ab = MakeText("AB");
    EXPECT_EQ(s->CompareTextPrefix(ab.get(), 2, 1), 1);
    EXPECT_EQ(s->CompareTextPrefixNoCase(ab.get(), 2, 1), 0);
    Text null(new VMString);
    EXPECT_EQ(s->CompareTextPrefix(null.get(), 2, 1), 1);
    EXPECT_EQ(null->CompareCStringPrefix("a", 1, 0), -1);
    EXPECT_EQ(null->CompareCStringPrefix("", 1, 0), 0);
}

// --- class at an index ----------------------------------------------------------------

TEST(VMStringSearch, LeadStateAndCharacterAt) {
    Text s = MakeBytes("\x82\xA0"
                       "A\x81\x81\x81");
    const int states[] = {1, -1, 0, 1, -1, 1}; // a lone lead byte at the end still begins one
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(s->LeadStateAt(i), states[i]) << i;
    EXPECT_EQ(s->LeadStateAt(-1), 0);
    EXPECT_EQ(s->LeadStateAt(6), 0);
    EXPECT_FALSE(s->IsCharAt(1, 0xA0));
    EXPECT_TRUE(s->IsCharAt(2, 'A'));
    EXPECT_TRUE(s->IsCharAt(2, 0x141)) << "the low byte of ch counts";
    EXPECT_TRUE(s->IsCharAt(0, 0x82));
    EXPECT_FALSE(s->IsCharAt(4, 0x81));
    EXPECT_FALSE(s->IsCharAt(6, 0));
    Text null(new VMString);
    EXPECT_EQ(null->LeadStateAt(0), 0);
    EXPECT_FALSE(null->IsCharAt(0, 0));
}

// --- prefix and suffix tests -----------------------------------------------------------

TEST(VMStringSearch, StartsAndEndsWith) {
    Text s = MakeText("abc");
    Text null(new VMString);
    Text empty = MakeText("");
    Text whole = MakeText("xABCx");
    Text view(new VMString);
    view->AssignSub(whole.get(), 1, 3);
    Text bc = MakeText("bc");

    EXPECT_TRUE(s->StartsWithCString(""));
    EXPECT_TRUE(s->StartsWithCString("ab"));
    EXPECT_FALSE(s->StartsWithCString("abcd"));
    EXPECT_FALSE(s->StartsWithCString(nullptr));
    EXPECT_FALSE(null->StartsWithCString(""));
    EXPECT_TRUE(s->StartsWithCStringNoCase("AB"));
    EXPECT_FALSE(s->StartsWithCString("AB"));
    EXPECT_TRUE(s->StartsWithBytes(U("-ab"), 2, 1));
    EXPECT_FALSE(s->StartsWithBytes(U("ab"), -1, 0));
    EXPECT_FALSE(s->StartsWithBytes(nullptr, 0, 0));
    EXPECT_TRUE(s->StartsWithBytesNoCase(U("AB"), 2, 0));
    EXPECT_TRUE(s->StartsWithTextNoCase(view.get()));
    EXPECT_FALSE(s->StartsWithText(view.get()));
    EXPECT_FALSE(s->StartsWithText(null.get())) << "a null other matches only an empty text";
    EXPECT_TRUE(empty->StartsWithText(null.get()));
    EXPECT_FALSE(s->StartsWithText(nullptr));

    EXPECT_TRUE(s->EndsWithCString("c"));
    EXPECT_TRUE(s->EndsWithCString(""));
    EXPECT_FALSE(s->EndsWithCString("xabc"));
    EXPECT_TRUE(s->EndsWithCStringNoCase("BC"));
    EXPECT_TRUE(s->EndsWithBytes(U("bcd"), 2));
    EXPECT_TRUE(s->EndsWithBytesNoCase(U("BC"), 2));
    EXPECT_TRUE(s->EndsWithText(bc.get()));
    EXPECT_TRUE(s->EndsWithText(null.get())) << "a null other always matches";
    EXPECT_FALSE(s->EndsWithText(nullptr));
    EXPECT_FALSE(null->EndsWithText(null.get()));
    EXPECT_TRUE(view->EndsWithCString("BC")) << "the view's last bytes, not the buffer's";
    EXPECT_TRUE(view->EndsWithTextNoCase(bc.get()));
    EXPECT_FALSE(view->EndsWithText(bc.get()));
}

// --- wildcard search -----------------------------------------------------------------

struct PatternCase {
    const char* text;
    const char* pattern;
    bool noCase;
    bool returnEnd;
    int from;
    int expected;
};

TEST(VMStringPattern, Table) {
    const PatternCase cases[] = {
        {"xxabcx", "a?c", false, false, 0, 2},
        {"xxabcx", "a?c", false, true, 0, 5},
        {"xa\x82\xA0"
         "c",
         "a?c", false, false, 0, 1}, // ? takes a whole two-byte character
        {"xa\x82\xA0"
         "c",
         "a?c", false, true, 0, 4}, // end = start + pattern bytes
        {"xa\x82\xA0"
         "c",
         "a??c", false, false, 0, -1},
        {"\x82"
         "A"
         "A",
         "A", false, false, 0, 2}, // not inside a character
        {"\x82"
         "A",
         "A", true, false, 0, 1}, // byte by byte without case
        {"xabcd", "B?D", true, false, 0, 2},
        {"xabcd", "B?D", false, false, 0, -1},
        {"abc", "abcd", false, false, 0, -1},
        {"abcabc", "abc", false, false, 1, 3},
        {"abc", "c", false, false, 3, -1},
        {"abc", "", false, false, 0, -1},
        {"a\x82", "\x82", false, false, 0, 1}, // a lone lead byte at the end is one byte
        {"\x82\xA0\x82\xA1", "\x82\xA1", false, false, 0, 2},
        {"\x82\x82\xA1", "\x82\xA1", false, false, 0, -1},
        {"??", "?", false, false, 1, 1},
    };
    for (const PatternCase& c : cases) {
        Text s = MakeText(c.text);
        Text pattern = MakeText(c.pattern);
        const std::string p = c.pattern;
        const int count = static_cast<int>(p.size());
        int got[3];
        if (c.noCase) {
            got[0] = s->FindPatternNoCaseCString(c.pattern, c.returnEnd, c.from);
            got[1] = s->FindPatternNoCaseText(pattern.get(), c.returnEnd, c.from);
            got[2] = s->FindPatternNoCase(U(p), count, c.returnEnd, c.from, 0);
        } else {
            got[0] = s->FindPatternCString(c.pattern, c.returnEnd, c.from);
            got[1] = s->FindPatternText(pattern.get(), c.returnEnd, c.from);
            got[2] = s->FindPattern(U(p), count, c.returnEnd, c.from, 0);
        }
        for (int g : got)
            EXPECT_EQ(g, c.expected) << "'" << c.text << "' '" << c.pattern << "' " << c.from;
    }
}

TEST(VMStringPattern, WindowAndMissingOperands) {
    Text s = MakeText("abab");
    EXPECT_EQ(s->FindPattern(U(std::string("ab")), 2, false, 0, 1), 2) << "base counts from 0";
    EXPECT_EQ(s->FindPattern(U(std::string("ab")), 2, true, 0, 2), 4);
    EXPECT_EQ(s->FindPattern(U(std::string("ab")), 2, false, 1, 2), -1);
    EXPECT_EQ(s->FindPattern(U(std::string("ab")), 2, false, 0, 5), -1);
    EXPECT_EQ(s->FindPattern(U(std::string("ab")), 2, false, 0, -1), -1);
    EXPECT_EQ(s->FindPattern(U(std::string("ab")), 2, false, -1, 0), -1);
    EXPECT_EQ(s->FindPattern(nullptr, 2, false, 0, 0), -1);
    EXPECT_EQ(s->FindPatternCString(nullptr, false, 0), -1);
    EXPECT_EQ(s->FindPatternNoCaseText(nullptr, false, 0), -1);
    Text null(new VMString);
    EXPECT_EQ(null->FindPatternCString("a", false, 0), -1);
}

// Reference: characters of a range as (start, bytes) read from its beginning.
struct Char {
    int at;
    std::string bytes;
};
std::vector<Char> Chars(const std::string& s, int from) {
    std::vector<Char> out;
    for (int i = from; i < static_cast<int>(s.size());) {
        const int n = IsLead(s[i]) && i + 1 < static_cast<int>(s.size()) ? 2 : 1;
        out.push_back({i, s.substr(i, n)});
        i += n;
    }
    return out;
}

int ReferenceCased(const std::string& t, const std::string& p, int from) {
    if (p.empty() || static_cast<int>(t.size()) - from < static_cast<int>(p.size()))
        return -1;
    const std::vector<Char> text = Chars(t, from);
    const std::vector<Char> pattern = Chars(p, 0);
    for (std::size_t start = 0; start < text.size(); ++start) {
        std::size_t k = 0;
        while (k < pattern.size() && start + k < text.size() &&
               (pattern[k].bytes == "?" || pattern[k].bytes == text[start + k].bytes))
            ++k;
        if (k == pattern.size())
            return text[start].at;
    }
    return -1;
}

int ReferenceNoCase(const std::string& t, const std::string& p, int from) {
    for (std::size_t i = from; !p.empty() && i + p.size() <= t.size(); ++i) {
        std::size_t k = 0;
        while (k < p.size() && (p[k] == '?' || Lower(p[k]) == Lower(t[i + k])))
            ++k;
        if (k == p.size())
            return static_cast<int>(i);
    }
    return -1;
}

TEST(VMStringPattern, AgreesWithAPlainMatcher) {
    std::mt19937 rng(3);
    int hits = 0;
    for (int round = 0; round < 20000; ++round) {
        const std::string t = Generate(rng, 1 + static_cast<int>(rng() % 24));
        const std::string p = Generate(rng, 1 + static_cast<int>(rng() % 4));
        const int from = static_cast<int>(rng() % t.size());
        Text s = MakeBytes(t);
        const int cased = ReferenceCased(t, p, from);
        hits += cased >= 0;
        ASSERT_EQ(s->FindPattern(U(p), static_cast<int>(p.size()), false, from, 0), cased) << round;
        ASSERT_EQ(s->FindPatternNoCase(U(p), static_cast<int>(p.size()), false, from, 0),
                  ReferenceNoCase(t, p, from))
            << round;
    }
    EXPECT_GT(hits, 2000) << "the generator must give matches too";
}

// C strings are measured a block (8192 bytes) at a time while they are
// compared: differences and ends on either side of a block's edge.
TEST(VMStringCompare, LongCStringsAcrossBlockEdges) {
    std::string a(20000, 'x');
    for (std::size_t i = 0; i < a.size(); ++i)
        a[i] = static_cast<char>('a' + i % 26);
    Text s = MakeBytes(a);
    std::string upper = a;
    for (char& c : upper)
        c = static_cast<char>(c - 32);
    EXPECT_EQ(s->CompareCStringNoCase(upper.c_str()), 0);
    EXPECT_EQ(s->CompareCString(a.c_str()), 0);
    for (int at : {8190, 8191, 8192, 8193, 16384, 19999}) {
        std::string b = upper;
        b[static_cast<std::size_t>(at)] = '~';
        EXPECT_EQ(s->CompareCStringNoCase(b.c_str()), -(at + 1)) << at;
        EXPECT_EQ(s->CompareCStringPrefixNoCase(b.c_str(), at, 0), 0) << at;
        EXPECT_EQ(s->CompareCStringPrefixNoCase(b.c_str(), at + 1, 0), -(at + 1)) << at;
        b = upper.substr(0, static_cast<std::size_t>(at));
        EXPECT_EQ(s->CompareCStringNoCase(b.c_str()), at + 1) << at;
        EXPECT_EQ(s->CompareCStringPrefixNoCase(b.c_str(), at, 0), 0) << at;
        EXPECT_EQ(s->CompareCStringPrefixNoCase(b.c_str(), at + 1, 0), at + 1) << at;
        Text shorter = MakeBytes(a.substr(0, static_cast<std::size_t>(at)));
        EXPECT_EQ(shorter->CompareCStringNoCase(upper.c_str()), -(at + 1)) << at;
        EXPECT_EQ(shorter->CollateCStringNoCase(upper.c_str()), -1) << at;
    }
}

// Texts long enough for the vector filters' blocks and tails; patterns cut
// from the text (with cases flipped and '?' put in) so that most searches
// hit, some after a false candidate or a misaligned one.
TEST(VMStringPattern, AgreesWithAPlainMatcherOnLongTexts) {
    std::mt19937 rng(31);
    int hits = 0;
    for (int round = 0; round < 6000; ++round) {
        const std::string t = Generate(rng, 16 + static_cast<int>(rng() % 180));
        std::string p;
        if (rng() % 4 == 0) {
            p = Generate(rng, 1 + static_cast<int>(rng() % 6));
        } else {
            const std::size_t at = rng() % t.size();
            p = t.substr(at, 1 + rng() % 20);
            for (char& c : p) {
                if (rng() % 8 == 0)
                    c = '?';
                else if (rng() % 3 == 0 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                    c = static_cast<char>(c ^ 0x20);
            }
        }
        const int from = static_cast<int>(rng() % t.size());
        const bool returnEnd = rng() % 2 == 1;
        const int add = returnEnd ? static_cast<int>(p.size()) : 0;
        Text s = MakeBytes(t);
        const int cased = ReferenceCased(t, p, from);
        const int noCase = ReferenceNoCase(t, p, from);
        hits += cased >= 0;
        ASSERT_EQ(s->FindPattern(U(p), static_cast<int>(p.size()), returnEnd, from, 0),
                  cased < 0 ? -1 : cased + add)
            << round;
        ASSERT_EQ(s->FindPatternNoCase(U(p), static_cast<int>(p.size()), returnEnd, from, 0),
                  noCase < 0 ? -1 : noCase + add)
            << round;
    }
    EXPECT_GT(hits, 1000) << "the generator must give matches too";
}

// Every case-insensitive member that forwards to the comparison, on ranges
// from 0 to 300 bytes: the same answer as a byte walk, at every length.
TEST(VMStringCompare, EveryNoCaseMemberAgreesWithAByteWalk) {
    std::mt19937 rng(37);
    for (int round = 0; round < 4000; ++round) {
        std::string a(rng() % 300, '\0');
        for (char& c : a)
            c = static_cast<char>(rng() % 4 == 0 ? 1 + rng() % 255 : 'A' + rng() % 58);
        std::string b = a;
        for (char& c : b)
            if (rng() % 2 && ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
                c = static_cast<char>(c ^ 0x20);
        if (!b.empty() && rng() % 2)
            b[rng() % b.size()] = static_cast<char>(1 + rng() % 255);
        if (rng() % 4 == 0)
            b.resize(rng() % (b.size() + 1));
        const std::size_t n = std::min(a.size(), b.size());
        std::size_t k = 0;
        while (k < n && Lower(a[k]) == Lower(b[k]))
            ++k;
        const int expected =
            k < n ? (static_cast<unsigned char>(a[k]) < static_cast<unsigned char>(b[k])
                         ? -static_cast<int>(k + 1)
                         : static_cast<int>(k + 1))
            : a.size() == b.size() ? 0
            : a.size() < b.size()  ? -static_cast<int>(n + 1)
                                   : static_cast<int>(n + 1);
        const int sign = (expected > 0) - (expected < 0);
        Text s = MakeBytes(a);
        Text other = MakeBytes(b);
        const int count = static_cast<int>(b.size());
        ASSERT_EQ(s->CompareBytesNoCase(U(b), count, 0), expected) << round;
        ASSERT_EQ(s->CompareCStringNoCase(b.c_str()), expected) << round;
        ASSERT_EQ(s->CompareTextNoCase(other.get()), expected) << round;
        ASSERT_EQ(s->CollateBytesNoCase(U(b), count, 0), sign) << round;
        ASSERT_EQ(s->CollateCStringNoCase(b.c_str()), sign) << round;
        ASSERT_EQ(s->CollateTextNoCase(other.get()), sign) << round;
        const bool starts = k == b.size();
        ASSERT_EQ(s->StartsWithBytesNoCase(U(b), count, 0), starts) << round;
        ASSERT_EQ(s->StartsWithCStringNoCase(b.c_str()), starts) << round;
        ASSERT_EQ(s->StartsWithTextNoCase(other.get()), starts) << round;
        if (!a.empty()) {
            const int prefix = static_cast<int>(rng() % (a.size() + 1));
            std::size_t pk = 0;
            const std::size_t pn = std::min<std::size_t>(prefix, n);
            while (pk < pn && Lower(a[pk]) == Lower(b[pk]))
                ++pk;
            const std::size_t ownN = std::min<std::size_t>(prefix, a.size());
            const std::size_t otherN = std::min<std::size_t>(prefix, b.size());
            const int want =
                pk < pn ? (static_cast<unsigned char>(a[pk]) < static_cast<unsigned char>(b[pk])
                               ? -static_cast<int>(pk + 1)
                               : static_cast<int>(pk + 1))
                : ownN == otherN ? 0
                : ownN < otherN  ? -static_cast<int>(pn + 1)
                                 : static_cast<int>(pn + 1);
            ASSERT_EQ(s->CompareCStringPrefixNoCase(b.c_str(), prefix, 0), want) << round;
            ASSERT_EQ(s->CompareTextPrefixNoCase(other.get(), prefix, 0), want) << round;
        }
        if (b.size() <= a.size()) {
            const std::string tail = a.substr(a.size() - b.size());
            std::size_t e = 0;
            while (e < b.size() && Lower(tail[e]) == Lower(b[e]))
                ++e;
            ASSERT_EQ(s->EndsWithBytesNoCase(U(b), count), e == b.size()) << round;
            ASSERT_EQ(s->EndsWithCStringNoCase(b.c_str()), e == b.size()) << round;
            ASSERT_EQ(s->EndsWithTextNoCase(other.get()), e == b.size()) << round;
        }
    }
}

// --- line addressing -------------------------------------------------------------------

TEST(VMStringSearch, LocateLine) {
    struct Case {
        const char* text;
        int start;
        int line;
        int expected;
        int startAfter;
    };
    const Case cases[] = {
        {"a\r\nb\nc", 0, 2, 5, 3}, {"a\r\nb\nc", 0, 3, -1, 5},
        {"a\r\nb\nc", 0, 1, 3, 0}, {"a\r\nb\nc", 3, 1, 5, 3},
        {"a\rb", 0, 1, 2, 0},      {"a\n\r", 0, 2, 3, 2}, // LF then a lone CR at the very end
        {"a\r", 0, 1, 2, 0},       {"a\n", 0, 0, -1, 0},
        {"abc", 0, 1, -1, 0},      {"a\n", 5, 1, -1, 5}, // a start beyond the text is refused
    };
    for (const Case& c : cases) {
        Text s = MakeText(c.text);
        int start = c.start;
        EXPECT_EQ(s->LocateLine(&start, c.line), c.expected) << c.line;
        EXPECT_EQ(start, c.startAfter) << c.line;
    }
    Text null(new VMString);
    int start = 0;
    EXPECT_EQ(null->LocateLine(&start, 1), -1);
    EXPECT_EQ(MakeText("a\n")->LocateLine(nullptr, 1), -1);
}

} // namespace
