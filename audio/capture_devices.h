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

// The device to capture from after a look at the endpoint list.
struct CaptureChoice {
    std::optional<std::size_t> index;  // nothing: the list is empty
    // Nothing was remembered, so the chosen device becomes the remembered
    // one. A remembered device that is merely absent (a USB headset not yet
    // ready at login, unplugged for a moment) stays remembered and is taken
    // back when it returns.
    bool remember = false;
};

// The first device whose id equals `rememberedId` exactly (case-sensitive,
// same length). Failing that, the system's default capture endpoint
// (`defaultId`) when it is listed, else the first device. An empty id never
// matches, not even a device with an empty id.
CaptureChoice chooseCaptureDevice(const std::vector<CaptureDevice>& devices, const std::wstring& rememberedId,
                                  const std::wstring& defaultId);

#ifdef _WIN32
// Active capture endpoints in the system's collection order, filtered.
// Never fails: every failure yields a shorter or empty list.
std::vector<CaptureDevice> enumerateCaptureDevices();

// The id of the system's default capture endpoint for the console role;
// empty when there is none or it cannot be read.
std::wstring defaultCaptureDeviceId();

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
