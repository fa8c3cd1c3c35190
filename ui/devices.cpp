// The microphone: the device list, which device to capture from, and
// keeping capture alive through unplugging, sleep and devices that appear
// late. The rule for the choice is portable (chooseCaptureDevice); this file
// only applies it.
//
// Two ids are kept apart. `deviceId` is the user's choice, stored as
// DeviceId; it changes only when the user picks a device in the list (or,
// with nothing stored, when the first choice is made). `activeDeviceId` is
// what capture runs on, which may be another device for as long as the
// remembered one is away.
#include <windows.h>

#include <algorithm>

#include "settings/settings_store.h"
#include "ui/app.h"
#include "ui/main_window_logic.h"
#include "ui/strings.h"

namespace zalo {

void App::refreshDevices(bool refill) {
    std::vector<CaptureDevice> listed = enumerateCaptureDevices();
    const bool same = listed.size() == devices.size() &&
                      std::equal(listed.begin(), listed.end(), devices.begin(),
                                 [](const CaptureDevice& a, const CaptureDevice& b) {
                                     return a.id == b.id && a.name == b.name;
                                 });
    if (same && !refill) return;
    devices = std::move(listed);
    HWND combo = control(Field::deviceCombo);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const CaptureDevice& d : devices) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(d.name.c_str()));
    }
}

void App::applyCaptureChoice(bool restart) {
    const CaptureChoice choice = chooseCaptureDevice(devices, deviceId, defaultCaptureDeviceId());
    HWND combo = control(Field::deviceCombo);
    if (!choice.index) {
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
        engine.stop();
        activeDeviceId.clear();
        setText(Field::statusLabel, text::kStatusNoMicrophone);
        return;
    }
    SendMessageW(combo, CB_SETCURSEL, *choice.index, 0);
    const std::wstring& id = devices[*choice.index].id;
    if (choice.remember) {
        deviceId = id;
        writeDeviceIdSetting(deviceId);
    }
    if (restart) {
        engine.start(id);  // outputs too, from scratch
    } else if (id != activeDeviceId || captureLost()) {
        engine.restartCapture(id);  // the cable keeps running
    } else {
        return;
    }
    activeDeviceId = id;
    lastDeviceCheckMs = GetTickCount64();
    pushParamsToEngine();  // settings, and the monitor as its box says
}

void App::selectDevice() {
    const int index = comboSelection(Field::deviceCombo);
    if (index < 0 || static_cast<std::size_t>(index) >= devices.size()) {
        engine.stop();
        activeDeviceId.clear();
        setText(Field::statusLabel, text::kStatusNoMicrophone);
        return;
    }
    deviceId = devices[static_cast<std::size_t>(index)].id;
    writeDeviceIdSetting(deviceId);
    engine.start(deviceId);
    activeDeviceId = deviceId;
    lastDeviceCheckMs = GetTickCount64();
    pushParamsToEngine();
}

bool App::captureLost() const {
    return !isCapturing(engine.running.load(), engine.delivering.load(), engine.captureFault.load());
}

// From the UI timer. Under Wine no notification ever comes, and on Windows
// one can be missed; so while capture is lost, the list is read again and
// the choice applied about once a second. The remembered device is tried
// first whenever it is listed, so it comes back by itself when it returns.
// While capture runs on a stand-in for an absent remembered device, the list
// is read every few seconds too, for the same reason.
void App::retryLostCapture() {
    const bool lost = captureLost();
    const bool standIn = !deviceId.empty() && !activeDeviceId.empty() && activeDeviceId != deviceId;
    if (!lost && !standIn) return;
    const ULONGLONG now = GetTickCount64();
    if (now - lastDeviceCheckMs < (lost ? kCaptureRetryMs : kStandInCheckMs)) return;
    lastDeviceCheckMs = now;
    refreshDevices(false);
    applyCaptureChoice(false);
}

bool App::onDeviceChangeMessage(WPARAM, LPARAM, LRESULT& result) {
    SetTimer(hwnd, kDeviceSettleTimerId, kDeviceSettleMs, nullptr);  // restarts a pending one
    result = 0;
    return true;
}

void App::onDevicesSettled() {
    KillTimer(hwnd, kDeviceSettleTimerId);
    if (shuttingDown.load()) return;
    refreshDevices(false);
    applyCaptureChoice(false);
}

// Back from sleep: USB devices and their streams may not have survived.
// Look again once the system has settled; the outputs reopen their devices
// by themselves, but a thread that ended is started again here.
bool App::onPowerBroadcast(WPARAM wParam, LPARAM, LRESULT& result) {
    if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) {
        if (engine.running.load() && !engine.cable.running.load()) engine.cable.start();
        SetTimer(hwnd, kDeviceSettleTimerId, kDeviceSettleMs, nullptr);
    }
    result = TRUE;
    return true;
}

}  // namespace zalo
