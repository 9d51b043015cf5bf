// The order of BVFile's virtual operations is part of its interface: callers
// built against it reach every member by slot. These tests pin that order.
//
// GCC and MinGW follow the Itanium C++ ABI, where a pointer to a virtual
// member function holds 1 + (vtable byte offset), i.e. 1 + entry *
// sizeof(void*), and a zero this-adjustment. The virtual destructor, slot 0,
// has no member pointer and takes two vtable entries in that ABI (the
// complete-object and the deleting destructor), so slot k >= 1 sits in entry
// k + 1. Pinning slots 1-84 to entries 2-85, plus a derived class whose first
// new virtual lands in entry 86, leaves exactly entries 0 and 1 for the
// destructor: nothing can hide before slot 1 or after slot 84.
#include "file/BVFile.h"
#include "support/VtableEntry.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <type_traits>

namespace {

// Selects one overload by its signature: Entry<bool(bool)>(&BVFile::Close).
template <class Signature> long Entry(Signature BVFile::*member) {
    return VtableEntry(member);
}

struct SlotCase {
    long entry;
    int slot;
    const char* name;
};

class AppendsOne : public BVFile {
  public:
    virtual bool Open(); // stands for an implementation's opening operation
};
bool AppendsOne::Open() {
    return false;
}

TEST(BVFileSlots, DestructorIsSlotZero) {
    EXPECT_TRUE(std::has_virtual_destructor<BVFile>::value);
    EXPECT_EQ(VtableEntry(&AppendsOne::Open), 86) << "85 slots, the destructor counting twice";
}

TEST(BVFileSlots, FixedOrder) {
    using I64 = std::int64_t;
    const SlotCase cases[] = {
        {Entry<bool()>(&BVFile::Close), 1, "Close()"},
        {Entry<bool(bool)>(&BVFile::Close), 2, "Close(bool)"},
        {Entry(&BVFile::IsOpen), 3, "IsOpen"},
        {Entry(&BVFile::GetMode), 4, "GetMode"},
        {Entry(&BVFile::GetLength), 5, "GetLength"},
        {Entry(&BVFile::SetLength), 6, "SetLength"},
        {Entry(&BVFile::SetSection), 7, "SetSection"},
        {Entry(&BVFile::Skip), 8, "Skip"},
        {Entry<int(void*, int, int)>(&BVFile::Read), 9, "Read(buf, offset, count)"},
        {Entry<int(BVFile*, int)>(&BVFile::CopyTo), 10, "CopyTo(BVFile*)"},
        {Entry(&BVFile::ReadVMString), 11, "ReadVMString"},
        {Entry(&BVFile::ReadBVString), 12, "ReadBVString"},
        {Entry<int(BVFile&, int)>(&BVFile::CopyTo), 13, "CopyTo(BVFile&)"},
        {Entry<int(void*, int)>(&BVFile::Read), 14, "Read(buf, count)"},
        {Entry(&BVFile::ReadBool), 15, "ReadBool"},
        {Entry(&BVFile::ReadInt8), 16, "ReadInt8"},
        {Entry(&BVFile::ReadUInt8), 17, "ReadUInt8"},
        {Entry(&BVFile::ReadInt16LE), 18, "ReadInt16LE"},
        {Entry(&BVFile::ReadInt16BE), 19, "ReadInt16BE"},
        {Entry(&BVFile::ReadUInt16LE), 20, "ReadUInt16LE"},
        {Entry(&BVFile::ReadUInt16BE), 21, "ReadUInt16BE"},
        {Entry(&BVFile::ReadWCharLE), 22, "ReadWCharLE"},
        {Entry(&BVFile::ReadWCharBE), 23, "ReadWCharBE"},
        {Entry(&BVFile::ReadInt32LE), 24, "ReadInt32LE"},
        {Entry(&BVFile::ReadInt32BE), 25, "ReadInt32BE"},
        {Entry(&BVFile::ReadUInt32LE), 26, "ReadUInt32LE"},
        {Entry(&BVFile::ReadUInt32BE), 27, "ReadUInt32BE"},
        {Entry(&BVFile::ReadInt64LE), 28, "ReadInt64LE"},
        {Entry(&BVFile::ReadInt64BE), 29, "ReadInt64BE"},
        {Entry(&BVFile::ReadUInt64LE), 30, "ReadUInt64LE"},
        {Entry(&BVFile::ReadUInt64BE), 31, "ReadUInt64BE"},
        {Entry(&BVFile::ReadFloatLE), 32, "ReadFloatLE"},
        {Entry(&BVFile::ReadFloatBE), 33, "ReadFloatBE"},
        {Entry(&BVFile::ReadDoubleLE), 34, "ReadDoubleLE"},
        {Entry(&BVFile::ReadDoubleBE), 35, "ReadDoubleBE"},
        {Entry(&BVFile::ReadCString), 36, "ReadCString"},
        {Entry(&BVFile::ReadBVStringWithLength), 37, "ReadBVStringWithLength"},
        {Entry(&BVFile::ReadWStringWithLength), 38, "ReadWStringWithLength"},
        {Entry(&BVFile::ReadVMStringWithLength), 39, "ReadVMStringWithLength"},
        {Entry(&BVFile::ReadLine), 40, "ReadLine"},
        {Entry(&BVFile::ReadLineW), 41, "ReadLineW"},
        {Entry<bool(const void*, int, int)>(&BVFile::Write), 42, "Write(buf, offset, count)"},
        {Entry<bool(BVString)>(&BVFile::Write), 43, "Write(BVString)"},
        {Entry<bool(const void*, int)>(&BVFile::Write), 44, "Write(buf, count)"},
        {Entry(&BVFile::WriteBool), 45, "WriteBool"},
        {Entry(&BVFile::WriteInt8), 46, "WriteInt8"},
        {Entry(&BVFile::WriteUInt8), 47, "WriteUInt8"},
        {Entry(&BVFile::WriteInt16), 48, "WriteInt16"},
        {Entry(&BVFile::WriteUInt16), 49, "WriteUInt16"},
        {Entry(&BVFile::WriteWChar), 50, "WriteWChar"},
        {Entry(&BVFile::WriteInt32), 51, "WriteInt32"},
        {Entry(&BVFile::WriteUInt32), 52, "WriteUInt32"},
        {Entry(&BVFile::WriteInt64), 53, "WriteInt64"},
        {Entry(&BVFile::WriteUInt64), 54, "WriteUInt64"},
        {Entry(&BVFile::WriteFloat), 55, "WriteFloat"},
        {Entry(&BVFile::WriteDouble), 56, "WriteDouble"},
        {Entry<bool(BVString)>(&BVFile::WriteString), 57, "WriteString(BVString)"},
        {Entry<bool(const char*, int)>(&BVFile::WriteString), 58, "WriteString(char*)"},
        {Entry(&BVFile::WriteText), 59, "WriteText"},
        {Entry<bool(BVString)>(&BVFile::WriteStringZ), 60, "WriteStringZ(BVString)"},
        {Entry<bool(const char*, int)>(&BVFile::WriteStringZ), 61, "WriteStringZ(char*)"},
        {Entry<bool(BVString)>(&BVFile::WriteStringWithLength), 62,
         "WriteStringWithLength(BVString)"},
        {Entry<bool(const char*, int, int)>(&BVFile::WriteStringWithLength), 63,
         "WriteStringWithLength(char*)"},
        {Entry<bool(BVWideString)>(&BVFile::WriteWString), 64, "WriteWString(BVWideString)"},
        {Entry<bool(const BVWChar*, int)>(&BVFile::WriteWString), 65, "WriteWString(wchar*)"},
        {Entry(&BVFile::WriteWText), 66, "WriteWText"},
        {Entry<bool(BVWideString)>(&BVFile::WriteWStringZ), 67, "WriteWStringZ(BVWideString)"},
        {Entry<bool(const BVWChar*, int)>(&BVFile::WriteWStringZ), 68, "WriteWStringZ(wchar*)"},
        {Entry(&BVFile::WriteWStringWithLength), 69, "WriteWStringWithLength"},
        {Entry<bool(const void*, int, int)>(&BVFile::WriteWithLength), 70, "WriteWithLength(buf)"},
        {Entry<bool(const VMString*)>(&BVFile::Write), 71, "Write(VMString*)"},
        {Entry<bool(const VMString*)>(&BVFile::WriteWithLength), 72, "WriteWithLength(VMString*)"},
        {Entry(&BVFile::WriteFrom), 73, "WriteFrom"},
        {Entry(&BVFile::GetBuffer), 74, "GetBuffer"},
        {Entry(&BVFile::GetBufferSize), 75, "GetBufferSize"},
        {Entry(&BVFile::GetBufferPointer), 76, "GetBufferPointer"},
        {Entry(&BVFile::GetBufferRemaining), 77, "GetBufferRemaining"},
        {Entry(&BVFile::GetFileTime), 78, "GetFileTime"},
        {Entry(&BVFile::SetFileTime), 79, "SetFileTime"},
        {Entry(&BVFile::GetPosition), 80, "GetPosition"},
        {Entry<bool(I64, int)>(&BVFile::Seek), 81, "Seek"},
        {Entry(&BVFile::Rewind), 82, "Rewind"},
        {Entry(&BVFile::FillBuffer), 83, "FillBuffer"},
        {Entry(&BVFile::Flush), 84, "Flush"},
    };
    ASSERT_EQ(sizeof cases / sizeof cases[0], 84u);
    for (const SlotCase& c : cases)
        EXPECT_EQ(c.entry, c.slot + 1) << c.name << " belongs in slot " << c.slot;
}

} // namespace
