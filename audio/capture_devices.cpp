#include "audio/capture_devices.h"

#include "audio/device_names.h"

namespace zalo {

CaptureExclusion captureExclusionOf(const std::wstring& name) {
    const std::wstring lower = lowerCaseName(name);
    if (isVirtualCableName(lower)) return CaptureExclusion::VirtualCable;
    if (isLoopbackName(lower)) return CaptureExclusion::Loopback;
    return CaptureExclusion::None;
}

namespace {

std::optional<std::size_t> indexOf(const std::vector<CaptureDevice>& devices, const std::wstring& id) {
    if (id.empty()) return std::nullopt;
    for (std::size_t i = 0; i < devices.size(); ++i) {
        if (devices[i].id == id) return i;
    }
    return std::nullopt;
}

}  // namespace

CaptureChoice chooseCaptureDevice(const std::vector<CaptureDevice>& devices, const std::wstring& rememberedId,
                                  const std::wstring& defaultId) {
    CaptureChoice choice;
    if (devices.empty()) return choice;
    choice.remember = rememberedId.empty();
    choice.index = indexOf(devices, rememberedId);
    if (!choice.index) choice.index = indexOf(devices, defaultId);
    if (!choice.index) choice.index = 0;
    return choice;
}

}  // namespace zalo
