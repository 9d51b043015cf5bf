// VMString comparison and search: read-only queries, none of which touches
// the text's buffer.
//
// Two-byte characters stay aligned from a known character boundary: the
// start of the text for the character searches and class queries, the start
// of the search for the pattern searches. A byte is the second byte of a
// character exactly when an odd run of lead bytes precedes it back to the
// nearest byte that is not a lead byte (which always ends a character), so a
// hit found by memchr or by the vector filter is checked without rescanning
// everything before it.
#include "text/TextBytes.h"
#include "text/TextVector.h"
#include "text/VMString.h"

#include <algorithm>
#include <climits>
#include <cstring>

using textbytes::Fold;
using textbytes::IsLead;

namespace {

const std::uint8_t* U(const char* p) {
    return reinterpret_cast<const std::uint8_t*>(p);
}

// The bytes of an operand. Missing operands, null texts and negative counts
// are empty ranges: the comparisons' rules for them are those of no bytes.
struct Range {
    const std::uint8_t* p = nullptr;
    int n = 0;
};

// A text is null exactly when its first byte is: testing that directly spares
// the short comparisons a virtual call per operand.
Range OfText(const VMString* s) {
    if (s == nullptr || s->Text() == nullptr)
        return {};
    return {U(s->Text()), s->Length()};
}

bool IsText(const VMString* s) {
    return s != nullptr && s->Text() != nullptr;
}

Range OfCString(const char* s) {
    if (s == nullptr)
        return {};
    return {U(s), static_cast<int>(std::min<std::size_t>(std::strlen(s), INT_MAX))};
}

Range OfBytes(const std::uint8_t* p, int count, int offset) {
    if (p == nullptr || count <= 0)
        return {};
    return {p + offset, count};
}

template <bool NoCase> int Positioned(Range a, Range b) {
    return textvector::CompareRanges(a.p, a.n, b.p, b.n, NoCase);
}

int Sign(int v) {
    return (v > 0) - (v < 0);
}

template <bool NoCase> bool SameBytes(const std::uint8_t* a, const std::uint8_t* b, int n) {
    return textvector::CompareRanges(a, n, b, n, NoCase) == 0;
}

// A null other matches only an empty text; a missing one never matches.
template <bool NoCase> bool StartsWith(const VMString& s, Range p, bool given) {
    if (s.Text() == nullptr || !given || p.n > s.Length())
        return false;
    return SameBytes<NoCase>(U(s.Text()), p.p, p.n);
}

template <bool NoCase> bool EndsWith(const VMString& s, Range p, bool given) {
    if (s.Text() == nullptr || !given || p.n > s.Length())
        return false;
    return SameBytes<NoCase>(U(s.Text()) + (s.Length() - p.n), p.p, p.n);
}

// Positioned against a C string of which at most `limit` bytes count.
template <bool NoCase> int PositionedCString(Range own, const char* other, int limit) {
    if (other == nullptr)
        return Positioned<NoCase>(own, {});
    return textvector::CompareCString(own.p, own.n, other, limit, NoCase);
}

// The first n bytes of the text from `from` against another operand, which
// compare() takes with the text's range and n; a missing other (given false)
// ranks below any text with bytes. otherHasBytes() is asked only of a null
// text, so that the usual call does not wait for the other's first byte.
template <class HasBytes, class Compare>
int ComparePrefix(const VMString& s, HasBytes otherHasBytes, bool given, int n, int from,
                  Compare compare) {
    if (s.Text() == nullptr)
        return otherHasBytes() ? -1 : 0;
    if (!given)
        return s.Length() > 0 ? 1 : 0;
    if (from < 0 || from >= s.Length())
        return -1;
    const int limit = std::max(n, 0);
    return compare(Range{U(s.Text()) + from, std::min(s.Length() - from, limit)}, limit);
}

template <bool NoCase>
int ComparePrefixText(const VMString& s, const VMString* other, int n, int from) {
    const Range range = OfText(other);
    return ComparePrefix(
        s, [&] { return range.n > 0; }, IsText(other), n, from,
        [&](Range own, int limit) {
            return Positioned<NoCase>(own, {range.p, std::min(range.n, limit)});
        });
}

template <bool NoCase>
int ComparePrefixCString(const VMString& s, const char* other, int n, int from) {
    return ComparePrefix(
        s, [&] { return other != nullptr && other[0] != 0; }, other != nullptr, n, from,
        [&](Range own, int limit) { return PositionedCString<NoCase>(own, other, limit); });
}

// --- two-byte characters ------------------------------------------------------

// True when t[p] is the second byte of a character; boundary is a character
// boundary at or before p.
bool IsSecondByte(const std::uint8_t* t, int boundary, int p) {
    int q = p - 1;
    while (q >= boundary && IsLead(t[q]))
        --q;
    return ((p - 1 - q) & 1) != 0;
}

// Bytes of the character at i when the range ends at end.
int CharLength(const std::uint8_t* t, int i, int end) {
    return IsLead(t[i]) && i + 1 < end ? 2 : 1;
}

// The next position in [pos, end) holding c that begins a character, or -1;
// boundary is a character boundary at or before pos and moves with the scan.
int NextSingleByte(const std::uint8_t* t, int end, int& boundary, int pos, std::uint8_t c) {
    while (pos < end) {
        const void* hit = std::memchr(t + pos, c, static_cast<std::size_t>(end - pos));
        if (hit == nullptr)
            return -1;
        const int p = static_cast<int>(static_cast<const std::uint8_t*>(hit) - t);
        const bool second = IsSecondByte(t, boundary, p);
        // Either way the character holding t[p] ends at p: c is not a lead byte.
        boundary = pos = p + 1;
        if (!second)
            return p;
    }
    return -1;
}

// Set members are the set's bytes below 0x80: taken as signed bytes, higher
// ones never equal a text byte, and the terminating zero is not a member.
struct ByteSet {
    bool has[256] = {};
    explicit ByteSet(const char* set) {
        for (const std::uint8_t* p = U(set); *p != 0; ++p)
            if (*p < 0x80)
                has[*p] = true;
    }
};

// First character start in [from, end) whose byte satisfies stop, scanning
// from 0 so that second bytes are stepped over.
template <class Stop> int FirstChar(const std::uint8_t* t, int from, int end, Stop stop) {
    for (int i = 0; i < end; i += IsLead(t[i]) ? 2 : 1)
        if (i >= from && stop(t[i]))
            return i;
    return -1;
}

template <class Stop> int LastChar(const std::uint8_t* t, int end, Stop stop) {
    int last = -1;
    for (int i = 0; i < end; i += IsLead(t[i]) ? 2 : 1)
        if (stop(t[i]))
            last = i;
    return last;
}

bool ValidSet(const char* set) {
    return set != nullptr && set[0] != 0;
}

// --- wildcard search -------------------------------------------------------------

constexpr std::uint8_t kAnyChar = '?';

// Whether pattern matches the characters of t from i without passing end.
bool MatchesCased(const std::uint8_t* t, int i, int end, Range pattern) {
    for (int j = 0; j < pattern.n;) {
        if (i >= end)
            return false;
        const int textBytes = CharLength(t, i, end);
        const int patternBytes = CharLength(pattern.p, j, pattern.n);
        if (!(patternBytes == 1 && pattern.p[j] == kAnyChar)) {
            if (textBytes != patternBytes || t[i] != pattern.p[j] ||
                (patternBytes == 2 && t[i + 1] != pattern.p[j + 1]))
                return false;
        }
        i += textBytes;
        j += patternBytes;
    }
    return true;
}

// The pattern's bytes before its first '?' character: a match has the same
// bytes at the same offsets, since every other pattern character matches only
// a text character of its own bytes.
int FixedPrefix(Range pattern) {
    int j = 0;
    while (j < pattern.n && !(pattern.p[j] == kAnyChar && CharLength(pattern.p, j, pattern.n) == 1))
        j += CharLength(pattern.p, j, pattern.n);
    return std::min(j, pattern.n);
}

// Candidates are the character starts from start; a match consumes at least
// as many text bytes as the pattern has, which bounds the last candidate.
// The fixed prefix's first and last bytes pick the candidates to try.
int SearchCased(const std::uint8_t* t, int start, int end, Range pattern) {
    const int last = end - pattern.n;
    const int fixed = FixedPrefix(pattern);
    int boundary = start;
    for (int i = start; i <= last;) {
        if (fixed > 0) {
            const int p = textvector::FindPair(t, i, last, pattern.p[0], fixed - 1,
                                               pattern.p[fixed - 1], false);
            if (p < 0)
                return -1;
            if (IsSecondByte(t, boundary, p)) {
                boundary = i = p + 1;
                continue;
            }
            i = p;
        }
        if (MatchesCased(t, i, end, pattern))
            return i;
        boundary = i = i + CharLength(t, i, end);
    }
    return -1;
}

bool MatchesNoCase(const std::uint8_t* t, Range pattern) {
    for (int j = 0; j < pattern.n; ++j)
        if (pattern.p[j] != kAnyChar && Fold(pattern.p[j]) != Fold(t[j]))
            return false;
    return true;
}

// Byte by byte: candidates are picked by the first and last pattern bytes
// that are not '?', folded.
int SearchNoCase(const std::uint8_t* t, int start, int end, Range pattern) {
    int first = 0;
    while (first < pattern.n && pattern.p[first] == kAnyChar)
        ++first;
    if (first == pattern.n)
        return start; // only wildcards, and the window is long enough
    int second = pattern.n - 1;
    while (pattern.p[second] == kAnyChar)
        --second;
    const bool wild =
        std::memchr(pattern.p, kAnyChar, static_cast<std::size_t>(pattern.n)) != nullptr;
    const int last = end - pattern.n;
    for (int i = start; i <= last; ++i) {
        i = textvector::FindPair(t + first, i, last, Fold(pattern.p[first]), second - first,
                                 Fold(pattern.p[second]), true);
        if (i < 0)
            return -1;
        if (wild ? MatchesNoCase(t + i, pattern)
                 : textvector::Mismatch(t + i, pattern.p, pattern.n, true) == pattern.n)
            return i;
    }
    return -1;
}

// The window is the text from base; from counts from there, results from the
// start of the text.
template <bool NoCase>
int SearchPattern(const VMString& s, Range pattern, bool returnEnd, int from, int base) {
    const int n = s.Length();
    if (s.Text() == nullptr || pattern.n <= 0 || base < 0 || base > n || from < 0 ||
        from > n - base)
        return -1;
    const int start = base + from;
    if (n - start < pattern.n)
        return -1;
    const std::uint8_t* t = U(s.Text());
    const int hit = NoCase ? SearchNoCase(t, start, n, pattern) : SearchCased(t, start, n, pattern);
    if (hit < 0)
        return -1;
    // The pattern's byte count, even where '?' took a two-byte character.
    return returnEnd ? hit + pattern.n : hit;
}

} // namespace

