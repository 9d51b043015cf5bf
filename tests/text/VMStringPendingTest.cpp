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

const std::uint8_t* U(const char* p) {
    return reinterpret_cast<const std::uint8_t*>(p);
}

// True while the text is what it was: the editing placeholders do nothing.
bool Same(const Subjects& x) {
    return Str(*x.s) == kText;
}

// True for a new object holding a null text (taken over and released).
bool NullObject(VMString* result) {
    Text owned(result);
    return owned != nullptr && owned->IsNull();
}

template <class T> bool Unparsed(T got, int error) {
    return got == T(7) && error == 1;
}

#define EDIT(slot, call)                                                                           \
    {                                                                                              \
        slot, [](Subjects& x) {                                                                    \
            x.s->call;                                                                             \
            return Same(x);                                                                        \
        }                                                                                          \
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
        EDIT(68, AppendBytes(U("x"), 1, 0)),
        EDIT(69, AppendFill('x', 2)),
        EDIT(70, AppendByte('x')),
        EDIT(71, AppendUInt16(1)),
        EDIT(72, AppendInt32(1)),
        EDIT(73, AppendUInt32(1)),
        EDIT(74, AppendCString("x")),
        EDIT(75, AppendText(x.other.get())),
        EDIT(76, AppendSub(x.other.get(), 0, 1)),
        EDIT(77, AppendIndentedBytes(1, "x", 1, 0)),
        EDIT(78, AppendIndentedCString(1, "x")),
        EDIT(79, AppendIndentedText(1, x.other.get())),
        EDIT(80, AssignBytesWithByte("x", 1, 'y', 0)),
        EDIT(81, AssignCStringWithByte("x", 'y')),
        EDIT(82, AssignTextWithByte(x.other.get(), 'y')),
        EDIT(83, AssignConcatBytes("x", 1, U("y"), 1, 0, 0)),
        EDIT(84, AssignConcatCStrings("x", "y")),
        EDIT(85, AssignConcatTextCString(x.other.get(), "y")),
        EDIT(86, AssignConcatCStringText("x", x.other.get())),
        EDIT(87, AssignConcatText(x.other.get(), x.other.get())),
        EDIT(88, InsertFill(0, 'x', 1)),
        EDIT(89, InsertByte(0, 'x')),
        EDIT(90, InsertUInt16(0, 1)),
        EDIT(91, InsertInt32(0, 1)),
        EDIT(92, InsertUInt32(0, 1)),
        EDIT(93, InsertBytes(0, U("x"), 1, 0)),
        EDIT(94, InsertCString(0, "x")),
        EDIT(95, InsertText(0, x.other.get())),
        EDIT(96, InsertAtLineBytes(1, U("x"), 1, 0)),
        EDIT(97, InsertAtLineCString(1, "x")),
        EDIT(98, InsertAtLineText(1, x.other.get())),
        EDIT(99, OverwriteBytes(0, U("x"), 1, 0)),
        EDIT(100, OverwriteCString(0, "x")),
        EDIT(101, OverwriteText(1, x.other.get())),
        EDIT(102, Delete(0, 1)),
        EDIT(103, ReplaceChars(",", 'x')),
        EDIT(104, ReplaceCharsWithText(",", x.other.get())),
        EDIT(105, ReplaceLineBytes(1, U("x"), 1, 0)),
        EDIT(106, ReplaceLineCString(1, "x")),
        EDIT(107, ReplaceLineText(1, x.other.get())),
        PARSE(168, ToInt8(7, &error, false)),
        PARSE(169, ToUInt8(7, &error, false)),
        PARSE(170, ToInt16(7, &error, false)),
        PARSE(171, ToUInt16(7, &error, false)),
        PARSE(172, ToInt32(7, &error, false)),
        PARSE(173, ToUInt32(7, &error, false)),
        PARSE(174, ToInt64(7, &error, false)),
        PARSE(175, ToUInt64(7, &error, false)),
        PARSE(176, ToFloat(7.0f, &error)),
        PARSE(177, ToDouble(7.0, &error)),
        RESULT(178, NullObject(x.path->FileTitle(false))),
        RESULT(179, NullObject(x.path->FileExtension())),
        RESULT(180, NullObject(x.path->DirectoryWithSeparator(false))),
        RESULT(181, NullObject(x.path->Directory(false))),
        RESULT(182, x.s->HashNoCase() == 0),
        RESULT(183, x.s->ShortCode() == 0),
        RESULT(184, x.num->IntAfterPrefix("1") == 0),
    };
    return probes;
}

#undef EDIT
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
