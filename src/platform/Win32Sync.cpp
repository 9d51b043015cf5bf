// Semaphores and the local clock for the native build.
#include "platform/HandleTable.h"

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>

namespace {

class SemaphoreObject : public KernelObject {
  public:
    SemaphoreObject(LONG initial, LONG maximum) : count(initial), maximum(maximum) {}

    bool Wait(DWORD milliseconds) {
        std::unique_lock<std::mutex> hold(lock);
        auto ready = [this] { return count > 0; };
        if (milliseconds == INFINITE)
            changed.wait(hold, ready);
        else if (!changed.wait_for(hold, std::chrono::milliseconds(milliseconds), ready))
            return false;
        --count;
        return true;
    }

    // kernel32 refuses a release that would pass the maximum and then
    // changes nothing.
    bool Release(LONG add, LONG* previous) {
        std::lock_guard<std::mutex> hold(lock);
        if (add > maximum - count)
            return false;
        if (previous != nullptr)
            *previous = count;
        count += add;
        changed.notify_all();
        return true;
    }

  private:
    std::mutex lock;
    std::condition_variable changed;
    LONG count;
    const LONG maximum;
};

} // namespace

HANDLE CreateSemaphoreW(LPSECURITY_ATTRIBUTES, LONG initial, LONG maximum, LPCWSTR name) {
    if (name != nullptr || maximum <= 0 || initial < 0 || initial > maximum) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    HANDLE handle = InsertHandle(std::make_shared<SemaphoreObject>(initial, maximum),
                                 [](const KernelObject&) { return false; });
    SetLastError(ERROR_SUCCESS);
    return handle;
}

DWORD WaitForSingleObject(HANDLE object, DWORD milliseconds) {
    auto semaphore = FindHandleOf<SemaphoreObject>(object);
    if (semaphore == nullptr)
        return WAIT_FAILED;
    return semaphore->Wait(milliseconds) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

BOOL ReleaseSemaphore(HANDLE object, LONG count, LPLONG previous) {
    auto semaphore = FindHandleOf<SemaphoreObject>(object);
    if (semaphore == nullptr)
        return FALSE;
    // Wine lets a count of 0 through as a release that changes nothing.
    if (count < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (!semaphore->Release(count, previous)) {
        SetLastError(ERROR_TOO_MANY_POSTS);
        return FALSE;
    }
    return TRUE;
}

void GetLocalTime(LPSYSTEMTIME time) {
    struct timespec now;
    ::clock_gettime(CLOCK_REALTIME, &now);
    struct tm local;
    ::localtime_r(&now.tv_sec, &local);
    time->wYear = static_cast<WORD>(local.tm_year + 1900);
    time->wMonth = static_cast<WORD>(local.tm_mon + 1);
    time->wDayOfWeek = static_cast<WORD>(local.tm_wday);
    time->wDay = static_cast<WORD>(local.tm_mday);
    time->wHour = static_cast<WORD>(local.tm_hour);
    time->wMinute = static_cast<WORD>(local.tm_min);
    time->wSecond = static_cast<WORD>(local.tm_sec);
    time->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}
