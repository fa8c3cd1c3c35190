#include "audio/device_names.h"

#include <cwctype>
#include <initializer_list>

namespace zalo {

namespace {

bool containsAny(const std::wstring& text, std::initializer_list<const wchar_t*> keys) {
    for (const wchar_t* key : keys) {
        if (text.find(key) != std::wstring::npos) {
            return true;
        }
    }
    return false;
}

}  // namespace

std::wstring lowerCaseName(const std::wstring& name) {
    std::wstring lower(name);
    for (wchar_t& c : lower) {
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    }
    return lower;
}

bool isCableOutputName(const std::wstring& name) {
    // Plain substring tests, in this order; the keys are already lower case.
    return containsAny(lowerCaseName(name), {L"cable input", L"vb-audio point"});
}

bool isVirtualCableName(const std::wstring& lower) {
    return containsAny(lower, {L"zalo audio microphone", L"zalo audio virtual microphone",
                               L"cable output", L"vb-audio virtual cable"});
}

bool isLoopbackName(const std::wstring& lower) {
    return containsAny(lower, {L"stereo mix", L"mixagem estereo", L"what u hear",
                               L"wave out mix", L"loopback"});
}

}  // namespace zalo
