// Slot numbers of virtual members, for the slot-order tests. In a class whose
// slot 0 is its virtual destructor (two vtable entries under the Itanium ABI),
// slot k >= 1 sits in entry k + 1.
#pragma once

#include "support/VtableEntry.h"

namespace slot_pin {

// The slot number a member's entry stands for, or -1.
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
