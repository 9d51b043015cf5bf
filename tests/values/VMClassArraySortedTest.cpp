// Sorted insertions, interpolation and binary searches, and the selection
// sorts, over tables of key sequences and generated ones checked against the
// standard algorithms.
#include "ArrayTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace {

using Keys_ = std::vector<int>;

// Key function that reads the keys of a table by element tag, so tests can
// give any key to any element.
std::int32_t TagKey(const Counted* e, void* ud) {
    return (*static_cast<const Keys_*>(ud))[static_cast<size_t>(e->tag)];
}

enum class Variant { Int32, Int64, Double };

int InsertOne(CountedArray& a, const Counted& c, bool ascending, Variant v) {
    switch (v) {
    case Variant::Int32:
        return a.InsertSorted(&c, ascending, nullptr, nullptr);
    case Variant::Int64:
        return a.InsertSorted64(&c, ascending, nullptr, nullptr);
    case Variant::Double:
        return a.InsertSortedDouble(&c, ascending, nullptr, nullptr);
    }
    return -1;
}

// Inserting keys one by one must give a stable sort of them: equal keys keep
// their order of insertion.
void CheckSortedInsertion(const Keys_& keys, bool ascending, Variant v) {
    LifetimeCheck lives;
    CountedArray a;
    for (size_t i = 0; i < keys.size(); ++i) {
        const Counted c(keys[i], static_cast<int>(i));
        const int at = InsertOne(a, c, ascending, v);
        ASSERT_GE(at, 0);
        ASSERT_EQ(a.ElementAt(at)->tag, static_cast<int>(i)) << "returned index of insertion " << i;
    }
    std::vector<std::pair<int, int>> expected;
    for (size_t i = 0; i < keys.size(); ++i)
        expected.emplace_back(keys[i], static_cast<int>(i));
    std::stable_sort(expected.begin(), expected.end(), [ascending](const auto& x, const auto& y) {
        return ascending ? x.first < y.first : x.first > y.first;
    });
    std::vector<std::pair<int, int>> got;
    for (int i = 0; i < a.GetCount(); ++i)
        got.emplace_back(a.ElementAt(i)->key, a.ElementAt(i)->tag);
    EXPECT_EQ(got, expected);
}

std::vector<Keys_> KeyTables() {
    std::vector<Keys_> tables = {
        {5, 1, 3, 3, 9}, // the second 3 goes after the first
        {},
        {4},
        {4, 4},
        {2, 1},
        {7, 7, 7, 7, 7, 7},
        {1, 2, 3, 4, 5, 6, 7, 8}, // always appended
        {8, 7, 6, 5, 4, 3, 2, 1}, // always at the front
        {1, 100, 2, 99, 3, 98, 50, 50, 51},
        {0, 1000000, 1, 999999, 500000, 2, 3}, // guesses at either end
        {-5, 3, -5, 0, INT32_MIN, INT32_MAX, -1, INT32_MAX, INT32_MIN},
    };
    Lcg rng{7};
    for (int range : {3, 50, 100000}) {
        Keys_ keys;
        for (int i = 0; i < 60; ++i)
            keys.push_back(rng.Next(range) - range / 3);
        tables.push_back(keys);
    }
    return tables;
}

TEST(VMClassArraySorted, InsertSortedKeepsAStableOrder) {
    for (Variant v : {Variant::Int32, Variant::Int64, Variant::Double}) {
        for (bool ascending : {true, false}) {
            for (const Keys_& keys : KeyTables()) {
                SCOPED_TRACE(testing::Message()
                             << "variant " << static_cast<int>(v)
                             << (ascending ? " ascending" : " descending") << ", " << keys.size()
                             << " keys starting " << (keys.empty() ? 0 : keys[0]));
                CheckSortedInsertion(keys, ascending, v);
            }
        }
    }
}

