#include "text/TextBuffer.h"

#include <cstring>
#include <new>

std::int32_t TextBuffer::CapacityFor(std::int32_t n) {
    if (n < 0)
        n = 0;
    if (n > kMaxLength)
        return -1;
    // Room for the text and two zero bytes, in whole 16-byte units.
    const std::int32_t c = (n + 17) & ~std::int32_t{15};
    if (c >= 1024)
        return c;
    std::int32_t power = 16;
    while (power < c)
        power *= 2;
    return power;
}

std::int32_t TextBuffer::CapacityFor(std::int32_t n, std::int32_t hint) {
    return hint > 0 && hint >= n ? hint : CapacityFor(n);
}

TextBuffer* TextBuffer::Create(TextAllocator* allocator) {
    TextBuffer* record = new TextBuffer;
    record->allocator = allocator;
    return record;
}

char* TextBuffer::AllocateBlock(TextAllocator* allocator, std::int32_t size) {
    if (allocator != nullptr)
        return allocator->Allocate(size);
    return new (std::nothrow) char[static_cast<std::size_t>(size)];
}

void TextBuffer::FreeBlock(TextAllocator* allocator, char* block) {
    if (allocator != nullptr)
        allocator->Free(block);
    else
        delete[] block;
}

bool TextBuffer::Resize(std::int32_t n, std::int32_t capacityHint) {
    if (n < 0)
        return false;
    const std::int32_t wanted = CapacityFor(n, capacityHint);
    if (wanted < 0)
        return false;
    if (data == nullptr || capacity < 0) {
        // Nothing of our own to keep: a foreign buffer stays with its owner.
        char* block = AllocateBlock(allocator, wanted);
        if (block == nullptr)
            return false;
        data = block;
        capacity = wanted;
    } else if (capacity < wanted) {
        char* block = AllocateBlock(allocator, wanted);
        if (block == nullptr)
            return false;
        std::memcpy(block, data, static_cast<std::size_t>(capacity));
        FreeBlock(allocator, data);
        data = block;
        capacity = wanted;
    }
    length = n;
    shareCount = 1;
    MarkEnd();
    return true;
}

void TextBuffer::MarkEnd() {
    // In 64 bits: length + 1 must not overflow for the largest records.
    if (data != nullptr && std::int64_t{length} >= 0 &&
        std::int64_t{length} + 1 < std::int64_t{capacity}) {
        data[length] = 0;
        data[length + 1] = 0;
        unterminated = false;
    } else {
        unterminated = true;
    }
}

void TextBuffer::Release(TextBuffer* record) {
    if (record == nullptr || --record->shareCount > 0)
        return;
    if (record->data != nullptr && record->capacity >= 0)
        FreeBlock(record->allocator, record->data);
    delete record;
}
