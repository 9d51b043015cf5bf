#include "platform/HandleTable.h"

#include <mutex>
#include <unordered_map>

namespace {

struct Table {
    std::mutex lock;
    std::unordered_map<HANDLE, std::shared_ptr<KernelObject>> objects;
};

// Never destroyed: handles may still be closed by other objects' static
// destructors after this file's statics would have gone.
Table& TheTable() {
    static Table* table = new Table;
    return *table;
}

thread_local DWORD lastError = 0;

} // namespace

HANDLE InsertHandle(std::shared_ptr<KernelObject> object,
                    const std::function<bool(const KernelObject&)>& refuse) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> hold(table.lock);
    for (const auto& entry : table.objects)
        if (refuse(*entry.second))
            return nullptr;
    HANDLE handle = object.get();
    table.objects.emplace(handle, std::move(object));
    return handle;
}

std::shared_ptr<KernelObject> FindHandle(HANDLE handle) {
    Table& table = TheTable();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.objects.find(handle);
    if (it == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    return it->second;
}

BOOL CloseHandle(HANDLE object) {
    std::shared_ptr<KernelObject> closing; // released after the lock is let go
    Table& table = TheTable();
    std::lock_guard<std::mutex> hold(table.lock);
    auto it = table.objects.find(object);
    if (it == table.objects.end()) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    closing = std::move(it->second);
    table.objects.erase(it);
    return TRUE;
}

DWORD GetLastError() {
    return lastError;
}

void SetLastError(DWORD error) {
    lastError = error;
}
