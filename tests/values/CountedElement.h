// An element type for the container tests that counts its lives: every
// construction (default or copy) must be matched by exactly one destruction.
// Its key is one int; tag travels with the value and tells equal keys apart.
#pragma once

#include "file/BVFile.h"
#include "values/VMBase.h"

#include <cstdint>

class Counted : public VMBase {
  public:
    static constexpr std::uint32_t kTypeId = 0x7E57C0DE;
    static inline int constructed = 0;
    static inline int destroyed = 0;
    static void ResetCounts() { constructed = destroyed = 0; }
    static int Live() { return constructed - destroyed; }

    Counted() { ++constructed; }
    explicit Counted(int k, int t = 0) : key(k), tag(t) { ++constructed; }
    Counted(const Counted& o) : VMBase(o), key(o.key), tag(o.tag) { ++constructed; }
    Counted& operator=(const Counted&) = default;
    ~Counted() override {
        ++destroyed;
        key = tag = -12345; // a destroyed element read later stands out
    }

    bool Assign(const VMBase* other) override {
        if (other != nullptr && other != this && other->IsKindOf(kTypeId))
            *this = *static_cast<const Counted*>(other);
        return true;
    }
    std::uint32_t GetTypeId() const override { return kTypeId; }
    bool IsKindOf(std::uint32_t id) const override { return id == kTypeId; }
    std::int32_t GetInt() const override { return key; }
    std::int64_t GetInt64() const override { return std::int64_t{key} * 1000000007; }
    double GetDouble() const override { return key / 4.0; }
    std::int32_t Compare(const VMBase* other) const override {
        if (other == nullptr)
            return -1;
        const int k = static_cast<const Counted*>(other)->key;
        return key < k ? -1 : key > k ? 1 : 0;
    }
    bool Equals(const VMBase* other) const override {
        return other != nullptr && other->IsKindOf(kTypeId) &&
               static_cast<const Counted*>(other)->key == key;
    }
    void Load(BVFile* file) override {
        key = file->ReadInt32LE(0);
        tag = file->ReadInt32LE(0);
    }
    bool Save(BVFile* file) const override {
        return file->WriteInt32(key) && file->WriteInt32(tag);
    }

    int key = 0;
    int tag = 0;
};
