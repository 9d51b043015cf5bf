#include "bitmap/BVBitmap.h"

#include <gtest/gtest.h>

namespace {

struct EmptySize {
    int width, height;
};

TEST(BVBitmap, NonPositiveOrOverflowingSizesAreEmpty) {
    const EmptySize cases[] = {{0, 5}, {5, -1}, {-1, -1}, {0, 0}, {INT32_MIN, 1},
                               // 32-bit products that wrap, or pixel blocks too large to address
                               {65536, 65536}, {46341, 46341}, {100000, 50000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.width << " x " << c.height);
        BVBitmap bitmap(c.width, c.height);
        EXPECT_EQ(bitmap.Width(), 0);
        EXPECT_EQ(bitmap.Height(), 0);
        EXPECT_EQ(bitmap.Pixels(), nullptr);
        EXPECT_EQ(bitmap.GetTypeId(), 0u);
    }
}

TEST(BVBitmap, HoldsZeroFilledPlainStorage) {
    BVBitmap bitmap(3, 2);
    EXPECT_EQ(bitmap.Width(), 3);
    EXPECT_EQ(bitmap.Height(), 2);
    EXPECT_EQ(bitmap.ArrayWidth(), 3);
    EXPECT_EQ(bitmap.ArrayHeight(), 2);
    EXPECT_EQ(bitmap.GetTypeId(), 0x32334D42u);
    ASSERT_NE(bitmap.Pixels(), nullptr);
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(bitmap.Pixels()[i], 0u) << "pixel " << i;
}

TEST(BVBitmap, ClearReturnsToEmpty) {
    BVBitmap bitmap(3, 2);
    bitmap.Pixels()[5] = 0xFFFFFFFF;
    bitmap.Clear();
    EXPECT_EQ(bitmap.Width(), 0);
    EXPECT_EQ(bitmap.Height(), 0);
    EXPECT_EQ(bitmap.ArrayWidth(), 0);
    EXPECT_EQ(bitmap.Pixels(), nullptr);
    EXPECT_EQ(bitmap.GetTypeId(), 0u);
    bitmap.Clear(); // clearing an empty bitmap is harmless
}

} // namespace
