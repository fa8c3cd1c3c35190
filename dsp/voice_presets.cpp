// The shipped voice presets. Labels begin with a pictograph (some with a
// variation selector) and a blank; descriptions are one line.
#include "dsp/voice_presets.h"

namespace zalo {
namespace {

// clang-format off
const VoicePresetDef kVoicePresets[] = {
    // label, description, type, pitch (st), tone, robot, echo (hundredths), configurable
    /*  0 */ {L"⏺ Original / sem efeito",
           L"Original • usa apenas redução de ruído e limpeza local, sem personagem.",
           0, 0, 0, 0, 0, false},
    /*  1 */ {L"🎙️ Voz limpa / streamer",
           L"Voz limpa • mais presença para gameplay, lives e chamadas.",
           1, 0, 0, 0, 0, false},
    /*  2 */ {L"👩 Mulher jovem",
           L"Mulher jovem • feminino claro e leve, bom para teste rápido.",
           3, 0, 0, 0, 0, false},
    /*  3 */ {L"👨 Homem grave",
           L"Homem grave • voz mais encorpada e um pouco mais baixa.",
           4, 0, 0, 0, 0, false},
    /*  4 */ {L"🤖 Robô arcade",
           L"Robô • textura eletrônica em tempo real sem IA.",
           5, 0, 0, 0, 0, false},
    /*  5 */ {L"📻 Rádio / comunicador",
           L"Rádio • faixa estreita estilo comunicador / talkback.",
           7, 0, 0, 0, 0, false},
    /*  6 */ {L"🥴 Bêbado divertido",
           L"Bêbado • leve queda de pitch com eco curto e fala solta.",
           13, -1, -18, 0, 24, false},
    /*  7 */ {L"👶 Bebê",
           L"Bebê • pitch alto e timbre mais suave.",
           13, 7, 18, 0, 0, false},
    /*  8 */ {L"🧒 Criança",
           L"Criança • subida de pitch com brilho moderado.",
           13, 5, 12, 0, 0, false},
    /*  9 */ {L"👧 Menina nova",
           L"Menina nova • pitch mais alto com timbre mais claro.",
           13, 4, 30, 0, 0, false},
    /* 10 */ {L"👴 Vovô",
           L"Vovô • mais grave, mais escuro e mais velho.",
           13, -4, -40, 0, 0, false},
    /* 11 */ {L"👵 Vovó",
           L"Vovó • voz feminina madura, suave e levemente seca.",
           13, 2, -8, 0, 0, false},
    /* 12 */ {L"🎅 Papai Noel",
           L"Papai Noel • grave simpático e mais cheio.",
           13, -3, 10, 0, 0, false},
    /* 13 */ {L"🧲 Magnética / rouca",
           L"Magnética • tom mais escuro e rouco para locução.",
           13, -2, -55, 0, 10, false},
    /* 14 */ {L"🍺 Rouca de bar",
           L"Rouca • um pouco áspera, quente e com eco discreto.",
           13, -1, -32, 0, 12, false},
    /* 15 */ {L"🛰️ Navegação GPS",
           L"GPS • voz clara e seca para comandos curtos e orientação, sem imitar uma marca específica.",
           13, 2, 22, 0, 0, false},
    /* 16 */ {L"🗣️ Assistente digital",
           L"Assistente digital • articulada, limpa e brilhante para avisos e comandos.",
           13, 1, 36, 0, 0, false},
    /* 17 */ {L"🎬 Narrador cinema",
           L"Narrador cinema • grave, encorpado e escuro.",
           13, -4, -28, 0, 8, false},
    /* 18 */ {L"📢 Locutor comercial",
           L"Locutor comercial • presença forte e brilho para chamadas e anúncios.",
           13, -1, 34, 0, 4, false},
    /* 19 */ {L"🎮 Gamer energético",
           L"Gamer • timbre mais vivo e presença alta sem IA.",
           13, 1, 45, 0, 0, false},
    /* 20 */ {L"🧙 Mago",
           L"Mago • grave, sombrio e com eco leve.",
           13, -3, -42, 0, 22, false},
    /* 21 */ {L"👻 Fantasma",
           L"Fantasma • voz fina, aérea e com eco espacial.",
           13, 3, -10, 0, 38, false},
    /* 22 */ {L"👹 Monstro",
           L"Monstro • muito grave com textura pesada.",
           13, -7, -48, 18, 4, false},
    /* 23 */ {L"🛸 Alien leve",
           L"Alien • pitch alto com textura eletrônica discreta.",
           10, 0, 0, 0, 0, false},
    /* 24 */ {L"📞 Telefone clássico",
           L"Telefone • faixa estreita para efeito de chamada.",
           9, 0, 0, 0, 0, false},
    /* 25 */ {L"📣 Megafone",
           L"Megafone • médio agressivo e compressão forte.",
           8, 0, 0, 0, 0, false},
    /* 26 */ {L"✨ Brilhante pop",
           L"Brilhante • mais ar e presença na voz.",
           12, 0, 0, 0, 0, false},
    /* 27 */ {L"🎧 Stream suave",
           L"Stream suave • voz natural com presença leve para conversa e gameplay.",
           13, 0, 18, 0, 0, false},
    /* 28 */ {L"🎙️ Narradora clara",
           L"Narradora clara • voz articulada, brilhante e limpa para leitura e conteúdo.",
           13, 2, 28, 0, 0, false},
    /* 29 */ {L"🕶️ DJ grave",
           L"DJ grave • voz mais baixa, quente e encorpada para entrada e locução.",
           13, -5, -18, 0, 5, false},
    /* 30 */ {L"🌙 Sussurro suave",
           L"Sussurro suave • timbre leve e aéreo com presença controlada.",
           13, 1, 10, 0, 7, false},
    /* 31 */ {L"🎭 Cartoon",
           L"Cartoon • pitch alto e timbre divertido para brincadeiras e personagens.",
           13, 6, 38, 0, 0, false},
    /* 32 */ {L"⚙️ Configurável",
           L"Configurável • padrão neutro para você ajustar Pitch, Tom, Robô e Eco do seu jeito.",
           13, 0, 0, 0, 0, true},
};
// clang-format on

constexpr std::size_t kVoicePresetCount = sizeof(kVoicePresets) / sizeof(kVoicePresets[0]);
static_assert(kVoicePresetCount == 33, "the gallery and the stored index expect 33 presets");

const VoicePresetTable kTable{kVoicePresets, kVoicePresetCount};

}  // namespace

const VoicePresetTable& voicePresetTable() { return kTable; }

const VoicePresetDef& voicePresetRow(int index) {
    if (index < 0 || static_cast<std::size_t>(index) >= kTable.count) return kTable.rows[0];
    return kTable.rows[index];
}

}  // namespace zalo
