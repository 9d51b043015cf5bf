// The reference-counting branch of the value classes, on a value of the
// test's own that records its Destroy and the values assigned to it.
#include "values/VMValue.h"

#include "support/SlotPin.h"

#include <gtest/gtest.h>

namespace {

using slot_pin::Slot;

class Probe final : public VMValue {
  public:
    explicit Probe(int* destroyed) : destroyed_(destroyed) {}
    void Destroy() override {
        ++*destroyed_;
        delete this;
    }
    void AssignValue(const VMString*) override {}
    bool Assign(const VMBase* other) override {
        assigned = other;
        return true;
    }
    std::uint32_t GetTypeId() const override { return 0x7E57; }
    bool IsKindOf(std::uint32_t id) const override { return id == 0x7E57; }

    const VMBase* assigned = nullptr;

  private:
    ~Probe() override = default;
    int* destroyed_;
};

TEST(VMValueSlots, CountingBranchContinuesVMBase) {
    const slot_pin::SlotCase cases[] = {
        {Slot(&VMValue::Destroy), 16, "Destroy"},
        {Slot(&VMValue::IsSame), 21, "IsSame"},
        {Slot(&VMValue::AddRef), 22, "AddRef"},
        {Slot(&VMValue::Release), 23, "Release"},
        {Slot(&VMValue::DestroyIfUnreferenced), 24, "DestroyIfUnreferenced"},
        {Slot(&VMValue::AssignAndRelease), 25, "AssignAndRelease"},
        {Slot(&VMValue::Retain), 28, "Retain"},
        {Slot(&VMValue::AssignValue), 30, "AssignValue"},
        {Slot(&VMValue::Reserved33), 33, "Reserved33"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.slot, c.expected) << c.name;
}

TEST(VMValue, TheLastReleaseDestroys) {
    int destroyed = 0;
    Probe* v = new Probe(&destroyed);
    EXPECT_EQ(v->RefCount(), 1);
    EXPECT_EQ(v->Retain(), v);
    v->AddRef();
    EXPECT_EQ(v->RefCount(), 3);
    v->DestroyIfUnreferenced(); // still referenced
    v->Release();
    v->Release();
    EXPECT_EQ(destroyed, 0);
    v->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(VMValue, AssignAndReleaseReleasesOnlyACountedValue) {
    int destroyed = 0;
    Probe* target = new Probe(&destroyed);
    Probe* source = new Probe(&destroyed);
    target->AssignAndRelease(source); // source's last reference: it goes
    EXPECT_EQ(target->assigned, source);
    EXPECT_EQ(destroyed, 1);

    struct Plain final : VMBase {
        std::uint32_t GetTypeId() const override { return 1; }
        bool IsKindOf(std::uint32_t) const override { return false; }
    } plain;
    target->AssignAndRelease(&plain); // not counted: left to its owner
    EXPECT_EQ(target->assigned, &plain);
    EXPECT_TRUE(target->IsSame(target));
    EXPECT_FALSE(target->IsSame(&plain));
    target->Release();
    EXPECT_EQ(destroyed, 2);
}

} // namespace
