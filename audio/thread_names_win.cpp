#include "audio/thread_names_win.h"

#include <windows.h>

namespace zalo {

void nameCurrentThread(const wchar_t* name) {
    // Looked up at run time so that the program still starts on systems
    // without the call.
    using SetDescription = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const SetDescription setDescription = reinterpret_cast<SetDescription>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setDescription != nullptr) setDescription(GetCurrentThread(), name);
}

}  // namespace zalo
