// VMString substrings, trimming, case, escapes and splitting.
//
// Copies own a new buffer; views share the source's record and copy nothing.
// The in-place operations make the text unique only when they actually change
// a byte, so a text with nothing to change keeps sharing its buffer.
#include "text/TextBytes.h"
#include "text/TextList.h"
#include "text/VMString.h"

#include <cstring>

using textbytes::IsLead;

namespace {

std::uint8_t* U(char* p) {
    return reinterpret_cast<std::uint8_t*>(p);
}
const std::uint8_t* U(const char* p) {
    return reinterpret_cast<const std::uint8_t*>(p);
}

constexpr char kDefaultTrimSet[] = " \t";
constexpr char kWhitespace[] = " \n\r\t";

// --- escapes and case ------------------------------------------------------------

// What a backslash followed by b stands for, or -1 when that is no escape. A
// zero byte after the backslash finds the terminator of the escape string,
// whose replacement is the zero after the table.
int UnescapedByte(std::uint8_t b) {
    static const char kEscaped[] = "\"'0\\bfnrtv";
    static const char kMeaning[] = {'"', '\'', 0, '\\', '\b', '\f', '\n', '\r', '\t', '\v', 0};
    const char* hit = std::strchr(kEscaped, b);
    return hit != nullptr ? kMeaning[hit - kEscaped] : -1;
}

int UnescapedQuote(std::uint8_t b) {
    return b == '\'' || b == '"' ? b : -1;
}

// Position of the first backslash that map turns into a byte, walking the
// characters from 0; -1 when there is none.
template <class Map> int FirstEscape(const std::uint8_t* t, int n, Map map) {
    for (int i = 0; i < n; ++i) {
        if (IsLead(t[i]) && i + 1 < n)
            ++i;
        else if (t[i] == '\\' && i + 1 < n && map(t[i + 1]) >= 0)
            return i;
    }
    return -1;
}

// Replaces every escape from first on by its byte, compacting the text; the
// produced byte is never rescanned. Returns the new length.
template <class Map> int RewriteEscapes(std::uint8_t* t, int n, int first, Map map) {
    int w = first;
    for (int r = first; r < n;) {
        if (IsLead(t[r]) && r + 1 < n) {
            t[w++] = t[r++];
            t[w++] = t[r++];
            continue;
        }
        const int meaning = t[r] == '\\' && r + 1 < n ? map(t[r + 1]) : -1;
        if (meaning >= 0) {
            t[w++] = static_cast<std::uint8_t>(meaning);
            r += 2;
        } else {
            t[w++] = t[r++];
        }
    }
    return w;
}

template <class Map> void Unescape(VMString& s, Map map) {
    const int first = FirstEscape(U(s.Text()), s.Length(), map);
    if (first < 0)
        return;
    s.MakeUnique();
    if (!s.IsUnique())
        return; // no room for a copy of its own: a shared text is never written
    s.SetLength(RewriteEscapes(U(s.Data()), s.Length(), first, map), 0, true);
}

// Moves the letters from...from + 25 to to...to + 25; two-byte characters stay.
void ChangeCase(VMString& s, std::uint8_t from, std::uint8_t to) {
    const int n = s.Length();
    bool unique = false;
    for (int i = 0; i < n; ++i) {
        const std::uint8_t b = U(s.Text())[i];
        if (IsLead(b) && i + 1 < n) {
            ++i;
            continue;
        }
        if (b < from || b > from + 25)
            continue;
        if (!unique) {
            s.MakeUnique();
            if (!s.IsUnique())
                return;
            unique = true;
        }
        s.Data()[i] = static_cast<char>(b - from + to);
    }
}

// --- trimming --------------------------------------------------------------------

// Membership as strchr tests it: the terminating zero is in every set.
struct TrimSet {
    bool has[256] = {};
    explicit TrimSet(const char* set) {
        if (set == nullptr)
            set = kDefaultTrimSet;
        for (const std::uint8_t* p = U(set); *p != 0; ++p)
            has[*p] = true;
        has[0] = true;
    }
};

// The kept range [j, n) of the text; false when nothing is removed (or
// there is nothing to trim).
bool TrimRange(const VMString& s, const char* set, int& j, int& n) {
    if (s.IsNull() || s.Length() == 0)
        return false;
    const TrimSet members(set);
    const std::uint8_t* t = U(s.Text());
    n = s.Length();
    while (n > 0 && members.has[t[n - 1]])
        --n;
    j = 0;
    while (j < n && members.has[t[j]])
        ++j;
    return n - j != s.Length();
}

// A trimmed result: part(j, n - j) when something went, else a share of the
// whole text; leftCount gains the count removed at the front.
template <class Part>
VMString* TrimmedResult(const VMString& s, const char* set, int* leftCount, Part part) {
    int j = 0;
    int n = 0;
    if (!TrimRange(s, set, j, n))
        return s.IsNull() || s.Length() == 0 ? new VMString : s.Clone();
    if (leftCount != nullptr)
        *leftCount += j;
    return part(j, n - j);
}

} // namespace

