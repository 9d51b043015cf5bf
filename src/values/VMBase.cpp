#include "values/VMBase.h"

#include "file/BVFile.h"

VMBase::~VMBase() = default;

bool VMBase::Assign(const VMBase*) {
    return false;
}
std::int32_t VMBase::Reserved4(std::int32_t) {
    return 0;
}
bool VMBase::Reserved5() {
    return false;
}
std::int32_t VMBase::Reserved6() {
    return 0;
}
void VMBase::Reserved7(std::int32_t) {}
std::int32_t VMBase::GetInt() const {
    return 0;
}
std::int64_t VMBase::GetInt64() const {
    return 0;
}
std::int32_t VMBase::Reserved10() {
    return 0;
}
double VMBase::GetDouble() const {
    return 0.0;
}
std::int32_t VMBase::Compare(const VMBase* other) const {
    return other != nullptr ? 0 : -1;
}
bool VMBase::Equals(const VMBase* other) const {
    return other == this;
}

void VMBase::Load(BVFile* file) {
    // A plain value has nothing to load. A read of a negative count is the
    // file's one public way to fail a read without touching its data, and it
    // leaves lastOk clear for the caller to see.
    if (file != nullptr)
        file->Read(nullptr, -1);
}

bool VMBase::Save(BVFile*) const {
    return false;
}
