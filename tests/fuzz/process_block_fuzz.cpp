// Feeds processBlock hostile blocks: any rate, any length, non-finite and
// huge samples, any settings (non-finite ones included). Aborts on a
// non-finite output, a sample above the limiter's ceiling, or a chain that
// stays silent on ordinary speech-band audio half a second later.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/audio_engine.h"

namespace {

constexpr float kLimiterCeiling = 0.985f;
constexpr unsigned kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000, 0, 1, 7, 384000};

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}
    std::size_t left() const { return size_ - pos_; }
    std::uint8_t byte() { return pos_ < size_ ? data_[pos_++] : 0; }
    std::uint32_t u32() {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    }
    float rawFloat() {
        const std::uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    }
    // Half the time a value inside [lo, hi], otherwise any bit pattern.
    float amount(float lo, float hi) {
        if (byte() & 1) return rawFloat();
        return lo + (hi - lo) * static_cast<float>(byte()) / 255.0f;
    }

private:
    const std::uint8_t* data_;
    std::size_t size_;
    std::size_t pos_ = 0;
};

[[noreturn]] void fail(const char* what, double value) {
    std::fprintf(stderr, "process_block_fuzz: %s (%g)\n", what, value);
    std::abort();
}

void checkBlock(const zalo::AudioEngine& engine, bool limited) {
    for (std::size_t i = 0; i < engine.lastBlockSize(); ++i) {
        const float y = engine.lastBlock()[i];
        if (!std::isfinite(y)) fail("non-finite output", y);
        if (limited && std::fabs(y) > kLimiterCeiling) fail("limiter ceiling exceeded", y);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    auto engine = std::make_unique<zalo::AudioEngine>();

    zalo::ProcessingParams p;
    const std::uint8_t switches = in.byte();
    p.enabled = (switches & 1) != 0;
    p.highPass = (switches & 2) != 0;
    p.compressor = (switches & 4) != 0;
    p.limiter = (switches & 8) != 0;
    p.gate = (switches & 16) != 0;
    p.deEsser = (switches & 32) != 0;
    p.voiceType = static_cast<std::int8_t>(in.byte()) % 16;
    p.noiseStrength = in.amount(0.0f, 1.0f);
    p.pitchSemitones = in.amount(-8.0f, 8.0f);
    p.tone = in.amount(-1.0f, 1.0f);
    p.robot = in.amount(0.0f, 1.0f);
    p.echo = in.amount(0.0f, 0.6f);
    p.inputGainDb = (switches & 64) ? in.amount(-40.0f, 40.0f) : 0.0f;
    engine->setParams(p);

    // The rest of the input: blocks of raw float samples at chosen rates.
    std::vector<float> block;
    while (in.left() > 2) {
        const std::uint8_t rateByte = in.byte();
        const unsigned rate = rateByte < 200 ? kRates[rateByte % (sizeof kRates / sizeof kRates[0])]
                                             : in.u32() % 1000000u;
        const std::size_t frames = 1 + in.byte() % 64 * 16;
        block.resize(frames);
        for (auto& s : block) s = in.left() >= 4 ? in.rawFloat() : 0.0f;
        engine->processBlock(block.data(), block.size(), rate);
        checkBlock(*engine, p.enabled && p.limiter);
        if (!std::isfinite(engine->inputPeak.load()) || !std::isfinite(engine->outputPeak.load()))
            if (p.enabled) fail("non-finite meter", engine->inputPeak.load());
    }

    // Recovery: ordinary settings (the same voice, sane amounts) and one second
    // of speech-band audio at 48 kHz must come out audible and finite.
    zalo::ProcessingParams sane;
    sane.voiceType = p.voiceType;
    sane.noiseStrength = 1.0f;
    sane.pitchSemitones = 3.0f;
    sane.robot = 0.5f;
    sane.echo = 0.3f;
    sane.deEsser = true;
    engine->setParams(sane);
    constexpr std::size_t kBlock = 480;
    constexpr int kBlocks = 50;  // half a second: recovery must come well within one
    float speech[kBlock];
    double tailEnergy = 0.0;
    std::size_t tailCount = 0;
    for (int b = 0; b < kBlocks; ++b) {
        for (std::size_t i = 0; i < kBlock; ++i) {
            const double t = static_cast<double>(b * kBlock + i) / 48000.0;
            speech[i] = static_cast<float>(0.25 * std::sin(2 * 3.14159265 * 220.0 * t) +
                                           0.15 * std::sin(2 * 3.14159265 * 1330.0 * t));
        }
        engine->processBlock(speech, kBlock, 48000);
        checkBlock(*engine, true);
        if (b >= kBlocks - 10) {
            for (std::size_t i = 0; i < engine->lastBlockSize(); ++i)
                tailEnergy += static_cast<double>(engine->lastBlock()[i]) * engine->lastBlock()[i];
            tailCount += engine->lastBlockSize();
        }
    }
    const double tailRms = std::sqrt(tailEnergy / static_cast<double>(tailCount));
    if (tailRms < 1e-3) fail("chain stayed silent after a hostile block; tail RMS", tailRms);
    return 0;
}
