// Global shortcuts and push-to-talk, the decisions that need no window: the
// actions and their registry values, the stored format, the text of a
// combination, what a key pressed during capture means, and the rule that a
// combination belongs to one action at a time. ui/hotkeys.cpp and
// ui/shortcuts_window.cpp only translate messages into these, so the native
// tests reach them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "ui/strings.h"

namespace zalo {

enum class HotkeyAction : int { filter, nextVoice, prevVoice, monitor, pushToTalk };
constexpr std::size_t kHotkeyActionCount = 5;

// A combination as stored under the settings key (REG_DWORD): the virtual-key
// code in the low 16 bits, the RegisterHotKey modifier flags in the high 16.
// 0 is "unassigned". Push-to-talk stores its key alone.
constexpr std::uint32_t kModAlt = 0x1, kModControl = 0x2, kModShift = 0x4, kModWin = 0x8;
constexpr std::uint32_t kModAll = kModAlt | kModControl | kModShift | kModWin;

constexpr std::uint32_t makeCombo(std::uint32_t modifiers, std::uint32_t vk) { return modifiers << 16 | vk; }
constexpr std::uint32_t comboKey(std::uint32_t combo) { return combo & 0xFFFFu; }
constexpr std::uint32_t comboModifiers(std::uint32_t combo) { return combo >> 16; }

// Virtual-key codes the rules below look at (the Windows values).
namespace vk {
constexpr std::uint32_t xButton1 = 0x05, xButton2 = 0x06;  // mouse side buttons
constexpr std::uint32_t shift = 0x10, control = 0x11, menu = 0x12;
constexpr std::uint32_t pause = 0x13, escape = 0x1B;
constexpr std::uint32_t pageUp = 0x21, pageDown = 0x22;
constexpr std::uint32_t leftWin = 0x5B, rightWin = 0x5C;
constexpr std::uint32_t f1 = 0x70, f24 = 0x87;
constexpr std::uint32_t scrollLock = 0x91;
constexpr std::uint32_t leftShift = 0xA0, rightShift = 0xA1, leftControl = 0xA2, rightControl = 0xA3;
constexpr std::uint32_t leftMenu = 0xA4, rightMenu = 0xA5;
constexpr std::uint32_t lastKey = 0xFE;
}  // namespace vk

struct HotkeyActionDef {
    HotkeyAction action;
    const wchar_t* valueName;   // REG_DWORD under the settings key
    std::uint32_t defaultCombo; // taken when the value is absent
    const wchar_t* label;       // its row in the shortcuts window
};

// clang-format off
inline constexpr std::array<HotkeyActionDef, kHotkeyActionCount> kHotkeyActions{{
    {HotkeyAction::filter, L"HotkeyFilter", makeCombo(kModControl | kModAlt, 'F'), text::kShortcutFilter},
    // Not the arrows: some graphics drivers take Ctrl+Alt+arrows to rotate the screen.
    {HotkeyAction::nextVoice, L"HotkeyNextVoice", makeCombo(kModControl | kModAlt, vk::pageDown), text::kShortcutNextVoice},
    {HotkeyAction::prevVoice, L"HotkeyPrevVoice", makeCombo(kModControl | kModAlt, vk::pageUp), text::kShortcutPrevVoice},
    {HotkeyAction::monitor, L"HotkeyMonitor", makeCombo(kModControl | kModAlt, 'M'), text::kListenToMe},
    {HotkeyAction::pushToTalk, L"HotkeyPushToTalk", 0, text::kShortcutPushToTalk},
}};
// clang-format on

inline const HotkeyActionDef& hotkeyActionDef(HotkeyAction a) { return kHotkeyActions[static_cast<std::size_t>(a)]; }

using HotkeyBindings = std::array<std::uint32_t, kHotkeyActionCount>;

inline bool isModifierKey(std::uint32_t key) {
    return key == vk::shift || key == vk::control || key == vk::menu || key == vk::leftWin ||
           key == vk::rightWin || (key >= vk::leftShift && key <= vk::rightMenu);
}

inline bool isMouseSideButton(std::uint32_t key) { return key == vk::xButton1 || key == vk::xButton2; }

// Keys that may be a global shortcut without a modifier. Any other key alone
// would be taken from every program: registering "V" would stop the user
// typing a V anywhere.
inline bool standsAlone(std::uint32_t key) {
    return (key >= vk::f1 && key <= vk::f24) || key == vk::pause || key == vk::scrollLock;
}

// A stored value as the action uses it. Modifier bits other than the four
// (MOD_NOREPEAT, stray high bits) are dropped; a key outside 1..0xFE, the
// primary mouse buttons (1..4, no use as a key) and, for the registered
// shortcuts, the side buttons (RegisterHotKey takes no mouse button) mean
// unassigned. Push-to-talk ignores the modifiers: the key alone counts.
inline std::uint32_t decodeStoredCombo(HotkeyAction action, std::int32_t stored) {
    const std::uint32_t raw = static_cast<std::uint32_t>(stored);
    const std::uint32_t key = comboKey(raw);
    if (key == 0 || key > vk::lastKey || key < vk::xButton1) return 0;
    if (action == HotkeyAction::pushToTalk) return key;
    if (isMouseSideButton(key)) return 0;
    return makeCombo(comboModifiers(raw) & kModAll, key);
}

// Does a key event of the low-level hook (which reports the left and right
// modifier keys apart) belong to the push-to-talk key? A key stored as the
// plain Shift, Ctrl or Alt (set by hand) takes either side.
inline bool pushToTalkKeyMatches(std::uint32_t stored, std::uint32_t event) {
    if (stored == event) return true;
    switch (stored) {
        case vk::shift: return event == vk::leftShift || event == vk::rightShift;
        case vk::control: return event == vk::leftControl || event == vk::rightControl;
        case vk::menu: return event == vk::leftMenu || event == vk::rightMenu;
        default: return false;
    }
}

// One key press (or side-button press) while a row of the shortcuts window
// waits for a combination. `held` is the RegisterHotKey flags of the
// modifiers down at that moment.
enum class CaptureOutcome { keepWaiting, cancel, accept };
struct CaptureStep {
    CaptureOutcome outcome;
    std::uint32_t combo;  // for accept
};

inline CaptureStep captureStep(HotkeyAction action, std::uint32_t key, std::uint32_t held) {
    if (key == vk::escape && held == 0) return {CaptureOutcome::cancel, 0};
    if (key == 0 || key > vk::lastKey || key < vk::xButton1) return {CaptureOutcome::keepWaiting, 0};
    // Push-to-talk takes any key the hooks can see, a modifier or a side
    // button included, and never its modifiers.
    if (action == HotkeyAction::pushToTalk) return {CaptureOutcome::accept, key};
    if (isMouseSideButton(key) || isModifierKey(key)) return {CaptureOutcome::keepWaiting, 0};
    held &= kModAll;
    if (held == 0 && !standsAlone(key)) return {CaptureOutcome::keepWaiting, 0};
    return {CaptureOutcome::accept, makeCombo(held, key)};
}

// Gives `action` the combination (0 clears it). Another action holding the
// same combination loses it: one combination, one action. Returns a bit per
// action whose binding changed (bit i for action i).
inline unsigned assignCombo(HotkeyBindings& bindings, HotkeyAction action, std::uint32_t combo) {
    unsigned changed = 0;
    const std::size_t target = static_cast<std::size_t>(action);
    for (std::size_t i = 0; i < bindings.size(); ++i) {
        if (i != target && combo != 0 && bindings[i] == combo) {
            bindings[i] = 0;
            changed |= 1u << i;
        }
    }
    if (bindings[target] != combo) changed |= 1u << target;
    bindings[target] = combo;
    return changed;
}

// The name of a key as the shortcuts window shows it.
inline std::wstring keyName(std::uint32_t key) {
    if ((key >= 'A' && key <= 'Z') || (key >= '0' && key <= '9')) return std::wstring(1, static_cast<wchar_t>(key));
    if (key >= vk::f1 && key <= vk::f24) return L"F" + std::to_wstring(key - vk::f1 + 1);
    if (key >= 0x60 && key <= 0x69) return L"Num " + std::to_wstring(key - 0x60);
    struct Named {
        std::uint32_t key;
        const wchar_t* name;
    };
    static constexpr Named kNames[] = {
        {vk::xButton1, L"Mouse 4"}, {vk::xButton2, L"Mouse 5"}, {0x08, L"Backspace"}, {0x09, L"Tab"},
        {0x0D, L"Enter"}, {vk::shift, L"Shift"}, {vk::control, L"Ctrl"}, {vk::menu, L"Alt"},
        {vk::pause, L"Pause"}, {0x14, L"Caps Lock"}, {vk::escape, L"Esc"}, {0x20, L"Espaço"},
        {vk::pageUp, L"PageUp"}, {vk::pageDown, L"PageDown"}, {0x23, L"End"}, {0x24, L"Home"},
        {0x25, L"Seta esquerda"}, {0x26, L"Seta acima"}, {0x27, L"Seta direita"}, {0x28, L"Seta abaixo"},
        {0x2C, L"Print Screen"}, {0x2D, L"Insert"}, {0x2E, L"Delete"}, {vk::leftWin, L"Win esquerdo"},
        {vk::rightWin, L"Win direito"}, {0x6A, L"Num *"}, {0x6B, L"Num +"}, {0x6D, L"Num -"}, {0x6E, L"Num ,"},
        {0x6F, L"Num /"}, {0x90, L"Num Lock"}, {vk::scrollLock, L"Scroll Lock"}, {vk::leftShift, L"Shift esquerdo"},
        {vk::rightShift, L"Shift direito"}, {vk::leftControl, L"Ctrl esquerdo"}, {vk::rightControl, L"Ctrl direito"},
        {vk::leftMenu, L"Alt esquerdo"}, {vk::rightMenu, L"Alt direito"},
    };
    for (const Named& n : kNames) {
        if (n.key == key) return n.name;
    }
    // Punctuation and other keys whose label depends on the keyboard layout.
    static constexpr wchar_t kHex[] = L"0123456789ABCDEF";
    return std::wstring(L"Tecla 0x") + kHex[(key >> 4) & 0xF] + kHex[key & 0xF];
}

// "Ctrl+Alt+F", modifiers in the order Ctrl, Alt, Shift, Win; "nenhum" for 0.
inline std::wstring comboText(std::uint32_t combo) {
    if (comboKey(combo) == 0) return text::kShortcutNone;
    std::wstring text;
    const std::uint32_t mods = comboModifiers(combo);
    if (mods & kModControl) text += L"Ctrl+";
    if (mods & kModAlt) text += L"Alt+";
    if (mods & kModShift) text += L"Shift+";
    if (mods & kModWin) text += L"Win+";
    return text + keyName(comboKey(combo));
}

}  // namespace zalo
