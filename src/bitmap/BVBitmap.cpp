#include "bitmap/BVBitmap.h"

#include "inflate/BVInflate.h"
#include "inflate/InflateBlock.h"
#include "platform/Win32.h"

#include <cstring>

namespace {

// Bytes of one index row of the expanded indexed layout: width rounded up to
// a multiple of 4.
std::int64_t IndexStride(int width) {
    return (std::int64_t{width} + 3) & ~std::int64_t{3};
}

} // namespace

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

bool BVBitmap::Load(BVInflate* source, int, bool closeSource, int) {
    if (closeSource && source != nullptr)
        source->Close();
    return false;
}

bool BVBitmap::AdoptPacked(void* packed, int size, int width, int height, int paletteCount) {
    if (packed == nullptr || size <= 0 || width <= 0 || height <= 0 || paletteCount < 0 ||
        paletteCount > kPaletteBytes / 4)
        return false;
    // Whatever the packed bytes expand to must fit one block of int32 size.
    const std::int64_t storage = paletteCount == 0 ? std::int64_t{width} * height * 4
                                                   : IndexStride(width) * height + kPaletteBytes;
    if (storage > INT32_MAX)
        return false;
    Clear();
    packed_ = packed;
    packedSize_ = size;
    paletteCount_ = paletteCount;
    width_ = width2_ = width3_ = width;
    height_ = height2_ = height3_ = height;
    valid_ = true;
    return true;
}

std::uint32_t* BVBitmap::Pixels() {
    if (packed_ != nullptr && pixels_ == nullptr)
        Expand();
    return static_cast<std::uint32_t*>(pixels_);
}

// Expanded bytes too few for the size the bitmap claims are dropped: handing
// them out would let callers index past the block.
void BVBitmap::Expand() {
    if (externalStorage_ || reservedIndex_ >= 0 || packed_ == nullptr || pixels_ != nullptr)
        return;
    int expanded = 0;
    pixels_ = InflateBlock(packed_, packedSize_, &expanded);
    if (pixels_ == nullptr)
        return;
    const bool usable = paletteCount_ == 0 ? expanded >= std::int64_t{width_} * height_ * 4
                                           : ExpandIndexed(expanded);
    if (!usable) {
        GlobalFree(pixels_);
        pixels_ = nullptr;
        indexRows_ = nullptr;
    }
}

// Brings the expanded indexed image into the layout the bitmap presents:
// palette area of 1024 bytes, then rows of IndexStride bytes. False when the
// bytes are neither that layout nor the packed one.
bool BVBitmap::ExpandIndexed(int expandedSize) {
    auto* block = static_cast<std::uint8_t*>(pixels_);
    const std::int64_t stride = IndexStride(width_);
    const std::int64_t expected = stride * height_ + kPaletteBytes;
    if (expandedSize == expected) {
        indexRows_ = block + kPaletteBytes;
        return true;
    }
    // The packed layout: paletteCount entries, then rows of exactly width bytes.
    const std::size_t paletteBytes = static_cast<std::size_t>(paletteCount_) * 4;
    if (expandedSize < static_cast<std::int64_t>(paletteBytes) + std::int64_t{width_} * height_)
        return false;
    indexRows_ = block + paletteBytes;
    auto* full = static_cast<std::uint8_t*>(
        GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, static_cast<SIZE_T>(expected)));
    if (full == nullptr)
        return true; // the packed layout stays the storage
    std::memcpy(full, block, paletteBytes);
    for (int row = 0; row < height_; ++row)
        std::memcpy(full + kPaletteBytes + row * stride, indexRows_ + std::int64_t{row} * width_,
                    static_cast<std::size_t>(width_));
    GlobalFree(block);
    pixels_ = full;
    indexRows_ = full + kPaletteBytes;
    return true;
}

void BVBitmap::Clear() {
    values_.RemoveAll();
    sizes_.RemoveAll();
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