// --- character searches --------------------------------------------------------

int VMString::Find(int ch, int from) const {
    const auto c = static_cast<std::uint8_t>(ch);
    if (textStart == nullptr || from < 0 || from >= length || c >= 0x80)
        return -1;
    int boundary = 0;
    return NextSingleByte(U(textStart), length, boundary, from, c);
}

int VMString::FindOneOf(const char* set, int from) const {
    if (textStart == nullptr || !ValidSet(set) || from < 0 || from >= length)
        return -1;
    const ByteSet members(set);
    return FirstChar(U(textStart), from, length, [&](std::uint8_t b) { return members.has[b]; });
}

int VMString::ReverseFind(int ch, int upTo) const {
    const auto c = static_cast<std::uint8_t>(ch);
    if (upTo < 0)
        upTo = length - 1;
    if (textStart == nullptr || upTo < 0 || upTo >= length || c >= 0x80)
        return -1;
    int boundary = 0;
    int last = -1;
    for (int p = 0; (p = NextSingleByte(U(textStart), upTo + 1, boundary, p, c)) >= 0; ++p)
        last = p;
    return last;
}

int VMString::ReverseFindOneOf(const char* set, int upTo) const {
    if (upTo < 0)
        upTo = length - 1;
    if (textStart == nullptr || !ValidSet(set) || upTo < 0 || upTo >= length)
        return -1;
    const ByteSet members(set);
    return LastChar(U(textStart), upTo + 1, [&](std::uint8_t b) { return members.has[b]; });
}

