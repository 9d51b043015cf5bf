#include "text/VMString.h"

#include "text/TextBytes.h"

#include <algorithm>
#include <cstring>

namespace {

std::size_t Bytes(int count) {
    return static_cast<std::size_t>(count);
}

} // namespace

// --- VMBase and VMValue slots ---------------------------------------------------

bool VMString::Assign(const VMBase* other) {
    if (other == this)
        return true;
    // Anything but a text is taken as no text rather than cast to one.
    const VMString* text = other != nullptr && other->IsKindOf(TypeIdString)
                               ? static_cast<const VMString*>(other)
                               : nullptr;
    AssignSub(text, 0, -1);
    return true;
}

std::uint32_t VMString::GetTypeId() const {
    return TypeIdString;
}

bool VMString::IsKindOf(std::uint32_t typeId) const {
    return typeId == TypeIdString;
}

std::int32_t VMString::Compare(const VMBase* other) const {
    const VMString* text = other != nullptr && other->IsKindOf(TypeIdString)
                               ? static_cast<const VMString*>(other)
                               : nullptr;
    return CompareText(text);
}

void VMString::Destroy() {
    Clear();
    delete this;
}

VMString* VMString::Retain() {
    AddRef();
    return this;
}

void VMString::AssignValue(const VMString* other) {
    AssignSub(other, 0, -1);
}

// --- storage ------------------------------------------------------------------------

void VMString::Attach(TextBuffer* record, int viewOffset, int viewLength) {
    if (record != buffer)
        TextBuffer::Release(buffer);
    buffer = record;
    bufferData = record != nullptr ? record->data : nullptr;
    offset = viewOffset;
    length = viewLength;
    textStart = bufferData != nullptr ? bufferData + offset : nullptr;
}

TextBuffer* VMString::CopyOfView(TextAllocator* allocator, int newLength, int capacityHint) const {
    TextBuffer* record = TextBuffer::Create(allocator);
    if (!record->Resize(newLength, capacityHint)) {
        TextBuffer::Release(record);
        return nullptr;
    }
    const int keep = std::min(newLength, length);
    if (keep > 0)
        std::memcpy(record->data, textStart, Bytes(keep));
    return record;
}

void VMString::Clear() {
    TextBuffer::Release(buffer);
    buffer = nullptr;
    bufferData = nullptr;
    textStart = nullptr;
    length = 0;
    offset = 0;
}

VMString* VMString::Clone() const {
    VMString* copy = new VMString;
    if (!IsNull()) {
        ++buffer->shareCount;
        copy->Attach(buffer, offset, length);
    }
    return copy;
}

void VMString::AttachBuffer(TextBuffer* record) {
    if (record == nullptr) {
        Clear();
        return;
    }
    ++record->shareCount; // first, so that attaching the record held is safe
    Clear();
    Attach(record, 0, record->length);
}

void VMString::AssignCString(const char* text, TextAllocator* allocator) {
    if (text == nullptr) {
        // The allocator is remembered by a record without bytes: still null.
        if (allocator != nullptr)
            Attach(TextBuffer::Create(allocator), 0, 0);
        else
            Clear();
        return;
    }
    // The text's own copy is array memory whatever allocator is passed.
    const std::size_t n = std::strlen(text);
    if (n > static_cast<std::size_t>(TextBuffer::kMaxLength))
        return;
    TextBuffer* record = TextBuffer::Create();
    if (!record->Resize(static_cast<int>(n))) {
        TextBuffer::Release(record);
        return;
    }
    std::memcpy(record->data, text, n); // text may lie in the record held: copy first
    Attach(record, 0, static_cast<int>(n));
}

void VMString::AssignSub(const VMString* other, int start, int count) {
    if (other == nullptr || other->buffer == nullptr) {
        Clear();
        return;
    }
    // Everything is read from other before Clear, since other may be this.
    TextBuffer* record = other->buffer;
    const int total = other->length;
    start = std::clamp(start, 0, total);
    if (count < 0 || count > total - start)
        count = total - start;
    const int viewOffset = other->offset + start;
    ++record->shareCount;
    Clear();
    Attach(record, viewOffset, count);
}

