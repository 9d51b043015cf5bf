#include "ArrayTestSupport.h"
#include "file/BVMemoryFile.h"
#include "support/SlotPin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

using slot_pin::Slot;
using SizeArray = VMClassArray<VMSize, VMSize&>;
using SizeBase = VMArrayBase<VMSize, VMSize&>;
using Keys_ = std::vector<int>;

class SizeArrayPlusOne : public SizeArray {
  public:
    virtual void Extra() {}
};

TEST(VMClassArraySlots, FixedOrder) {
    const slot_pin::SlotCase cases[] = {
        {Slot(&SizeBase::SetCount), 1, "SetCount"},
        {Slot(&SizeBase::AddCount), 2, "AddCount"},
        {Slot(&SizeBase::InsertAt), 3, "InsertAt"},
        {Slot(&SizeBase::GetLastIndex), 4, "GetLastIndex"},
        {Slot(&SizeBase::IsValidIndex), 5, "IsValidIndex"},
        {Slot(&SizeBase::Contains), 6, "Contains"},
        {Slot(&SizeBase::Append), 7, "Append"},
        {Slot(&SizeBase::CopyFrom), 8, "CopyFrom"},
        {Slot(&SizeBase::TakeFrom), 9, "TakeFrom"},
        {Slot(&SizeBase::FreeExtra), 10, "FreeExtra"},
        {Slot(&SizeBase::RemoveAll), 11, "RemoveAll"},
        {Slot(&SizeBase::Add), 12, "Add"},
        {Slot(&SizeBase::AddUnique), 13, "AddUnique"},
        {Slot(&SizeBase::RemoveValue), 14, "RemoveValue"},
        {Slot(&SizeBase::SetAt), 15, "SetAt"},
        {Slot(&SizeBase::SetAtGrow), 16, "SetAtGrow"},
        {Slot(&SizeBase::EnsureIndex), 17, "EnsureIndex"},
        {Slot(&SizeBase::InsertSortedKey), 18, "InsertSortedKey"},
        {Slot(&SizeBase::InsertCopies), 19, "InsertCopies"},
        {Slot(&SizeBase::InsertArray), 20, "InsertArray"},
        {Slot(&SizeBase::InsertAll), 21, "InsertAll"},
        {Slot(&SizeBase::InsertSorted), 22, "InsertSorted"},
        {Slot(&SizeBase::InsertAllSorted), 23, "InsertAllSorted"},
        {Slot(&SizeBase::InsertSorted64), 24, "InsertSorted64"},
        {Slot(&SizeBase::InsertAllSorted64), 25, "InsertAllSorted64"},
        {Slot(&SizeBase::InsertSortedDouble), 26, "InsertSortedDouble"},
        {Slot(&SizeBase::InsertAllSortedDouble), 27, "InsertAllSortedDouble"},
        {Slot(&SizeBase::InsertIfAbsent), 28, "InsertIfAbsent"},
        {Slot(&SizeBase::InsertAllIfAbsent), 29, "InsertAllIfAbsent"},
        {Slot(&SizeBase::InsertSortedIfAbsent), 30, "InsertSortedIfAbsent"},
        {Slot(&SizeBase::InsertAllSortedIfAbsent), 31, "InsertAllSortedIfAbsent"},
        {Slot(&SizeBase::InsertSorted64IfAbsent), 32, "InsertSorted64IfAbsent"},
        {Slot(&SizeBase::InsertAllSorted64IfAbsent), 33, "InsertAllSorted64IfAbsent"},
        {Slot(&SizeBase::InsertSortedDoubleIfAbsent), 34, "InsertSortedDoubleIfAbsent"},
        {Slot(&SizeBase::InsertAllSortedDoubleIfAbsent), 35, "InsertAllSortedDoubleIfAbsent"},
        {Slot(&SizeBase::InsertOrReplace), 36, "InsertOrReplace"},
        {Slot(&SizeBase::InsertAllOrReplace), 37, "InsertAllOrReplace"},
        {Slot(&SizeBase::InsertSortedOrReplace), 38, "InsertSortedOrReplace"},
        {Slot(&SizeBase::InsertAllSortedOrReplace), 39, "InsertAllSortedOrReplace"},
        {Slot(&SizeBase::InsertSorted64OrReplace), 40, "InsertSorted64OrReplace"},
        {Slot(&SizeBase::InsertAllSorted64OrReplace), 41, "InsertAllSorted64OrReplace"},
        {Slot(&SizeBase::InsertSortedDoubleOrReplace), 42, "InsertSortedDoubleOrReplace"},
        {Slot(&SizeBase::InsertAllSortedDoubleOrReplace), 43, "InsertAllSortedDoubleOrReplace"},
        {Slot(&SizeBase::CopyWithin), 44, "CopyWithin"},
        {Slot(&SizeBase::RemoveAt), 45, "RemoveAt"},
        {Slot(&SizeBase::Move), 46, "Move"},
        {Slot(&SizeBase::Swap), 47, "Swap"},
        {Slot(&SizeBase::FindIf), 48, "FindIf"},
        {Slot(&SizeBase::FindLastIf), 49, "FindLastIf"},
        {Slot(&SizeBase::FindKey), 50, "FindKey"},
        {Slot(&SizeBase::FindSortedKey), 51, "FindSortedKey"},
        {Slot(&SizeBase::BinarySearchKey), 52, "BinarySearchKey"},
        {Slot(&SizeBase::FindKey64), 53, "FindKey64"},
        {Slot(&SizeBase::FindKeyDouble), 54, "FindKeyDouble"},
        {Slot(&SizeBase::FindByCompare), 55, "FindByCompare"},
        {Slot(&SizeBase::Find), 56, "Find"},
        {Slot(&SizeBase::FindKeyPtr), 57, "FindKeyPtr"},
        {Slot(&SizeBase::SortByCompare), 58, "SortByCompare"},
        {Slot(&SizeBase::SortByKey), 59, "SortByKey"},
        {Slot(&SizeBase::SortByKey64), 60, "SortByKey64"},
        {Slot(&SizeBase::SortByKeyDouble), 61, "SortByKeyDouble"},
        {Slot(&SizeBase::Load), 62, "Load"},
        {Slot(&SizeBase::Save), 63, "Save"},
        {Slot(&SizeBase::ConstructElements), 64, "ConstructElements"},
        {Slot(&SizeBase::DestroyElements), 65, "DestroyElements"},
        {Slot(&SizeBase::CopyElements), 66, "CopyElements"},
        {Slot(&SizeBase::MoveElements), 67, "MoveElements"},
        {Slot(&SizeBase::AllocateBlock), 68, "AllocateBlock"},
        {Slot(&SizeBase::FreeBlock), 69, "FreeBlock"},
        {Slot(&SizeArray::ElementAt), 70, "ElementAt"},
        {Slot(&SizeArray::GetData), 71, "GetData"},
        {Slot(&SizeArray::GetLast), 72, "GetLast"},
        {Slot(&SizeArrayPlusOne::Extra), 73, "first slot after the array's"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.slot, c.expected) << c.name;
}

// --- growth -------------------------------------------------------------------------

TEST(VMClassArray, GrowthArithmetic) {
    struct Step {
        int n, growBy, count, capacity;
    };
    // Each row applies SetCount to the same array, in order.
    const Step steps[] = {
        {10, -1, 10, 10},    // the first block is exact
        {11, -1, 11, 14},    // automatic step: max(4, 10 / 8)
        {14, -1, 14, 14},    // fits
        {3, -1, 3, 14},      // shrinking keeps the block
        {-20, -1, 0, 20},    // empties, reserving 20 (step 4 from 14 would give 18)
        {80, -1, 80, 80},    // exact: 20 + 4 < 80
        {81, -1, 81, 90},    // step 80 / 8 = 10
        {91, 100, 91, 190},  // a given step is kept ...
        {191, -1, 191, 290}, // ... and used again
        {0, 0, 0, 290},      // count 0 keeps the block; automatic again
        {291, -1, 291, 294},
    };
    LifetimeCheck lives;
    CountedArray a;
    for (const auto& s : steps) {
        SCOPED_TRACE(testing::Message() << "SetCount(" << s.n << ", " << s.growBy << ")");
        EXPECT_TRUE(a.SetCount(s.n, s.growBy));
        EXPECT_EQ(a.GetCount(), s.count);
        EXPECT_EQ(a.GetCapacity(), s.capacity);
        EXPECT_EQ(Counted::Live(), s.count);
    }
}

TEST(VMClassArray, AutomaticStepIsCappedAt1024) {
    SizeArray a;
    ASSERT_TRUE(a.SetCount(16384));
    ASSERT_TRUE(a.SetCount(16385));
    EXPECT_EQ(a.GetCapacity(), 16384 + 1024);
}

TEST(VMClassArray, GrowthKeepsValues) {
    LifetimeCheck lives;
    CountedArray a;
    Fill(a, {7, 8, 9});
    ASSERT_TRUE(a.SetCount(30));
    EXPECT_EQ(a.ElementAt(2)->key, 9);
    EXPECT_EQ(a.ElementAt(3)->key, 0) << "new elements are default ones";
}

TEST(VMClassArray, UnhonourableCountsAreRefusedBeforeAllocating) {
    LifetimeCheck lives;
    LimitedArray a;
    Fill(a, {1, 2});
    const int requests = a.requests;
    const int maxCount = CountedArray::kMaxCount;
    EXPECT_FALSE(a.SetCount(INT32_MIN));
    EXPECT_FALSE(a.SetCount(maxCount + 1));
    EXPECT_FALSE(a.SetCount(-(maxCount + 1)));
    EXPECT_EQ(a.AddCount(INT32_MAX), -1);
    EXPECT_EQ(a.InsertAt(1, INT32_MAX), -1);
    EXPECT_EQ(a.InsertAt(INT32_MAX, 1), -1);
    EXPECT_FALSE(a.EnsureIndex(INT32_MAX));
    EXPECT_EQ(a.requests, requests) << "no block size past INT32_MAX bytes is asked for";
    EXPECT_EQ(Keys(a), (Keys_{1, 2}));
}

TEST(VMClassArray, GrowthStepIsLimitedByTheLargestBlock) {
    LimitedArray a;
    const int maxCount = CountedArray::kMaxCount;
    ASSERT_TRUE(a.SetCount(1, INT32_MAX));
    a.failing = true;
    EXPECT_FALSE(a.SetCount(2)); // asks for the largest block, which this allocator refuses
    EXPECT_EQ(a.lastBytes, static_cast<int>(maxCount * sizeof(Counted)));
    EXPECT_GT(a.lastBytes, 0);
    EXPECT_EQ(a.GetCount(), 1);
    EXPECT_EQ(a.GetCapacity(), 1);
}

// Every growing operation reports a failed allocation and leaves the array
// as it was.
TEST(VMClassArray, AllocationFailureLeavesArrayUnchanged) {
    using Op = bool (*)(LimitedArray & a, LimitedArray & other);
    struct Case {
        const char* name;
        Op op;
    };
    static const Counted nine(9);
    const Case cases[] = {
        {"SetCount", [](LimitedArray& a, LimitedArray&) { return a.SetCount(5); }},
        {"AddCount", [](LimitedArray& a, LimitedArray&) { return a.AddCount(2) >= 0; }},
        {"InsertAt", [](LimitedArray& a, LimitedArray&) { return a.InsertAt(1, 2) >= 0; }},
        {"InsertAt past the end",
         [](LimitedArray& a, LimitedArray&) { return a.InsertAt(9, 1) >= 0; }},
        {"Add", [](LimitedArray& a, LimitedArray&) { return a.Add(&nine) >= 0; }},
        {"SetAtGrow", [](LimitedArray& a, LimitedArray&) { return a.SetAtGrow(7, &nine); }},
        {"EnsureIndex", [](LimitedArray& a, LimitedArray&) { return a.EnsureIndex(3); }},
        {"InsertCopies",
         [](LimitedArray& a, LimitedArray&) { return a.InsertCopies(0, &nine, 2) >= 0; }},
        {"InsertArray",
         [](LimitedArray& a, LimitedArray& o) { return a.InsertArray(0, o.GetData(), 2); }},
        {"InsertAll", [](LimitedArray& a, LimitedArray& o) { return a.InsertAll(1, &o); }},
        {"Append", [](LimitedArray& a, LimitedArray& o) { return a.Append(&o, 0, -1) >= 0; }},
        {"CopyFrom", [](LimitedArray& a, LimitedArray& o) { return a.CopyFrom(&o, 0, -1); }},
        {"InsertSorted",
         [](LimitedArray& a, LimitedArray&) {
             return a.InsertSorted(&nine, true, nullptr, nullptr) >= 0;
         }},
        {"InsertSortedKey",
         [](LimitedArray& a, LimitedArray&) {
             return a.InsertSortedKey(2, true, nullptr, nullptr) >= 0;
         }},
        {"Load",
         [](LimitedArray& a, LimitedArray&) {
             const unsigned char bytes[] = {3, 0, 0, 0};
             BVMemoryFile file;
             file.Attach(bytes, 0, sizeof bytes);
             a.Load(&file);
             return file.LastOk();
         }},
    };
    LifetimeCheck lives;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LimitedArray other;
        Fill(other, {4, 5, 6, 7});
        LimitedArray a;
        Fill(a, {1, 3});
        ASSERT_TRUE(a.FreeExtra()); // full: any growth needs a new block
        Counted* data = a.GetData();
        a.failing = true;
        EXPECT_FALSE(c.op(a, other));
        EXPECT_EQ(Keys(a), (Keys_{1, 3}));
        EXPECT_EQ(a.GetCapacity(), 2);
        EXPECT_EQ(a.GetData(), data);
        EXPECT_EQ(Counted::Live(), 6);
    }
}

