// VMString editing: appending, assigning with a suffix or a concatenation,
// inserting, overwriting, deleting and replacing.
//
// Each family works on a byte range (source, count, source offset); the
// string and text members only supply it. A source may lie in this text's own
// buffer (the text itself, or a view of it): such a range is kept alive and
// unchanged by holding its record for the length of the operation, which also
// keeps the operation from writing that buffer in place.
#include "text/TextBytes.h"
#include "text/VMString.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace {

const std::uint8_t* U(const char* p) {
    return reinterpret_cast<const std::uint8_t*>(p);
}

std::size_t Bytes(std::int64_t n) {
    return static_cast<std::size_t>(n);
}

// strlen, or -1 for a string longer than any text (which no range can take).
int LengthOf(const char* text) {
    const std::size_t n = std::strlen(text);
    return n > static_cast<std::size_t>(TextBuffer::kMaxLength) ? -1 : static_cast<int>(n);
}

// Holds a record (one more share) until the end of the scope.
class RecordHold {
  public:
    explicit RecordHold(TextBuffer* held) : record(held) {
        if (record != nullptr)
            ++record->shareCount;
    }
    // Holds target's record when source points into its block.
    RecordHold(const VMString& target, const void* source)
        : RecordHold(Inside(target.Buffer(), source) ? target.Buffer() : nullptr) {}
    ~RecordHold() { TextBuffer::Release(record); }
    RecordHold(const RecordHold&) = delete;
    RecordHold& operator=(const RecordHold&) = delete;

  private:
    static bool Inside(const TextBuffer* r, const void* p) {
        if (r == nullptr || r->data == nullptr || p == nullptr)
            return false;
        const auto at = reinterpret_cast<std::uintptr_t>(p);
        const auto begin = reinterpret_cast<std::uintptr_t>(r->data);
        return at >= begin &&
               at - begin < static_cast<std::uintptr_t>(std::max(r->capacity, r->length));
    }

    TextBuffer* record;
};

// The start of a source range, or none.
const std::uint8_t* RangeStart(const std::uint8_t* src, int srcOffset) {
    return src != nullptr ? src + srcOffset : nullptr;
}

// Lengthens the text by n bytes through SetLength and returns the address of
// the first new byte; none when the length cannot be had.
char* Grow(VMString& s, std::int64_t n) {
    const int old = s.Length();
    if (n < 0 || n > TextBuffer::kMaxLength - old)
        return nullptr;
    const int wanted = old + static_cast<int>(n);
    s.SetLength(wanted, 0, false);
    if (s.Length() != wanted || s.Data() == nullptr)
        return nullptr;
    return s.Data() + old;
}

void StoreLE(char* at, std::uint32_t value, int size) {
    for (int k = 0; k < size; ++k, value >>= 8)
        at[k] = static_cast<char>(value & 0xFF);
}

// Makes room for n bytes at pos and returns the address of the gap; none when
// nothing was done. A pos beyond the end extends the text with zero bytes up
// to pos. A unique buffer that is big enough is reused; otherwise one new
// record receives the old bytes around the gap.
char* OpenGap(VMString& s, int pos, int n) {
    if (pos < 0 || n < 0)
        return nullptr;
    const int old = s.Length();
    const std::int64_t wanted = std::int64_t{n} + std::max(pos, old);
    if (wanted > TextBuffer::kMaxLength)
        return nullptr;
    const int newLength = static_cast<int>(wanted);
    if (s.IsUnique() && s.Buffer()->capacity >= TextBuffer::CapacityFor(newLength)) {
        s.SetLength(newLength, 0, false);
        char* t = s.Data();
        if (pos < old)
            std::memmove(t + pos + n, t + pos, Bytes(old - pos));
        else if (pos > old)
            std::memset(t + old, 0, Bytes(pos - old));
        return t + pos;
    }
    TextBuffer* fresh = TextBuffer::Create(s.GetAllocator());
    if (!fresh->Resize(newLength)) {
        TextBuffer::Release(fresh);
        return nullptr;
    }
    const char* t = s.Text();
    const int before = std::min(pos, old);
    if (before > 0)
        std::memcpy(fresh->data, t, Bytes(before));
    if (pos > old)
        std::memset(fresh->data + old, 0, Bytes(pos - old));
    else if (pos < old)
        std::memcpy(fresh->data + pos + n, t + pos, Bytes(old - pos));
    s.AttachBuffer(fresh);
    TextBuffer::Release(fresh); // the text's own share remains
    return s.Data() + pos;
}

