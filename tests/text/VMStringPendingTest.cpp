// The placeholders of VMStringPending.cpp, listed and probed.
//
// Each probe calls one pending slot on inputs where the real operation gives
// a different answer than the placeholder, and is true while the placeholder
// answers. When a family is built its probes fail here, naming the rows to
// remove from kVMStringPendingSlots (and the probes to drop), so the list
// never claims a slot that is done, nor hides one that is not.
#include "text/VMStringPending.h"

#include "VMStringTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <map>
#include <string>

namespace {

const char kText[] = " a,B\\n\\\"\n"; // space a , B \ n \ " LF

struct Subjects {
    Text s = MakeText(kText);
    Text other = MakeText(" a");
    Text sjis = MakeBytes("\x82\xa0");
    Text num = MakeText("12");
    Text path = MakeText("d\\n.e");
};

using Probe = std::function<bool(Subjects&)>;

// True for a new object holding a null text (taken over and released).
[[maybe_unused]] bool NullObject(VMString* result) {
    Text owned(result);
    return owned != nullptr && owned->IsNull();
}

template <class T> bool Unparsed(T got, int error) {
    return got == T(7) && error == 1;
}

#define RESULT(slot, expr)                                                                         \
    {                                                                                              \
        slot, [](Subjects& x) { return expr; }                                                     \
    }
#define PARSE(slot, call)                                                                          \
    {                                                                                              \
        slot, [](Subjects& x) {                                                                    \
            int error = 0;                                                                         \
            const auto got = x.num->call;                                                          \
            return Unparsed(got, error);                                                           \
        }                                                                                          \
    }

const std::map<int, Probe>& Probes() {
    static const std::map<int, Probe> probes = {
    };
    return probes;
}

#undef RESULT
#undef PARSE

TEST(VMStringPending, EveryListedSlotStillHoldsItsPlaceholder) {
    std::map<std::string, int> perFamily;
    for (int i = 0; i < kVMStringPendingCount; ++i) {
        const VMStringPendingSlot& row = kVMStringPendingSlots[i];
        ++perFamily[row.family];
        const auto probe = Probes().find(row.slot);
        ASSERT_NE(probe, Probes().end()) << "no probe for slot " << row.slot << " " << row.name;
        Subjects x;
        EXPECT_TRUE(probe->second(x))
            << "slot " << row.slot << " " << row.name << " (" << row.family
            << ") no longer answers as a placeholder: once built, remove its row from "
               "kVMStringPendingSlots and its probe here";
    }
    for (const auto& family : perFamily)
        std::printf("pending: %3d slots of %s\n", family.second, family.first.c_str());
}

TEST(VMStringPending, ListedSlotsLieAfterTheStorageOperations) {
    int previous = 65;
    for (int i = 0; i < kVMStringPendingCount; ++i) {
        EXPECT_GT(kVMStringPendingSlots[i].slot, previous) << "ascending and after slot 65";
        previous = kVMStringPendingSlots[i].slot;
    }
    EXPECT_LE(previous, 186);
    EXPECT_LE(Probes().size(), static_cast<std::size_t>(kVMStringPendingCount))
        << "a probe for a slot that is no longer listed";
}

} // namespace