TEST(VMClassArray, FreeExtraShrinksToCount) {
    LifetimeCheck lives;
    LimitedArray a;
    Fill(a, {1, 2, 3});
    a.SetCount(-40);
    Fill(a, {1, 2, 3});
    EXPECT_EQ(a.GetCapacity(), 40);
    EXPECT_TRUE(a.FreeExtra());
    EXPECT_EQ(a.GetCapacity(), 3);
    EXPECT_EQ(Keys(a), (Keys_{1, 2, 3}));
    a.failing = true;
    EXPECT_TRUE(a.FreeExtra()) << "already exact: nothing to allocate";
    a.SetCount(2);
    EXPECT_FALSE(a.FreeExtra());
    EXPECT_EQ(a.GetCapacity(), 3);
    EXPECT_EQ(Keys(a), (Keys_{1, 2}));
    a.SetCount(0);
    EXPECT_TRUE(a.FreeExtra()) << "an empty array only frees";
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GetCapacity(), 0);
}

// --- removal --------------------------------------------------------------------

TEST(VMClassArray, RemoveAtForms) {
    struct Case {
        int index, k;
        Keys_ left;
    };
    const Case cases[] = {
        {-1, -1, {0, 1, 2, 3, 4}}, // the last element
        {2, -1, {0, 1}},           // from 2 to the end
        {-1, 3, {0, 1, 2}},        // the last three
        {0, 2, {2, 3, 4, 5}},      // from the front
        {1, 1, {0, 2, 3, 4, 5}},
        {4, 2, {0, 1, 2, 3}},        // exactly to the end
        {5, 2, {0, 1, 2, 3, 4, 5}},  // past the end: nothing
        {-1, 7, {0, 1, 2, 3, 4, 5}}, // more than there are: nothing
        {0, 0, {0, 1, 2, 3, 4, 5}},
        {6, -1, {0, 1, 2, 3, 4, 5}}, // k becomes 0
        {0, -1, {}},
        {3, INT32_MAX, {0, 1, 2, 3, 4, 5}},
        {INT32_MAX, 1, {0, 1, 2, 3, 4, 5}},
        {-5, INT32_MIN, {0, 1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "RemoveAt(" << c.index << ", " << c.k << ")");
        LifetimeCheck lives;
        CountedArray a;
        Fill(a, {0, 1, 2, 3, 4, 5});
        const int capacity = a.GetCapacity();
        a.RemoveAt(c.index, c.k);
        EXPECT_EQ(Keys(a), c.left);
        EXPECT_EQ(a.GetCapacity(), capacity);
        EXPECT_EQ(Counted::Live(), a.GetCount());
    }
}

TEST(VMClassArray, RemoveValueAndRemoveAll) {
    LifetimeCheck lives;
    CountedArray a;
    Fill(a, {4, 5, 6});
    const Counted five(5);
    const Counted seven(7);
    EXPECT_EQ(a.RemoveValue(&five), 1);
    EXPECT_EQ(a.RemoveValue(&seven), -1);
    EXPECT_EQ(Keys(a), (Keys_{4, 6}));
    a.RemoveAll();
    EXPECT_EQ(a.GetData(), nullptr);
    EXPECT_EQ(a.GetCapacity(), 0);
    EXPECT_EQ(Counted::Live(), 2); // five and seven
}

// --- insertion, moving and copying ----------------------------------------------------

TEST(VMClassArray, InsertAtOpensAGap) {
    LifetimeCheck lives;
    CountedArray a;
    Fill(a, {0, 1, 2, 3});
    EXPECT_EQ(a.InsertAt(1, 2), 1);
    EXPECT_EQ(Keys(a), (Keys_{0, 1, 2, 1, 2, 3})) << "the gap keeps copies of what moved";
    EXPECT_EQ(a.InsertAt(8, 1), 8);
    EXPECT_EQ(a.GetCount(), 9);
    EXPECT_EQ(a.InsertAt(0, 0), -1);
    EXPECT_EQ(a.InsertAt(-1, 1), -1);
    EXPECT_EQ(Counted::Live(), 9);
}

TEST(VMClassArray, InsertCopiesArrayAndAll) {
    LifetimeCheck lives;
    CountedArray a;
    Fill(a, {0, 1, 2});
    const Counted seven(7);
    EXPECT_EQ(a.InsertCopies(1, &seven, 2), 1);
    EXPECT_EQ(Keys(a), (Keys_{0, 7, 7, 1, 2}));
    EXPECT_EQ(a.InsertCopies(7, &seven, 1), 7);
    EXPECT_EQ(Keys(a), (Keys_{0, 7, 7, 1, 2, 0, 0, 7}));
    EXPECT_EQ(a.InsertCopies(0, &seven, 0), -1);

    const Counted run[] = {Counted(8), Counted(9)};
    CountedArray b;
    Fill(b, {1});
    EXPECT_TRUE(b.InsertArray(0, run, 2));
    EXPECT_TRUE(b.InsertArray(0, nullptr, 2));
    EXPECT_TRUE(b.InsertArray(0, run, 0));
    EXPECT_EQ(Keys(b), (Keys_{8, 9, 1}));
    CountedArray c;
    Fill(c, {5, 6});
    EXPECT_TRUE(c.InsertAll(1, &b));
    EXPECT_TRUE(c.InsertAll(1, nullptr));
    EXPECT_EQ(Keys(c), (Keys_{5, 8, 9, 1, 6}));
}

// Objects handed in from the array itself must survive the growth they cause.
TEST(VMClassArray, SourcesInsideTheArraySurviveGrowth) {
    LifetimeCheck lives;
    CountedArray a;
    Fill(a, {10, 11, 12, 13});
    a.FreeExtra();
    EXPECT_EQ(a.Add(a.ElementAt(1)), 4);
    EXPECT_EQ(Keys(a), (Keys_{10, 11, 12, 13, 11}));
    a.FreeExtra();
    EXPECT_EQ(a.InsertCopies(0, a.ElementAt(3), 2), 0);
    EXPECT_EQ(Keys(a), (Keys_{13, 13, 10, 11, 12, 13, 11}));
    a.FreeExtra();
    // A run that straddles the insertion point.
    EXPECT_TRUE(a.InsertArray(3, a.ElementAt(2), 3));
    EXPECT_EQ(Keys(a), (Keys_{13, 13, 10, 10, 11, 12, 11, 12, 13, 11}));
    a.FreeExtra();
    EXPECT_TRUE(a.InsertAll(1, &a));
    EXPECT_EQ(a.GetCount(), 20);
    EXPECT_EQ(Keys(a)[1], 13);
    EXPECT_EQ(Keys(a)[10], 11);
    EXPECT_EQ(Keys(a)[11], 13);
    EXPECT_FALSE(a.InsertArray(0, a.ElementAt(18), 5)) << "a run past the live elements";
    EXPECT_EQ(a.Append(&a, 0, 1), 20);
    EXPECT_EQ(Keys(a)[21], 13);
}

TEST(VMClassArray, MoveSwapAndCopyWithin) {
    struct Case {
        const char* name;
        void (*op)(CountedArray&);
        Keys_ result;
    };
    const Case cases[] = {
        {"Move up", [](CountedArray& a) { a.Move(3, 1); }, {0, 2, 3, 1, 4}},
        {"Move down", [](CountedArray& a) { a.Move(0, 4); }, {4, 0, 1, 2, 3}},
        {"Move same", [](CountedArray& a) { a.Move(2, 2); }, {0, 1, 2, 3, 4}},
        {"Move invalid", [](CountedArray& a) { a.Move(5, 0); }, {0, 1, 2, 3, 4}},
        {"Swap", [](CountedArray& a) { a.Swap(0, 4); }, {4, 1, 2, 3, 0}},
        {"Swap invalid", [](CountedArray& a) { a.Swap(-1, 2); }, {0, 1, 2, 3, 4}},
        {"CopyWithin down", [](CountedArray& a) { a.CopyWithin(0, 1, 3); }, {1, 2, 3, 3, 4}},
        {"CopyWithin up", [](CountedArray& a) { a.CopyWithin(1, 0, 3); }, {0, 0, 1, 2, 4}},
        {"CopyWithin cut at end", [](CountedArray& a) { a.CopyWithin(3, 0, 4); }, {0, 1, 2, 0, 1}},
        {"CopyWithin source past end",
         [](CountedArray& a) { a.CopyWithin(0, 3, 3); },
         {0, 1, 2, 3, 4}},
        {"CopyWithin negative dst",
         [](CountedArray& a) { a.CopyWithin(-1, 0, 1); },
         {0, 1, 2, 3, 4}},
        {"CopyWithin huge k",
         [](CountedArray& a) { a.CopyWithin(0, 1, INT32_MAX); },
         {0, 1, 2, 3, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LifetimeCheck lives;
        CountedArray a;
        Fill(a, {0, 1, 2, 3, 4});
        c.op(a);
        EXPECT_EQ(Keys(a), c.result);
    }
}

TEST(VMClassArray, RangesOfAnotherArray) {
    struct Case {
        const char* name;
        int from, to;
        int appended;
        Keys_ copied;
        Keys_ takenRest;
    };
    const Case cases[] = {
        {"whole", 0, -1, 1, {5, 6, 7, 8}, {}},      {"middle", 1, 2, 1, {6, 7}, {5, 8}},
        {"to past end", 2, 99, 1, {7, 8}, {5, 6}},  {"negative from", -4, 0, 1, {5}, {6, 7, 8}},
        {"from past end", 9, -1, 1, {}, {5, 6, 7}}, // TakeFrom limits from to the last index
        {"from after to", 3, 1, 1, {}, {5, 7, 8}},  // TakeFrom limits from to `to`
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LifetimeCheck lives;
        CountedArray src;
        Fill(src, {5, 6, 7, 8});
        CountedArray a;
        Fill(a, {1});
        EXPECT_EQ(a.Append(&src, c.from, c.to), c.appended);
        Keys_ appended{1};
        appended.insert(appended.end(), c.copied.begin(), c.copied.end());
        EXPECT_EQ(Keys(a), appended);
        EXPECT_TRUE(a.CopyFrom(&src, c.from, c.to));
        EXPECT_EQ(Keys(a), c.copied);
        EXPECT_TRUE(a.TakeFrom(&src, c.from, c.to));
        EXPECT_EQ(Keys(src), c.takenRest);
    }
    CountedArray a;
    EXPECT_FALSE(a.CopyFrom(nullptr, 0, -1));
    EXPECT_FALSE(a.TakeFrom(&a, 0, -1));
    CountedArray empty;
    Fill(a, {1, 2});
    EXPECT_TRUE(a.TakeFrom(&empty, 0, -1));
    EXPECT_EQ(a.GetCount(), 0);
}

TEST(VMClassArray, CopyFromItselfKeepsTheRange) {
    LifetimeCheck lives;
    CountedArray a;
    Fill(a, {0, 1, 2, 3, 4});
    EXPECT_TRUE(a.CopyFrom(&a, 1, 3));
    EXPECT_EQ(Keys(a), (Keys_{1, 2, 3}));
}

TEST(VMClassArray, SetAtAndEnsureIndex) {
    LifetimeCheck lives;
    CountedArray a;
    const Counted nine(9);
    EXPECT_FALSE(a.SetAt(0, &nine)) << "outside the array";
    EXPECT_TRUE(a.SetAtGrow(2, &nine));
    EXPECT_EQ(Keys(a), (Keys_{0, 0, 9}));
    EXPECT_TRUE(a.SetAt(0, &nine));
    EXPECT_TRUE(a.SetAtGrow(-1, &nine));
    EXPECT_EQ(a.GetCount(), 4);
    EXPECT_TRUE(a.EnsureIndex(1));
    EXPECT_EQ(a.GetCount(), 4);
    EXPECT_TRUE(a.EnsureIndex(-1)) << "a negative index adds one element";
    EXPECT_EQ(a.GetCount(), 5);
    EXPECT_TRUE(a.EnsureIndex(6));
    EXPECT_EQ(a.GetCount(), 7);
    EXPECT_EQ(a.GetLastIndex(), 6);
    EXPECT_TRUE(a.IsValidIndex(6));
    EXPECT_FALSE(a.IsValidIndex(7));
    EXPECT_FALSE(a.IsValidIndex(-1));
    EXPECT_EQ(a.ElementAt(7), nullptr);
    EXPECT_EQ(a.ElementAt(-1), nullptr);
    EXPECT_EQ(a.GetLast(), a.ElementAt(6));
    a.RemoveAll();
    EXPECT_EQ(a.GetLast(), nullptr);
}

// --- searches by predicate, equality and comparison ---------------------------------

TEST(VMClassArray, PredicateAndEqualitySearches) {
    CountedArray a;
    Fill(a, {3, 8, 5, 8, 1});
    auto over4 = [](const Counted* e, void*) -> std::int32_t { return e->key > 4 ? 1 : 0; };
    auto stopAt5 = [](const Counted* e, void*) -> std::int32_t {
        return e->key == 5 ? -1 : e->key == 1;
    };
    EXPECT_EQ(a.FindIf(over4, nullptr), 1);
    EXPECT_EQ(a.FindLastIf(over4, nullptr), 3);
    EXPECT_EQ(a.FindIf(stopAt5, nullptr), -1) << "stopped before reaching 1";
    EXPECT_EQ(a.FindLastIf(stopAt5, nullptr), 4);
    EXPECT_EQ(a.FindIf(nullptr, nullptr), -1);

    const Counted eight(8);
    EXPECT_EQ(a.Find(&eight), 1);
    EXPECT_TRUE(a.Contains(&eight));
    EXPECT_EQ(a.Find(nullptr), -1);
    int wanted = 5;
    auto byKey = [](const VMBase*, const Counted* e, void* ud) -> std::int32_t {
        return e->key == *static_cast<int*>(ud) ? 1 : 0;
    };
    EXPECT_EQ(a.Find(nullptr, byKey, &wanted), 2);
    EXPECT_EQ(a.FindByCompare(&eight, nullptr, nullptr), 1);
    auto cmpTag = [](const VMBase*, const Counted* e, void*) -> std::int32_t { return e->tag - 3; };
    EXPECT_EQ(a.FindByCompare(nullptr, cmpTag, nullptr), 3);

    EXPECT_EQ(a.AddUnique(&eight), 1);
    const Counted six(6);
    EXPECT_EQ(a.AddUnique(&six), 5);
    EXPECT_EQ(a.FindKey(8, nullptr, nullptr), 1);
    EXPECT_EQ(a.FindKey(8, nullptr, nullptr, 1), 3);
    EXPECT_EQ(a.FindKey(8, nullptr, nullptr, 3), -1);
    EXPECT_EQ(a.FindKey(8, nullptr, nullptr, INT32_MAX), -1);
    EXPECT_EQ(a.FindKeyPtr(5, nullptr, nullptr), a.ElementAt(2));
    EXPECT_EQ(a.FindKeyPtr(4, nullptr, nullptr), nullptr);
    EXPECT_EQ(a.FindKey64(std::int64_t{5} * 1000000007, nullptr, nullptr), 2);
    EXPECT_EQ(a.FindKeyDouble(0.75, nullptr, nullptr), 0);
    auto nan = [](const Counted*, void*) { return std::nan(""); };
    EXPECT_EQ(a.FindKeyDouble(std::nan(""), nan, nullptr), -1);
}

TEST(VMClassArray, IfAbsentAndOrReplace) {
    LifetimeCheck lives;
    CountedArray a;
    Fill(a, {1, 2, 3});
    const Counted two(2, 99);
    const Counted nine(9, 98);
    EXPECT_EQ(a.InsertIfAbsent(0, &two, 1, nullptr, nullptr), 1);
    EXPECT_EQ(a.InsertIfAbsent(0, &nine, 2, nullptr, nullptr), 0);
    EXPECT_EQ(Keys(a), (Keys_{9, 9, 1, 2, 3}));
    EXPECT_EQ(a.InsertOrReplace(0, &two, 1, nullptr, nullptr), 3);
    EXPECT_EQ(a.ElementAt(3)->tag, 99);

    CountedArray more;
    Fill(more, {4, 1, 5});
    CountedArray b;
    Fill(b, {1, 2});
    EXPECT_TRUE(b.InsertAllIfAbsent(1, &more, nullptr, nullptr));
    EXPECT_EQ(Keys(b), (Keys_{1, 4, 5, 2})) << "each insertion advances the place";
    more.ElementAt(1)->tag = 77;
    EXPECT_TRUE(b.InsertAllOrReplace(0, &more, nullptr, nullptr));
    EXPECT_EQ(Keys(b), (Keys_{1, 4, 5, 2}));
    EXPECT_EQ(b.ElementAt(0)->tag, 77);
    EXPECT_FALSE(b.InsertAllIfAbsent(0, &b, nullptr, nullptr)) << "not into itself";
    EXPECT_TRUE(b.InsertAllIfAbsent(0, nullptr, nullptr, nullptr));
}

// An element found exactly at the insertion index was not inserted there, so
// the next one still goes to that index, in front of it.
TEST(VMClassArray, InsertAllAdvancesOnlyPastWhatItInserted) {
    auto sameWidth = [](const VMBase* probe, const VMSize* element, void*) -> std::int32_t {
        return static_cast<const VMSize*>(probe)->width == element->width ? 1 : 0;
    };
    using InsertAll = bool (SizeBase::*)(int, const SizeBase*, SizeBase::EqualFunc, void*);
    const struct {
        InsertAll insertAll;
        const char* name;
        std::vector<int> heights; // after the call; the equal element keeps or takes
    } cases[] = {
        {&SizeArray::InsertAllIfAbsent, "InsertAllIfAbsent", {10, 90, 20, 30}},
        {&SizeArray::InsertAllOrReplace, "InsertAllOrReplace", {10, 90, 99, 30}},
    };
    for (const auto& c : cases) {
        SizeArray a, more;
        for (int w : {1, 2, 3}) {
            const VMSize s(w, 10 * w);
            a.Add(&s);
        }
        const VMSize two(2, 99), nine(9, 90);
        more.Add(&two);
        more.Add(&nine);
        EXPECT_TRUE((a.*c.insertAll)(1, &more, sameWidth, nullptr)) << c.name;
        std::vector<int> widths, heights;
        for (int i = 0; i < a.GetCount(); ++i) {
            widths.push_back(a.ElementAt(i)->width);
            heights.push_back(a.ElementAt(i)->height);
        }
        EXPECT_EQ(widths, (std::vector<int>{1, 9, 2, 3})) << c.name;
        EXPECT_EQ(heights, c.heights) << c.name;
    }
}

// --- file -------------------------------------------------------------------------------

TEST(VMClassArray, SaveLoadRoundTrip) {
    SizeArray saved;
    for (int i = 0; i < 5; ++i) {
        const VMSize s(i * 3, -i);
        saved.Add(&s);
    }
    BVMemoryFile file;
    ASSERT_TRUE(file.Create(8, false));
    ASSERT_TRUE(saved.Save(&file));
    EXPECT_EQ(file.GetLength(), 4 + 5 * 8);
    ASSERT_TRUE(file.Rewind());
    SizeArray loaded;
    loaded.SetCount(9);
    loaded.Load(&file);
    EXPECT_TRUE(file.LastOk());
    ASSERT_EQ(loaded.GetCount(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(loaded.ElementAt(i)->width, i * 3);
        EXPECT_EQ(loaded.ElementAt(i)->height, -i);
        EXPECT_EQ(loaded.ElementAt(i)->At(0), i * 3) << "each element views its own fields";
    }
}

TEST(VMClassArray, LoadRefusesBadCounts) {
    struct Case {
        const char* name;
        std::vector<unsigned char> bytes;
        bool lastOk;
        Keys_ keys;
    };
    const Case cases[] = {
        {"count -1", {0xFF, 0xFF, 0xFF, 0xFF}, false, {4, 5}},
        {"count INT32_MIN", {0, 0, 0, 0x80}, false, {4, 5}},
        {"count too large for any block", {0xFF, 0xFF, 0xFF, 0x7F}, false, {4, 5}},
        {"count 0", {0, 0, 0, 0}, true, {}},
        {"short count", {1, 0}, false, {}},
        {"elements missing", {2, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0}, false, {7, 0}},
        {"one element", {1, 0, 0, 0, 7, 0, 0, 0, 1, 0, 0, 0}, true, {7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LifetimeCheck lives;
        LimitedArray a;
        Fill(a, {4, 5});
        const int requests = a.requests;
        BVMemoryFile file;
        ASSERT_TRUE(file.Attach(c.bytes.data(), 0, static_cast<std::uint32_t>(c.bytes.size())));
        a.Load(&file);
        EXPECT_EQ(file.LastOk(), c.lastOk);
        EXPECT_EQ(Keys(a), c.keys);
        EXPECT_LE(a.requests - requests, 1);
    }
}

TEST(VMClassArray, LoadWithClearedLastOkReadsNothing) {
    const unsigned char bytes[] = {1, 0, 0, 0};
    BVMemoryFile file;
    ASSERT_TRUE(file.Attach(bytes, 0, 2));
    file.ReadInt32LE(0); // falls short
    CountedArray a;
    Fill(a, {3});
    a.Load(&file);
    EXPECT_EQ(Keys(a), (Keys_{3}));
    EXPECT_FALSE(file.LastOk());
}

TEST(VMClassArray, SaveStopsAtTheFirstFailedWrite) {
    BVFile closed; // no transport: every write fails
    CountedArray a;
    Fill(a, {1});
    EXPECT_FALSE(a.Save(&closed));
    EXPECT_FALSE(a.Save(nullptr));
}

} // namespace
