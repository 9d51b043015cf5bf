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
    {68, "AppendBytes", "formatting and editing"},
    {69, "AppendFill", "formatting and editing"},
    {70, "AppendByte", "formatting and editing"},
    {71, "AppendUInt16", "formatting and editing"},
    {72, "AppendInt32", "formatting and editing"},
    {73, "AppendUInt32", "formatting and editing"},
    {74, "AppendCString", "formatting and editing"},
    {75, "AppendText", "formatting and editing"},
    {76, "AppendSub", "formatting and editing"},
    {77, "AppendIndentedBytes", "formatting and editing"},
    {78, "AppendIndentedCString", "formatting and editing"},
    {79, "AppendIndentedText", "formatting and editing"},
    {80, "AssignBytesWithByte", "formatting and editing"},
    {81, "AssignCStringWithByte", "formatting and editing"},
    {82, "AssignTextWithByte", "formatting and editing"},
    {83, "AssignConcatBytes", "formatting and editing"},
    {84, "AssignConcatCStrings", "formatting and editing"},
    {85, "AssignConcatTextCString", "formatting and editing"},
    {86, "AssignConcatCStringText", "formatting and editing"},
    {87, "AssignConcatText", "formatting and editing"},
    {88, "InsertFill", "formatting and editing"},
    {89, "InsertByte", "formatting and editing"},
    {90, "InsertUInt16", "formatting and editing"},
    {91, "InsertInt32", "formatting and editing"},
    {92, "InsertUInt32", "formatting and editing"},
    {93, "InsertBytes", "formatting and editing"},
    {94, "InsertCString", "formatting and editing"},
    {95, "InsertText", "formatting and editing"},
    {96, "InsertAtLineBytes", "formatting and editing"},
    {97, "InsertAtLineCString", "formatting and editing"},
    {98, "InsertAtLineText", "formatting and editing"},
    {99, "OverwriteBytes", "formatting and editing"},
    {100, "OverwriteCString", "formatting and editing"},
    {101, "OverwriteText", "formatting and editing"},
    {102, "Delete", "formatting and editing"},
    {103, "ReplaceChars", "formatting and editing"},
    {104, "ReplaceCharsWithText", "formatting and editing"},
    {105, "ReplaceLineBytes", "formatting and editing"},
    {106, "ReplaceLineCString", "formatting and editing"},
    {107, "ReplaceLineText", "formatting and editing"},
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

// --- formatting and editing ------------------------------------------------

void VMString::AppendBytes(const std::uint8_t*, int, int) {}
void VMString::AppendFill(int, int) {}
void VMString::AppendByte(int) {}
void VMString::AppendUInt16(int) {}
void VMString::AppendInt32(int) {}
void VMString::AppendUInt32(std::uint32_t) {}
void VMString::AppendCString(const char*) {}
void VMString::AppendText(const VMString*) {}
void VMString::AppendSub(const VMString*, int, int) {}
void VMString::AppendIndentedBytes(int, const char*, int, int) {}
void VMString::AppendIndentedCString(int, const char*) {}
void VMString::AppendIndentedText(int, const VMString*) {}
void VMString::AssignBytesWithByte(const char*, int, int, int) {}
void VMString::AssignCStringWithByte(const char*, int) {}
void VMString::AssignTextWithByte(const VMString*, int) {}
void VMString::AssignConcatBytes(const char*, int, const std::uint8_t*, int, int, int) {}
void VMString::AssignConcatCStrings(const char*, const char*) {}
void VMString::AssignConcatTextCString(const VMString*, const char*) {}
void VMString::AssignConcatCStringText(const char*, const VMString*) {}
void VMString::AssignConcatText(const VMString*, const VMString*) {}
void VMString::InsertFill(int, int, int) {}
void VMString::InsertByte(int, int) {}
void VMString::InsertUInt16(int, int) {}
void VMString::InsertInt32(int, int) {}
void VMString::InsertUInt32(int, std::uint32_t) {}
void VMString::InsertBytes(int, const std::uint8_t*, int, int) {}
void VMString::InsertCString(int, const char*) {}
void VMString::InsertText(int, const VMString*) {}
void VMString::InsertAtLineBytes(int, const std::uint8_t*, int, int) {}
void VMString::InsertAtLineCString(int, const char*) {}
void VMString::InsertAtLineText(int, const VMString*) {}
void VMString::OverwriteBytes(int, const std::uint8_t*, int, int) {}
void VMString::OverwriteCString(int, const char*) {}
void VMString::OverwriteText(int, const VMString*) {}
void VMString::Delete(int, int) {}
void VMString::ReplaceChars(const char*, int) {}
void VMString::ReplaceCharsWithText(const char*, const VMString*) {}
void VMString::ReplaceLineBytes(int, const std::uint8_t*, int, int) {}
void VMString::ReplaceLineCString(int, const char*) {}
void VMString::ReplaceLineText(int, const VMString*) {}

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
