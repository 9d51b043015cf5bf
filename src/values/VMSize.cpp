#include "values/VMSize.h"

VMSize::~VMSize() = default;

// Callers hand only VMSize objects here; anything else is ignored rather than
// read as one.
bool VMSize::Assign(const VMBase* other) {
    if (other != nullptr && other != this && other->IsKindOf(TypeIdSize))
        *this = *static_cast<const VMSize*>(other);
    return true;
}

std::uint32_t VMSize::GetTypeId() const {
    return TypeIdSize;
}

bool VMSize::IsKindOf(std::uint32_t typeId) const {
    return typeId == TypeIdSize || typeId == TypeIdIntSeq;
}
