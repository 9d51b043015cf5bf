// The opening operations of each file class follow slot 84 in a fixed order,
// and the transport members they replace keep the base class's slots.
#include "file/BVMemoryFile.h"
#include "file/BVWin32File.h"
#ifdef _WIN32
#include "file/BVWin32StreamFile.h"
#endif

#include "support/VtableEntry.h"

#include <gtest/gtest.h>

namespace {

// Slot k >= 1 sits in vtable entry k + 1: the destructor takes two.
template <class MemberPointer> long Slot(MemberPointer member) {
    return VtableEntry(member) - 1;
}

TEST(FileImplSlots, MemoryFile) {
    using M = BVMemoryFile;
    EXPECT_EQ(Slot(static_cast<bool (M::*)(bool)>(&M::Close)), 2);
    EXPECT_EQ(Slot(&M::SetLength), 6);
    EXPECT_EQ(Slot(static_cast<bool (M::*)(const void*, int, int)>(&M::Write)), 42);
    EXPECT_EQ(Slot(&M::GetPosition), 80);
    EXPECT_EQ(Slot(&M::Seek), 81);
    EXPECT_EQ(Slot(&M::FillBuffer), 83);
    EXPECT_EQ(Slot(&M::Flush), 84);
    EXPECT_EQ(Slot(&M::Open), 85);
    EXPECT_EQ(Slot(&M::Attach), 86);
    EXPECT_EQ(Slot(&M::Create), 87);
    EXPECT_EQ(Slot(&M::Grow), 88);
    EXPECT_EQ(Slot(&M::SaveAs), 89);
}

TEST(FileImplSlots, Win32File) {
    using W = BVWin32File;
    EXPECT_EQ(Slot(&W::SetSection), 7);
    EXPECT_EQ(Slot(&W::GetFileTime), 78);
    EXPECT_EQ(Slot(&W::SetFileTime), 79);
    EXPECT_EQ(Slot(&W::Flush), 84);
    EXPECT_EQ(Slot(static_cast<bool (W::*)(const char*, std::uint32_t, std::uint32_t)>(&W::Open)),
              85);
    EXPECT_EQ(
        Slot(static_cast<bool (W::*)(const wchar_t*, std::uint32_t, std::uint32_t)>(&W::Open)), 86);
}

#ifdef _WIN32
TEST(FileImplSlots, StreamFile) {
    using S = BVWin32StreamFile;
    EXPECT_EQ(Slot(&S::Seek), 81);
    EXPECT_EQ(Slot(&S::Open), 85);
    EXPECT_EQ(Slot(&S::Attach), 86);
    EXPECT_EQ(Slot(&S::GetStreamSize), 87);
}
#endif

} // namespace
