#include "file/BVWideString.h"

#include <algorithm>
#include <cstring>

BVWideString::BVWideString(const BVWideString& other) : data(other.data), holder(other.holder) {
    if (holder != nullptr)
        ++holder->shareCount;
}

BVWideString& BVWideString::operator=(const BVWideString& other) {
    if (other.holder != nullptr)
        ++other.holder->shareCount;
    TextBuffer::Release(holder);
    holder = other.holder;
    data = other.data;
    return *this;
}

BVWideString::~BVWideString() {
    TextBuffer::Release(holder);
}

bool BVWideString::SizeForWriting(int byteLength) {
    if (byteLength < 0 || TextBuffer::CapacityFor(byteLength) < 0)
        return false;
    if (holder != nullptr && holder->shareCount <= 1 && holder->data != nullptr &&
        holder->capacity >= 0) {
        if (!holder->Resize(byteLength))
            return false;
    } else {
        // Shared, foreign or absent: the bytes written next go to a record of
        // our own, carrying over what fits.
        TextBuffer* record = TextBuffer::Create(holder != nullptr ? holder->allocator : nullptr);
        if (!record->Resize(byteLength)) {
            TextBuffer::Release(record);
            return false;
        }
        if (holder != nullptr && holder->data != nullptr) {
            const int kept = std::min(holder->length, byteLength);
            if (kept > 0)
                std::memcpy(record->data, holder->data, static_cast<std::size_t>(kept));
        }
        TextBuffer::Release(holder);
        holder = record;
    }
    data = reinterpret_cast<BVWChar*>(holder->data);
    return true;
}

void BVWideString::Release() {
    TextBuffer::Release(holder);
    holder = nullptr;
    data = nullptr;
}
