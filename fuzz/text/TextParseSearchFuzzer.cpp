// Arbitrary bytes through the VMString parsers, searches, comparisons and
// hash. The wildcard searches are checked against a plain character-by-
// character matcher, the character searches against a walk from the start of
// the text, the case-insensitive comparison of the text's two halves against
// a byte walk, HashNoCase against a bytewise CRC-32; the parsers must not
// fault and must report a code from 0 to 4, with the default value on every
// failure.
//
// Input: byte 0 = pattern length (low 4 bits) and flags (bit 4: returnEnd),
// byte 1 = start position, then the pattern, then the text.
#include "text/VMString.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

bool IsLead(std::uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

std::uint8_t Lower(std::uint8_t b) {
    return b >= 'A' && b <= 'Z' ? static_cast<std::uint8_t>(b + 32) : b;
}

int Width(const std::string& s, std::size_t i) {
    return IsLead(static_cast<std::uint8_t>(s[i])) && i + 1 < s.size() ? 2 : 1;
}

int ReferenceCased(const std::string& t, const std::string& p, std::size_t from) {
    if (p.empty() || from > t.size() || t.size() - from < p.size())
        return -1;
    for (std::size_t start = from; start < t.size(); start += Width(t, start)) {
        std::size_t i = start;
        std::size_t j = 0;
        while (j < p.size() && i < t.size()) {
            const int tw = Width(t, i);
            const int pw = Width(p, j);
            const bool any = pw == 1 && p[j] == '?';
            if (!any && (tw != pw || t.compare(i, tw, p, j, pw) != 0))
                break;
            i += tw;
            j += pw;
        }
        if (j == p.size())
            return static_cast<int>(start);
    }
    return -1;
}

int ReferenceNoCase(const std::string& t, const std::string& p, std::size_t from) {
    for (std::size_t i = from; !p.empty() && i <= t.size() && p.size() <= t.size() - i; ++i) {
        std::size_t k = 0;
        while (k < p.size() && (p[k] == '?' || Lower(static_cast<std::uint8_t>(p[k])) ==
                                                   Lower(static_cast<std::uint8_t>(t[i + k]))))
            ++k;
        if (k == p.size())
            return static_cast<int>(i);
    }
    return -1;
}

int ReferenceFind(const std::string& t, std::uint8_t c, std::size_t from) {
    if (c >= 0x80)
        return -1;
    for (std::size_t i = 0; i < t.size(); i += Width(t, i))
        if (i >= from && static_cast<std::uint8_t>(t[i]) == c && !IsLead(c))
            return static_cast<int>(i);
    return -1;
}

int ReferenceCompareNoCase(const std::string& a, const std::string& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t k = 0; k < n; ++k) {
        const auto x = static_cast<std::uint8_t>(a[k]);
        const auto y = static_cast<std::uint8_t>(b[k]);
        if (Lower(x) != Lower(y))
            return x < y ? -static_cast<int>(k + 1) : static_cast<int>(k + 1);
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -static_cast<int>(n + 1) : static_cast<int>(n + 1);
}

// The CRC-32 of the bytes with A-Z lowered outside two-byte characters, one
// bit at a time.
std::uint32_t ReferenceHash(const std::string& t) {
    std::uint32_t reg = 0xFFFFFFFFu;
    const auto feed = [&](std::uint8_t b) {
        reg ^= b;
        for (int k = 0; k < 8; ++k)
            reg = (reg & 1) != 0 ? (reg >> 1) ^ 0xEDB88320u : reg >> 1;
    };
    for (std::size_t i = 0; i < t.size(); i += static_cast<std::size_t>(Width(t, i))) {
        const auto b = static_cast<std::uint8_t>(t[i]);
        if (Width(t, i) == 2) {
            feed(b);
            feed(static_cast<std::uint8_t>(t[i + 1]));
        } else {
            feed(Lower(b));
        }
    }
    return ~reg;
}

void Check(bool ok) {
    if (!ok)
        std::abort();
}

template <class T> void CheckParse(T got, int code, T defaultValue) {
    Check(code >= 0 && code <= 4);
    Check(code == 0 || got == defaultValue);
}

void Parse(VMString* s) {
    for (bool allowFloat : {false, true}) {
        int code = -1;
        CheckParse<std::int8_t>(s->ToInt8(7, &code, allowFloat), code, 7);
        CheckParse<std::uint8_t>(s->ToUInt8(7, &code, allowFloat), code, 7);
        CheckParse<std::int16_t>(s->ToInt16(7, &code, allowFloat), code, 7);
        CheckParse<std::uint16_t>(s->ToUInt16(7, &code, allowFloat), code, 7);
        CheckParse<std::int32_t>(s->ToInt32(7, &code, allowFloat), code, 7);
        CheckParse<std::uint32_t>(s->ToUInt32(7, &code, allowFloat), code, 7);
        CheckParse<std::int64_t>(s->ToInt64(7, &code, allowFloat), code, 7);
        CheckParse<std::uint64_t>(s->ToUInt64(7, &code, allowFloat), code, 7);
    }
    int code = -1;
    const float f = s->ToFloat(7.0f, &code);
    Check(code >= 0 && code <= 4 && (code == 0 || f == 7.0f));
    const double d = s->ToDouble(7.0, &code);
    Check(code >= 0 && code <= 4 && (code == 0 || d == 7.0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::size_t patternLength = std::min<std::size_t>(data[0] & 15, size - 2);
    const bool returnEnd = (data[0] & 16) != 0;
    const std::string pattern(reinterpret_cast<const char*>(data + 2), patternLength);
    const std::string text(reinterpret_cast<const char*>(data + 2 + patternLength),
                           size - 2 - patternLength);
    const std::size_t from = text.empty() ? 0 : data[1] % (text.size() + 1);

    VMString* s = new VMString;
    s->AssignBytes(reinterpret_cast<const std::uint8_t*>(text.data()),
                   static_cast<int>(text.size()), 0, nullptr);
    const auto* p = reinterpret_cast<const std::uint8_t*>(pattern.data());
    const int count = static_cast<int>(pattern.size());
    const int f = static_cast<int>(from);
    const int add = returnEnd ? count : 0;

    const int cased = ReferenceCased(text, pattern, from);
    Check(s->FindPattern(p, count, returnEnd, f, 0) == (cased < 0 ? -1 : cased + add));
    const int noCase = ReferenceNoCase(text, pattern, from);
    Check(s->FindPatternNoCase(p, count, returnEnd, f, 0) == (noCase < 0 ? -1 : noCase + add));
    if (!pattern.empty() && from < text.size()) {
        const std::uint8_t c = static_cast<std::uint8_t>(pattern[0]);
        Check(s->Find(c, f) == ReferenceFind(text, c, from));
    }
    // The text's halves, as bytes and as another text.
    const std::string front = text.substr(0, text.size() / 2);
    const std::string back = text.substr(text.size() / 2);
    VMString* half = new VMString;
    half->AssignBytes(reinterpret_cast<const std::uint8_t*>(back.data()),
                      static_cast<int>(back.size()), 0, nullptr);
    VMString* first = new VMString;
    first->AssignBytes(reinterpret_cast<const std::uint8_t*>(front.data()),
                       static_cast<int>(front.size()), 0, nullptr);
    const int expected = ReferenceCompareNoCase(front, back);
    Check(first->CompareBytesNoCase(reinterpret_cast<const std::uint8_t*>(back.data()),
                                    static_cast<int>(back.size()), 0) == expected);
    Check(first->CompareTextNoCase(half) == expected);
    Check(first->StartsWithTextNoCase(half) ==
          (back.size() <= front.size() &&
           ReferenceCompareNoCase(front.substr(0, back.size()), back) == 0));
    // The back half as a C string (its bytes up to the first zero), whole and
    // as a prefix comparison of a length taken from the input.
    const std::string backString = back.substr(0, std::strlen(back.c_str()));
    Check(first->CompareCStringNoCase(back.c_str()) == ReferenceCompareNoCase(front, backString));
    if (!front.empty()) {
        const std::size_t n = text.size() % 97;
        Check(first->CompareCStringPrefixNoCase(back.c_str(), static_cast<int>(n), 0) ==
              ReferenceCompareNoCase(front.substr(0, n), backString.substr(0, n)));
    }
    half->Release();
    first->Release();
    // A zero-terminated prefix: the pattern up to its first zero byte.
    s->IntAfterPrefix(pattern.c_str());
    Check(s->HashNoCase() == ReferenceHash(text));
    s->ShortCode();
    int lineStart = f;
    s->LocateLine(&lineStart, 3);
    Parse(s);
    s->Release();
    return 0;
}
