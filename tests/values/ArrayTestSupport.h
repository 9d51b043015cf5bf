// Helpers shared by the container tests: arrays built from key lists, an
// array whose allocations can be made to fail, and key readers.
#pragma once

#include "CountedElement.h"
#include "values/VMClassArray.h"

#include <gtest/gtest.h>

#include <vector>

using CountedArray = VMClassArray<Counted, Counted&>;

// Fails every allocation while failing is set; counts the requests it sees.
class LimitedArray : public CountedArray {
  public:
    void* AllocateBlock(int bytes) override {
        ++requests;
        lastBytes = bytes;
        return failing ? nullptr : CountedArray::AllocateBlock(bytes);
    }
    bool failing = false;
    int requests = 0;
    int lastBytes = 0;
};

inline void Fill(CountedArray& a, const std::vector<int>& keys) {
    a.SetCount(0);
    for (size_t i = 0; i < keys.size(); ++i) {
        const Counted c(keys[i], static_cast<int>(i));
        a.Add(&c);
    }
}

inline std::vector<int> Keys(CountedArray& a) {
    std::vector<int> keys;
    for (int i = 0; i < a.GetCount(); ++i)
        keys.push_back(a.ElementAt(i)->key);
    return keys;
}

inline std::vector<int> Tags(CountedArray& a) {
    std::vector<int> tags;
    for (int i = 0; i < a.GetCount(); ++i)
        tags.push_back(a.ElementAt(i)->tag);
    return tags;
}

// A small deterministic generator for the property-style tables.
struct Lcg {
    unsigned state;
    int Next(int range) {
        state = state * 1103515245u + 12345u;
        return static_cast<int>((state >> 8) % static_cast<unsigned>(range));
    }
};

// Counts lives over one test: every element made in the scope must be gone
// at its end.
struct LifetimeCheck {
    LifetimeCheck() { Counted::ResetCounts(); }
    ~LifetimeCheck() {
        EXPECT_EQ(Counted::constructed, Counted::destroyed)
            << "an element was leaked or freed twice";
    }
};