// A two-byte character is never equal to ch, so its position ends the search.
int VMString::FindNot(int ch, int from) const {
    if (textStart == nullptr || from < 0 || from >= length)
        return -1;
    const auto c = static_cast<std::uint8_t>(ch);
    return FirstChar(U(textStart), from, length,
                     [&](std::uint8_t b) { return IsLead(b) || b != c || c >= 0x80; });
}

int VMString::FindNotOneOf(const char* set, int from) const {
    if (textStart == nullptr || !ValidSet(set) || from < 0 || from >= length)
        return -1;
    const ByteSet members(set);
    return FirstChar(U(textStart), from, length,
                     [&](std::uint8_t b) { return IsLead(b) || !members.has[b]; });
}

// --- comparisons ---------------------------------------------------------------

int VMString::CompareBytes(const std::uint8_t* other, int count, int otherOffset) const {
    return Positioned<false>(OfText(this), OfBytes(other, count, otherOffset));
}
int VMString::CompareCString(const char* other) const {
    const Range own = OfText(this);
    return PositionedCString<false>(own, other, INT_MAX);
}
int VMString::CompareText(const VMString* other) const {
    return Positioned<false>(OfText(this), OfText(other));
}
int VMString::CompareBytesNoCase(const std::uint8_t* other, int count, int otherOffset) const {
    return Positioned<true>(OfText(this), OfBytes(other, count, otherOffset));
}
int VMString::CompareCStringNoCase(const char* other) const {
    const Range own = OfText(this);
    return PositionedCString<true>(own, other, INT_MAX);
}
int VMString::CompareTextNoCase(const VMString* other) const {
    return Positioned<true>(OfText(this), OfText(other));
}
int VMString::CollateBytesNoCase(const std::uint8_t* other, int count, int otherOffset) const {
    const Range own = OfText(this);
    return Sign(Positioned<true>(own, OfBytes(other, count, otherOffset)));
}
int VMString::CollateCStringNoCase(const char* other) const {
    return Sign(PositionedCString<true>(OfText(this), other, INT_MAX));
}
int VMString::CollateTextNoCase(const VMString* other) const {
    return Sign(Positioned<true>(OfText(this), OfText(other)));
}

