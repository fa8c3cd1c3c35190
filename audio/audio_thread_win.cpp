#include "audio/audio_thread_win.h"

#include <windows.h>
#include <objbase.h>
#include <avrt.h>

namespace zalo {

AudioThreadScope::AudioThreadScope() {
    comInitialised = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
    DWORD taskIndex = 0;
    mmcss = AvSetMmThreadCharacteristicsW(L"Pro Audio", &taskIndex);
}

AudioThreadScope::~AudioThreadScope() {
    if (mmcss != nullptr) AvRevertMmThreadCharacteristics(mmcss);
    if (comInitialised) CoUninitialize();
}

}  // namespace zalo