void VMString::AssignBytes(const std::uint8_t* src, int srcLength, int capacity,
                           TextAllocator* allocator) {
    if (src == nullptr) {
        Clear();
        return;
    }
    if (srcLength < 0)
        return;
    TextBuffer* record = TextBuffer::Create(allocator);
    if (capacity < 0) {
        // The caller's bytes, wrapped: the record never frees them.
        record->data = const_cast<char*>(reinterpret_cast<const char*>(src));
        record->length = srcLength;
        record->capacity = -1;
        record->unterminated = true;
    } else {
        if (!record->Resize(srcLength, capacity)) {
            TextBuffer::Release(record);
            return;
        }
        std::memcpy(record->data, src, Bytes(srcLength));
    }
    Attach(record, 0, srcLength);
}

void VMString::AdoptBuffer(std::uint8_t* block, int viewOffset, int viewLength, int capacity,
                           TextAllocator* allocator) {
    if (block == nullptr || viewOffset < 0 || viewLength < 0 ||
        viewLength > TextBuffer::kMaxLength - viewOffset) {
        Clear();
        return;
    }
    // The record covers the block up to the end of the text, so that the
    // view always lies within the record and the zero bytes follow the text.
    const int end = viewOffset + viewLength;
    if (capacity == 0)
        capacity = end;
    if (capacity > 0 && capacity < end) {
        Clear(); // the text would run past the block
        return;
    }
    TextBuffer* record = TextBuffer::Create(allocator);
    record->data = reinterpret_cast<char*>(block);
    record->length = end;
    record->capacity = capacity;
    if (capacity >= 0)
        record->MarkEnd();
    else
        record->unterminated = true;
    Attach(record, viewOffset, viewLength);
}

void VMString::SetLength(int newLength, int capacityHint, bool keepInPlace) {
    if (newLength < 0 || newLength > TextBuffer::kMaxLength)
        return;
    if (buffer == nullptr) {
        TextBuffer* record = TextBuffer::Create();
        if (!record->Resize(newLength, capacityHint)) {
            TextBuffer::Release(record);
            return;
        }
        Attach(record, 0, newLength);
        return;
    }
    if (!IsUnique()) {
        if (keepInPlace && newLength < length) {
            length = newLength; // the shared bytes stay as they are
            return;
        }
        if (TextBuffer* record = CopyOfView(buffer->allocator, newLength, capacityHint))
            Attach(record, 0, newLength);
        return;
    }
    if (offset != 0) {
        std::memmove(bufferData, textStart, Bytes(length));
        offset = 0;
        textStart = bufferData;
    }
    if (buffer->Resize(newLength, capacityHint))
        Attach(buffer, 0, newLength); // the block may have moved
}

void VMString::Allocate(int newLength, int capacityHint, TextAllocator* allocator) {
    if (newLength < 0 || newLength > TextBuffer::kMaxLength)
        return;
    if (!IsUnique() || buffer->allocator != allocator)
        Attach(TextBuffer::Create(allocator), 0, 0);
    if (!buffer->Resize(newLength, capacityHint))
        return;
    Attach(buffer, 0, newLength);
    std::memset(textStart, 0, Bytes(newLength));
}

void VMString::MakeUnique() {
    if (IsUnique())
        return;
    if (buffer == nullptr) {
        Attach(TextBuffer::Create(), 0, 0); // still null
        return;
    }
    if (TextBuffer* record = CopyOfView(buffer->allocator, length, 0))
        Attach(record, 0, length);
}

bool VMString::IsUnique() const {
    return buffer != nullptr && buffer->data != nullptr && buffer->capacity >= 0 &&
           buffer->shareCount <= 1;
}

bool VMString::UsesAllocator(TextAllocator* allocator) const {
    if (buffer == nullptr || buffer->allocator == nullptr)
        return false;
    return allocator == nullptr || allocator == buffer->allocator;
}

TextAllocator* VMString::GetAllocator() const {
    return buffer != nullptr ? buffer->allocator : nullptr;
}

void VMString::SetAllocator(TextAllocator* allocator) {
    if (buffer == nullptr) {
        if (allocator != nullptr)
            Allocate(0, 0, allocator);
        return;
    }
    if (buffer->allocator == allocator)
        return;
    if (TextBuffer* record = CopyOfView(allocator, length, 0))
        Attach(record, 0, length);
}

