// VMSize: a width/height pair, seen as a two-element VMIntSeq over its own
// fields. A copy points its view at its own width, never at the source's.
// On file: width then height, little-endian int32 each.
#pragma once

#include "values/VMIntSeq.h"

class VMSize : public VMIntSeq {
  public:
    VMSize() : VMIntSeq(&width, 0, 2) {}
    VMSize(std::int32_t w, std::int32_t h) : VMIntSeq(&width, 0, 2), width(w), height(h) {}
    VMSize(const VMSize& other) : VMSize(other.width, other.height) {}
    VMSize& operator=(const VMSize& other) {
        width = other.width;
        height = other.height;
        return *this;
    }

    ~VMSize() override;                                 // 0
    bool Assign(const VMBase* other) override;          // 1: copies a VMSize's pair; true
    std::uint32_t GetTypeId() const override;           // 2
    bool IsKindOf(std::uint32_t typeId) const override; // 3: VMSize or VMIntSeq

    std::int32_t width = 0;
    std::int32_t height = 0;
};
