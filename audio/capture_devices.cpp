#include "audio/capture_devices.h"

#include "audio/device_names.h"

namespace zalo {

CaptureExclusion captureExclusionOf(const std::wstring& name) {
    const std::wstring lower = lowerCaseName(name);
    if (isVirtualCableName(lower)) return CaptureExclusion::VirtualCable;
    if (isLoopbackName(lower)) return CaptureExclusion::Loopback;
    return CaptureExclusion::None;
}

std::optional<std::size_t> chooseCaptureDevice(const std::vector<CaptureDevice>& devices,
                                               const std::wstring& rememberedId) {
    if (devices.empty()) return std::nullopt;
    if (!rememberedId.empty()) {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i].id == rememberedId) return i;
        }
    }
    return 0;
}

}  // namespace zalo
