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
    // Ends the list, so that it stays an array once every family is built; not counted.
    {0, nullptr, nullptr},
};

const int kVMStringPendingCount =
    static_cast<int>(sizeof kVMStringPendingSlots / sizeof kVMStringPendingSlots[0]) - 1;