TEST(VMClassArraySorted, InsertSortedWithKeyFunction) {
    const Keys_ keys = {5, 1, 3, 3, 9};
    CountedArray a;
    for (int i = 0; i < 5; ++i) {
        const Counted c(0, i);
        a.InsertSorted(&c, true, TagKey, const_cast<Keys_*>(&keys));
    }
    EXPECT_EQ(Tags(a), (Keys_{1, 2, 3, 0, 4}));
}

// 64-bit keys whose differences do not fit in 64 bits still give sorted order.
TEST(VMClassArraySorted, InsertSorted64ExtremeKeys) {
    const std::vector<std::int64_t> keys = {
        0, INT64_MAX, INT64_MIN, -1, INT64_MAX - 1, INT64_MIN + 1, 5, INT64_MIN, 3};
    auto key64 = [](const Counted* e, void* ud) {
        return (*static_cast<const std::vector<std::int64_t>*>(ud))[static_cast<size_t>(e->tag)];
    };
    CountedArray a;
    for (size_t i = 0; i < keys.size(); ++i) {
        const Counted c(0, static_cast<int>(i));
        a.InsertSorted64(&c, true, key64, const_cast<std::vector<std::int64_t>*>(&keys));
    }
    for (int i = 1; i < a.GetCount(); ++i)
        EXPECT_LE(keys[a.ElementAt(i - 1)->tag], keys[a.ElementAt(i)->tag]) << "at " << i;
}

