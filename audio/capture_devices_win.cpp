// Capture-endpoint enumeration through the MMDevice API. This file is the
// one translation unit of the link that defines PKEY_Device_FriendlyName:
// <initguid.h> before <functiondiscoverykeys_devpkey.h> turns the key from a
// declaration into a definition, and no system library provides it.
#include "audio/capture_devices.h"

#include <windows.h>
#include <objbase.h>
#include <audioclient.h>
#include <mmdeviceapi.h>

#include "audio/mix_format_win.h"

// Last, so that only the property keys are defined here and every other GUID
// stays a declaration resolved by the system libraries.
#include <initguid.h>
#include <functiondiscoverykeys_devpkey.h>

namespace zalo {

namespace {

// One endpoint as the walk hands it over: the device stays valid only for
// the duration of the call.
struct EndpointVisit {
    IMMDevice* device;
    const wchar_t* id;
    std::wstring name;
};

std::wstring readFriendlyName(IMMDevice* device) {
    std::wstring name = L"Microphone";
    IPropertyStore* store = nullptr;
    if (SUCCEEDED(device->OpenPropertyStore(STGM_READ, &store))) {
        PROPVARIANT value;
        PropVariantInit(&value);
        if (SUCCEEDED(store->GetValue(PKEY_Device_FriendlyName, &value)) &&
            value.vt == VT_LPWSTR && value.pwszVal != nullptr) {
            name = value.pwszVal;
        }
        PropVariantClear(&value);
        store->Release();
    }
    return name;
}

// Calls `visit` for every active capture endpoint whose id can be read, in
// the collection's order, with COM initialised (multithreaded) on this
// thread for the duration. A thread already in another apartment keeps it:
// the calls below work from either kind, and CoUninitialize is then skipped
// so that the caller's initialisation is not undone. Returns false when the
// enumerator or the collection could not be obtained.
template <typename Visit>
bool forEachActiveCaptureEndpoint(Visit&& visit) {
    const bool comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    bool walked = false;
    IMMDeviceEnumerator* enumerator = nullptr;
    if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                   __uuidof(IMMDeviceEnumerator),
                                   reinterpret_cast<void**>(&enumerator)))) {
        IMMDeviceCollection* collection = nullptr;
        if (SUCCEEDED(enumerator->EnumAudioEndpoints(eCapture, DEVICE_STATE_ACTIVE, &collection))) {
            walked = true;
            UINT count = 0;
            if (FAILED(collection->GetCount(&count))) count = 0;
            for (UINT i = 0; i < count; ++i) {
                IMMDevice* device = nullptr;
                if (FAILED(collection->Item(i, &device))) continue;
                LPWSTR id = nullptr;
                if (SUCCEEDED(device->GetId(&id))) {
                    visit(EndpointVisit{device, id, readFriendlyName(device)});
                    CoTaskMemFree(id);
                }
                device->Release();
            }
            collection->Release();
        }
        enumerator->Release();
    }
    if (comInitialised) CoUninitialize();
    return walked;
}

// The endpoint's shared-mode mix format, from a client that is activated
// but never initialised, so the device is not opened for capture.
bool readMixFormat(IMMDevice* device, CaptureFormat& format) {
    IAudioClient* client = nullptr;
    if (FAILED(device->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr,
                                reinterpret_cast<void**>(&client)))) {
        return false;
    }
    WAVEFORMATEX* mix = nullptr;
    const bool ok = SUCCEEDED(client->GetMixFormat(&mix)) && mix != nullptr;
    if (ok) format = captureFormatOf(mix);
    CoTaskMemFree(mix);
    client->Release();
    return ok;
}

}  // namespace

std::vector<CaptureDevice> enumerateCaptureDevices() {
    std::vector<CaptureDevice> devices;
    forEachActiveCaptureEndpoint([&](const EndpointVisit& endpoint) {
        if (captureExclusionOf(endpoint.name) == CaptureExclusion::None) {
            devices.push_back(CaptureDevice{endpoint.id, endpoint.name});
        }
    });
    return devices;
}

std::wstring defaultCaptureDeviceId() {
    const bool comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    std::wstring result;
    IMMDeviceEnumerator* enumerator = nullptr;
    if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL,
                                   __uuidof(IMMDeviceEnumerator),
                                   reinterpret_cast<void**>(&enumerator)))) {
        IMMDevice* device = nullptr;
        if (SUCCEEDED(enumerator->GetDefaultAudioEndpoint(eCapture, eConsole, &device)) && device != nullptr) {
            LPWSTR id = nullptr;
            if (SUCCEEDED(device->GetId(&id)) && id != nullptr) result = id;
            CoTaskMemFree(id);
            device->Release();
        }
        enumerator->Release();
    }
    if (comInitialised) CoUninitialize();
    return result;
}

bool listCaptureEndpoints(std::vector<CaptureEndpointInfo>& endpoints) {
    endpoints.clear();
    return forEachActiveCaptureEndpoint([&](const EndpointVisit& endpoint) {
        CaptureEndpointInfo info;
        info.device = CaptureDevice{endpoint.id, endpoint.name};
        info.exclusion = captureExclusionOf(endpoint.name);
        info.hasMixFormat = readMixFormat(endpoint.device, info.mixFormat);
        endpoints.push_back(std::move(info));
    });
}

}  // namespace zalo
