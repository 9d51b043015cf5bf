// The VMString slots that still hold placeholders (VMStringPending.cpp).
#pragma once

struct VMStringPendingSlot {
    int slot;
    const char* name;
    const char* family;
};

extern const VMStringPendingSlot kVMStringPendingSlots[];
extern const int kVMStringPendingCount;
