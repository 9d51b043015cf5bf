// Where a virtual member function sits in its class's vtable.
//
// GCC and MinGW follow the Itanium C++ ABI, where a pointer to a virtual
// member function holds 1 + (vtable byte offset), i.e. 1 + entry *
// sizeof(void*), and a zero this-adjustment. A virtual destructor has no
// member pointer and takes two entries (the complete-object and the deleting
// destructor), so in a class whose slot 0 is its destructor slot k >= 1 sits
// in entry k + 1.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// The entry of a virtual member, or -1 for anything else.
template <class MemberPointer> long VtableEntry(MemberPointer member) {
    struct ItaniumMemberPointer {
        std::uintptr_t ptr;
        std::ptrdiff_t adj;
    };
    static_assert(sizeof(MemberPointer) == sizeof(ItaniumMemberPointer), "Itanium layout");
    ItaniumMemberPointer repr;
    std::memcpy(&repr, &member, sizeof repr);
    if ((repr.ptr & 1) == 0 || repr.adj != 0)
        return -1;
    return static_cast<long>((repr.ptr - 1) / sizeof(void*));
}
