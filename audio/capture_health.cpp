#include "audio/capture_health.h"

namespace zalo {

CaptureFault captureFaultOf(std::int32_t hresult) {
    switch (static_cast<std::uint32_t>(hresult)) {
        case 0x88890004u:  // AUDCLNT_E_DEVICE_INVALIDATED: removed, disabled, format changed
        case 0x88890026u:  // AUDCLNT_E_RESOURCES_INVALIDATED: after sleep, on some drivers
        case 0x80070490u:  // E_NOTFOUND: an endpoint id that names no device (any more)
        case 0x8889000Fu:  // AUDCLNT_E_ENDPOINT_CREATE_FAILED: the endpoint is going away
            return CaptureFault::Lost;
        case 0x80070005u:  // E_ACCESSDENIED: microphone privacy settings
            return CaptureFault::AccessDenied;
        case 0x8889000Au:  // AUDCLNT_E_DEVICE_IN_USE: held in exclusive mode
        case 0x88890012u:  // AUDCLNT_E_EXCLUSIVE_MODE_ONLY: the device allows nothing else
            return CaptureFault::InUse;
        default:
            return CaptureFault::Failed;
    }
}

}  // namespace zalo
