// BVSemaphore: the abstract lock of the framework. The base class is the
// lock that never is: not valid, every Wait fails, Signal does nothing.
#pragma once

#include <cstdint>

class BVSemaphore {
  public:
    BVSemaphore() = default;
    BVSemaphore(const BVSemaphore&) = delete;
    BVSemaphore& operator=(const BVSemaphore&) = delete;

    virtual ~BVSemaphore(); // slot 0
    virtual bool IsValid(); // 1
    // 2: true once the semaphore is taken; a negative timeout waits for ever.
    virtual bool Wait(std::int32_t timeoutMs);
    virtual void Signal(std::int32_t count); // 3
};
