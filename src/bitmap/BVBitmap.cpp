#include "bitmap/BVBitmap.h"

#include "platform/Win32.h"

BVBitmap::BVBitmap(int width, int height) {
    if (width <= 0 || height <= 0)
        return;
    // The product is formed in 64 bits: a 32-bit product that overflowed would
    // be undefined, and one that does not fit simply leaves the bitmap empty.
    std::int64_t count = std::int64_t{width} * height;
    if (count > INT32_MAX)
        return;
    std::uint64_t bytes = static_cast<std::uint64_t>(count) * 4;
    if (bytes > SIZE_MAX)
        return;
    void* block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(bytes));
    if (block == nullptr)
        return;
    pixels_ = block;
    width_ = width2_ = width3_ = width;
    height_ = height2_ = height3_ = height;
    valid_ = true;
}

BVBitmap::~BVBitmap() {
    Clear();
}

std::uint32_t BVBitmap::GetTypeId() const {
    return valid_ ? kTypeId : 0;
}

std::uint32_t* BVBitmap::Pixels() {
    return static_cast<std::uint32_t*>(pixels_);
}

void BVBitmap::Clear() {
    if (packed_ != nullptr)
        GlobalFree(packed_);
    packed_ = nullptr;
    packedSize_ = 0;
    indexRows_ = nullptr;
    paletteCount_ = 0;

    if (pixels_ != nullptr && !externalStorage_)
        GlobalFree(pixels_);
    pixels_ = nullptr;
    width_ = height_ = width2_ = height2_ = width3_ = height3_ = 0;
    valid_ = false;
    externalStorage_ = false;
    reservedIndex_ = -1;
}
