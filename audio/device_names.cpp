#include "audio/device_names.h"

#include <cwctype>

namespace zalo {

bool isCableOutputName(const std::wstring& name) {
    std::wstring lower(name);
    for (wchar_t& c : lower) {
        c = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(c)));
    }
    // Plain substring tests, in this order; the keys are already lower case.
    return lower.find(L"cable input") != std::wstring::npos ||
           lower.find(L"vb-audio point") != std::wstring::npos;
}

}  // namespace zalo
