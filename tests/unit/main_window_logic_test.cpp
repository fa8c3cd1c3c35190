// The main window's decisions that need no window: status line, live
// indicator, meter scaling and the active-voice caption.
#include "ui/main_window_logic.h"

#include <gtest/gtest.h>

#include <limits>
#include <utility>

namespace zalo {
namespace {

TEST(MainWindowLogic, StatusLiveAndMeters) {
    using F = CaptureFault;
    EXPECT_STREQ(statusText(true, F::None, true), L"ZALO AUDIO Microphone — ATIVO");
    EXPECT_STREQ(statusText(true, F::None, false), L"ZALO AUDIO Microphone — driver ainda não instalado");
    EXPECT_STREQ(statusText(false, F::None, true), L"Microfone desconectado");
    EXPECT_STREQ(statusText(false, F::Lost, false), L"Microfone desconectado");  // capture first
    EXPECT_STREQ(statusText(false, F::Failed, true), L"Microfone desconectado");
    EXPECT_STREQ(statusText(false, F::AccessDenied, true),
                 L"Microfone bloqueado — libere o acesso em Privacidade do Windows");
    EXPECT_STREQ(statusText(false, F::InUse, true), L"Microfone em uso exclusivo por outro programa");

    // A retry that is still opening after a loss is not a working microphone;
    // a first start is, until it fails.
    EXPECT_TRUE(isCapturing(true, false, F::None));
    EXPECT_FALSE(isCapturing(true, false, F::Lost));
    EXPECT_TRUE(isCapturing(true, true, F::Lost));
    EXPECT_FALSE(isCapturing(false, true, F::None));
    // The codes a user can act on, and the removal family; the rest is a
    // plain failure.
    const std::pair<std::uint32_t, F> codes[] = {
        {0x88890004u, F::Lost}, {0x80070490u, F::Lost}, {0x88890026u, F::Lost},
        {0x80070005u, F::AccessDenied}, {0x8889000Au, F::InUse}, {0x88890012u, F::InUse},
        {0x80004005u, F::Failed}, {0u, F::Failed}};
    for (const auto& [code, fault] : codes)
        EXPECT_EQ(captureFaultOf(static_cast<std::int32_t>(code)), fault) << std::hex << code;

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