// The line's first byte and the position after its break; false when the
// text is empty or has fewer than line breaks.
bool LineRange(const VMString& s, int line, int& start, int& end) {
    if (s.IsNull() || s.Length() == 0 || line <= 0)
        return false;
    start = 0;
    end = s.LocateLine(&start, line);
    return end >= 0;
}

} // namespace

// --- appending --------------------------------------------------------------------

void VMString::AppendBytes(const std::uint8_t* src, int count, int srcOffset) {
    const std::uint8_t* from = RangeStart(src, srcOffset);
    RecordHold hold(*this, from);
    char* at = Grow(*this, count);
    if (at != nullptr && from != nullptr && count > 0)
        std::memcpy(at, from, Bytes(count));
}

void VMString::AppendFill(int byte, int count) {
    if (count <= 0)
        return;
    if (char* at = Grow(*this, count))
        std::memset(at, byte, Bytes(count));
}

void VMString::AppendByte(int value) {
    if (char* at = Grow(*this, 1))
        StoreLE(at, static_cast<std::uint32_t>(value), 1);
}

void VMString::AppendUInt16(int value) {
    if (char* at = Grow(*this, 2))
        StoreLE(at, static_cast<std::uint32_t>(value), 2);
}

void VMString::AppendInt32(int value) {
    if (char* at = Grow(*this, 4))
        StoreLE(at, static_cast<std::uint32_t>(value), 4);
}

void VMString::AppendUInt32(std::uint32_t value) {
    if (char* at = Grow(*this, 4))
        StoreLE(at, value, 4);
}

void VMString::AppendCString(const char* text) {
    if (text == nullptr)
        AppendBytes(nullptr, 0, 0);
    else
        AppendBytes(U(text), LengthOf(text), 0);
}

void VMString::AppendText(const VMString* other) {
    if (other == nullptr || other->buffer == nullptr)
        return;
    if (IsNull())
        AssignSub(other, 0, -1); // shares instead of copying
    else
        AppendBytes(U(other->bufferData), other->length, other->offset);
}

void VMString::AppendSub(const VMString* other, int start, int count) {
    if (other == nullptr || other->buffer == nullptr || start < 0 || start >= other->length)
        return;
    const int available = other->length - start;
    if (count < 0 || count > available)
        count = available;
    if (IsNull())
        AssignSub(other, start, count);
    else
        AppendBytes(U(other->bufferData), count, other->offset + start);
}

// Every non-empty line of the source gets tabs tab characters before its
// first byte; a carriage return is an ordinary byte.
void VMString::AppendIndentedBytes(int tabs, const char* src, int count, int srcOffset) {
    if (src == nullptr || count <= 0 || tabs < 0)
        return;
    const char* from = src + srcOffset;
    std::int64_t runs = 0;
    for (int i = 0; i < count; ++i)
        runs += from[i] != '\n' && (i == 0 || from[i - 1] == '\n') ? 1 : 0;
    RecordHold hold(*this, from);
    char* at = Grow(*this, std::int64_t{tabs} * runs + count);
    if (at == nullptr)
        return;
    for (int i = 0; i < count; ++i) {
        if (from[i] != '\n' && (i == 0 || from[i - 1] == '\n')) {
            std::memset(at, '\t', Bytes(tabs));
            at += tabs;
        }
        *at++ = from[i];
    }
}

void VMString::AppendIndentedCString(int tabs, const char* text) {
    if (text != nullptr)
        AppendIndentedBytes(tabs, text, LengthOf(text), 0);
}

void VMString::AppendIndentedText(int tabs, const VMString* other) {
    if (other != nullptr)
        AppendIndentedBytes(tabs, other->bufferData, other->length, other->offset);
}

// --- assigning with a suffix byte, assigning a concatenation ------------------------

void VMString::AssignBytesWithByte(const char* src, int count, int byte, int srcOffset) {
    if (count < 0 || count >= TextBuffer::kMaxLength)
        return;
    const char* from = src != nullptr ? src + srcOffset : nullptr;
    RecordHold hold(*this, from);
    SetLength(count + 1, 0, false);
    if (length != count + 1 || textStart == nullptr)
        return;
    if (from != nullptr)
        std::memmove(textStart, from, Bytes(count));
    textStart[count] = static_cast<char>(byte);
}

