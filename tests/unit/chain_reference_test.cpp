// The production chain runs stage by stage over blocks, with vectorised
// loops and fast transcendental functions. Here a plain sample-by-sample
// transcription of the chain, with the C library's functions and the textbook
// transform, checks every voice preset and every voice type: the block code
// must match it up to rounding, and give the same bits whatever the block
// sizes. The preset rows themselves are pinned here, copied from the design's
// table rather than from the code.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <limits>
#include <memory>
#include <numeric>
#include <random>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "dsp/voice_chain.h"
#include "dsp/voice_presets.h"

namespace zalo {
namespace {

// Textbook recursive radix-2 transform in double precision; sign -1
// forward, +1 inverse (unscaled).
void textbookFft(std::complex<double>* x, int n, int sign) {
    if (n == 1) return;
    std::vector<std::complex<double>> even(n / 2), odd(n / 2);
    for (int i = 0; i < n / 2; ++i) std::tie(even[i], odd[i]) = std::make_pair(x[2 * i], x[2 * i + 1]);
    textbookFft(even.data(), n / 2, sign);
    textbookFft(odd.data(), n / 2, sign);
    for (int k = 0; k < n / 2; ++k) {
        const std::complex<double> t = std::polar(1.0, sign * 6.283185307179586 * k / n) * odd[k];
        x[k] = even[k] + t;
        x[k + n / 2] = even[k] - t;
    }
}

float clampTo(float v, float lo, float hi) { return std::max(std::min(v, hi), lo); }

// The chain for one sample at a time, every voice type.
struct ReferenceChain {
    ProcessingParams p;
    float dcIn = 0, dcOut = 0, hpIn = 0, hpOut = 0, gate = 1, toneLow = 0, bandIn = 0, bandOut = 0;
    float robotPhase = 0, deEssLow = 0, pitchPhase = 0;
    std::vector<float> pitchLine = std::vector<float>(8192), echoLine = std::vector<float>(16384);
    unsigned pitchPos = 0, echoPos = 0;
    std::vector<float> noise = std::vector<float>(129, 1e-7f), gains = std::vector<float>(129, 1.0f);
    float frameIn[256] = {}, frameOut[256] = {};
    unsigned inPos = 0, outPos = 256;
    bool ready = false;

    static float a(float f) { return std::exp(-kTwoPi * f / 48000.0f); }
    static float soft(float x, float k) { return std::tanh(k * x) / std::tanh(k); }