int VMString::NotifyAllocator(int a, int b) {
    if (buffer == nullptr || buffer->allocator == nullptr || buffer->data == nullptr)
        return 0;
    return buffer->allocator->AllocatorHook(buffer->data, a, b);
}

bool VMString::IsNull() const {
    return bufferData == nullptr;
}

void VMString::Empty() {
    Clear();
}

void VMString::EnsureTerminated() {
    if (buffer == nullptr) {
        SetLength(0, 0, true);
        return;
    }
    if (bufferData != nullptr) {
        // The zero byte must belong to the record: within its length, or the
        // first terminator byte that a terminated record guarantees.
        const std::int64_t end = std::int64_t{offset} + length;
        const std::int64_t last = std::int64_t{buffer->length} - (buffer->unterminated ? 1 : 0);
        if (end <= last && bufferData[end] == 0)
            return;
    }
    if (TextBuffer* record = CopyOfView(buffer->allocator, length, 0))
        Attach(record, 0, length);
}

const char* VMString::CStr() {
    EnsureTerminated();
    return textStart;
}

// --- raw access -----------------------------------------------------------------------

void VMString::CopyBytesOut(int pos, int count, void* dst, int dstOffset) const {
    if (textStart == nullptr || dst == nullptr || pos < 0 || count < 0 || count > length - pos)
        return;
    std::memcpy(static_cast<char*>(dst) + dstOffset, textStart + pos, Bytes(count));
}

char VMString::GetAt(int i) const {
    if (textStart == nullptr || i < 0 || i >= length)
        return 0;
    return textStart[i];
}

char VMString::GetAtUpper(int i) const {
    const char c = GetAt(i);
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::uint8_t VMString::GetUInt8(int i) const {
    return static_cast<std::uint8_t>(GetAt(i));
}

std::uint32_t VMString::ReadLE(int i, int size) const {
    if (textStart == nullptr || i < 0 || i > length - size)
        return 0;
    std::uint32_t value = 0;
    for (int k = size - 1; k >= 0; --k)
        value = (value << 8) | static_cast<unsigned char>(textStart[i + k]);
    return value;
}

std::uint16_t VMString::GetUInt16(int i) const {
    return static_cast<std::uint16_t>(ReadLE(i, 2));
}

std::int32_t VMString::GetInt32(int i) const {
    return static_cast<std::int32_t>(ReadLE(i, 4));
}

std::uint32_t VMString::GetUInt32(int i) const {
    return ReadLE(i, 4);
}

bool VMString::PrepareWrite(int i, int size) {
    if (i < 0 || i > TextBuffer::kMaxLength - size)
        return false;
    if (i + size > length)
        SetLength(i + size, 0, true);
    else
        MakeUnique();
    return textStart != nullptr && i + size <= length;
}

void VMString::WriteLE(int i, std::uint32_t value, int size) {
    if (!PrepareWrite(i, size))
        return;
    for (int k = 0; k < size; ++k, value >>= 8)
        textStart[i + k] = static_cast<char>(value & 0xFF);
}

void VMString::SetAt(int i, char c) {
    WriteLE(i, static_cast<unsigned char>(c), 1);
}
void VMString::PutUInt8(int i, int value) {
    WriteLE(i, static_cast<std::uint32_t>(value), 1);
}
void VMString::PutUInt16(int i, int value) {
    WriteLE(i, static_cast<std::uint32_t>(value), 2);
}
void VMString::PutInt32(int i, int value) {
    WriteLE(i, static_cast<std::uint32_t>(value), 4);
}
void VMString::PutUInt32(int i, std::uint32_t value) {
    WriteLE(i, value, 4);
}

void VMString::CopyTo(char* dst, int size) const {
    if (textStart == nullptr || dst == nullptr || size <= 0)
        return;
    int n = std::min(length, size - 1);
    if (length >= size && n > 0) {
        // Characters are found from the start: a lead byte takes the byte
        // after it whatever that is.
        const auto* t = reinterpret_cast<const std::uint8_t*>(textStart);
        int i = 0;
        while (i < n - 1)
            i += textbytes::IsLead(t[i]) ? 2 : 1;
        if (i == n - 1 && textbytes::IsLead(t[i]))
            --n;
    }
    std::memcpy(dst, textStart, Bytes(n));
    dst[n] = 0;
}