void VMString::AssignCStringWithByte(const char* text, int byte) {
    if (text == nullptr)
        AssignBytesWithByte(nullptr, 0, byte, 0);
    else
        AssignBytesWithByte(text, LengthOf(text), byte, 0);
}

void VMString::AssignTextWithByte(const VMString* other, int byte) {
    if (other != nullptr)
        AssignBytesWithByte(other->bufferData, other->length, byte, other->offset);
}

void VMString::AssignConcatBytes(const char* a, int aCount, const std::uint8_t* b, int bCount,
                                 int aOffset, int bOffset) {
    if (aCount < 0 || bCount < 0 || aCount > TextBuffer::kMaxLength - bCount)
        return;
    const char* fromA = a != nullptr ? a + aOffset : nullptr;
    const std::uint8_t* fromB = RangeStart(b, bOffset);
    RecordHold holdA(*this, fromA);
    RecordHold holdB(*this, fromB);
    SetLength(aCount + bCount, 0, false);
    if (length != aCount + bCount || textStart == nullptr)
        return;
    if (fromA != nullptr)
        std::memmove(textStart, fromA, Bytes(aCount));
    if (fromB != nullptr)
        std::memmove(textStart + aCount, fromB, Bytes(bCount));
}

void VMString::AssignConcatCStrings(const char* a, const char* b) {
    AssignConcatBytes(a, a != nullptr ? LengthOf(a) : 0, U(b), b != nullptr ? LengthOf(b) : 0, 0,
                      0);
}

void VMString::AssignConcatTextCString(const VMString* a, const char* b) {
    if (a != nullptr && b != nullptr)
        AssignConcatBytes(a->bufferData, a->length, U(b), LengthOf(b), a->offset, 0);
    else if (a != nullptr)
        AssignValue(a);
    else if (b != nullptr)
        AssignCString(b, nullptr);
}

void VMString::AssignConcatCStringText(const char* a, const VMString* b) {
    if (a != nullptr && b != nullptr)
        AssignConcatBytes(a, LengthOf(a), U(b->bufferData), b->length, 0, b->offset);
    else if (a != nullptr)
        AssignCString(a, nullptr);
    else if (b != nullptr)
        AssignValue(b);
}

void VMString::AssignConcatText(const VMString* a, const VMString* b) {
    if (a != nullptr && b != nullptr)
        AssignConcatBytes(a->bufferData, a->length, U(b->bufferData), b->length, a->offset,
                          b->offset);
    else if (a != nullptr || b != nullptr)
        AssignValue(a != nullptr ? a : b);
}

// --- inserting --------------------------------------------------------------------

void VMString::InsertFill(int pos, int byte, int count) {
    if (char* at = OpenGap(*this, pos, count))
        std::memset(at, byte, Bytes(count));
}

void VMString::InsertByte(int pos, int value) {
    if (char* at = OpenGap(*this, pos, 1))
        StoreLE(at, static_cast<std::uint32_t>(value), 1);
}

void VMString::InsertUInt16(int pos, int value) {
    if (char* at = OpenGap(*this, pos, 2))
        StoreLE(at, static_cast<std::uint32_t>(value), 2);
}

void VMString::InsertInt32(int pos, int value) {
    if (char* at = OpenGap(*this, pos, 4))
        StoreLE(at, static_cast<std::uint32_t>(value), 4);
}

void VMString::InsertUInt32(int pos, std::uint32_t value) {
    if (char* at = OpenGap(*this, pos, 4))
        StoreLE(at, value, 4);
}

void VMString::InsertBytes(int pos, const std::uint8_t* src, int count, int srcOffset) {
    if (src == nullptr)
        return;
    const std::uint8_t* from = src + srcOffset;
    RecordHold hold(*this, from);
    if (char* at = OpenGap(*this, pos, count))
        std::memcpy(at, from, Bytes(count));
}

void VMString::InsertCString(int pos, const char* text) {
    if (text != nullptr)
        InsertBytes(pos, U(text), LengthOf(text), 0);
}

void VMString::InsertText(int pos, const VMString* other) {
    if (other == nullptr)
        return;
    if (IsNull() && pos == 0)
        AssignSub(other, 0, -1); // shares instead of copying
    else
        InsertBytes(pos, U(other->bufferData), other->length, other->offset);
}

void VMString::InsertAtLineBytes(int line, const std::uint8_t* src, int count, int srcOffset) {
    int start = 0;
    int end = 0;
    if (LineRange(*this, line, start, end))
        InsertBytes(start, src, count, srcOffset);
}

