#include "values/BVArray.h"

#include "CountingHeap.h"
#include "support/SlotPin.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

using slot_pin::Slot;
using IntArray = BVArray<int, int>;
using IntBase = BVArrayBase<int, int>;

class IntArrayPlusOne : public IntArray {
  public:
    virtual void Extra() {}
};

TEST(BVArraySlots, FixedOrder) {
    const slot_pin::SlotCase cases[] = {
        {Slot(&IntBase::ZeroElements), 1, "ZeroElements"},
        {Slot(&IntBase::DestroyElements), 2, "DestroyElements"},
        {Slot(&IntBase::CopyElements), 3, "CopyElements"},
        {Slot(&IntBase::CopyReversed), 4, "CopyReversed"},
        {Slot(&IntBase::MoveElements), 5, "MoveElements"},
        {Slot(&IntBase::AllocateBlock), 6, "AllocateBlock"},
        {Slot(&IntBase::FreeBlock), 7, "FreeBlock"},
        {Slot(&IntBase::RemoveAll), 8, "RemoveAll"},
        {Slot(&IntBase::AttachStorage), 9, "AttachStorage"},
        {Slot(&IntArrayPlusOne::Extra), 10, "first slot after the array's"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.slot, c.expected) << c.name;
}

// Fills the array's own record the way an owner does: the block from
// AllocateBlock, so that the array can free it.
void FillOwn(IntArray& a, const std::vector<int>& values) {
    ASSERT_TRUE(a.AttachStorage());
    IntArray::Storage* s = a.GetStore();
    const int n = static_cast<int>(values.size());
    s->data = static_cast<int*>(a.AllocateBlock(n * static_cast<int>(sizeof(int))));
    ASSERT_NE(s->data, nullptr);
    a.CopyElements(s->data, values.data(), n);
    s->count = s->capacity = n;
}

TEST(BVArray, RemoveAllReleasesTheRecord) {
    IntArray a;
    EXPECT_EQ(a.GetStore(), nullptr);
    a.RemoveAll(); // no store: nothing
    ASSERT_TRUE(a.AttachStorage());
    IntArray::Storage* own = a.GetStore();
    ASSERT_NE(own, nullptr);
    a.RemoveAll(); // an empty record: only the store goes
    EXPECT_EQ(a.GetStore(), nullptr);

    FillOwn(a, {1, 2, 3});
    a.RemoveAll();
    EXPECT_EQ(a.GetStore(), nullptr);
    EXPECT_EQ(own->data, nullptr);
    EXPECT_EQ(own->count, 0);
    EXPECT_EQ(own->capacity, 0);
}

TEST(BVArray, DestructionFreesTheBlock) {
    const long before = counting_heap::LiveBlocks();
    {
        IntArray a;
        FillOwn(a, {4, 5, 6, 7});
        ASSERT_EQ(counting_heap::LiveBlocks(), before + 1) << "the block is the one block alive";
    }
    EXPECT_EQ(counting_heap::LiveBlocks(), before) << "the destructor left the block alive";

    // Through the base class, as an owner that knows only BVArrayBase would.
    IntBase* base = new IntArray;
    FillOwn(*static_cast<IntArray*>(base), {1});
    ASSERT_EQ(counting_heap::LiveBlocks(), before + 2);
    delete base;
    EXPECT_EQ(counting_heap::LiveBlocks(), before);
}

TEST(BVArray, ElementHooks) {
    IntArray a;
    int v[] = {1, 2, 3, 4, 5};
    int out[5] = {};
    a.CopyReversed(out, v, 3);
    EXPECT_EQ(std::vector<int>(out, out + 3), (std::vector<int>{3, 2, 1}));
    a.MoveElements(v + 1, v, 4); // up by one, overlapping
    EXPECT_EQ(std::vector<int>(v, v + 5), (std::vector<int>{1, 1, 2, 3, 4}));
    a.MoveElements(v, v + 1, 4); // and back down
    EXPECT_EQ(std::vector<int>(v, v + 5), (std::vector<int>{1, 2, 3, 4, 4}));
    a.ZeroElements(v, 2);
    EXPECT_EQ(std::vector<int>(v, v + 5), (std::vector<int>{0, 0, 3, 4, 4}));

    static std::vector<int> seen;
    seen.clear();
    a.DestroyElements(v, 3, [](int x) { seen.push_back(x); });
    EXPECT_EQ(seen, (std::vector<int>{0, 0, 3}));
    a.DestroyElements(v, 0, [](int x) { seen.push_back(x); });
    a.DestroyElements(v, 3, nullptr);
    EXPECT_EQ(seen.size(), 3u);
    EXPECT_EQ(a.AllocateBlock(0), nullptr);
    EXPECT_EQ(a.AllocateBlock(-4), nullptr);
}

} // namespace
