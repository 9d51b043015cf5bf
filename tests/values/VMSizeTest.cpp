#include "values/VMSize.h"

#include "file/BVMemoryFile.h"
#include "support/SlotPin.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

using slot_pin::Slot;

// A value that is not a VMSize, for the type checks.
class OtherValue : public VMBase {
  public:
    std::uint32_t GetTypeId() const override { return TypeIdString; }
    bool IsKindOf(std::uint32_t id) const override { return id == TypeIdString; }
};

class AddsOne : public VMSize {
  public:
    virtual void Extra() {}
};

TEST(VMValueSlots, FixedOrder) {
    const slot_pin::SlotCase cases[] = {
        {Slot(&VMBase::Assign), 1, "Assign"},
        {Slot(&VMBase::GetTypeId), 2, "GetTypeId"},
        {Slot(&VMBase::IsKindOf), 3, "IsKindOf"},
        {Slot(&VMBase::Reserved4), 4, "Reserved4"},
        {Slot(&VMBase::Reserved5), 5, "Reserved5"},
        {Slot(&VMBase::Reserved6), 6, "Reserved6"},
        {Slot(&VMBase::Reserved7), 7, "Reserved7"},
        {Slot(&VMBase::GetInt), 8, "GetInt"},
        {Slot(&VMBase::GetInt64), 9, "GetInt64"},
        {Slot(&VMBase::Reserved10), 10, "Reserved10"},
        {Slot(&VMBase::GetDouble), 11, "GetDouble"},
        {Slot(&VMBase::Compare), 12, "Compare"},
        {Slot(&VMBase::Equals), 13, "Equals"},
        {Slot(&VMBase::Load), 14, "Load"},
        {Slot(&VMBase::Save), 15, "Save"},
        {Slot(&VMIntSeq::SetInts), 16, "SetInts"},
        {Slot(&VMIntSeq::SetFloats), 17, "SetFloats"},
        {Slot(&VMIntSeq::SetDoubles), 18, "SetDoubles"},
        {Slot(&AddsOne::Extra), 19, "first slot after VMSize's"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.slot, c.expected) << c.name;
}

TEST(VMSize, TypeIds) {
    VMSize size;
    EXPECT_EQ(size.GetTypeId(), 0xDB9F07F5u);
    EXPECT_TRUE(size.IsKindOf(0xDB9F07F5u));
    EXPECT_TRUE(size.IsKindOf(0x61E7C26Fu));
    EXPECT_FALSE(size.IsKindOf(0xCA007951u));
    EXPECT_FALSE(size.IsKindOf(0));
}

TEST(VMSize, InheritedBaseBehaviour) {
    VMSize a(3, 4);
    VMSize b(7, 8);
    EXPECT_EQ(a.Compare(nullptr), -1);
    EXPECT_EQ(a.Compare(&b), 0) << "any object compares equal, whatever its value";
    EXPECT_EQ(a.GetInt(), 0);
    EXPECT_EQ(a.GetInt64(), 0);
    EXPECT_EQ(a.GetDouble(), 0.0);
    EXPECT_EQ(a.Reserved4(9), 0);
    EXPECT_FALSE(a.Reserved5());
    EXPECT_EQ(a.Reserved6(), 0);
    EXPECT_EQ(a.Reserved10(), 0);
}

TEST(VMSize, Equals) {
    VMSize a(3, 4);
    VMSize same(3, 4);
    VMSize other(3, 5);
    OtherValue text;
    EXPECT_TRUE(a.Equals(&same));
    EXPECT_TRUE(a.Equals(&a));
    EXPECT_FALSE(a.Equals(&other));
    EXPECT_FALSE(a.Equals(&text));
    EXPECT_FALSE(a.Equals(nullptr));
}

TEST(VMSize, CopiesViewTheirOwnFields) {
    VMSize a(3, 4);
    VMSize copy(a);
    a.width = 99;
    EXPECT_EQ(copy.At(0), 3) << "a copy's view must not follow the source";
    copy = a;
    a.height = 77;
    EXPECT_EQ(copy.At(1), 4);
    EXPECT_EQ(copy.Count(), 2);
}

TEST(VMSize, AssignCopiesOnlyFromAVMSize) {
    VMSize a(1, 2);
    VMSize b(5, 6);
    OtherValue text;
    EXPECT_TRUE(a.Assign(&b));
    EXPECT_EQ(a.width, 5);
    EXPECT_EQ(a.height, 6);
    EXPECT_TRUE(a.Assign(nullptr));
    EXPECT_TRUE(a.Assign(&a));
    EXPECT_TRUE(a.Assign(&text)) << "something else is not read as a size";
    EXPECT_EQ(a.width, 5);
}

TEST(VMSize, SetIntsFloatsDoubles) {
    const int ints[] = {10, 20, 30, 40, 50};
    VMSize s;
    EXPECT_EQ(s.SetInts(ints, 1, 5), 2);
    EXPECT_EQ(s.width, 20);
    EXPECT_EQ(s.height, 30);
    EXPECT_EQ(s.SetInts(ints, 0, 1), 1);
    EXPECT_EQ(s.width, 10);
    EXPECT_EQ(s.height, 30);
    EXPECT_EQ(s.SetInts(ints, 0, 0), 0);
    EXPECT_EQ(s.SetInts(ints, 0, -3), 0);
    EXPECT_EQ(s.SetInts(nullptr, 0, 2), 0);

    const float floats[] = {2.9f, -2.9f};
    EXPECT_EQ(s.SetFloats(floats, 0, 2), 2);
    EXPECT_EQ(s.width, 2);
    EXPECT_EQ(s.height, -2);

    // Values without an int32 form come out as the platform gives them.
    const double doubles[] = {std::nan(""), 3e9, -3e9, 2147483647.9, -2147483648.9};
    EXPECT_EQ(s.SetDoubles(doubles, 0, 2), 2);
    EXPECT_EQ(s.width, INT32_MIN);
    EXPECT_EQ(s.height, INT32_MIN);
    s.SetDoubles(doubles, 2, 2);
    EXPECT_EQ(s.width, INT32_MIN);
    EXPECT_EQ(s.height, INT32_MAX);
    s.SetDoubles(doubles, 4, 1);
    EXPECT_EQ(s.width, INT32_MIN);
}

TEST(VMSize, SaveLoadRoundTrip) {
    BVMemoryFile file;
    ASSERT_TRUE(file.Create(16, false));
    const VMSize saved(-3, 70000);
    ASSERT_TRUE(saved.Save(&file));
    EXPECT_EQ(file.GetLength(), 8);
    ASSERT_TRUE(file.Rewind());
    VMSize loaded;
    loaded.Load(&file);
    EXPECT_TRUE(file.LastOk());
    EXPECT_EQ(loaded.width, -3);
    EXPECT_EQ(loaded.height, 70000);
}

TEST(VMSize, LoadFromShortFileStopsAtTheGap) {
    const unsigned char bytes[] = {5, 0, 0, 0};
    BVMemoryFile file;
    ASSERT_TRUE(file.Attach(bytes, 0, sizeof bytes));
    VMSize s(9, 9);
    s.Load(&file);
    EXPECT_FALSE(file.LastOk());
    EXPECT_EQ(s.width, 5);
    EXPECT_EQ(s.height, 0);

    // A file whose lastOk is already clear loads nothing.
    VMSize untouched(1, 1);
    untouched.Load(&file);
    EXPECT_EQ(untouched.width, 1);
    EXPECT_EQ(untouched.height, 1);
}

TEST(VMBase, PlainValueCannotBeLoadedOrSaved) {
    const unsigned char bytes[] = {1, 2, 3, 4};
    BVMemoryFile file;
    ASSERT_TRUE(file.Attach(bytes, 0, sizeof bytes));
    OtherValue v;
    EXPECT_TRUE(file.LastOk());
    v.Load(&file);
    EXPECT_FALSE(file.LastOk());
    EXPECT_EQ(file.GetPosition(), 0) << "nothing was consumed";
    EXPECT_FALSE(v.Save(&file));
    EXPECT_TRUE(v.Equals(&v));
    EXPECT_FALSE(v.Assign(&v));
}

} // namespace
