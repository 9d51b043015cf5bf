// The portable half of GetThumbnail: the destination-size rule and the
// alpha-aware area-averaging resampler. Neither touches GDI; the COM provider
// creates the DIB section and hands its memory to ScaleThumbnail.
#pragma once

#include <cstdint>

class BVBitmap;

// Largest preview side that a thumbnail is made from.
constexpr int kMaxPreviewSide = 256;

struct ThumbnailSize {
    int width;
    int height;
};

// The size of the thumbnail of a w × h preview for the requested edge cx: the
// preview's size when cx equals its larger side, otherwise the proportional
// size rounded up. Computed without overflow. Returns false when the result
// could not be a bitmap: cx ≤ 0, an empty side, or a pixel block of 2 GiB or more.
bool ComputeThumbnailSize(int cx, int w, int h, ThumbnailSize* out);

// Resamples the bitmap's 32-bit pixel array into dst, dw × dh pixels, rows top
// down with no gap. When dw × dh equals the array's size the pixels are copied
// unchanged; otherwise every destination pixel is the coverage- and
// alpha-weighted average of the source area under it. The source is read only
// inside its bounds. dst must hold dw × dh pixels.
void ScaleThumbnail(BVBitmap& source, std::uint32_t* dst, int dw, int dh);
