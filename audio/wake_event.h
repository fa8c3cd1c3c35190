// An auto-reset event: one signal wakes one wait, and a signal given while
// nobody waits is kept until the next wait. On Windows it is a kernel event
// (SetEvent never blocks, so the capture thread can signal it on every block
// without taking a lock); elsewhere a condition variable stands in, which is
// what the native tests of the output rings use.
#pragma once

#ifndef _WIN32
#include <condition_variable>
#include <mutex>
#endif

namespace zalo {

class WakeEvent {
public:
    WakeEvent() = default;
    WakeEvent(const WakeEvent&) = delete;
    WakeEvent& operator=(const WakeEvent&) = delete;
    ~WakeEvent() { close(); }

    bool create();        // not signalled; false if the system refuses
    void close();         // harmless when not created
    bool valid() const;
    void signal();        // harmless when not created
    // Waits at most `milliseconds`; true when woken by a signal. Returns
    // false at once when not created.
    bool wait(unsigned milliseconds);
#ifdef _WIN32
    // The kernel event, for a thread that waits on it together with others.
    void* nativeHandle() const { return handle; }
#endif

private:
#ifdef _WIN32
    void* handle = nullptr;  // HANDLE
#else
    mutable std::mutex mutex;
    std::condition_variable condition;
    bool created = false;
    bool signalled = false;
#endif
};

}  // namespace zalo
