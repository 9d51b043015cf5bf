// Global memory over the C library, for the native build. Each block carries
// its size in a header so that GlobalReAlloc knows how many new bytes to zero
// and GlobalSize can answer.
#include "platform/Win32.h"

#include <cstdlib>
#include <cstring>

namespace {

// A header of max_align_t's size keeps the caller's bytes aligned as malloc's are.
union Header {
    SIZE_T bytes;
    std::max_align_t align;
};

Header* HeaderOf(HGLOBAL block) {
    return static_cast<Header*>(block) - 1;
}

bool TooLarge(SIZE_T bytes) {
    return bytes > SIZE_MAX / 2 - sizeof(Header);
}

} // namespace

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
    if (TooLarge(bytes))
        return nullptr;
    void* raw = (flags & GMEM_ZEROINIT) ? std::calloc(1, sizeof(Header) + bytes)
                                        : std::malloc(sizeof(Header) + bytes);
    if (raw == nullptr)
        return nullptr;
    Header* header = static_cast<Header*>(raw);
    header->bytes = bytes;
    return header + 1;
}

HGLOBAL GlobalReAlloc(HGLOBAL block, SIZE_T bytes, UINT flags) {
    if (block == nullptr || TooLarge(bytes))
        return nullptr;
    SIZE_T old = HeaderOf(block)->bytes;
    void* raw = std::realloc(HeaderOf(block), sizeof(Header) + bytes);
    if (raw == nullptr)
        return nullptr; // the old block stays valid, as with kernel32
    Header* header = static_cast<Header*>(raw);
    header->bytes = bytes;
    if ((flags & GMEM_ZEROINIT) && bytes > old)
        std::memset(reinterpret_cast<unsigned char*>(header + 1) + old, 0, bytes - old);
    return header + 1;
}

HGLOBAL GlobalFree(HGLOBAL block) {
    if (block != nullptr)
        std::free(HeaderOf(block));
    return nullptr;
}

SIZE_T GlobalSize(HGLOBAL block) {
    return block == nullptr ? 0 : HeaderOf(block)->bytes;
}
