#include "diag/BVSemaphore.h"

BVSemaphore::~BVSemaphore() = default;

bool BVSemaphore::IsValid() {
    return false;
}

bool BVSemaphore::Wait(std::int32_t) {
    return false;
}

void BVSemaphore::Signal(std::int32_t) {}
