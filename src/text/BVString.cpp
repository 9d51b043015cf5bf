#include "text/BVString.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

// MinGW's own C99 formatter, so that both DLLs and the native build agree on
// every conversion (the system C library of Windows does not).
#ifdef __MINGW32__
#define BV_VSNPRINTF __mingw_vsnprintf
#else
#define BV_VSNPRINTF std::vsnprintf
#endif

namespace {

// A new record of n bytes whose first copied bytes (copied <= n) come from
// bytes, which may be null; null when the size cannot be honoured.
TextBuffer* CopyToRecord(const char* bytes, std::int32_t copied, std::int32_t n,
                         TextAllocator* allocator) {
    TextBuffer* record = TextBuffer::Create(allocator);
    if (!record->Resize(n)) {
        TextBuffer::Release(record);
        return nullptr;
    }
    if (copied > 0 && bytes != nullptr)
        std::memcpy(record->data, bytes, static_cast<std::size_t>(copied));
    return record;
}

} // namespace

BVString::BVString(const char* source) {
    if (source == nullptr)
        return;
    const std::size_t n = std::strlen(source);
    if (n <= static_cast<std::size_t>(TextBuffer::kMaxLength))
        Attach(CopyToRecord(source, static_cast<std::int32_t>(n), static_cast<std::int32_t>(n),
                            nullptr));
}

BVString::BVString(const BVString& other) {
    if (other.text == nullptr)
        return;
    buffer = other.buffer;
    if (buffer != nullptr)
        ++buffer->shareCount;
    text = other.text;
    length = other.length;
}

BVString::BVString(const BVString& left, const BVString& right) {
    const std::int64_t total = std::int64_t{left.length} + right.length;
    if (total > TextBuffer::kMaxLength)
        return;
    TextBuffer* record =
        CopyToRecord(left.text, left.length, static_cast<std::int32_t>(total), nullptr);
    if (record == nullptr)
        return;
    if (right.length > 0 && right.text != nullptr)
        std::memcpy(record->data + left.length, right.text, static_cast<std::size_t>(right.length));
    Attach(record);
}

BVString& BVString::operator=(const BVString& other) {
    if (other.text == nullptr) {
        Clear();
        return *this;
    }
    // Share first, release second: safe when other is this string or shares
    // its record.
    if (other.buffer != nullptr)
        ++other.buffer->shareCount;
    TextBuffer::Release(buffer);
    buffer = other.buffer;
    text = other.text;
    length = other.length;
    return *this;
}

BVString::~BVString() {
    TextBuffer::Release(buffer);
}

void BVString::Clear() {
    TextBuffer::Release(buffer);
    buffer = nullptr;
    text = nullptr;
    length = 0;
}

void BVString::Attach(TextBuffer* record) {
    TextBuffer::Release(buffer);
    buffer = record;
    text = record != nullptr ? record->data : nullptr;
    length = record != nullptr ? record->length : 0;
}

BVString BVString::Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    BVString result = FormatV(format, args);
    va_end(args);
    return result;
}

BVString BVString::FormatV(const char* format, va_list args) {
    BVString result;
    if (format == nullptr)
        return result;
    va_list measure;
    va_copy(measure, args);
    const int n = BV_VSNPRINTF(nullptr, 0, format, measure);
    va_end(measure);
    const std::int32_t size = TextBuffer::CapacityFor(n);
    if (n < 0 || size < 0)
        return result;
    char* block = new (std::nothrow) char[static_cast<std::size_t>(size)];
    if (block == nullptr)
        return result;
    if (BV_VSNPRINTF(block, static_cast<std::size_t>(size), format, args) != n) {
        delete[] block;
        return result;
    }
    result.Adopt(block, n, size);
    return result;
}

void BVString::Adopt(char* bytes, int byteCount, int blockCapacity) {
    if (bytes == nullptr) {
        Clear();
        return;
    }
    TextBuffer* record = TextBuffer::Create(nullptr);
    record->data = bytes;
    // A negative length would put the terminator before the block.
    record->length = std::max(byteCount, 0);
    record->capacity = blockCapacity == 0 ? record->length : blockCapacity;
    if (record->capacity >= 0)
        record->MarkEnd();
    else
        record->unterminated = true;
    Attach(record);
}

void BVString::Resize(int newLength, bool shortenViewOnly) {
    if (newLength < 0 || TextBuffer::CapacityFor(newLength) < 0)
        return;
    if (buffer == nullptr) {
        if (TextBuffer* record = CopyToRecord(nullptr, 0, newLength, nullptr))
            Attach(record);
        return;
    }
    if (buffer->data == nullptr || buffer->capacity < 0 || buffer->shareCount > 1) {
        // Shortening stays a view only while it stays inside the record.
        const std::int64_t offset =
            text != nullptr && buffer->data != nullptr ? text - buffer->data : 0;
        if (shortenViewOnly && newLength < buffer->length && offset + newLength <= buffer->length) {
            length = newLength;
            return;
        }
        if (TextBuffer* record =
                CopyToRecord(text, std::min(length, newLength), newLength, buffer->allocator))
            Attach(record);
        return;
    }
    if (text != buffer->data && text != nullptr && length > 0)
        std::memmove(buffer->data, text, static_cast<std::size_t>(length));
    text = buffer->data;
    if (buffer->Resize(newLength)) {
        text = buffer->data;
        length = newLength;
    }
}

void BVString::Terminate() {
    if (buffer == nullptr) {
        Resize(0, true);
        return;
    }
    std::int64_t end = length;
    if (text != nullptr && buffer->data != nullptr) {
        end = (text - buffer->data) + std::int64_t{length};
        if (end < 0)
            end = buffer->length;
    }
    const std::int64_t lastAllowed = std::int64_t{buffer->length} - (buffer->unterminated ? 1 : 0);
    if (buffer->data != nullptr && end >= 0 && end <= lastAllowed && buffer->data[end] == 0)
        return;
    if (TextBuffer* record = CopyToRecord(text, length, length, buffer->allocator))
        Attach(record);
}