// --- escapes and case --------------------------------------------------------------

void VMString::Unescape() {
    ::Unescape(*this, UnescapedByte);
}

void VMString::UnescapeQuotes() {
    ::Unescape(*this, UnescapedQuote);
}

void VMString::MakeLower() {
    ChangeCase(*this, 'A', 'a');
}

void VMString::MakeUpper() {
    ChangeCase(*this, 'a', 'A');
}

// --- substrings --------------------------------------------------------------------

VMString* VMString::Mid(int start, int count) const {
    VMString* part = new VMString;
    if (buffer == nullptr || start < 0 || start >= length || count <= 0)
        return part;
    if (count > length - start)
        count = length - start;
    part->Allocate(count, 0, GetAllocator());
    if (part->length == count) // the block could be had
        std::memcpy(part->textStart, textStart + start, static_cast<std::size_t>(count));
    return part;
}

VMString* VMString::Left(int count) const {
    return Mid(0, count);
}

VMString* VMString::RightFrom(int start) const {
    return Mid(start, length - start);
}

VMString* VMString::Trimmed(const char* set, int* leftCount) const {
    return TrimmedResult(*this, set, leftCount, [this](int s, int c) { return Mid(s, c); });
}

VMString* VMString::TrimmedWhitespace(int* leftCount) const {
    return Trimmed(kWhitespace, leftCount);
}

VMString* VMString::MidView(int start, int count) const {
    VMString* part = new VMString;
    if (buffer == nullptr || start < 0 || start >= length || count <= 0)
        return part;
    part->AssignSub(this, start, count); // cuts a count that runs past the end
    return part;
}

VMString* VMString::LeftView(int count) const {
    return MidView(0, count);
}

VMString* VMString::RightFromView(int start) const {
    return MidView(start, length - start);
}

VMString* VMString::TrimmedView(const char* set, int* leftCount) const {
    return TrimmedResult(*this, set, leftCount, [this](int s, int c) { return MidView(s, c); });
}

VMString* VMString::TrimmedWhitespaceView(int* leftCount) const {
    return TrimmedView(kWhitespace, leftCount);
}

// --- in place ------------------------------------------------------------------------

void VMString::Crop(int start, int count) {
    if (IsNull() || start < 0 || count <= 0 || start >= length) {
        Clear();
        return;
    }
    if (count > length - start)
        count = length - start;
    if (start == 0 && count == length)
        return;
    if (IsUnique()) {
        std::memmove(bufferData, textStart + start, static_cast<std::size_t>(count));
        Attach(buffer, 0, length);
        SetLength(count, 0, true);
        return;
    }
    TextBuffer* record = TextBuffer::Create(GetAllocator());
    if (!record->Resize(count)) {
        TextBuffer::Release(record);
        return;
    }
    std::memcpy(record->data, textStart + start, static_cast<std::size_t>(count));
    AttachBuffer(record);
    TextBuffer::Release(record); // the hold that came with creating it
}

void VMString::KeepLeft(int count) {
    Crop(0, count);
}

void VMString::KeepFrom(int start) {
    Crop(start, length - start);
}

void VMString::Trim(const char* set) {
    int j = 0;
    int n = 0;
    if (TrimRange(*this, set, j, n))
        Crop(j, n - j);
}

void VMString::TrimWhitespace() {
    Trim(kWhitespace);
}

// --- splitting -------------------------------------------------------------------------

// Characters are read from 0: a lead byte that is not last forms a two-byte
// character coded lead * 256 + next byte, so a two-byte separator never
// matches across a character boundary.
int VMString::Split(TextList* list, int separator) const {
    if (IsNull()) {
        if (list != nullptr)
            list->PrepareList(0, -1, nullptr);
        return 0;
    }
    const std::uint8_t* t = U(textStart);
    auto width = [&](int i) { return IsLead(t[i]) && i + 1 < length ? 2 : 1; };
    auto code = [&](int i) { return width(i) == 2 ? t[i] * 256 + t[i + 1] : t[i]; };
    int parts = 1;
    for (int i = 0; i < length; i += width(i))
        parts += code(i) == separator;
    if (list == nullptr)
        return parts;
    list->PrepareList(-parts, -1, nullptr);
    int start = 0;
    for (int i = 0; i < length; i += width(i)) {
        if (code(i) != separator)
            continue;
        VMString* part = MidView(start, i - start); // null for an empty part
        list->AppendItem(part);
        part->Release();
        start = i + width(i);
    }
    if (start < length) {
        VMString* part = MidView(start, length - start);
        list->AppendItem(part);
        part->Release();
    }
    return parts;
}
