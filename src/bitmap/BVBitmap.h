// BVBitmap: the framework's 32-bit image.
//
// A bitmap owns one zero-filled block of global memory holding width × height
// pixels, rows top to bottom with no gap, each pixel 0xAARRGGBB (memory order
// B, G, R, A; colour not premultiplied). A bitmap whose storage could not be
// obtained is simply empty: sizes 0, no pixels, GetTypeId() 0. Bitmaps are
// made with new and destroyed through the virtual destructor.
#pragma once

#include <cstdint>

class BVBitmap {
  public:
    static constexpr std::uint32_t kTypeId = 0x32334D42; // "BM32" in memory order

    // Allocates zeroed storage when width, height and their 32-bit product are
    // all positive and the block can be had; otherwise the bitmap stays empty.
    BVBitmap(int width, int height);
    BVBitmap(const BVBitmap&) = delete;
    BVBitmap& operator=(const BVBitmap&) = delete;

    virtual ~BVBitmap();                     // slot 0
    virtual std::uint32_t GetTypeId() const; // slot 1

    // The 32-bit pixel array, or null when the bitmap has no storage.
    std::uint32_t* Pixels();
    int ArrayWidth() const { return paletteCount_ != 0 ? paletteCount_ : width_; }
    int ArrayHeight() const { return paletteCount_ != 0 ? 1 : height_; }

    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Valid() const { return valid_; }

    // Returns to the empty state, freeing the storage unless it is external.
    void Clear();

  private:
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
};
