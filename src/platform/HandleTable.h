// The native stand-in's handle table: every kernel object lives here, shared
// so that a call that has looked a handle up keeps its object alive even if
// another thread closes the handle meanwhile (kernel32 behaves the same way).
// A handle is the object's address; a handle that is not in the table is
// invalid, so a stale or made-up handle is refused instead of followed.
#pragma once

#include "platform/Win32.h"

#include <functional>
#include <memory>

class KernelObject {
  public:
    virtual ~KernelObject() = default;
};

// Adds the object and returns its handle, unless refuse() is true for an
// object already in the table (checked and added under one lock); then null.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object,
                    const std::function<bool(const KernelObject&)>& refuse);

// The object behind a handle, or null (with ERROR_INVALID_HANDLE set) when the
// handle is unknown or names an object of another kind.
std::shared_ptr<KernelObject> FindHandle(HANDLE handle);

template <typename T> std::shared_ptr<T> FindHandleOf(HANDLE handle) {
    auto found = std::dynamic_pointer_cast<T>(FindHandle(handle));
    if (found == nullptr)
        SetLastError(ERROR_INVALID_HANDLE);
    return found;
}
