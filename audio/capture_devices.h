// The microphones the user can choose from: active capture endpoints minus
// the virtual cable's own recording side and loopback ("stereo mix") sources.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "audio/mono_convert.h"

namespace zalo {

struct CaptureDevice {
    std::wstring id;    // endpoint id (IMMDevice::GetId), opens the device
    std::wstring name;  // friendly name in its own letter case, shown to the user
};

// Why an endpoint is kept out of the microphone list.
enum class CaptureExclusion {
    None,          // listed
    VirtualCable,  // the cable's recording side: it would feed our own output back
    Loopback,      // records what the machine plays
};

// The rule for one endpoint, from its friendly name in any letter case. The
// cable test comes first, so a name matching both counts as the cable.
CaptureExclusion captureExclusionOf(const std::wstring& name);

// The device to select after a refresh: the first whose id equals
// `rememberedId` exactly (case-sensitive, same length), else the first
// device; nothing when the list is empty. An empty remembered id never
// matches, even a device with an empty id.
std::optional<std::size_t> chooseCaptureDevice(const std::vector<CaptureDevice>& devices,
                                               const std::wstring& rememberedId);

#ifdef _WIN32
// Active capture endpoints in the system's collection order, filtered.
// Never fails: every failure yields a shorter or empty list.
std::vector<CaptureDevice> enumerateCaptureDevices();

// Every active capture endpoint, kept or not, for diagnostics.
struct CaptureEndpointInfo {
    CaptureDevice device;
    CaptureExclusion exclusion = CaptureExclusion::None;
    bool hasMixFormat = false;   // false when the shared-mode mix format could not be read
    CaptureFormat mixFormat;     // valid when hasMixFormat
};

// Walks the same collection as enumerateCaptureDevices and also reads each
// endpoint's shared-mode mix format. Returns false, with `endpoints` empty,
// when the endpoint collection itself could not be obtained (an empty but
// readable collection is a success).
bool listCaptureEndpoints(std::vector<CaptureEndpointInfo>& endpoints);
#endif

}  // namespace zalo
