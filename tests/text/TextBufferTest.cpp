#include "text/TextBuffer.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <memory>
#include <set>

namespace {

// Hands out array-new blocks and remembers which are still out.
class CountingAllocator : public TextAllocator {
  public:
    std::set<char*> live;
    int allocations = 0;
    char* Allocate(int size) override {
        char* block = new char[static_cast<std::size_t>(size)];
        live.insert(block);
        ++allocations;
        return block;
    }
    void Free(char* block) override {
        EXPECT_EQ(live.erase(block), 1u) << "freed a block it never gave out";
        delete[] block;
    }
    int AllocatorHook(char*, int a, int b) override { return a + b; }
};

TEST(TextBuffer, SizeRule) {
    const int cases[][2] = {{0, 16},
                            {14, 16},
                            {15, 32},
                            {31, 64},
                            {510, 512},
                            {511, 1024},
                            {1022, 1024},
                            {1023, 1040},
                            {2000, 2016},
                            {-5, 16},
                            {TextBuffer::kMaxLength, 0x7FFFFFF0},
                            {TextBuffer::kMaxLength + 1, -1},
                            {INT_MAX, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(TextBuffer::CapacityFor(c[0]), c[1]) << "n = " << c[0];
    EXPECT_EQ(TextBuffer::CapacityFor(10, 11), 11) << "a hint that covers n stays";
    EXPECT_EQ(TextBuffer::CapacityFor(10, 9), 16);
    EXPECT_EQ(TextBuffer::CapacityFor(10, 0), 16);
}

TEST(TextBuffer, ResizeKeepsALargerBlock) {
    TextBuffer* r = TextBuffer::Create();
    ASSERT_TRUE(r->Resize(40));
    EXPECT_EQ(r->capacity, 64);
    std::memset(r->data, 'x', 40);
    char* block = r->data;
    ASSERT_TRUE(r->Resize(10));
    EXPECT_EQ(r->data, block);
    EXPECT_EQ(r->capacity, 64);
    EXPECT_EQ(r->data[10], 0);
    EXPECT_EQ(r->data[11], 0);
    EXPECT_FALSE(r->unterminated);
    ASSERT_TRUE(r->Resize(100));
    EXPECT_EQ(r->capacity, 128);
    EXPECT_EQ(std::memcmp(r->data, "xxxxxxxxxx", 10), 0) << "old bytes carried over";
    EXPECT_FALSE(r->Resize(-1));
    EXPECT_FALSE(r->Resize(TextBuffer::kMaxLength + 1));
    EXPECT_EQ(r->length, 100) << "a refused size changes nothing";
    TextBuffer::Release(r);
}

TEST(TextBuffer, ExactHintLeavesNoTerminator) {
    TextBuffer* r = TextBuffer::Create();
    ASSERT_TRUE(r->Resize(8, 9));
    EXPECT_EQ(r->capacity, 9);
    EXPECT_TRUE(r->unterminated);
    TextBuffer::Release(r);
}

TEST(TextBuffer, ForeignBytesAreNeverTouched) {
    char caller[4] = {'a', 'b', 'c', 'd'};
    TextBuffer* r = TextBuffer::Create();
    r->data = caller;
    r->length = 4;
    r->capacity = -1;
    ASSERT_TRUE(r->Resize(2));
    EXPECT_NE(r->data, caller);
    EXPECT_EQ(r->capacity, 16);
    EXPECT_EQ(std::memcmp(caller, "abcd", 4), 0);
    TextBuffer::Release(r);

    TextBuffer* kept = TextBuffer::Create();
    kept->data = caller;
    kept->capacity = -1;
    TextBuffer::Release(kept); // must not free the caller's array (ASan would say so)
}

TEST(TextBuffer, ReleaseCountsDown) {
    CountingAllocator allocator;
    TextBuffer* r = TextBuffer::Create(&allocator);
    ASSERT_TRUE(r->Resize(5));
    ++r->shareCount;
    TextBuffer::Release(r);
    EXPECT_EQ(r->shareCount, 1);
    EXPECT_EQ(allocator.live.size(), 1u);
    TextBuffer::Release(r);
    EXPECT_TRUE(allocator.live.empty());
    TextBuffer::Release(nullptr);
}

TEST(TextBuffer, GrowthGoesThroughTheAllocator) {
    CountingAllocator allocator;
    TextBuffer* r = TextBuffer::Create(&allocator);
    ASSERT_TRUE(r->Resize(5));
    ASSERT_TRUE(r->Resize(500));
    EXPECT_EQ(allocator.allocations, 2);
    EXPECT_EQ(allocator.live.size(), 1u) << "the old block went back";
    TextBuffer::Release(r);
    EXPECT_TRUE(allocator.live.empty());
}

} // namespace