int VMString::CompareCStringPrefix(const char* other, int n, int from) const {
    return ComparePrefixCString<false>(*this, other, n, from);
}
int VMString::CompareTextPrefix(const VMString* other, int n, int from) const {
    return ComparePrefixText<false>(*this, other, n, from);
}
int VMString::CompareCStringPrefixNoCase(const char* other, int n, int from) const {
    return ComparePrefixCString<true>(*this, other, n, from);
}
int VMString::CompareTextPrefixNoCase(const VMString* other, int n, int from) const {
    return ComparePrefixText<true>(*this, other, n, from);
}

// --- class of the byte at an index ------------------------------------------------

int VMString::LeadStateAt(int index) const {
    if (buffer == nullptr || textStart == nullptr || index < 0 || index >= length)
        return 0;
    const std::uint8_t* t = U(textStart);
    int i = 0;
    while (i < index)
        i += IsLead(t[i]) ? 2 : 1;
    if (i > index)
        return -1;
    return IsLead(t[index]) ? 1 : 0;
}

bool VMString::IsCharAt(int index, int ch) const {
    if (textStart == nullptr || index < 0 || index >= length)
        return false;
    return U(textStart)[index] == static_cast<std::uint8_t>(ch) && LeadStateAt(index) != -1;
}

// --- prefix and suffix tests ---------------------------------------------------------

