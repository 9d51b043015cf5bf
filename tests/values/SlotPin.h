// Pins virtual slot orders under the Itanium C++ ABI (GCC and MinGW), where a
// pointer to a virtual member function holds 1 + the byte offset of its
// vtable entry and a zero this-adjustment. The virtual destructor, slot 0,
// takes two entries (complete-object and deleting destructor), so slot k >= 1
// sits in entry k + 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace slot_pin {

template <class MemberPointer> long VtableEntry(MemberPointer member) {
    struct ItaniumMemberPointer {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    };
    static_assert(sizeof(MemberPointer) == sizeof(ItaniumMemberPointer), "Itanium layout");
    ItaniumMemberPointer repr;
    std::memcpy(&repr, &member, sizeof repr);
    if ((repr.ptr & 1) == 0 || repr.adj != 0)
        return -1; // not virtual, or reached through a base at an offset
    return static_cast<long>((repr.ptr - 1) / sizeof(void*));
}

// The slot number a member's entry stands for.
template <class MemberPointer> long Slot(MemberPointer member) {
    const long entry = VtableEntry(member);
    return entry < 2 ? -1 : entry - 1;
}

struct SlotCase {
    long slot;
    long expected;
    const char* name;
};

} // namespace slot_pin
