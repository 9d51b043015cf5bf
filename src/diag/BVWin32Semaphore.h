// BVWin32Semaphore: an unnamed, process-local Win32 semaphore. With the
// default counts (initial 1, maximum 1) it is a mutual-exclusion lock that
// any thread may release, which the log relies on only in the plain way:
// the thread that waited signals.
#pragma once

#include "diag/BVSemaphore.h"
#include "platform/Win32.h"

class BVWin32Semaphore : public BVSemaphore {
  public:
    explicit BVWin32Semaphore(LONG initial = 1, LONG maximum = 1);
    ~BVWin32Semaphore() override;

    bool IsValid() override;
    bool Wait(std::int32_t timeoutMs) override;
    void Signal(std::int32_t count) override;

  private:
    HANDLE handle; // null when the semaphore could not be made
};