bool VMString::StartsWithBytes(const std::uint8_t* p, int count, int pOffset) const {
    return count >= 0 && StartsWith<false>(*this, OfBytes(p, count, pOffset), p != nullptr);
}
bool VMString::StartsWithCString(const char* p) const {
    return StartsWith<false>(*this, OfCString(p), p != nullptr);
}
// A null other is no bytes yet matches only an empty text.
bool VMString::StartsWithText(const VMString* p) const {
    return StartsWith<false>(*this, OfText(p), IsText(p) || (p != nullptr && length == 0));
}
bool VMString::StartsWithBytesNoCase(const std::uint8_t* p, int count, int pOffset) const {
    return count >= 0 && StartsWith<true>(*this, OfBytes(p, count, pOffset), p != nullptr);
}
bool VMString::StartsWithCStringNoCase(const char* p) const {
    return StartsWith<true>(*this, OfCString(p), p != nullptr);
}
bool VMString::StartsWithTextNoCase(const VMString* p) const {
    return StartsWith<true>(*this, OfText(p), IsText(p) || (p != nullptr && length == 0));
}
bool VMString::EndsWithBytes(const std::uint8_t* p, int count) const {
    return count >= 0 && EndsWith<false>(*this, OfBytes(p, count, 0), p != nullptr);
}
bool VMString::EndsWithCString(const char* p) const {
    return EndsWith<false>(*this, OfCString(p), p != nullptr);
}
bool VMString::EndsWithText(const VMString* p) const {
    return EndsWith<false>(*this, OfText(p), p != nullptr);
}
bool VMString::EndsWithBytesNoCase(const std::uint8_t* p, int count) const {
    return count >= 0 && EndsWith<true>(*this, OfBytes(p, count, 0), p != nullptr);
}
bool VMString::EndsWithCStringNoCase(const char* p) const {
    return EndsWith<true>(*this, OfCString(p), p != nullptr);
}
bool VMString::EndsWithTextNoCase(const VMString* p) const {
    return EndsWith<true>(*this, OfText(p), p != nullptr);
}

// --- wildcard search -------------------------------------------------------------------

int VMString::FindPattern(const std::uint8_t* pattern, int count, bool returnEnd, int from,
                          int base) const {
    return SearchPattern<false>(*this, OfBytes(pattern, count, 0), returnEnd, from, base);
}
int VMString::FindPatternCString(const char* pattern, bool returnEnd, int from) const {
    return SearchPattern<false>(*this, OfCString(pattern), returnEnd, from, 0);
}
int VMString::FindPatternText(const VMString* pattern, bool returnEnd, int from) const {
    return SearchPattern<false>(*this, OfText(pattern), returnEnd, from, 0);
}
int VMString::FindPatternNoCase(const std::uint8_t* pattern, int count, bool returnEnd, int from,
                                int base) const {
    return SearchPattern<true>(*this, OfBytes(pattern, count, 0), returnEnd, from, base);
}
int VMString::FindPatternNoCaseCString(const char* pattern, bool returnEnd, int from) const {
    return SearchPattern<true>(*this, OfCString(pattern), returnEnd, from, 0);
}
int VMString::FindPatternNoCaseText(const VMString* pattern, bool returnEnd, int from) const {
    return SearchPattern<true>(*this, OfText(pattern), returnEnd, from, 0);
}

// --- line addressing ---------------------------------------------------------------------

// CR LF, a lone CR and a lone LF are one break each.
int VMString::LocateLine(int* lineStart, int line) const {
    if (textStart == nullptr || lineStart == nullptr || *lineStart < 0 || *lineStart > length)
        return -1;
    if (line <= 0)
        return -1;
    const char* t = textStart;
    int breaks = 0;
    for (int i = *lineStart; i < length; ++i) {
        if (t[i] != '\r' && t[i] != '\n')
            continue;
        if (t[i] == '\r' && i + 1 < length && t[i + 1] == '\n')
            ++i;
        if (++breaks == line)
            return i + 1;
        *lineStart = i + 1;
    }
    return -1;
}
