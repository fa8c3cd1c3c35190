#include "ui/single_instance_win.h"

#include <string>

#include "ui/show_request.h"

namespace zalo {

namespace {

// Local\ keeps the name within the login session; the user name keeps two
// users of one session (a "run as" launch) apart. A backslash is the one
// character a mutex name may not hold after the prefix.
std::wstring mutexName() {
    std::wstring name = L"Local\\ZaloAudio.SingleInstance.";
    wchar_t user[257] = {};
    DWORD size = 257;
    if (GetUserNameW(user, &size)) name += user;
    for (std::size_t i = 6; i < name.size(); ++i) {
        if (name[i] == L'\\') name[i] = L'_';
    }
    return name;
}

}  // namespace

SingleInstance::SingleInstance() {
    mutex = CreateMutexW(nullptr, FALSE, mutexName().c_str());
    isFirst = !(mutex != nullptr && GetLastError() == ERROR_ALREADY_EXISTS);
}

SingleInstance::~SingleInstance() {
    if (mutex != nullptr) CloseHandle(mutex);
}

bool bringRunningInstanceForward(const wchar_t* windowClass, DWORD waitMs) {
    const UINT message = RegisterWindowMessageW(kShowRequestMessageName);
    const ULONGLONG deadline = GetTickCount64() + waitMs;
    for (;;) {
        if (HWND window = FindWindowW(windowClass, nullptr)) {
            // Windows lets only the foreground process give the foreground
            // away; we were just launched by the user, so we may.
            DWORD process = 0;
            GetWindowThreadProcessId(window, &process);
            if (process != 0) AllowSetForegroundWindow(process);
            if (message != 0 && PostMessageW(window, message, 0, 0)) return true;
        }
        if (GetTickCount64() >= deadline) return false;
        Sleep(100);
    }
}

}  // namespace zalo
