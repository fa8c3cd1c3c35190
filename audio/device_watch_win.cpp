#include "audio/device_watch_win.h"

#include <mmdeviceapi.h>

#include <atomic>

namespace zalo {

// The notification sink. Reference counted as COM requires; the system may
// hold a reference for a moment after unregistering, so the object frees
// itself on its last Release, and `target` is cleared first so that a late
// call posts nothing.
class DeviceWatch::Client final : public IMMNotificationClient {
public:
    Client(HWND window, UINT msg) : target(window), message(msg) {}

    void detach() { target.store(nullptr); }

    ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --references;
        if (left == 0) delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr) return E_POINTER;
        if (iid == __uuidof(IUnknown) || iid == __uuidof(IMMNotificationClient)) {
            *out = static_cast<IMMNotificationClient*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }

    HRESULT STDMETHODCALLTYPE OnDeviceStateChanged(LPCWSTR, DWORD) override { return post(); }
    HRESULT STDMETHODCALLTYPE OnDeviceAdded(LPCWSTR) override { return post(); }
    HRESULT STDMETHODCALLTYPE OnDeviceRemoved(LPCWSTR) override { return post(); }
    HRESULT STDMETHODCALLTYPE OnDefaultDeviceChanged(EDataFlow flow, ERole, LPCWSTR) override {
        // A new default speaker moves no microphone; the outputs follow
        // their own devices.
        return flow == eRender ? S_OK : post();
    }
    // Names, icons, volumes: frequent, and nothing the device list shows.
    HRESULT STDMETHODCALLTYPE OnPropertyValueChanged(LPCWSTR, const PROPERTYKEY) override { return S_OK; }

private:
    HRESULT post() {
        if (HWND window = target.load()) PostMessageW(window, message, 0, 0);
        return S_OK;
    }

    std::atomic<HWND> target;
    const UINT message;
    std::atomic<ULONG> references{1};
};

DeviceWatch::~DeviceWatch() { stop(); }

bool DeviceWatch::start(HWND target, UINT message) {
    stop();
    if (FAILED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                reinterpret_cast<void**>(&enumerator)))) {
        enumerator = nullptr;
        return false;
    }
    client = new Client(target, message);
    if (FAILED(enumerator->RegisterEndpointNotificationCallback(client))) {
        stop();
        return false;
    }
    return true;
}

void DeviceWatch::stop() {
    if (client != nullptr) {
        client->detach();
        if (enumerator != nullptr) enumerator->UnregisterEndpointNotificationCallback(client);
        client->Release();
        client = nullptr;
    }
    if (enumerator != nullptr) enumerator->Release();
    enumerator = nullptr;
}

}  // namespace zalo