void VMString::InsertAtLineCString(int line, const char* text) {
    if (text != nullptr)
        InsertAtLineBytes(line, U(text), LengthOf(text), 0);
}

void VMString::InsertAtLineText(int line, const VMString* other) {
    if (other != nullptr)
        InsertAtLineBytes(line, U(other->bufferData), other->length, other->offset);
}

// --- overwriting: in place, never growing ------------------------------------------

void VMString::OverwriteBytes(int pos, const std::uint8_t* src, int count, int srcOffset) {
    if (pos < 0 || src == nullptr || IsNull() || pos >= length)
        return;
    const int n = std::min(count, length - pos);
    if (n > 0)
        std::memmove(textStart + pos, src + srcOffset, Bytes(n));
}

void VMString::OverwriteCString(int pos, const char* text) {
    if (text != nullptr)
        OverwriteBytes(pos, U(text), LengthOf(text), 0);
}

void VMString::OverwriteText(int pos, const VMString* other) {
    if (other != nullptr)
        OverwriteBytes(pos, U(other->bufferData), other->length, other->offset);
}

// --- deleting and replacing -------------------------------------------------------

void VMString::Delete(int pos, int count) {
    if (IsNull() || pos < 0 || count <= 0 || pos >= length)
        return;
    count = std::min(count, length - pos);
    const int newLength = length - count;
    const int tail = length - pos - count;
    if (IsUnique() && buffer->capacity >= TextBuffer::CapacityFor(newLength)) {
        std::memmove(textStart + pos, textStart + pos + count, Bytes(tail));
        SetLength(newLength, 0, true);
        return;
    }
    TextBuffer* fresh = TextBuffer::Create(GetAllocator());
    if (!fresh->Resize(newLength)) {
        TextBuffer::Release(fresh);
        return;
    }
    std::memcpy(fresh->data, textStart, Bytes(pos));
    std::memcpy(fresh->data + pos, textStart + pos + count, Bytes(tail));
    AttachBuffer(fresh);
    TextBuffer::Release(fresh); // the text's own share remains
}

// Two-byte characters never match; every other byte is tested as strchr
// tests it, so a zero byte in the text is a member of every set.
void VMString::ReplaceChars(const char* set, int byte) {
    if (set == nullptr)
        return;
    bool madeUnique = false;
    for (int i = 0; i < length; ++i) {
        const char c = textStart[i];
        if (textbytes::IsLead(static_cast<std::uint8_t>(c)) && i + 1 < length) {
            ++i;
            continue;
        }
        if (std::strchr(set, c) == nullptr)
            continue;
        if (!madeUnique) {
            MakeUnique();
            madeUnique = true;
        }
        textStart[i] = static_cast<char>(byte);
    }
}

// The bytes put in are never rescanned; an empty replacement deletes nothing.
void VMString::ReplaceCharsWithText(const char* set, const VMString* replacement) {
    if (set == nullptr || replacement == nullptr || IsNull() || length == 0 ||
        replacement->length == 0)
        return;
    // The replacement's bytes stay as they are even when it is this text.
    RecordHold hold(replacement->buffer);
    const char* with = replacement->textStart;
    const int r = replacement->length;
    bool madeUnique = false;
    for (int i = 0; i < length;) {
        const char c = textStart[i];
        if (textbytes::IsLead(static_cast<std::uint8_t>(c)) && i + 1 < length) {
            i += 2;
            continue;
        }
        if (std::strchr(set, c) == nullptr) {
            ++i;
            continue;
        }
        if (!madeUnique) {
            MakeUnique();
            madeUnique = true;
        }
        char* at = r >= 2 ? OpenGap(*this, i, r - 1) : textStart + i;
        if (at == nullptr)
            return;
        std::memcpy(at, with, Bytes(r));
        i += r;
    }
}

void VMString::ReplaceLineBytes(int line, const std::uint8_t* src, int count, int srcOffset) {
    int start = 0;
    int end = 0;
    if (!LineRange(*this, line, start, end))
        return;
    RecordHold hold(*this, RangeStart(src, srcOffset));
    Delete(start, end - start);
    InsertBytes(start, src, count, srcOffset);
}

void VMString::ReplaceLineCString(int line, const char* text) {
    if (text != nullptr)
        ReplaceLineBytes(line, U(text), LengthOf(text), 0);
}

void VMString::ReplaceLineText(int line, const VMString* other) {
    if (other != nullptr)
        ReplaceLineBytes(line, U(other->bufferData), other->length, other->offset);
}
