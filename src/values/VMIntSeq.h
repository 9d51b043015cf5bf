// VMIntSeq: a view over a run of 32-bit integers.
//
// The sequence is values[first] ... values[first + count - 1]. The object does
// not own that storage; a derived class points the view at memory it keeps
// alive for as long as the object exists (VMSize points it at its own fields).
// On file a sequence is its elements as little-endian int32 values, no header.
#pragma once

#include "values/VMBase.h"

#include <cstdint>

class VMIntSeq : public VMBase {
  public:
    bool Equals(const VMBase* other) const override; // 13: same count and elements
    void Load(BVFile* file) override;                // 14: element by element while lastOk
    bool Save(BVFile* file) const override;          // 15: false at the first failed write

    // 16-18: copy the smaller of n and count values from src[index ...] into
    // the sequence; the number copied (0 for n <= 0 or no src). Floating
    // values are truncated toward zero; those outside the int32 range and NaN
    // become INT32_MIN, as the target platform's conversion gives them.
    virtual std::int32_t SetInts(const std::int32_t* src, std::int32_t index, std::int32_t n);
    virtual std::int32_t SetFloats(const float* src, std::int32_t index, std::int32_t n);
    virtual std::int32_t SetDoubles(const double* src, std::int32_t index, std::int32_t n);

    std::int32_t Count() const { return count; }
    std::int32_t At(std::int32_t i) const { return values[first + i]; }

  protected:
    VMIntSeq(std::int32_t* values, std::int32_t first, std::int32_t count)
        : values(values), first(first), count(count) {}
    // Copies keep their own view: a derived class re-points it.
    VMIntSeq(const VMIntSeq&) = default;
    VMIntSeq& operator=(const VMIntSeq&) { return *this; }

    std::int32_t* values;
    std::int32_t first;
    std::int32_t count;

  private:
    template <class Source>
    std::int32_t CopyIn(const Source* src, std::int32_t index, std::int32_t n);
};
