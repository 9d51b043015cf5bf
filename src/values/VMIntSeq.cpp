#include "values/VMIntSeq.h"

#include "file/BVFile.h"

#include <cmath>

namespace {

std::int32_t ToInt32(std::int32_t v) {
    return v;
}

// The platform's conversion yields INT32_MIN for values it cannot represent;
// in C++ such a conversion is undefined, so it is spelt out.
std::int32_t ToInt32(double v) {
    if (std::isnan(v) || v <= -2147483649.0 || v >= 2147483648.0)
        return INT32_MIN;
    return static_cast<std::int32_t>(v);
}

} // namespace

bool VMIntSeq::Equals(const VMBase* other) const {
    if (other == nullptr || !other->IsKindOf(TypeIdIntSeq))
        return false;
    const auto* seq = static_cast<const VMIntSeq*>(other);
    if (seq->count != count)
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        if (seq->At(i) != At(i))
            return false;
    }
    return true;
}

void VMIntSeq::Load(BVFile* file) {
    if (file == nullptr)
        return;
    for (std::int32_t i = 0; i < count && file->LastOk(); ++i)
        values[first + i] = file->ReadInt32LE(0);
}

bool VMIntSeq::Save(BVFile* file) const {
    if (file == nullptr)
        return false;
    for (std::int32_t i = 0; i < count; ++i) {
        if (!file->WriteInt32(At(i)))
            return false;
    }
    return true;
}

template <class Source>
std::int32_t VMIntSeq::CopyIn(const Source* src, std::int32_t index, std::int32_t n) {
    if (src == nullptr || n <= 0)
        return 0;
    const std::int32_t copied = n < count ? n : count;
    for (std::int32_t i = 0; i < copied; ++i)
        values[first + i] = ToInt32(src[index + i]);
    return copied;
}

std::int32_t VMIntSeq::SetInts(const std::int32_t* src, std::int32_t index, std::int32_t n) {
    return CopyIn(src, index, n);
}

std::int32_t VMIntSeq::SetFloats(const float* src, std::int32_t index, std::int32_t n) {
    return CopyIn(src, index, n);
}

std::int32_t VMIntSeq::SetDoubles(const double* src, std::int32_t index, std::int32_t n) {
    return CopyIn(src, index, n);
}
