#include "platform/Win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <thread>
#include <vector>

namespace {

TEST(Win32Semaphore, CountsAndMaximum) {
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, nullptr);
    ASSERT_NE(semaphore, nullptr);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
    EXPECT_EQ(WaitForSingleObject(semaphore, 20), WAIT_TIMEOUT);
    LONG previous = -1;
    EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, &previous));
    EXPECT_EQ(previous, 0);
    // Past the maximum: refused, count unchanged.
    previous = -1;
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 1, &previous));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_EQ(WaitForSingleObject(semaphore, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_TIMEOUT);
    EXPECT_TRUE(ReleaseSemaphore(semaphore, 1, nullptr));
    EXPECT_TRUE(CloseHandle(semaphore));
}

TEST(Win32Semaphore, RefusedArguments) {
    struct Case {
        LONG initial, maximum;
    };
    for (Case c : {Case{2, 1}, Case{-1, 1}, Case{0, 0}, Case{0, -3}}) {
        SCOPED_TRACE(testing::Message() << c.initial << "/" << c.maximum);
        EXPECT_EQ(CreateSemaphoreW(nullptr, c.initial, c.maximum, nullptr), nullptr);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    HANDLE semaphore = CreateSemaphoreW(nullptr, 0, 3, nullptr);
    ASSERT_NE(semaphore, nullptr);
    EXPECT_FALSE(ReleaseSemaphore(semaphore, 4, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_TOO_MANY_POSTS);
    EXPECT_TRUE(ReleaseSemaphore(semaphore, 3, nullptr));
    CloseHandle(semaphore);
}

TEST(Win32Semaphore, ExcludesOtherThreads) {
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, nullptr);
    ASSERT_NE(semaphore, nullptr);
    int inside = 0, most = 0, total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 500; ++i) {
                WaitForSingleObject(semaphore, INFINITE);
                most = std::max(most, ++inside);
                ++total;
                --inside;
                ReleaseSemaphore(semaphore, 1, nullptr);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(most, 1);
    EXPECT_EQ(total, 2000);
    CloseHandle(semaphore);
}

TEST(Win32Semaphore, WaitOnClosedHandleFails) {
    HANDLE semaphore = CreateSemaphoreW(nullptr, 1, 1, nullptr);
    ASSERT_TRUE(CloseHandle(semaphore));
    EXPECT_EQ(WaitForSingleObject(semaphore, 0), WAIT_FAILED);
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(Win32LocalTime, FieldsInRange) {
    SYSTEMTIME now;
    std::memset(&now, 0xCC, sizeof now);
    GetLocalTime(&now);
    EXPECT_GE(now.wYear, 2020);
    EXPECT_GE(now.wMonth, 1);
    EXPECT_LE(now.wMonth, 12);
    EXPECT_GE(now.wDay, 1);
    EXPECT_LE(now.wDay, 31);
    EXPECT_LE(now.wDayOfWeek, 6);
    EXPECT_LE(now.wHour, 23);
    EXPECT_LE(now.wMinute, 59);
    EXPECT_LE(now.wSecond, 59);
    EXPECT_LE(now.wMilliseconds, 999);
}

} // namespace
