// An open registry key that closes itself on every path out of a scope.
#pragma once

#include <windows.h>

namespace zalo {

class RegistryKey {
public:
    RegistryKey() = default;
    ~RegistryKey() {
        if (key_ != nullptr) RegCloseKey(key_);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens an existing key; false when it is missing or access is refused.
    bool open(HKEY root, const wchar_t* path, REGSAM access) {
        return RegOpenKeyExW(root, path, 0, access, &key_) == ERROR_SUCCESS;
    }
    // Opens the key, creating it (non-volatile, default security) when missing.
    bool create(HKEY root, const wchar_t* path, REGSAM access) {
        return RegCreateKeyExW(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, access, nullptr,
                               &key_, nullptr) == ERROR_SUCCESS;
    }
    HKEY get() const { return key_; }

private:
    HKEY key_ = nullptr;
};

}  // namespace zalo