    void frame() {
        std::complex<double> x[256];
        std::copy(frameIn, frameIn + 256, x);
        const float e = std::inner_product(frameIn, frameIn + 256, frameIn, 0.0f);
        textbookFft(x, 256, -1);
        const float alpha = !ready ? 0.12f : std::sqrt(e / 256 + 1e-12f) < 0.035f ? 0.025f : 0.0003f;
        const float s = p.noiseStrength, ex = 0.55f + 1.8f * s, fl = 0.45f * (1 - s) + 0.05f * s;
        for (int k = 0; k <= 128; ++k) {
            const float P = float(std::norm(x[k])) + 1e-12f;
            noise[k] = (1 - alpha) * noise[k] + alpha * P;
            const float snr = std::max((P - noise[k]) / (noise[k] + 1e-12f), 0.0f);
            float g = fl + (1 - fl) * std::pow(clampTo(snr / (snr + 1), 0, 1), ex);
            const float f = k * 48000.0f / 256;
            if (f > 180 && f < 4200 && snr > 2.0f) g = std::max(g, 0.55f);
            gains[k] = 0.72f * gains[k] + 0.28f * g;
            x[k] *= gains[k];
            if (k >= 1 && k <= 127) x[256 - k] = std::conj(x[k]);
        }
        ready = true;
        textbookFft(x, 256, 1);
        for (int k = 0; k < 256; ++k) frameOut[k] = float(x[k].real() / 256);
        inPos = outPos = 0;
    }
    float readLine(float d) const {
        d = std::max(std::min(d, 8190.0f), 1.0f);
        float pos = float(pitchPos) - d;
        while (pos < 0) pos += 8192;
        const unsigned i = unsigned(pos) % 8192;
        const float f = pos - float(i);
        return (1 - f) * pitchLine[i] + f * pitchLine[(i + 1) % 8192];
    }
    float pitch(float x, float st) {
        if (std::fabs(st) < 0.05f) return x;
        pitchLine[pitchPos] = x;
        pitchPos = (pitchPos + 1) % 8192;
        pitchPhase += (1 - std::pow(2.0f, st / 12)) / 1536;
        pitchPhase -= std::floor(pitchPhase);
        float p2 = pitchPhase + 0.5f;
        if (p2 >= 1) p2 -= 1;
        const float b = readLine(p2 * 1536 + 48);
        const float w1 = 0.5f - 0.5f * std::cos(kTwoPi * pitchPhase), w2 = 0.5f - 0.5f * std::cos(kTwoPi * p2);
        const float av = readLine(pitchPhase * 1536 + 48);
        return (av * w1 + b * w2) / std::max(w1 + w2, 0.05f);
    }
    float tone(float x, float t) {
        toneLow += (1 - a(1800)) * (x - toneLow);
        const float k = 0.55f * t;
        return clampTo(t >= 0 ? x + k * (x - toneLow) : (1 + 0.35f * t) * x - k * toneLow, -1.2f, 1.2f);
    }
    float ring(float x, float hz, float m) {
        const float s = std::sin(robotPhase);
        robotPhase += kTwoPi * hz / 48000;
        if (robotPhase >= kTwoPi) robotPhase -= kTwoPi;
        return s * x * m + (1 - m) * x;
    }
    float echo(float x, float ms, float m) {
        const float tap = echoLine[(echoPos + 16384 - unsigned(ms * 48000 / 1000)) % 16384];
        echoLine[echoPos] = clampTo(x + 0.28f * tap, -1, 1);
        echoPos = (echoPos + 1) % 16384;
        return (1 - m) * x + m * tap;
    }
    float band(float x, float highPassHz, float lowPassHz) {
        const float h = a(highPassHz) * (bandOut + x - bandIn);
        bandIn = x;
        bandOut = h;
        return toneLow += (1 - a(lowPassHz)) * (h - toneLow);
    }
    float voice(float y) {
        switch (p.voiceType) {
            case 1: return soft(tone(y, 0.42f), 1.12f);
            case 3: return soft(tone(pitch(y, 4.2f), 0.38f), 1.1f);
            case 4: return soft(tone(pitch(y, -3.2f), -0.36f), 1.14f);
            case 5: return std::tanh(1.45f * ring(y, 72, 0.84f));
            case 7: return soft(band(y, 300, 3400), 1.75f);
            case 8: return clampTo(soft(band(y, 550, 4300), 2.25f) * 0.92f, -1, 1);
            case 9: return soft(band(y, 360, 2900), 1.38f);
            case 10: return echo(ring(pitch(y, 6.7f), 31, 0.34f), 88, 0.18f);
            case 12: return tone(y, 0.68f);
            case 13:
                y = tone(pitch(y, p.pitchSemitones), p.tone);
                if (p.robot > 0.001f) y = ring(y, 62, p.robot);
                return p.echo > 0.001f ? echo(y, 125, p.echo) : y;
            default: return y;
        }
    }
    float run(float x) {
        x = std::isfinite(x) ? x * std::pow(10.0f, p.inputGainDb / 20) : 0.0f;
        float y = x - dcIn + 0.995f * dcOut;
        dcIn = x;
        dcOut = y;
        if (p.highPass) {
            const float z = a(80) * (hpOut + y - hpIn);
            hpIn = y;
            y = hpOut = z;
        }
        frameIn[inPos++] = y;
        if (outPos < 256) y = frameOut[outPos++];
        if (inPos == 256) frame();
        const float target = (p.gate && std::fabs(y) < 0.0025f) ? 1 - 0.65f * p.noiseStrength : 1.0f;
        gate += (target - gate) * (target > gate ? 0.18f : 0.015f);
        y = voice(y * gate);
        if (p.deEsser) {
            deEssLow += (1 - a(4800)) * (y - deEssLow);
            const float h = y - deEssLow;
            y -= clampTo((std::fabs(h) - 0.035f) * 7, 0, 0.62f) * h;
        }
        if (p.compressor && std::fabs(y) > 0.28f) y = std::copysign(0.28f * std::pow(std::fabs(y) / 0.28f, 0.32f), y);
        if (p.limiter) y = clampTo(soft(y, 1.45f), -0.985f, 0.985f);
        return std::isfinite(y) ? y : 0.0f;
    }
};

// Half a second of a voiced sound with a 3 Hz syllable envelope (so the gate
// closes in the gaps), a sibilant partial, breath noise, peaks near full
// scale (so that compressor, limiter and echo clamps all act) and two
// non-finite samples.
std::vector<float> speechLike() {
    std::vector<float> v(24000);
    std::mt19937 rng(17);
    std::uniform_real_distribution<float> noise(-0.02f, 0.02f);
    for (std::size_t i = 0; i < v.size(); ++i) {
        const double t = double(i) / 48000.0, pi2 = 6.283185307179586;
        const double envelope = 0.5 + 0.5 * std::sin(pi2 * 3.0 * t);
        v[i] = float((0.8 * std::sin(pi2 * 180.0 * t) + 0.3 * std::sin(pi2 * 2300.0 * t)) * envelope) + noise(rng);
    }
    v[1000] = std::numeric_limits<float>::infinity();  // a broken driver's samples become 0
    v[5000] = std::numeric_limits<float>::quiet_NaN();
    return v;
}

// The chain with `p` over the signal: in one block and in irregular blocks the
// same bits; within rounding of the transcription.
void expectMatchesTheTranscription(const ProcessingParams& p) {
    const std::vector<float> in = speechLike();
    std::vector<float> whole(in), pieces(in);
    auto a = std::make_unique<VoiceChain>(), b = std::make_unique<VoiceChain>();
    a->params = b->params = p;
    a->process(whole.data(), whole.size());
    const std::size_t blocks[] = {1, 7, 255, 480, 4099, 64, 3};
    for (std::size_t i = 0, k = 0; i < pieces.size(); i += blocks[k++ % 7])
        b->process(pieces.data() + i, std::min(blocks[k % 7], pieces.size() - i));
    ASSERT_EQ(pieces, whole) << "block boundaries changed the output";
    ReferenceChain ref;
    ref.p = p;
    double worst = 0.0;
    for (std::size_t i = 0; i < in.size(); ++i) worst = std::max(worst, double(std::fabs(whole[i] - ref.run(in[i]))));
    EXPECT_LT(worst, 1e-5);  // rounding alone stays near 3e-6
}

// The 33 voice presets as the design's table lists them.
const VoicePresetDef kDesignRows[] = {
    {L"⏺ Original / sem efeito", L"Original • usa apenas redução de ruído e limpeza local, sem personagem.", 0, 0, 0, 0, 0, false},
    {L"🎙️ Voz limpa / streamer", L"Voz limpa • mais presença para gameplay, lives e chamadas.", 1, 0, 0, 0, 0, false},
    {L"👩 Mulher jovem", L"Mulher jovem • feminino claro e leve, bom para teste rápido.", 3, 0, 0, 0, 0, false},
    {L"👨 Homem grave", L"Homem grave • voz mais encorpada e um pouco mais baixa.", 4, 0, 0, 0, 0, false},
    {L"🤖 Robô arcade", L"Robô • textura eletrônica em tempo real sem IA.", 5, 0, 0, 0, 0, false},
    {L"📻 Rádio / comunicador", L"Rádio • faixa estreita estilo comunicador / talkback.", 7, 0, 0, 0, 0, false},
    {L"🥴 Bêbado divertido", L"Bêbado • leve queda de pitch com eco curto e fala solta.", 13, -1, -18, 0, 24, false},
    {L"👶 Bebê", L"Bebê • pitch alto e timbre mais suave.", 13, 7, 18, 0, 0, false},
    {L"🧒 Criança", L"Criança • subida de pitch com brilho moderado.", 13, 5, 12, 0, 0, false},
    {L"👧 Menina nova", L"Menina nova • pitch mais alto com timbre mais claro.", 13, 4, 30, 0, 0, false},
    {L"👴 Vovô", L"Vovô • mais grave, mais escuro e mais velho.", 13, -4, -40, 0, 0, false},
    {L"👵 Vovó", L"Vovó • voz feminina madura, suave e levemente seca.", 13, 2, -8, 0, 0, false},
    {L"🎅 Papai Noel", L"Papai Noel • grave simpático e mais cheio.", 13, -3, 10, 0, 0, false},
    {L"🧲 Magnética / rouca", L"Magnética • tom mais escuro e rouco para locução.", 13, -2, -55, 0, 10, false},
    {L"🍺 Rouca de bar", L"Rouca • um pouco áspera, quente e com eco discreto.", 13, -1, -32, 0, 12, false},
    {L"🛰️ Navegação GPS", L"GPS • voz clara e seca para comandos curtos e orientação, sem imitar uma marca específica.", 13, 2, 22, 0, 0, false},
    {L"🗣️ Assistente digital", L"Assistente digital • articulada, limpa e brilhante para avisos e comandos.", 13, 1, 36, 0, 0, false},
    {L"🎬 Narrador cinema", L"Narrador cinema • grave, encorpado e escuro.", 13, -4, -28, 0, 8, false},
    {L"📢 Locutor comercial", L"Locutor comercial • presença forte e brilho para chamadas e anúncios.", 13, -1, 34, 0, 4, false},
    {L"🎮 Gamer energético", L"Gamer • timbre mais vivo e presença alta sem IA.", 13, 1, 45, 0, 0, false},
    {L"🧙 Mago", L"Mago • grave, sombrio e com eco leve.", 13, -3, -42, 0, 22, false},
    {L"👻 Fantasma", L"Fantasma • voz fina, aérea e com eco espacial.", 13, 3, -10, 0, 38, false},
    {L"👹 Monstro", L"Monstro • muito grave com textura pesada.", 13, -7, -48, 18, 4, false},
    {L"🛸 Alien leve", L"Alien • pitch alto com textura eletrônica discreta.", 10, 0, 0, 0, 0, false},
    {L"📞 Telefone clássico", L"Telefone • faixa estreita para efeito de chamada.", 9, 0, 0, 0, 0, false},
    {L"📣 Megafone", L"Megafone • médio agressivo e compressão forte.", 8, 0, 0, 0, 0, false},
    {L"✨ Brilhante pop", L"Brilhante • mais ar e presença na voz.", 12, 0, 0, 0, 0, false},
    {L"🎧 Stream suave", L"Stream suave • voz natural com presença leve para conversa e gameplay.", 13, 0, 18, 0, 0, false},
    {L"🎙️ Narradora clara", L"Narradora clara • voz articulada, brilhante e limpa para leitura e conteúdo.", 13, 2, 28, 0, 0, false},
    {L"🕶️ DJ grave", L"DJ grave • voz mais baixa, quente e encorpada para entrada e locução.", 13, -5, -18, 0, 5, false},
    {L"🌙 Sussurro suave", L"Sussurro suave • timbre leve e aéreo com presença controlada.", 13, 1, 10, 0, 7, false},
    {L"🎭 Cartoon", L"Cartoon • pitch alto e timbre divertido para brincadeiras e personagens.", 13, 6, 38, 0, 0, false},
    {L"⚙️ Configurável", L"Configurável • padrão neutro para você ajustar Pitch, Tom, Robô e Eco do seu jeito.", 13, 0, 0, 0, 0, true},
};

TEST(VoicePresets, EveryRowIsTheDesignsAndSoundsAsTranscribed) {
    const VoicePresetTable& table = voicePresetTable();
    ASSERT_EQ(table.count, std::size(kDesignRows));
    // Slider positions that no fixed preset uses; only the configurable row
    // takes them, and only fixed type-13 rows move them.
    ControlState sliders;
    std::tie(sliders.pitch, sliders.tone, sliders.robot, sliders.echo, sliders.deEsser) =
        std::make_tuple(-5, -30, 40, 30, true);
    const VoicePresetDef atSliders{nullptr, nullptr, 13, -5, -30, 40, 30, true};
    for (int i = -1; i <= 33; ++i) {
        SCOPED_TRACE("preset " + std::to_string(i));
        const bool inTable = i >= 0 && i <= 32;
        const VoicePresetDef& want = kDesignRows[inTable ? i : 0];  // out of range: row 0
        if (inTable) {
            const VoicePresetDef& got = table[std::size_t(i)];
            EXPECT_EQ(std::wstring(got.label), want.label);
            EXPECT_EQ(std::wstring(got.description), want.description);
            EXPECT_EQ(std::make_tuple(got.type, got.pitch, got.tone, got.robot, got.echo, got.configurable),
                      std::make_tuple(want.type, want.pitch, want.tone, want.robot, want.echo, want.configurable));
        }
        ControlState controls = sliders;
        controls.voicePreset = i;
        const ProcessingParams p = makeProcessingParams(controls);
        const VoicePresetDef& amounts = want.configurable ? atSliders : want;
        EXPECT_EQ(std::make_tuple(p.voiceType, p.pitchSemitones, p.tone, p.robot, p.echo),
                  std::make_tuple(want.type, float(amounts.pitch), float(amounts.tone) / 100,
                                  float(amounts.robot) / 100, float(amounts.echo) / 100));
        syncSlidersToPreset(controls);
        const VoicePresetDef& synced = want.type == 13 ? amounts : atSliders;
        EXPECT_EQ(std::make_tuple(controls.pitch, controls.tone, controls.robot, controls.echo),
                  std::make_tuple(synced.pitch, synced.tone, synced.robot, synced.echo));
        expectMatchesTheTranscription(p);
    }
}

// Settings the preset rows do not reach: switches off, other strengths and
// gains, the parametric thresholds and the unassigned voice types.
TEST(ChainReference, OtherSettingsMatchTheTranscription) {
    // enabled, strength, high-pass, compressor, limiter, gate, de-esser, gain dB, type, pitch, tone, robot, echo
    const ProcessingParams cases[] = {
        {true, 0.0f, false, false, false, false, false, 0.0f, 0, 0.0f, 0.0f, 0.0f, 0.0f},
        {true, 1.0f, true, false, false, true, true, -6.0f, 13, 0.049f, 0.0f, 0.001f, 0.001f},
        {true, 0.3f, false, true, false, true, false, 4.0f, 13, 0.05f, 1.0f, 1.0f, 0.6f},
        {true, 0.8f, true, true, true, true, true, 0.0f, 13, -8.0f, -1.0f, 0.002f, 0.002f},
        {true, 0.5f, false, false, true, true, false, 0.0f, -1, 0.0f, 0.0f, 0.0f, 0.0f},
        {true, 0.5f, true, false, true, false, false, 0.0f, 2, 0.0f, 0.0f, 0.0f, 0.0f},
        {true, 0.5f, true, true, true, true, false, 0.0f, 6, 0.0f, 0.0f, 0.0f, 0.0f},
        {true, 0.5f, true, true, true, true, false, 0.0f, 11, 0.0f, 0.0f, 0.0f, 0.0f},
        {true, 0.5f, true, true, true, true, false, 0.0f, 14, 0.0f, 0.0f, 0.0f, 0.0f},
    };
    for (const ProcessingParams& p : cases) {
        SCOPED_TRACE(::testing::Message() << "type " << p.voiceType << ", strength " << p.noiseStrength);
        expectMatchesTheTranscription(p);
    }
}

}  // namespace
}  // namespace zalo
