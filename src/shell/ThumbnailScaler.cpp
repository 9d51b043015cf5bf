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

// The source cells under one destination pixel along one axis: n cells from
// lo, the first weighing `first`, the last `last` (when n >= 2), any between
// them 1. A span [start, end) over cells first..last (the floors of start and
// end) weighs the whole scale when it lies in one cell, and the covered
// fraction at either end otherwise. The first fraction is never 0. Cells past
// the source's end are left out, and so is a last cell of weight 0 (a span
// that ends exactly on a cell border): adding +0.0 to every sum would leave
// the pixel as it was.
struct Span {
    int lo = 0;
    int n = 0;
    double first = 0, last = 0;
};

Span SpanOf(double start, double end, double scale, int size) {
    const int first = static_cast<int>(start), last = static_cast<int>(end);
    Span span;
    span.lo = first;
    span.first = first == last ? scale : (first + 1) - start;
    span.last = end - last;
    int stop = last < size ? last : size - 1;
    if (stop == last && last > first && span.last == 0.0)
        stop -= 1;
    if (stop < last)
        span.last = 1.0; // the new last cell, if not the first, was an inner one
    span.n = stop >= first ? stop - first + 1 : 0;
    return span;
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

    // A cell whose alpha is 0 adds nothing, and is told by its byte alone.
    void Add(std::uint32_t pixel, double coverage) {
        if ((pixel >> 24) == 0)
            return;
        double w = coverage * kAlpha.value[pixel >> 24];
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

// The destination columns done at a time, their spans worked out once for
// every row.
constexpr int kColumnBlock = 128;

// One destination pixel: the source cells under it, row by row and left to
// right, each with its coverage (wx × wy) × norm.
std::uint32_t AveragePixel(const std::uint32_t* src, int W, const Span& rows, const Span& cols,
                           double norm) {
    Accumulator acc;
    for (int r = 0; r < rows.n; ++r) {
        const double wy = r == 0 ? rows.first : r == rows.n - 1 ? rows.last : 1.0;
        const std::uint32_t* p = src + static_cast<std::size_t>(rows.lo + r) * W + cols.lo;
        acc.Add(p[0], (cols.first * wy) * norm);
        const double inner = wy * norm; // (1 × wy) × norm
        for (int c = 1; c < cols.n - 1; ++c)
            acc.Add(p[c], inner);
        if (cols.n >= 2)
            acc.Add(p[cols.n - 1], (cols.last * wy) * norm);
    }
    return acc.Pixel();
}

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

    Span cols[kColumnBlock];
    double x0 = 0.0;
    for (int j0 = 0; j0 < dw; j0 += kColumnBlock) {
        const int count = dw - j0 < kColumnBlock ? dw - j0 : kColumnBlock;
        for (int j = 0; j < count; ++j) {
            const double x1 = x0 + stepX;
            cols[j] = SpanOf(W * x0, W * x1, scaleX, W);
            x0 = x1;
        }
        double y0 = 0.0;
        for (int i = 0; i < dh; ++i) {
            const double y1 = y0 + stepY;
            const Span rows = SpanOf(H * y0, H * y1, scaleY, H);
            std::uint32_t* out = dst + static_cast<std::size_t>(i) * dw + j0;
            for (int j = 0; j < count; ++j)
                out[j] = AveragePixel(src, W, rows, cols[j], norm);
            y0 = y1;
        }
    }
}
