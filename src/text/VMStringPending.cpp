// PLACEHOLDERS for the VMString families that are not built yet.
//
// Every slot of the table must exist, so each operation of these families
// holds a stand-in here that answers its family's failure value: nothing
// done (for formatting: a null text), a new null object, -1,
// 0 or false, and for the parsers the default value with result code 1.
// kVMStringPendingSlots lists them, and a test checks that each listed slot
// still behaves as a stand-in. Building a family means moving its bodies out
// of this file and its rows out of the list; nothing else may live here.
#include "text/VMStringPending.h"

#include "text/VMString.h"

namespace {

template <class T> T Unparsed(T defaultValue, int* error) {
    if (error != nullptr)
        *error = 1;
    return defaultValue;
}

} // namespace

const VMStringPendingSlot kVMStringPendingSlots[] = {
    {168, "ToInt8", "number parsing, path parts and hashing"},
    {169, "ToUInt8", "number parsing, path parts and hashing"},
    {170, "ToInt16", "number parsing, path parts and hashing"},
    {171, "ToUInt16", "number parsing, path parts and hashing"},
    {172, "ToInt32", "number parsing, path parts and hashing"},
    {173, "ToUInt32", "number parsing, path parts and hashing"},
    {174, "ToInt64", "number parsing, path parts and hashing"},
    {175, "ToUInt64", "number parsing, path parts and hashing"},
    {176, "ToFloat", "number parsing, path parts and hashing"},
    {177, "ToDouble", "number parsing, path parts and hashing"},
    {178, "FileTitle", "number parsing, path parts and hashing"},
    {179, "FileExtension", "number parsing, path parts and hashing"},
    {180, "DirectoryWithSeparator", "number parsing, path parts and hashing"},
    {181, "Directory", "number parsing, path parts and hashing"},
    {182, "HashNoCase", "number parsing, path parts and hashing"},
    {183, "ShortCode", "number parsing, path parts and hashing"},
    {184, "IntAfterPrefix", "number parsing, path parts and hashing"},
};

const int kVMStringPendingCount =
    static_cast<int>(sizeof kVMStringPendingSlots / sizeof kVMStringPendingSlots[0]);

// --- number parsing, path parts and hashing --------------------------------

std::int8_t VMString::ToInt8(std::int8_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
std::uint8_t VMString::ToUInt8(std::uint8_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
std::int16_t VMString::ToInt16(std::int16_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
std::uint16_t VMString::ToUInt16(std::uint16_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
std::int32_t VMString::ToInt32(std::int32_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
std::uint32_t VMString::ToUInt32(std::uint32_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
std::int64_t VMString::ToInt64(std::int64_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
std::uint64_t VMString::ToUInt64(std::uint64_t defaultValue, int* error, bool) {
    return Unparsed(defaultValue, error);
}
float VMString::ToFloat(float defaultValue, int* error) {
    return Unparsed(defaultValue, error);
}
double VMString::ToDouble(double defaultValue, int* error) {
    return Unparsed(defaultValue, error);
}
VMString* VMString::FileTitle(bool) const {
    return new VMString;
}
VMString* VMString::FileExtension() const {
    return new VMString;
}
VMString* VMString::DirectoryWithSeparator(bool) const {
    return new VMString;
}
VMString* VMString::Directory(bool) const {
    return new VMString;
}
std::uint32_t VMString::HashNoCase() const {
    return 0;
}
std::uint32_t VMString::ShortCode() const {
    return 0;
}
std::int32_t VMString::IntAfterPrefix(const char*) const {
    return 0;
}
