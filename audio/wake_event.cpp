#include "audio/wake_event.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <chrono>
#endif

namespace zalo {

#ifdef _WIN32

bool WakeEvent::create() {
    close();
    handle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    return handle != nullptr;
}

void WakeEvent::close() {
    if (handle != nullptr) CloseHandle(handle);
    handle = nullptr;
}

bool WakeEvent::valid() const { return handle != nullptr; }

void WakeEvent::signal() {
    if (handle != nullptr) SetEvent(handle);
}

bool WakeEvent::wait(unsigned milliseconds) {
    if (handle == nullptr) return false;
    return WaitForSingleObject(handle, milliseconds) == WAIT_OBJECT_0;
}

#else

bool WakeEvent::create() {
    std::lock_guard<std::mutex> lock(mutex);
    created = true;
    signalled = false;
    return true;
}

void WakeEvent::close() {
    std::lock_guard<std::mutex> lock(mutex);
    created = false;
    signalled = false;
}

bool WakeEvent::valid() const {
    std::lock_guard<std::mutex> lock(mutex);
    return created;
}

void WakeEvent::signal() {
    {
        std::lock_guard<std::mutex> lock(mutex);
        if (!created) return;
        signalled = true;
    }
    condition.notify_one();
}

bool WakeEvent::wait(unsigned milliseconds) {
    std::unique_lock<std::mutex> lock(mutex);
    if (!created) return false;
    const bool woken = condition.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                          [this] { return signalled; });
    signalled = false;  // auto-reset
    return woken;
}

#endif

}  // namespace zalo
