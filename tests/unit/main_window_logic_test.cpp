// The main window's decisions that need no window: status line, live
// indicator, meter scaling and the active-voice caption.
#include "ui/main_window_logic.h"

#include <gtest/gtest.h>

#include <limits>

namespace zalo {
namespace {

TEST(MainWindowLogic, StatusLiveAndMeters) {
    EXPECT_STREQ(statusText(true, true), L"ZALO AUDIO Microphone — ATIVO");
    EXPECT_STREQ(statusText(true, false), L"ZALO AUDIO Microphone — driver ainda não instalado");
    EXPECT_STREQ(statusText(false, true), L"Microfone desconectado");
    EXPECT_STREQ(statusText(false, false), L"Microfone desconectado");  // capture first

    EXPECT_FALSE(isLive(true, true, 0.012f));  // strictly above the threshold
    EXPECT_TRUE(isLive(true, true, 0.0121f));
    EXPECT_FALSE(isLive(true, false, 1.0f));   // filter off: never live
    EXPECT_FALSE(isLive(false, true, 1.0f));

    const struct { float peak; int position; } meters[] = {
        {0.0f, 0}, {0.5f, 50}, {0.999f, 99}, {1.0f, 100}, {3.0f, 100}, {-0.5f, 0},
        {std::numeric_limits<float>::quiet_NaN(), 0}, {std::numeric_limits<float>::infinity(), 0}};
    for (const auto& m : meters) EXPECT_EQ(meterPosition(m.peak), m.position) << m.peak;
}

TEST(MainWindowLogic, ActiveVoiceCaption) {
    const auto caption = [](const wchar_t* label) {
        return activeVoiceCaption(VoicePresetDef{label, L"", 0, 0, 0, 0, 0, false});
    };
    EXPECT_EQ(caption(L"SemEspaço"), L"🎭  VOZ ATIVA: SemEspaço  •  ABRIR");
    EXPECT_EQ(caption(L"Fim "), L"🎭  VOZ ATIVA: Fim   •  ABRIR");
    // 22 units kept, then an ellipsis; a surrogate pair is never split.
    EXPECT_EQ(caption(L"x abcdefghijklmnopqrstuvwxyz"), L"🎭  VOZ ATIVA: abcdefghijklmnopqrstuv…  •  ABRIR");
    // (A pair only exists where wchar_t is UTF-16, as on Windows.)
    const std::wstring kept = sizeof(wchar_t) == 2 ? L"abcdefghijklmnopqrstu" : L"abcdefghijklmnopqrstu🎭";
    EXPECT_EQ(caption(L"x abcdefghijklmnopqrstu🎭z"), L"🎭  VOZ ATIVA: " + kept + L"…  •  ABRIR");
    EXPECT_EQ(caption(nullptr), L"🎭  VOZ ATIVA:   •  ABRIR");
}

}  // namespace
}  // namespace zalo
