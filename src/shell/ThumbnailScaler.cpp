#include "shell/ThumbnailScaler.h"

#include "bitmap/BVBitmap.h"

#include <cstdint>
#include <cstring>

namespace {

// Channels are carried on a 0..65280 scale (255 × 256) and rounded back to
// 8 bits by adding 127 and dropping the low byte.
constexpr double kScale = 65280.0;
constexpr double kRounding = 127.0;
// A destination pixel stays transparent black unless its weight sum exceeds this.
constexpr double kThreshold = 0.0;

// Weight of source cell `index` within the covered span [first, last]:
// the whole scale when the span is one cell, the covered fraction at either
// end, and 1 inside.
double EdgeWeight(int index, int first, int last, double start, double end, double scale) {
    if (index == first && index == last)
        return scale;
    if (index == first)
        return (first + 1) - start;
    if (index == last)
        return end - last;
    return 1.0;
}

// alpha / 255 for every alpha byte, formed as (alpha × 256) / K exactly as the
// per-pixel division would; a single correctly rounded division gives the same
// double at compile time as at run time.
struct AlphaTable {
    double value[256];
    constexpr AlphaTable() : value() {
        for (int a = 0; a < 256; ++a)
            value[a] = static_cast<double>(a * 256) / kScale;
    }
};
constexpr AlphaTable kAlpha;

struct Accumulator {
    double weight = 0, red = 0, green = 0, blue = 0;

    void Add(std::uint32_t pixel, double coverage) {
        const double alpha = kAlpha.value[pixel >> 24];
        if (alpha <= 0)
            return;
        double w = coverage * alpha;
        weight += w;
        double m = w / kScale;
        red += m * (((pixel >> 16) & 0xFF) * 256);
        green += m * (((pixel >> 8) & 0xFF) * 256);
        blue += m * ((pixel & 0xFF) * 256);
    }

    std::uint32_t Pixel() const {
        if (!(weight > kThreshold))
            return 0;
        double f = kScale / weight;
        auto channel = [](double v) { return static_cast<std::uint32_t>(v + kRounding) >> 8; };
        return channel(weight * kScale) << 24 | channel(red * f) << 16 | channel(green * f) << 8 |
               channel(blue * f);
    }
};

} // namespace

bool ComputeThumbnailSize(int cx, int w, int h, ThumbnailSize* out) {
    if (cx <= 0 || w <= 0 || h <= 0)
        return false;
    std::int64_t m = w > h ? w : h;
    if (cx == m) {
        *out = {w, h};
    } else {
        // At most cx, so the quotients fit; only the products needed 64 bits.
        *out = {static_cast<int>((std::int64_t{cx} * w + m - 1) / m),
                static_cast<int>((std::int64_t{cx} * h + m - 1) / m)};
    }
    // Each side is below 2^31, so the pixel count fits in 64 bits.
    std::int64_t pixels = std::int64_t{out->width} * out->height;
    return pixels <= INT32_MAX / 4;
}

void ScaleThumbnail(BVBitmap& source, std::uint32_t* dst, int dw, int dh) {
    const int W = source.ArrayWidth();
    const int H = source.ArrayHeight();
    const std::uint32_t* src = source.Pixels();
    if (src == nullptr || W <= 0 || H <= 0 || dw <= 0 || dh <= 0)
        return;
    if (dw == W && dh == H) {
        std::memcpy(dst, src, static_cast<std::size_t>(W) * H * 4);
        return;
    }

    // Positions run over the whole image as 0.0..1.0 and advance by repeated
    // addition; the pixels depend on exactly this rounding.
    const double stepX = 1.0 / dw, stepY = 1.0 / dh;
    const double scaleX = W * stepX, scaleY = H * stepY;
    const double norm = 1.0 / (scaleY * scaleX);

    double y0 = 0.0;
    for (int i = 0; i < dh; ++i) {
        const double y1 = y0 + stepY;
        const double sy0 = H * y0, sy1 = H * y1;
        const int r0 = static_cast<int>(sy0), r1 = static_cast<int>(sy1);
        double x0 = 0.0;
        for (int j = 0; j < dw; ++j) {
            const double x1 = x0 + stepX;
            const double sx0 = W * x0, sx1 = W * x1;
            const int c0 = static_cast<int>(sx0), c1 = static_cast<int>(sx1);
            Accumulator acc;
            // A span that ends exactly on a cell border gives that cell weight 0,
            // which adds +0.0 to every sum: skipping it leaves the pixel as it was.
            for (int k = r0; k <= r1; ++k) {
                if (k < 0 || k >= H)
                    continue;
                const double wy = EdgeWeight(k, r0, r1, sy0, sy1, scaleY);
                if (wy == 0.0)
                    continue;
                const std::uint32_t* row = src + static_cast<std::size_t>(k) * W;
                for (int l = c0; l <= c1; ++l) {
                    if (l < 0 || l >= W || (row[l] >> 24) == 0)
                        continue;
                    const double wx = EdgeWeight(l, c0, c1, sx0, sx1, scaleX);
                    if (wx == 0.0)
                        continue;
                    acc.Add(row[l], (wx * wy) * norm);
                }
            }
            dst[static_cast<std::size_t>(i) * dw + j] = acc.Pixel();
            x0 = x1;
        }
        y0 = y1;
    }
}
