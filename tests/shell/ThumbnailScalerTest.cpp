#include "shell/ThumbnailScaler.h"

#include "bitmap/BVBitmap.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <vector>

namespace {

constexpr std::uint32_t kRed = 0xFFFF0000;
constexpr std::uint32_t kTransparentGreen = 0x0000FF00;

struct SizeCase {
    int cx, w, h;
    bool ok;
    int dw, dh;
};

TEST(ThumbnailSize, ProportionalRoundedUp) {
    const SizeCase cases[] = {
        {256, 256, 128, true, 256, 128},
        {96, 256, 128, true, 96, 48},
        {100, 256, 128, true, 100, 50},
        {50, 100, 33, true, 50, 17},
        {20, 10, 10, true, 20, 20},
        {1, 2, 1, true, 1, 1},
        {1, 256, 1, true, 1, 1},
        {30000, 256, 1, true, 30000, 118},
        // cx × H overflows 32 bits: refused without undefined arithmetic.
        {1 << 23, 1, 256, false, 0, 0},
        // Nothing that could not be a bitmap.
        {0, 256, 128, false, 0, 0},
        {-5, 256, 128, false, 0, 0},
        {INT_MIN, 10, 10, false, 0, 0},
        {INT_MAX, 256, 256, false, 0, 0},
        {40000, 256, 256, false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.cx);
        ThumbnailSize size{-1, -1};
        ASSERT_EQ(ComputeThumbnailSize(c.cx, c.w, c.h, &size), c.ok);
        if (c.ok) {
            EXPECT_EQ(size.width, c.dw);
            EXPECT_EQ(size.height, c.dh);
        }
    }
}

// A bitmap filled by a function of the pixel position.
template <typename Fill> std::unique_ptr<BVBitmap> MakeBitmap(int w, int h, Fill fill) {
    auto bitmap = std::make_unique<BVBitmap>(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            bitmap->Pixels()[y * w + x] = fill(x, y);
    return bitmap;
}

std::vector<std::uint32_t> Scale(const std::unique_ptr<BVBitmap>& bitmap, int cx) {
    ThumbnailSize size;
    EXPECT_TRUE(ComputeThumbnailSize(cx, bitmap->ArrayWidth(), bitmap->ArrayHeight(), &size));
    std::vector<std::uint32_t> out(static_cast<size_t>(size.width) * size.height, 0xCAFECAFE);
    ScaleThumbnail(*bitmap, out.data(), size.width, size.height);
    return out;
}

TEST(ScaleThumbnail, UniformOpaqueStaysUniform) {
    // Odd sizes, reductions and enlargements: every weight sum must come back to 1.
    const SizeCase cases[] = {{3, 7, 5, true, 0, 0},      {13, 7, 5, true, 0, 0},
                              {100, 7, 5, true, 0, 0},    {1, 256, 256, true, 0, 0},
                              {97, 256, 255, true, 0, 0}, {255, 256, 3, true, 0, 0},
                              {7, 1, 1, true, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.cx);
        auto bitmap = MakeBitmap(c.w, c.h, [](int, int) { return 0xFF3366CCu; });
        for (std::uint32_t pixel : Scale(bitmap, c.cx))
            ASSERT_EQ(pixel, 0xFF3366CCu);
    }
}

TEST(ScaleThumbnail, FullyTransparentGivesZeros) {
    auto bitmap = MakeBitmap(9, 4, [](int x, int y) { return 0x00FFFFFFu - x - y; });
    for (int cx : {3, 9, 20})
        for (std::uint32_t pixel : Scale(bitmap, cx))
            ASSERT_EQ(pixel, cx == 9 ? pixel : 0u) << "cx " << cx;
}

TEST(ScaleThumbnail, TransparentColourDoesNotBleed) {
    auto bitmap = MakeBitmap(2, 1, [](int x, int) { return x == 0 ? kRed : kTransparentGreen; });
    std::vector<std::uint32_t> out = Scale(bitmap, 1);
    ASSERT_EQ(out.size(), 1u);
    EXPECT_EQ(out[0], 0x7FFF0000u); // red 255, alpha the covered average 127
}

TEST(ScaleThumbnail, HalvingAveragesCoveredPixels) {
    // Black and white opaque checkerboard: each 2 × 2 block averages to 127.5, rounded down.
    auto bitmap =
        MakeBitmap(4, 4, [](int x, int y) { return (x + y) % 2 ? 0xFFFFFFFFu : 0xFF000000u; });
    for (std::uint32_t pixel : Scale(bitmap, 2))
        EXPECT_EQ(pixel, 0xFF7F7F7Fu);
}

TEST(ScaleThumbnail, EqualSizeIsAnExactCopy) {
    auto bitmap = MakeBitmap(256, 128, [](int x, int y) {
        return static_cast<std::uint32_t>(x * 2654435761u ^ y * 40503u);
    });
    std::vector<std::uint32_t> out = Scale(bitmap, 256);
    ASSERT_EQ(out.size(), 256u * 128u);
    for (size_t i = 0; i < out.size(); ++i)
        ASSERT_EQ(out[i], bitmap->Pixels()[i]) << "pixel " << i;
}

TEST(ScaleThumbnail, DoublingReproducesEverySourcePixel) {
    // Opaque pixels come back exactly; over a transparent source pixel the
    // accumulated positions can give a neighbour a vanishing weight, so only
    // the alpha there is pinned to 0.
    auto bitmap = MakeBitmap(10, 10, [](int x, int y) {
        std::uint32_t alpha = (x + 3 * y) % 7 == 0 ? 0 : 0xFF;
        return alpha << 24 | static_cast<std::uint32_t>(x * 25) << 16 | (y * 25) << 8 | 0x40;
    });
    std::vector<std::uint32_t> out = Scale(bitmap, 20);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x) {
            std::uint32_t source = bitmap->Pixels()[(y / 2) * 10 + x / 2];
            std::uint32_t pixel = out[y * 20 + x];
            if (source >> 24)
                ASSERT_EQ(pixel, source) << "at " << x << "," << y;
            else
                ASSERT_EQ(pixel >> 24, 0u) << "at " << x << "," << y;
        }
}

TEST(ScaleThumbnail, ReadsStayInsideTheSourceAtRightAndBottomEdges) {
    // Sizes whose accumulated positions land on or just past W and H; the
    // sanitizers catch any read beyond the block.
    const SizeCase cases[] = {{7, 3, 7, true, 0, 0},      {11, 3, 7, true, 0, 0},
                              {3, 255, 1, true, 0, 0},    {256, 256, 3, true, 0, 0},
                              {29, 256, 255, true, 0, 0}, {5, 10, 10, true, 0, 0},
                              {33, 10, 10, true, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.cx);
        auto bitmap = MakeBitmap(c.w, c.h, [](int, int) { return 0x80102030u; });
        for (std::uint32_t pixel : Scale(bitmap, c.cx))
            ASSERT_EQ(pixel, 0x80102030u);
    }
}

} // namespace

