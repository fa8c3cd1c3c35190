// Global shortcuts (RegisterHotKey on the main window) and push-to-talk (a
// low-level keyboard hook, and a low-level mouse hook for the side buttons).
// Owns the five bindings, their registration and the hooks; what an action
// does is the App's (ui/hotkeys.cpp). Everything here runs on the
// user-interface thread, the hook procedures included: Windows calls a
// low-level hook on the thread that installed it, from its message loop.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

#include "ui/hotkey_rules.h"

namespace zalo {

// Posted by the keyboard or mouse hook to the main window while a row of the
// shortcuts window waits for a combination: wParam the virtual key, lParam
// the RegisterHotKey flags of the modifiers held.
constexpr UINT kHotkeyCaptureMessage = WM_APP + 12;

class Hotkeys {
public:
    // `cableGateOpen`: the engine's push-to-talk flag, which the hook sets.
    explicit Hotkeys(std::atomic<bool>& cableGateOpen) : gate(cableGateOpen) {}
    Hotkeys(const Hotkeys&) = delete;
    Hotkeys& operator=(const Hotkeys&) = delete;
    ~Hotkeys() { release(); }

    // Reads the five values (an absent one takes its default) and puts them
    // in effect on `window`: shortcuts registered, push-to-talk's hook in.
    void start(HWND window);
    // Unregisters every shortcut and removes the hooks; the cable opens.
    void release();

    const HotkeyBindings& bindings() const { return current; }
    std::uint32_t binding(HotkeyAction a) const { return current[static_cast<std::size_t>(a)]; }
    // RegisterHotKey refused this action's combination: another program
    // holds it.
    bool refused(HotkeyAction a) const { return refusedBits & bit(a); }
    // The action behind a WM_HOTKEY id, or false for an id not ours.
    static bool actionOfId(WPARAM id, HotkeyAction& action);

    // Gives `a` the combination (0 clears it) under the one-action rule, puts
    // it in effect and stores every value that changed. A combination the
    // system refuses (another program's) changes nothing: the old bindings
    // stay in effect, and the result is false.
    bool assign(HotkeyAction a, std::uint32_t combo);

    // While a row waits for its combination, every shortcut is unregistered
    // (so that the keys reach the hook rather than fire an action) and the
    // hook posts each key press to the window instead of acting on it.
    void beginCapture(HotkeyAction a);
    void endCapture();
    bool capturing(HotkeyAction& a) const;

    bool pushToTalkOn() const { return binding(HotkeyAction::pushToTalk) != 0; }
    bool pushToTalkHeld() const { return gate.load(std::memory_order_relaxed); }
    // Timer: Windows drops a hook that is too slow without telling it, and
    // input to an elevated window never reaches it; a key whose release went
    // unseen would leave the cable open. Two ticks in a row that find the key
    // up close it.
    void checkHeldKey();

private:
    static unsigned bit(HotkeyAction a) { return 1u << static_cast<unsigned>(a); }
    // Registers the shortcuts (none while capturing), installs or removes
    // the hooks for the current bindings; records what the system refused.
    void apply();
    void unregisterAll();
    void updateHooks();
    // The hooks' one job: note a key's state (and, while capturing, post the
    // press). True to swallow the event.
    bool noteKey(std::uint32_t key, bool down);
    static LRESULT CALLBACK keyboardProc(int code, WPARAM wParam, LPARAM lParam);
    static LRESULT CALLBACK mouseProc(int code, WPARAM wParam, LPARAM lParam);

    std::atomic<bool>& gate;
    HWND window = nullptr;
    HotkeyBindings current{};
    unsigned registeredBits = 0;
    unsigned refusedBits = 0;
    int captureAction = -1;           // the row waiting for a combination, or -1
    std::uint32_t heldModifiers = 0;  // as the hook saw them, RegisterHotKey flags
    int ticksSeenUp = 0;              // checkHeldKey
    HHOOK keyboardHook = nullptr;
    HHOOK mouseHook = nullptr;
};

}  // namespace zalo