TEST(VMClassArraySorted, InsertAllSortedVariants) {
    CountedArray src;
    Fill(src, {4, 2, 8});
    CountedArray a;
    Fill(a, {1, 5});
    EXPECT_TRUE(a.InsertAllSorted(&src, true, nullptr, nullptr));
    EXPECT_EQ(Keys(a), (Keys_{1, 2, 4, 5, 8}));
    EXPECT_TRUE(a.InsertAllSortedIfAbsent(&src, true, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(a.GetCount(), 5);
    src.ElementAt(0)->tag = 42;
    EXPECT_TRUE(a.InsertAllSortedOrReplace(&src, true, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(a.ElementAt(2)->tag, 42);
    EXPECT_TRUE(a.InsertAllSorted64(&src, true, nullptr, nullptr));
    EXPECT_TRUE(a.InsertAllSortedDouble(&src, true, nullptr, nullptr));
    EXPECT_EQ(Keys(a), (Keys_{1, 2, 2, 2, 4, 4, 4, 5, 8, 8, 8}));
    EXPECT_TRUE(a.InsertAllSorted64IfAbsent(&src, true, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(a.InsertAllSortedDoubleIfAbsent(&src, true, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(a.InsertAllSorted64OrReplace(&src, true, nullptr, nullptr, nullptr, nullptr));
    EXPECT_TRUE(a.InsertAllSortedDoubleOrReplace(&src, true, nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(a.GetCount(), 11);
    EXPECT_TRUE(a.InsertAllSorted(nullptr, true, nullptr, nullptr));
    EXPECT_FALSE(a.InsertAllSorted(&a, true, nullptr, nullptr)) << "not into itself";
    const Counted three(3);
    EXPECT_EQ(a.InsertSorted64IfAbsent(&three, true, nullptr, nullptr, nullptr, nullptr), 4);
    EXPECT_EQ(a.InsertSortedDoubleOrReplace(&three, true, nullptr, nullptr, nullptr, nullptr), 4);
}

// InsertSortedKey opens a default element for the caller to fill, ordering
// keys as unsigned; after an interpolated search an existing key is found
// instead of added.
TEST(VMClassArraySorted, InsertSortedKeyUnsignedAndFindsExisting) {
    CountedArray a;
    auto insert = [&a](int key) {
        const int before = a.GetCount();
        const int at = a.InsertSortedKey(key, true, nullptr, nullptr);
        if (at >= 0 && a.GetCount() > before)
            a.ElementAt(at)->key = key; // the caller fills the opened place
        return at;
    };
    EXPECT_EQ(insert(10), 0);
    EXPECT_EQ(insert(30), 1);
    EXPECT_EQ(insert(-1), 2) << "0xFFFFFFFF is the largest unsigned key";
    EXPECT_EQ(insert(20), 1);
    EXPECT_EQ(Keys(a), (Keys_{10, 20, 30, -1}));
    EXPECT_EQ(a.GetCount(), 4);
    EXPECT_EQ(insert(20), 1) << "found by the interpolated search";
    EXPECT_EQ(insert(30), 2);
    EXPECT_EQ(a.GetCount(), 4);
    EXPECT_EQ(insert(10), 0) << "the guess walks down to the first element";
    EXPECT_EQ(insert(5), 0);
    EXPECT_EQ(Keys(a), (Keys_{5, 10, 20, 30, -1}));

    // Without an interpolated search (two elements) an equal key is added.
    CountedArray two;
    Fill(two, {10, 30});
    EXPECT_EQ(two.InsertSortedKey(10, true, nullptr, nullptr), 1);
    EXPECT_EQ(two.GetCount(), 3);
    EXPECT_EQ(two.InsertSortedKey(30, true, nullptr, nullptr), 3) << "appended after the last";
}

// --- searches ----------------------------------------------------------------------

struct SearchCase {
    Keys_ keys;
    bool ascending;
    int key;
    int interpolation; // FindSortedKey
    int binary;        // BinarySearchKey
};

TEST(VMClassArraySorted, SearchTables) {
    const SearchCase cases[] = {
        {{1, 2, 3, 10}, true, 10, 3, 3},
        {{1, 2, 3, 10}, true, 3, 2, 2},
        {{1, 2, 3, 10}, true, 4, -1, -1},
        {{1, 2, 3, 10}, true, 0, -1, -1},
        {{1, 2, 3, 10}, true, 11, -1, -1},
        {{5, 5, 5, 6}, true, 6, 3, 3},
        {{5, 5, 5, 6}, true, 5, 1, 0}, // the guess is 0, raised to 1; walking down finds 1
        {{}, true, 1, -1, -1},
        {{7}, true, 7, 0, 0},
        {{7}, true, 8, -1, -1},
        {{3, 9}, true, 3, 0, 0},
        {{3, 9}, true, 9, 1, 1},
        {{3, 9}, true, 5, -1, -1},
        {{10, 3, 2, 1}, false, 1, 3, 3},
        {{10, 3, 2, 1}, false, 3, 1, 1},
        {{10, 3, 2, 1}, false, 10, 0, 0},
        {{10, 3, 2, 1}, false, 4, -1, -1},
        {{10, 3, 2, 1}, false, 11, -1, -1},
        {{9, 3}, false, 3, 1, 1},
        {{1, 2, 3, 1000}, true, 2, 1, 1},            // guess at the low end
        {{1, 997, 998, 999, 1000}, true, 998, 2, 2}, // guess at the high end
        {{1, 2, -5, -1}, true, -1, 3, 3},            // unsigned order: -5 and -1 are the largest
        {{1, 2, -5, -1}, true, -3, -1, -1},
        {{1, 1, 1, 1, 1}, true, 1, 1, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "key " << c.key << " in " << testing::PrintToString(c.keys)
                     << (c.ascending ? " ascending" : " descending"));
        CountedArray a;
        Fill(a, c.keys);
        EXPECT_EQ(a.FindSortedKey(c.key, c.ascending, nullptr, nullptr), c.interpolation);
        EXPECT_EQ(a.BinarySearchKey(c.key, c.ascending, nullptr, nullptr), c.binary);
    }
}

// Over generated sorted arrays both searches find a present key (any of its
// equal copies) and report an absent one as -1.
TEST(VMClassArraySorted, SearchesAgreeWithTheKeys) {
    Lcg rng{99};
    for (int round = 0; round < 200; ++round) {
        const int n = rng.Next(12);
        const int range = 1 + rng.Next(round % 2 == 0 ? 30 : 100000);
        const bool ascending = rng.Next(2) == 0;
        Keys_ keys;
        for (int i = 0; i < n; ++i)
            keys.push_back(rng.Next(range));
        std::sort(keys.begin(), keys.end());
        if (!ascending)
            std::reverse(keys.begin(), keys.end());
        const bool unique = std::adjacent_find(keys.begin(), keys.end()) == keys.end();
        CountedArray a;
        Fill(a, keys);
        for (int probe = -1; probe <= range; probe += 1 + range / 40) {
            SCOPED_TRACE(testing::Message() << "round " << round << " key " << probe);
            const bool present = std::find(keys.begin(), keys.end(), probe) != keys.end();
            const int i = a.FindSortedKey(probe, ascending, nullptr, nullptr);
            if (present) {
                ASSERT_GE(i, 0);
                EXPECT_EQ(keys[static_cast<size_t>(i)], probe);
            } else {
                EXPECT_EQ(i, -1);
            }
            if (unique) {
                const int b = a.BinarySearchKey(probe, ascending, nullptr, nullptr);
                EXPECT_EQ(b, present ? i : -1);
            }
        }
    }
}

// --- selection sorts --------------------------------------------------------------

TEST(VMClassArraySorted, SortByKeys) {
    Lcg rng{3};
    for (int round = 0; round < 40; ++round) {
        Keys_ keys;
        const int n = rng.Next(15);
        for (int i = 0; i < n; ++i)
            keys.push_back(rng.Next(20) - 10);
        for (bool ascending : {true, false}) {
            SCOPED_TRACE(testing::Message() << "round " << round << (ascending ? " up" : " down"));
            CountedArray a;
            Fill(a, keys);
            a.SortByKey64(ascending, nullptr, nullptr);
            Keys_ expected = keys;
            std::sort(expected.begin(), expected.end());
            if (!ascending)
                std::reverse(expected.begin(), expected.end());
            EXPECT_EQ(Keys(a), expected);
            Fill(a, keys);
            a.SortByKeyDouble(ascending, nullptr, nullptr);
            EXPECT_EQ(Keys(a), expected);
            Fill(a, keys);
            a.SortByCompare(ascending, nullptr, nullptr);
            EXPECT_EQ(Keys(a), expected);
            // int32 keys are ordered as unsigned: negative keys come last.
            Keys_ unsignedOrder = keys;
            std::sort(unsignedOrder.begin(), unsignedOrder.end(), [ascending](int x, int y) {
                return ascending ? static_cast<unsigned>(x) < static_cast<unsigned>(y)
                                 : static_cast<unsigned>(x) > static_cast<unsigned>(y);
            });
            Fill(a, keys);
            a.SortByKey(ascending, nullptr, nullptr);
            EXPECT_EQ(Keys(a), unsignedOrder);
        }
    }
}

TEST(VMClassArraySorted, SortRangesAndNaN) {
    CountedArray a;
    Fill(a, {9, 8, 7, 6, 5});
    a.SortByKey(true, nullptr, nullptr, 1, 3);
    EXPECT_EQ(Keys(a), (Keys_{9, 6, 7, 8, 5}));
    a.SortByKey(true, nullptr, nullptr, -4, 99);
    EXPECT_EQ(Keys(a), (Keys_{5, 6, 7, 8, 9})) << "range limited to the array";

    // A NaN key is never chosen over another, so it stays where the
    // selection leaves it rather than scrambling the pass.
    auto nanFor7 = [](const Counted* e, void*) {
        return e->key == 7 ? std::nan("") : e->key * 1.0;
    };
    Fill(a, {3, 7, 1, 2});
    a.SortByKeyDouble(true, nanFor7, nullptr);
    EXPECT_EQ(Keys(a), (Keys_{1, 7, 2, 3}));

    // Sizes compare equal whatever their values: sorting them by Compare
    // changes nothing.
    VMClassArray<VMSize, VMSize&> sizes;
    for (int w : {3, 1, 2}) {
        const VMSize s(w, 0);
        sizes.Add(&s);
    }
    sizes.SortByCompare(true, nullptr, nullptr);
    EXPECT_EQ(sizes.ElementAt(0)->width, 3);
    EXPECT_EQ(sizes.ElementAt(2)->width, 2);
}

} // namespace
