// Tells a window when the system's audio endpoints change: one that arrives
// or goes, is enabled, disabled, unplugged, or becomes a default. Windows
// calls the notification interface on a thread of its own, and those calls
// must not block; so each one only posts `message` to the window, and the
// window's thread does the work (a fresh look at the device list).
#pragma once

#include <windows.h>

struct IMMDeviceEnumerator;

namespace zalo {

class DeviceWatch {
public:
    DeviceWatch() = default;
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;
    ~DeviceWatch();

    // Registers for endpoint notifications; false when the platform offers
    // none (the program then relies on its capture watchdog and retry).
    // Call with COM initialised on the calling thread.
    bool start(HWND target, UINT message);
    // Unregisters; after it returns no further message is posted. Harmless
    // when not started.
    void stop();

private:
    class Client;
    ::IMMDeviceEnumerator* enumerator = nullptr;
    Client* client = nullptr;
};

}  // namespace zalo
