#include "settings/start_with_windows.h"

#include <windows.h>

#include "settings/registry_key_win.h"

namespace zalo {

namespace {

constexpr wchar_t kRunKey[] = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
constexpr wchar_t kRunValue[] = L"ZaloAudio";
constexpr DWORD kModulePathChars = MAX_PATH;  // 260, terminator included
// The existence probe reads at most this much; a larger value counts as absent.
constexpr DWORD kRunValueProbeBytes = 4096;

}  // namespace

void setStartWithWindows(bool enable) {
    RegistryKey key;
    if (!key.create(HKEY_CURRENT_USER, kRunKey, KEY_SET_VALUE)) return;
    if (!enable) {
        // Deleting a value that is already gone is harmless.
        RegDeleteValueW(key.get(), kRunValue);
        return;
    }
    wchar_t path[kModulePathChars] = {};
    const DWORD copied = GetModuleFileNameW(nullptr, path, kModulePathChars);
    const std::wstring command = quotedModulePath(path, copied, kModulePathChars);
    if (command.empty()) return;
    // Including the terminating NUL: (characters + 1) * 2 bytes.
    RegSetValueExW(key.get(), kRunValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
}

bool isStartWithWindowsEnabled() {
    RegistryKey key;
    if (!key.open(HKEY_CURRENT_USER, kRunKey, KEY_QUERY_VALUE)) return false;
    BYTE probe[kRunValueProbeBytes] = {};
    DWORD bytes = sizeof(probe);
    return RegQueryValueExW(key.get(), kRunValue, nullptr, nullptr, probe, &bytes) == ERROR_SUCCESS;
}

}  // namespace zalo
