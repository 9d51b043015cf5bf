#include "diag/BVWin32Semaphore.h"

BVWin32Semaphore::BVWin32Semaphore(LONG initial, LONG maximum)
    : handle(CreateSemaphoreW(nullptr, initial, maximum, nullptr)) {}

BVWin32Semaphore::~BVWin32Semaphore() {
    if (handle != nullptr)
        CloseHandle(handle);
}

bool BVWin32Semaphore::IsValid() {
    return handle != nullptr;
}

bool BVWin32Semaphore::Wait(std::int32_t timeoutMs) {
    const DWORD timeout = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    return IsValid() && WaitForSingleObject(handle, timeout) == WAIT_OBJECT_0;
}

void BVWin32Semaphore::Signal(std::int32_t count) {
    if (IsValid())
        ReleaseSemaphore(handle, count, nullptr);
}
