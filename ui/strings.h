// Every text the program shows, in Brazilian Portuguese, written once here.
// The file is UTF-8; the compilers read it as such (MSVC with /utf-8).
#pragma once

namespace zalo::text {

inline constexpr wchar_t kWindowTitle[] = L"ZALO AUDIO V10 STUDIO — Tecmora";

// Header
inline constexpr wchar_t kTitle[] = L"ZALO AUDIO";
inline constexpr wchar_t kTagline[] = L"Sua voz. Local. Sem IA. Com estilo.";
inline constexpr wchar_t kThemeSymbol[] = L"◐";
inline constexpr wchar_t kLiveOn[] = L"● LIVE • VOZ EM PROCESSAMENTO";
inline constexpr wchar_t kLiveOff[] = L"DSP LOCAL • BAIXA LATÊNCIA";

// Audio input card
inline constexpr wchar_t kAudioInput[] = L"ENTRADA DE ÁUDIO";
inline constexpr wchar_t kRefresh[] = L"ATUALIZAR";
inline constexpr wchar_t kStatusChecking[] = L"Virtual Cable — verificando...";
inline constexpr wchar_t kStatusActive[] = L"ZALO AUDIO Microphone — ATIVO";
inline constexpr wchar_t kStatusNoDriver[] = L"ZALO AUDIO Microphone — driver ainda não instalado";
inline constexpr wchar_t kStatusNoMicrophone[] = L"Microfone desconectado";
inline constexpr wchar_t kStatusMicrophoneBlocked[] = L"Microfone bloqueado — libere o acesso em Privacidade do Windows";
inline constexpr wchar_t kStatusMicrophoneInUse[] = L"Microfone em uso exclusivo por outro programa";

// Noise-reduction card
inline constexpr wchar_t kNoiseReduction[] = L"REDUÇÃO DE RUÍDO";
inline constexpr wchar_t kPreset[] = L"PRESET";
inline constexpr wchar_t kInputMeter[] = L"ENTRADA";
inline constexpr wchar_t kOutputMeter[] = L"SAÍDA FILTRADA";
inline constexpr wchar_t kFilterOn[] = L"FILTRO ATIVO";
inline constexpr wchar_t kFilterOff[] = L"FILTRO DESLIGADO";
inline constexpr wchar_t kDefaultMicrophone[] = L"MICROFONE PADRÃO";
inline constexpr wchar_t kStartWithWindows[] = L"Iniciar com Windows";

// Voice card
inline constexpr wchar_t kVoiceGallery[] = L"GALERIA DE VOZES";
inline constexpr wchar_t kActiveVoiceInitial[] = L"🎭  VOZ ATIVA • ABRIR GALERIA";
inline constexpr wchar_t kActiveVoicePrefix[] = L"🎭  VOZ ATIVA: ";
inline constexpr wchar_t kActiveVoiceSuffix[] = L"  •  ABRIR";
inline constexpr wchar_t kEllipsis[] = L"…";
inline constexpr wchar_t kListenToMe[] = L"Escutar minha voz";
inline constexpr wchar_t kVolume[] = L"Volume";
inline constexpr wchar_t kPresetHint[] =
    L"Escolha um preset com bonequinho/ícone e o ZALO aplica tudo localmente.";
inline constexpr wchar_t kPitch[] = L"Pitch";
inline constexpr wchar_t kTone[] = L"Tom";
inline constexpr wchar_t kRobot[] = L"Robô";
inline constexpr wchar_t kEcho[] = L"Eco";
inline constexpr wchar_t kSemitoneSuffix[] = L" st";
inline constexpr wchar_t kPercentSuffix[] = L"%";
inline constexpr wchar_t kZeroSemitones[] = L"0 st";
inline constexpr wchar_t kZeroPercent[] = L"0%";
inline constexpr wchar_t kHighPass[] = L"High-pass";
inline constexpr wchar_t kCompressor[] = L"Compressor";
inline constexpr wchar_t kLimiter[] = L"Limiter";
inline constexpr wchar_t kGate[] = L"Gate suave";
inline constexpr wchar_t kDeEsser[] = L"De-esser";
inline constexpr wchar_t kCleanVoice[] = L"Limpeza HD";

// Voice-test card
inline constexpr wchar_t kVoiceTest[] = L"TESTE DE VOZ";
inline constexpr wchar_t kRecord[] = L"GRAVAR 5s";
inline constexpr wchar_t kPlayOriginal[] = L"OUVIR ORIGINAL";
inline constexpr wchar_t kPlayFiltered[] = L"OUVIR FILTRADO";
inline constexpr wchar_t kTestIdle[] = L"ÁUDIO LOCAL • processamento em tempo real.";
inline constexpr wchar_t kTestRecording[] = L"Gravando 5 segundos... fale normalmente.";
inline constexpr wchar_t kTestReady[] = L"Teste pronto. Compare original e filtrado.";

// Voice gallery
inline constexpr wchar_t kGalleryTitle[] = L"ZALO AUDIO • GALERIA DE VOZES";
inline constexpr wchar_t kGalleryHeader[] = L"ESCOLHA SUA VOZ";
inline constexpr wchar_t kGalleryHint[] =
    L"Selecione uma cabeça. Ligue o microfone para prévia ao vivo e confirme em OK quando gostar.";
inline constexpr wchar_t kLivePreviewOn[] = L"🎤  OUVIR AO VIVO: LIGADO";
inline constexpr wchar_t kLivePreviewOff[] = L"🎤  OUVIR AO VIVO: DESLIGADO";
inline constexpr wchar_t kGalleryCancel[] = L"CANCELAR";
inline constexpr wchar_t kGalleryOk[] = L"OK";

// Tray icon: tip, the balloon of the first close, and its menu
inline constexpr wchar_t kTrayTip[] = L"ZALO AUDIO — filtro em execução";
inline constexpr wchar_t kTrayBalloonTitle[] = L"ZALO AUDIO continua ativo";
inline constexpr wchar_t kTrayBalloonText[] =
    L"A janela foi fechada, mas o filtro continua funcionando na bandeja.";
inline constexpr wchar_t kTrayOpen[] = L"Abrir ZALO AUDIO";
inline constexpr wchar_t kTrayFilterOff[] = L"Desligar filtro";
inline constexpr wchar_t kTrayFilterOn[] = L"Ligar filtro";
inline constexpr wchar_t kTrayQuit[] = L"Sair";

// Shortcuts: the "⌨" button, the tray item, the window "ATALHOS" and the
// tray tip while push-to-talk holds the cable silent (the key's name follows)
inline constexpr wchar_t kShortcutsSymbol[] = L"⌨";
inline constexpr wchar_t kTrayShortcuts[] = L"Atalhos…";
inline constexpr wchar_t kShortcutsTitle[] = L"ZALO AUDIO • ATALHOS";
inline constexpr wchar_t kShortcutsHeader[] = L"ATALHOS";
inline constexpr wchar_t kShortcutFilter[] = L"Ligar/desligar filtro";
inline constexpr wchar_t kShortcutNextVoice[] = L"Próxima voz";
inline constexpr wchar_t kShortcutPrevVoice[] = L"Voz anterior";
inline constexpr wchar_t kShortcutPushToTalk[] = L"Segurar para falar";
inline constexpr wchar_t kShortcutNone[] = L"nenhum";
inline constexpr wchar_t kShortcutCapture[] = L"DEFINIR";
inline constexpr wchar_t kShortcutCapturing[] = L"PRESSIONE…";
inline constexpr wchar_t kShortcutClear[] = L"LIMPAR";
inline constexpr wchar_t kShortcutTaken[] = L"em uso por outro programa";
inline constexpr wchar_t kShortcutsHint[] =
    L"Clique em DEFINIR e pressione a combinação (Esc cancela). Com um programa executado como "
    L"administrador em primeiro plano, o Windows não entrega os atalhos.";
inline constexpr wchar_t kTrayTipPushToTalk[] = L"ZALO AUDIO — microfone mudo: segure ";
inline constexpr wchar_t kTrayTipPushToTalkEnd[] = L" para falar";

// Fonts and system hand-offs
inline constexpr wchar_t kFontFace[] = L"Segoe UI";
inline constexpr wchar_t kSoundSettingsUri[] = L"ms-settings:sound";

}  // namespace zalo::text
