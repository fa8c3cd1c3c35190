#include "settings/start_with_windows.h"

namespace zalo {

std::wstring quotedModulePath(const wchar_t* buffer, std::size_t copiedChars,
                              std::size_t capacityChars) {
    // A result equal to the capacity means the path was cut to fit (and,
    // on older systems, left without its terminator).
    if (copiedChars == 0 || copiedChars >= capacityChars) return {};
    return L"\"" + std::wstring(buffer, copiedChars) + L"\"";
}

}  // namespace zalo
