// One ZaloAudio.exe per user session. The first launch holds a named mutex
// for its whole life; a later launch finds it held, hands over to the
// running instance's window and ends with exit code 0.
#pragma once

#include <windows.h>

namespace zalo {

class SingleInstance {
public:
    SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;
    ~SingleInstance();

    // False when another instance of this user already runs. A mutex that
    // cannot be created at all does not stop the program.
    bool first() const { return isFirst; }

private:
    HANDLE mutex = nullptr;
    bool isFirst = true;
};

// Asks the running instance's main window (class `windowClass`) to come
// forward. It may still be starting, so it is looked for during up to
// `waitMs`. Returns whether a window was found and asked.
bool bringRunningInstanceForward(const wchar_t* windowClass, DWORD waitMs);

}  // namespace zalo
