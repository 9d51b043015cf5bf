#include "bitmap/BVBitmap.h"

#include "file/BVMemoryFile.h"
#include "inflate/BVInflate.h"
#include "platform/Win32.h"
#include "support/SlotPin.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

struct EmptySize {
    int width, height;
};

class BitmapPlusOne : public BVBitmap {
  public:
    using BVBitmap::BVBitmap;
    virtual void Extra() {}
};

TEST(BVBitmapSlots, FixedOrder) {
    EXPECT_EQ(slot_pin::Slot(&BVBitmap::GetTypeId), 1);
    EXPECT_EQ(slot_pin::Slot(&BVBitmap::Load), 2);
    EXPECT_EQ(slot_pin::Slot(&BitmapPlusOne::Extra), 3) << "nothing after Load";
}

TEST(BVBitmap, NonPositiveOrOverflowingSizesAreEmpty) {
    const EmptySize cases[] = {{0, 5},
                               {5, -1},
                               {-1, -1},
                               {0, 0},
                               {INT32_MIN, 1},
                               // 32-bit products that wrap, or pixel blocks too large to address
                               {65536, 65536},
                               {46341, 46341},
                               {100000, 50000}};
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

// --- compressed and indexed storage ------------------------------------------------

// A packed block in global memory, as the bitmap takes it over. Bytes that do
// not start with the container's magic expand to a copy of themselves, which
// lets the tests state the expanded bytes directly.
void* PackedBlock(const std::vector<std::uint8_t>& bytes) {
    void* block = GlobalAlloc(GMEM_FIXED | GMEM_ZEROINIT, bytes.size());
    if (block != nullptr)
        std::memcpy(block, bytes.data(), bytes.size());
    return block;
}

std::vector<std::uint8_t> Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const std::uint8_t*>(p);
    return std::vector<std::uint8_t>(b, b + n);
}

TEST(BVBitmapPacked, IndexedImageExpandsIntoPaddedRows) {
    // Width 5, height 2, 3 palette entries: 12 palette bytes, then two rows of
    // exactly 5 index bytes.
    const std::vector<std::uint8_t> packed = {1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11,
                                              12, 21, 22, 23, 24, 25, 31, 32, 33, 34, 35};
    BVBitmap bitmap(0, 0);
    void* block = PackedBlock(packed);
    ASSERT_TRUE(bitmap.AdoptPacked(block, static_cast<int>(packed.size()), 5, 2, 3));
    EXPECT_EQ(bitmap.ArrayWidth(), 3) << "the 32-bit array is the palette";
    EXPECT_EQ(bitmap.ArrayHeight(), 1);
    EXPECT_EQ(bitmap.Width(), 5);
    EXPECT_EQ(bitmap.GetTypeId(), BVBitmap::kTypeId);

    std::uint32_t* pixels = bitmap.Pixels();
    ASSERT_NE(pixels, nullptr);
    const auto* storage = reinterpret_cast<const std::uint8_t*>(pixels);
    std::vector<std::uint8_t> palette(1024, 0);
    std::memcpy(palette.data(), packed.data(), 12);
    EXPECT_EQ(Bytes(storage, 1024), palette);
    EXPECT_EQ(Bytes(storage + 1024, 8), (std::vector<std::uint8_t>{21, 22, 23, 24, 25, 0, 0, 0}));
    EXPECT_EQ(Bytes(storage + 1032, 8), (std::vector<std::uint8_t>{31, 32, 33, 34, 35, 0, 0, 0}));
    EXPECT_EQ(bitmap.IndexRows(), storage + 1024);
    EXPECT_EQ(pixels[2], 0x0C0B0A09u);
    EXPECT_EQ(bitmap.Pixels(), pixels) << "expanded once";
}

TEST(BVBitmapPacked, AlreadyExpandedIndexedLayoutIsKept) {
    std::vector<std::uint8_t> expanded(4 * 3 + 1024, 0); // width 4, height 3
    expanded[0] = 0x10;
    expanded[1024 + 4] = 0x77; // row 1, column 0
    BVBitmap bitmap(0, 0);
    ASSERT_TRUE(
        bitmap.AdoptPacked(PackedBlock(expanded), static_cast<int>(expanded.size()), 4, 3, 1));
    const auto* storage = reinterpret_cast<const std::uint8_t*>(bitmap.Pixels());
    ASSERT_NE(storage, nullptr);
    EXPECT_EQ(Bytes(storage, expanded.size()), expanded);
    EXPECT_EQ(bitmap.IndexRows(), storage + 1024);
}

TEST(BVBitmapPacked, PlainImageExpandsOnFirstAccess) {
    const std::vector<std::uint8_t> pixels = {1, 2,  3,  4,  5,  6,  7,  8,
                                              9, 10, 11, 12, 13, 14, 15, 16};
    BVBitmap bitmap(0, 0);
    ASSERT_TRUE(bitmap.AdoptPacked(PackedBlock(pixels), 16, 2, 2, 0));
    EXPECT_EQ(bitmap.ArrayWidth(), 2);
    EXPECT_EQ(bitmap.ArrayHeight(), 2);
    ASSERT_NE(bitmap.Pixels(), nullptr);
    EXPECT_EQ(Bytes(bitmap.Pixels(), 16), pixels);
    EXPECT_EQ(bitmap.IndexRows(), nullptr);
}

