#include "diag/BVWin32Semaphore.h"

#include "support/VtableEntry.h"

#include <gtest/gtest.h>

namespace {

TEST(BVSemaphore, BaseIsNeverValid) {
    BVSemaphore none;
    EXPECT_FALSE(none.IsValid());
    EXPECT_FALSE(none.Wait(-1));
    none.Signal(1);
}

TEST(BVWin32Semaphore, MutualExclusion) {
    BVWin32Semaphore lock;
    ASSERT_TRUE(lock.IsValid());
    EXPECT_TRUE(lock.Wait(0));
    EXPECT_FALSE(lock.Wait(0));
    EXPECT_FALSE(lock.Wait(15)); // times out
    lock.Signal(1);
    EXPECT_TRUE(lock.Wait(-1)); // negative: no time limit
    lock.Signal(1);
    lock.Signal(1); // past the maximum: refused by the platform, count stays 1
    EXPECT_TRUE(lock.Wait(0));
    EXPECT_FALSE(lock.Wait(0));
}

TEST(BVWin32Semaphore, RefusedCountsMakeAnInvalidLock) {
    BVWin32Semaphore bad(2, 1);
    EXPECT_FALSE(bad.IsValid());
    EXPECT_FALSE(bad.Wait(-1));
    bad.Signal(1);
}

TEST(BVSemaphore, SlotOrder) {
    // Slot k >= 1 sits in vtable entry k + 1: the destructor takes two.
    EXPECT_EQ(VtableEntry(&BVSemaphore::IsValid), 2);
    EXPECT_EQ(VtableEntry(&BVSemaphore::Wait), 3);
    EXPECT_EQ(VtableEntry(&BVSemaphore::Signal), 4);
}

} // namespace
