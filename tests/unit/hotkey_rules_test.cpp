// Shortcuts and push-to-talk without a window: the stored format that
// outside checks rely on, the combination text, what a key pressed during
// capture does, and one combination per action.
#include "ui/hotkey_rules.h"

#include <gtest/gtest.h>

namespace zalo {
namespace {

TEST(HotkeyRules, StoredFormatAndDefaults) {
    const std::uint32_t defaults[] = {0x00030046, 0x00030022, 0x00030021, 0x0003004D, 0};
    const wchar_t* names[] = {L"HotkeyFilter", L"HotkeyNextVoice", L"HotkeyPrevVoice", L"HotkeyMonitor",
                              L"HotkeyPushToTalk"};
    for (std::size_t i = 0; i < kHotkeyActionCount; ++i) {
        EXPECT_EQ(kHotkeyActions[i].defaultCombo, defaults[i]) << i;
        EXPECT_STREQ(kHotkeyActions[i].valueName, names[i]);
        EXPECT_EQ(static_cast<std::size_t>(kHotkeyActions[i].action), i);
    }
    struct Case {
        HotkeyAction action;
        std::uint32_t stored, used;
    } cases[] = {
        {HotkeyAction::filter, 0x00030046, 0x00030046},
        {HotkeyAction::filter, 0x40030046, 0x00030046},  // MOD_NOREPEAT and stray bits dropped
        {HotkeyAction::filter, 0x00070000, 0},           // modifiers without a key
        {HotkeyAction::filter, 0x000200FF, 0},           // no such key
        {HotkeyAction::filter, 0x00020001, 0},           // the left mouse button
        {HotkeyAction::monitor, 0x00020005, 0},          // a side button cannot be registered
        {HotkeyAction::pushToTalk, 0x00030056, 0x56},    // push-to-talk: the key alone
        {HotkeyAction::pushToTalk, 0x00000006, 0x06},    // ... which may be a side button
        {HotkeyAction::pushToTalk, 0x00000002, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(decodeStoredCombo(c.action, static_cast<std::int32_t>(c.stored)), c.used) << std::hex << c.stored;
    }
    EXPECT_TRUE(pushToTalkKeyMatches(0x11, 0xA3));   // Ctrl stored by hand: the right Ctrl too
    EXPECT_FALSE(pushToTalkKeyMatches(0xA2, 0xA3));  // left Ctrl chosen: not the right one
    EXPECT_FALSE(pushToTalkKeyMatches(0x56, 0x57));
}

TEST(HotkeyRules, CombinationText) {
    const std::pair<std::uint32_t, const wchar_t*> cases[] = {
        {0, L"nenhum"},
        {0x00030046, L"Ctrl+Alt+F"},
        {0x00030022, L"Ctrl+Alt+PageDown"},
        {0x000F0031, L"Ctrl+Alt+Shift+Win+1"},
        {0x00040077, L"Shift+F8"},
        {0x00000056, L"V"},
        {0x00000006, L"Mouse 5"},
        {0x000000A2, L"Ctrl esquerdo"},
        {0x00020020, L"Ctrl+Espaço"},
        {0x00020062, L"Ctrl+Num 2"},
        {0x000200BA, L"Ctrl+Tecla 0xBA"},
    };
    for (const auto& [combo, text] : cases) EXPECT_EQ(comboText(combo), text) << std::hex << combo;
}

TEST(HotkeyRules, CaptureSteps) {
    using O = CaptureOutcome;
    struct Case {
        HotkeyAction action;
        std::uint32_t key, held;
        O outcome;
        std::uint32_t combo;
    } cases[] = {
        {HotkeyAction::filter, 'G', kModControl | kModAlt, O::accept, 0x00030047},
        {HotkeyAction::filter, 0xA2, kModControl, O::keepWaiting, 0},  // a modifier on its way down
        {HotkeyAction::filter, 'G', 0, O::keepWaiting, 0},             // a bare letter would block typing
        {HotkeyAction::filter, 0x78, 0, O::accept, 0x78},              // F9 may stand alone
        {HotkeyAction::filter, 0x05, kModControl, O::keepWaiting, 0},  // no mouse buttons for RegisterHotKey
        {HotkeyAction::filter, 0x1B, 0, O::cancel, 0},
        {HotkeyAction::filter, 0x1B, kModShift, O::accept, 0x0004001B},
        {HotkeyAction::pushToTalk, 'V', kModControl, O::accept, 0x56},  // modifiers ignored
        {HotkeyAction::pushToTalk, 0xA2, kModControl, O::accept, 0xA2}, // a modifier key itself
        {HotkeyAction::pushToTalk, 0x06, 0, O::accept, 0x06},
        {HotkeyAction::pushToTalk, 0x1B, 0, O::cancel, 0},
    };
    for (const Case& c : cases) {
        const CaptureStep step = captureStep(c.action, c.key, c.held);
        EXPECT_EQ(step.outcome, c.outcome) << std::hex << c.key << " " << c.held;
        EXPECT_EQ(step.combo, c.combo) << std::hex << c.key << " " << c.held;
    }
}

TEST(HotkeyRules, OneCombinationOneAction) {
    HotkeyBindings b{0x00030046, 0x00030022, 0x00030021, 0x0003004D, 0};
    // Ctrl+Alt+F moves from the filter to the monitor, whose old one goes.
    EXPECT_EQ(assignCombo(b, HotkeyAction::monitor, 0x00030046), 0b01001u);
    EXPECT_EQ(b, (HotkeyBindings{0, 0x00030022, 0x00030021, 0x00030046, 0}));
    EXPECT_EQ(assignCombo(b, HotkeyAction::monitor, 0x00030046), 0u);  // nothing new
    EXPECT_EQ(assignCombo(b, HotkeyAction::pushToTalk, 0x56), 0b10000u);
    // Clearing touches no other action, also one that is unassigned too.
    EXPECT_EQ(assignCombo(b, HotkeyAction::nextVoice, 0), 0b00010u);
    EXPECT_EQ(b, (HotkeyBindings{0, 0, 0x00030021, 0x00030046, 0x56}));
}

}  // namespace
}  // namespace zalo