// Expanded bytes fewer than the bitmap's size claims would let readers run
// past the block: the bitmap then has no pixels.
TEST(BVBitmapPacked, ShortExpansionGivesNoPixels) {
    struct Case {
        const char* name;
        size_t bytes;
        int width, height, paletteCount;
    };
    const Case cases[] = {
        {"plain, one byte short", 15, 2, 2, 0},
        {"indexed, rows cut", 12 + 9, 5, 2, 3},
        {"indexed, palette cut", 7, 1, 1, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<std::uint8_t> bytes(c.bytes, 0x5A);
        BVBitmap bitmap(0, 0);
        ASSERT_TRUE(bitmap.AdoptPacked(PackedBlock(bytes), static_cast<int>(c.bytes), c.width,
                                       c.height, c.paletteCount));
        EXPECT_EQ(bitmap.Pixels(), nullptr);
        EXPECT_EQ(bitmap.IndexRows(), nullptr);
    }
}

TEST(BVBitmapPacked, AdoptRefusesSizesItCannotHold) {
    struct Case {
        int size, width, height, paletteCount;
    };
    const Case cases[] = {{0, 1, 1, 0},   {4, 0, 1, 0},        {4, 1, -1, 0},       {4, 1, 1, -1},
                          {4, 1, 1, 257}, {4, 65536, 8192, 0}, {4, 46341, 46341, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.size << ", " << c.width << " x " << c.height
                                        << ", palette " << c.paletteCount);
        BVBitmap bitmap(2, 1);
        void* block = PackedBlock({1, 2, 3, 4});
        EXPECT_FALSE(bitmap.AdoptPacked(block, c.size, c.width, c.height, c.paletteCount));
        EXPECT_EQ(bitmap.Width(), 2) << "unchanged";
        GlobalFree(block); // not taken over
    }
    BVBitmap bitmap(2, 1);
    EXPECT_FALSE(bitmap.AdoptPacked(nullptr, 4, 1, 1, 0));
}

TEST(BVBitmapPacked, ClearFreesPackedStorageAndContainers) {
    BVBitmap bitmap(0, 0);
    ASSERT_TRUE(bitmap.AdoptPacked(PackedBlock({9, 9, 9, 9}), 4, 1, 1, 0));
    const VMSize size(3, 4);
    bitmap.Sizes().Add(&size);
    BVArray<int, int>& values = bitmap.Values();
    ASSERT_TRUE(values.AttachStorage());
    values.GetStore()->data = static_cast<int*>(values.AllocateBlock(8));
    values.GetStore()->count = values.GetStore()->capacity = 2;
    bitmap.Clear();
    EXPECT_EQ(bitmap.Sizes().GetCount(), 0);
    EXPECT_EQ(values.GetStore(), nullptr);
    EXPECT_EQ(bitmap.Pixels(), nullptr) << "nothing left to expand";
    EXPECT_EQ(bitmap.PaletteCount(), 0);
    EXPECT_EQ(bitmap.GetTypeId(), 0u);
}

TEST(BVBitmapPacked, DestructionFreesEverything) {
    // Leak checking (ASan) sees whatever the destructor forgets.
    auto* bitmap = new BVBitmap(0, 0);
    ASSERT_TRUE(bitmap->AdoptPacked(PackedBlock({1, 2, 3, 4, 5, 6, 7, 8}), 8, 1, 2, 0));
    ASSERT_NE(bitmap->Pixels(), nullptr);
    const VMSize size(1, 1);
    bitmap->Sizes().Add(&size);
    delete bitmap;
    auto* unexpanded = new BVBitmap(0, 0);
    ASSERT_TRUE(unexpanded->AdoptPacked(PackedBlock({1, 2, 3, 4}), 4, 1, 1, 0));
    delete unexpanded;
}

TEST(BVBitmap, LoadIsRefusedAndClosesOnlyWhenAsked) {
    static const std::uint8_t bytes[] = {'p', 'l', 'a', 'i', 'n', ' ', 'd', 'a', 't', 'a'};
    for (bool closeSource : {false, true}) {
        SCOPED_TRACE(closeSource ? "closing" : "leaving open");
        auto* file = new BVMemoryFile;
        ASSERT_TRUE(file->Attach(bytes, 0, sizeof bytes));
        BVInflate source;
        ASSERT_EQ(source.Open(file), -1) << "no container: the bytes pass through";
        BVBitmap bitmap(2, 2);
        EXPECT_FALSE(bitmap.Load(&source, 0, closeSource, 0));
        EXPECT_EQ(bitmap.Width(), 2);
        EXPECT_NE(bitmap.Pixels(), nullptr);
        char head[5] = {};
        if (closeSource) {
            EXPECT_FALSE(source.Close()) << "already closed";
        } else {
            EXPECT_EQ(source.Read(head, 0, 5), 5) << "still open";
            EXPECT_EQ(std::string(head, 5), "plain");
        }
    }
    BVBitmap bitmap(1, 1);
    EXPECT_FALSE(bitmap.Load(nullptr, 0, true, 0));
}

} // namespace
