// BVBitmap: the framework's 32-bit image.
//
// A bitmap owns one zero-filled block of global memory holding width × height
// pixels, rows top to bottom with no gap, each pixel 0xAARRGGBB (memory order
// B, G, R, A; colour not premultiplied). A bitmap whose storage could not be
// obtained is simply empty: sizes 0, no pixels, GetTypeId() 0. Bitmaps are
// made with new and destroyed through the virtual destructor.
//
// Two further storage arrangements exist beside the plain one. Compressed:
// the bitmap holds only a packed container block and expands it into the
// pixels on the first pixel access. Indexed: the storage is a 1024-byte
// palette followed by one byte per pixel in rows padded to a multiple of 4;
// the 32-bit pixel array is then the palette, paletteCount entries wide and
// one high. The bitmap owns the packed block as well as the pixels (both
// global memory). The thumbnail path makes plain bitmaps only.
#pragma once

#include "values/BVArray.h"
#include "values/VMClassArray.h"

#include <cstdint>

class BVInflate;

class BVBitmap {
  public:
    static constexpr std::uint32_t kTypeId = 0x32334D42; // "BM32" in memory order

    // Allocates zeroed storage when width, height and their 32-bit product are
    // all positive and the block can be had; otherwise the bitmap stays empty.
    BVBitmap(int width, int height);
    BVBitmap(const BVBitmap&) = delete;
    BVBitmap& operator=(const BVBitmap&) = delete;

    static constexpr int kPaletteBytes = 1024; // 256 entries of 4 bytes

    virtual ~BVBitmap();                     // slot 0
    virtual std::uint32_t GetTypeId() const; // slot 1
    // Slot 2: this class cannot be loaded from a stream. Closes the source
    // when closeSource is set; the other arguments are ignored. Always false,
    // the bitmap unchanged.
    virtual bool Load(BVInflate* source, int part, bool closeSource, int options);

    // Makes the bitmap a compressed one of the given size: it takes over the
    // packed container (a global-memory block of size bytes) and expands it on
    // the first pixel access. The expanded bytes are either width x height
    // 32-bit pixels (paletteCount 0) or an indexed image, packed (palette of
    // paletteCount entries, then rows of exactly width bytes) or already in
    // the expanded indexed layout. False, nothing taken and nothing changed,
    // for sizes out of range or a palette of more than 256 entries.
    bool AdoptPacked(void* packed, int size, int width, int height, int paletteCount);

    // The 32-bit pixel array, or null when the bitmap has no storage.
    // Expands compressed storage first.
    std::uint32_t* Pixels();
    // Indexed bitmaps: the first index row, inside the storage; else null.
    std::uint8_t* IndexRows() { return Pixels() != nullptr ? indexRows_ : nullptr; }
    int PaletteCount() const { return paletteCount_; }
    int ArrayWidth() const { return paletteCount_ != 0 ? paletteCount_ : width_; }
    int ArrayHeight() const { return paletteCount_ != 0 ? 1 : height_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Valid() const { return valid_; }

    // Returns to the empty state, freeing the storage unless it is external,
    // the packed block and the containers' contents.
    void Clear();

    // Auxiliary containers: nothing in the system fills them; Clear empties them.
    VMClassArray<VMSize, VMSize&>& Sizes() { return sizes_; }
    BVArray<int, int>& Values() { return values_; }

  private:
    void Expand();
    bool ExpandIndexed(int expandedSize);

    int width_ = 0;
    int height_ = 0;
    void* pixels_ = nullptr;
    int width2_ = 0, height2_ = 0; // set and cleared with the size; read by nobody
    int width3_ = 0, height3_ = 0; // the same
    int reservedIndex_ = -1;       // while >= 0, compressed storage is not expanded
    int reserved_ = 0;
    bool valid_ = false;
    bool externalStorage_ = false; // storage belongs to someone else: never freed here

    // Compressed and indexed storage; empty for every bitmap the thumbnail path makes.
    int paletteCount_ = 0;
    std::uint8_t* indexRows_ = nullptr;
    void* packed_ = nullptr;
    int packedSize_ = 0;
    VMClassArray<VMSize, VMSize&> sizes_;
    BVArray<int, int> values_;
};
