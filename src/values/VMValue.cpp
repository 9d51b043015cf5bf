#include "values/VMValue.h"

bool VMValue::Reserved17() {
    return false;
}
bool VMValue::Reserved18() {
    return false;
}
std::int32_t VMValue::Reserved19() {
    return 0;
}
bool VMValue::Reserved20() {
    return false;
}
bool VMValue::IsSame(const VMBase* other) const {
    return other == this;
}

void VMValue::AddRef() {
    ++refCount;
}

void VMValue::Release() {
    if (--refCount <= 0)
        Destroy();
}

void VMValue::DestroyIfUnreferenced() {
    if (refCount < 1)
        Destroy();
}

void VMValue::AssignAndRelease(VMBase* other) {
    Assign(other);
    // Only a counted value can be released; any other object is left to its
    // owner rather than cast to what it is not.
    if (VMValue* value = dynamic_cast<VMValue*>(other))
        value->Release();
}

std::int32_t VMValue::Reserved26() {
    return -1;
}
bool VMValue::Reserved27() {
    return true;
}
VMValue* VMValue::Retain() {
    AddRef();
    return this;
}
bool VMValue::Reserved29() {
    return true;
}
bool VMValue::Reserved31() {
    return false;
}
bool VMValue::Reserved32() {
    return false;
}
bool VMValue::Reserved33() {
    return false;
}
