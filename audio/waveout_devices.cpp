#include "audio/waveout_devices.h"

#include <windows.h>
#include <mmsystem.h>

#include <cwchar>

#include "audio/device_names.h"

namespace zalo {

namespace {

// Reads the product name of waveOut device `deviceIndex`. The interface cuts
// names to MAXPNAMELEN - 1 (31) characters; the terminator is searched within
// the fixed array so that a driver that fills all 32 slots cannot make us
// read past it.
bool readDeviceName(UINT deviceIndex, std::wstring& name) {
    WAVEOUTCAPSW caps;
    ZeroMemory(&caps, sizeof(caps));
    if (waveOutGetDevCapsW(deviceIndex, &caps, sizeof(caps)) != MMSYSERR_NOERROR) {
        return false;
    }
    name.assign(caps.szPname, wcsnlen(caps.szPname, MAXPNAMELEN));
    return true;
}

}  // namespace

bool findCableDevice(unsigned& index) {
    const UINT deviceCount = waveOutGetNumDevs();
    std::wstring name;
    for (UINT i = 0; i < deviceCount; ++i) {
        if (!readDeviceName(i, name)) {
            continue;
        }
        if (isCableOutputName(name)) {
            index = i;
            return true;
        }
    }
    return false;
}

std::vector<std::wstring> waveOutDeviceNames() {
    const UINT deviceCount = waveOutGetNumDevs();
    std::vector<std::wstring> names(deviceCount);
    for (UINT i = 0; i < deviceCount; ++i) {
        if (!readDeviceName(i, names[i])) {
            names[i].clear();
        }
    }
    return names;
}

}  // namespace zalo
