// Global shortcuts and push-to-talk: registration, the low-level hooks, and
// what each action does in the App. An action works the same with the
// window shown or hidden in the tray, and shows nothing of its own: no
// sound, no balloon, nothing that would pull the user out of a game.
#include "ui/hotkeys.h"

#include "dsp/voice_presets.h"
#include "settings/settings_store.h"
#include "ui/app.h"

namespace zalo {

namespace {

// WM_HOTKEY ids: action i is registered as i + 1 (0 is no id).
constexpr int kFirstHotkeyId = 1;

// A low-level hook procedure gets no context pointer, so the one object whose
// hooks are installed is found here. Set while a hook is in, on the
// user-interface thread only, which is also the thread the hooks run on.
Hotkeys* hookedHotkeys = nullptr;

std::uint32_t modifierBit(std::uint32_t key) {
    switch (key) {
        case VK_SHIFT: case VK_LSHIFT: case VK_RSHIFT: return kModShift;
        case VK_CONTROL: case VK_LCONTROL: case VK_RCONTROL: return kModControl;
        case VK_MENU: case VK_LMENU: case VK_RMENU: return kModAlt;
        case VK_LWIN: case VK_RWIN: return kModWin;
        default: return 0;
    }
}

}  // namespace

static_assert(kModAlt == MOD_ALT && kModControl == MOD_CONTROL && kModShift == MOD_SHIFT && kModWin == MOD_WIN,
              "RegisterHotKey flags");
static_assert(vk::xButton1 == VK_XBUTTON1 && vk::xButton2 == VK_XBUTTON2 && vk::pageDown == VK_NEXT &&
                  vk::leftControl == VK_LCONTROL && vk::rightMenu == VK_RMENU && vk::escape == VK_ESCAPE,
              "virtual-key codes");

void Hotkeys::start(HWND mainWindow) {
    window = mainWindow;
    for (const HotkeyActionDef& def : kHotkeyActions) {
        const std::int32_t stored = readDwordSetting(def.valueName, static_cast<std::int32_t>(def.defaultCombo));
        current[static_cast<std::size_t>(def.action)] = decodeStoredCombo(def.action, stored);
    }
    apply();
}

void Hotkeys::release() {
    captureAction = -1;
    current = HotkeyBindings{};
    unregisterAll();
    updateHooks();
    gate.store(true, std::memory_order_relaxed);
}

bool Hotkeys::actionOfId(WPARAM id, HotkeyAction& action) {
    const WPARAM first = kFirstHotkeyId;
    if (id < first || id >= first + static_cast<int>(HotkeyAction::pushToTalk)) return false;
    action = static_cast<HotkeyAction>(id - first);
    return true;
}

void Hotkeys::unregisterAll() {
    for (int i = 0; i < static_cast<int>(kHotkeyActionCount); ++i) {
        if (registeredBits & (1u << i)) UnregisterHotKey(window, kFirstHotkeyId + i);
    }
    registeredBits = 0;
}

void Hotkeys::apply() {
    unregisterAll();
    refusedBits = 0;
    if (window != nullptr && captureAction < 0) {
        for (const HotkeyActionDef& def : kHotkeyActions) {
            const std::uint32_t combo = current[static_cast<std::size_t>(def.action)];
            if (def.action == HotkeyAction::pushToTalk || combo == 0) continue;
            // MOD_NOREPEAT: a held combination fires once, not at the
            // keyboard's repeat rate (which would flip the filter on and off).
            if (RegisterHotKey(window, kFirstHotkeyId + static_cast<int>(def.action),
                               comboModifiers(combo) | MOD_NOREPEAT, comboKey(combo))) {
                registeredBits |= bit(def.action);
            } else {
                refusedBits |= bit(def.action);
            }
        }
    }
    // Push-to-talk assigned: the cable is silent until the key goes down.
    // Off: the cable is open, exactly as without the feature.
    gate.store(!pushToTalkOn(), std::memory_order_relaxed);
    ticksSeenUp = 0;
    updateHooks();
}

void Hotkeys::updateHooks() {
    // The hooks put every key press of the session through this thread, so
    // they are in only while something needs them.
    const std::uint32_t ptt = binding(HotkeyAction::pushToTalk);
    const bool wantKeyboard = window != nullptr && (ptt != 0 || captureAction >= 0);
    const bool wantMouse = window != nullptr && (isMouseSideButton(ptt) ||
                                                 captureAction == static_cast<int>(HotkeyAction::pushToTalk));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    if (wantKeyboard && keyboardHook == nullptr) {
        keyboardHook = SetWindowsHookExW(WH_KEYBOARD_LL, keyboardProc, instance, 0);
    } else if (!wantKeyboard && keyboardHook != nullptr) {
        UnhookWindowsHookEx(keyboardHook);
        keyboardHook = nullptr;
    }
    if (wantMouse && mouseHook == nullptr) {
        mouseHook = SetWindowsHookExW(WH_MOUSE_LL, mouseProc, instance, 0);
    } else if (!wantMouse && mouseHook != nullptr) {
        UnhookWindowsHookEx(mouseHook);
        mouseHook = nullptr;
    }
    hookedHotkeys = keyboardHook != nullptr || mouseHook != nullptr ? this : nullptr;
    heldModifiers = 0;  // what the hook saw before it was in is unknown
}

bool Hotkeys::assign(HotkeyAction a, std::uint32_t combo) {
    const HotkeyBindings before = current;
    const unsigned changed = assignCombo(current, a, combo);
    apply();
    if (combo != 0 && refused(a)) {
        current = before;
        apply();
        return false;
    }
    for (const HotkeyActionDef& def : kHotkeyActions) {
        if (changed & bit(def.action)) writeDwordSetting(def.valueName, current[static_cast<std::size_t>(def.action)]);
    }
    return true;
}

void Hotkeys::beginCapture(HotkeyAction a) {
    captureAction = static_cast<int>(a);
    apply();
}

void Hotkeys::endCapture() {
    if (captureAction < 0) return;
    captureAction = -1;
    apply();
}

bool Hotkeys::capturing(HotkeyAction& a) const {
    if (captureAction < 0) return false;
    a = static_cast<HotkeyAction>(captureAction);
    return true;
}

void Hotkeys::checkHeldKey() {
    const std::uint32_t key = binding(HotkeyAction::pushToTalk);
    if (key == 0 || !gate.load(std::memory_order_relaxed) || (GetAsyncKeyState(static_cast<int>(key)) & 0x8000)) {
        ticksSeenUp = 0;
        return;
    }
    if (++ticksSeenUp >= 2) {
        gate.store(false, std::memory_order_relaxed);
        ticksSeenUp = 0;
    }
}

bool Hotkeys::noteKey(std::uint32_t key, bool down) {
    if (const std::uint32_t mod = modifierBit(key)) {
        heldModifiers = down ? heldModifiers | mod : heldModifiers & ~mod;
    }
    const std::uint32_t ptt = binding(HotkeyAction::pushToTalk);
    if (captureAction >= 0) {
        if (!down) return false;
        const bool forPushToTalk = captureAction == static_cast<int>(HotkeyAction::pushToTalk);
        if (isModifierKey(key) && !forPushToTalk) return false;  // let it reach the combination
        PostMessageW(window, kHotkeyCaptureMessage, key, heldModifiers);
        return true;  // the press was for us, not for the program in front
    }
    if (ptt != 0 && pushToTalkKeyMatches(ptt, key)) {
        gate.store(down, std::memory_order_relaxed);
        ticksSeenUp = 0;
    }
    return false;  // push-to-talk's key still reaches the game
}

LRESULT CALLBACK Hotkeys::keyboardProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && hookedHotkeys != nullptr) {
        const auto* event = reinterpret_cast<const KBDLLHOOKSTRUCT*>(lParam);
        const bool down = wParam == WM_KEYDOWN || wParam == WM_SYSKEYDOWN;
        if (hookedHotkeys->noteKey(event->vkCode, down)) return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

LRESULT CALLBACK Hotkeys::mouseProc(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HC_ACTION && hookedHotkeys != nullptr && (wParam == WM_XBUTTONDOWN || wParam == WM_XBUTTONUP)) {
        const auto* event = reinterpret_cast<const MSLLHOOKSTRUCT*>(lParam);
        const std::uint32_t key = HIWORD(event->mouseData) == XBUTTON1 ? VK_XBUTTON1 : VK_XBUTTON2;
        if (hookedHotkeys->noteKey(key, wParam == WM_XBUTTONDOWN)) return 1;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// --- the actions, in the App -------------------------------------------------

bool App::onHotkeyMessage(WPARAM wParam, LPARAM, LRESULT& result) {
    result = 0;
    HotkeyAction action{};
    if (!Hotkeys::actionOfId(wParam, action)) return true;
    switch (action) {
        case HotkeyAction::filter: toggleFilter(); break;  // button, FilterOn, tray follow
        case HotkeyAction::nextVoice: stepVoice(+1); break;
        case HotkeyAction::prevVoice: stepVoice(-1); break;
        case HotkeyAction::monitor:
            // As a click on "Escutar minha voz": the box toggles, then the push.
            setChecked(Field::monitorCheckbox, !isChecked(Field::monitorCheckbox));
            pushParamsToEngine();
            break;
        case HotkeyAction::pushToTalk: break;  // never registered
    }
    return true;
}

// The next or previous voice, wrapping, applied and stored as the gallery's
// OK does. While the gallery is open the choice is the gallery's: its
// CANCELAR would otherwise put back a voice the shortcut had replaced.
void App::stepVoice(int direction) {
    if (galleryWindow != nullptr) return;
    const int count = static_cast<int>(voicePresetTable().count);
    if (count <= 0) return;
    const int selected = comboSelection(Field::voicePresetCombo);
    const int from = selected < 0 ? 0 : selected;
    const int next = ((from + direction) % count + count) % count;
    SendMessageW(control(Field::voicePresetCombo), CB_SETCURSEL, static_cast<WPARAM>(next), 0);
    voicePreset = next;
    writeDwordSetting(kVoicePresetValue, static_cast<std::uint32_t>(next));
    presetRefreshSequence();
    updateActiveVoiceButton();
}

}  // namespace zalo