namespace {

// FNV-1a over the pixels of scalings of a w x h noisy image with every kind
// of alpha.
std::uint64_t ScalingHash(int w, int h, std::initializer_list<int> edges) {
    std::uint32_t seed = 12345;
    auto bitmap = MakeBitmap(w, h, [&seed](int, int) {
        seed = seed * 1103515245u + 12345u;
        std::uint32_t alpha = (seed >> 13) % 4 == 0 ? 0 : (seed >> 5) & 0xFF;
        return alpha << 24 | (seed * 2654435761u >> 8);
    });
    std::uint64_t hash = 14695981039346656037ull;
    for (int cx : edges) {
        for (std::uint32_t pixel : Scale(bitmap, cx)) {
            hash = (hash ^ pixel) * 1099511628211ull;
        }
    }
    return hash;
}

// The constants were taken from the native build; the 64-bit and the 32-bit
// DLL must reproduce them bit for bit, which holds only when both do their
// arithmetic in IEEE double (the x87 unit's extended precision differs). The
// exact ratios make spans end on cell borders, where a cell of weight 0 sits.
TEST(ScaleThumbnail, PixelsAreTheSameInEveryBuild) {
    EXPECT_EQ(ScalingHash(173, 97, {1, 32, 96, 100, 172, 256, 511}), 7115960870003436907ull);
    EXPECT_EQ(ScalingHash(256, 256, {16, 32, 64, 96, 128}), 8298140380034640698ull);
    EXPECT_EQ(ScalingHash(256, 128, {32, 128}), 16334003606527094982ull);
}

} // namespace
