// One hostile run of processBlock, decoded from raw bytes: any settings
// (non-finite ones included), then blocks at any rate and length of raw float
// samples (NaN, infinities, huge and subnormal values). Checks every block for
// non-finite output and, with the limiter on, for samples above its ceiling;
// then half a second of ordinary speech-band audio with sane settings must
// come out audible. The libFuzzer target runs it on its inputs and the unit
// suite on a table of seeded ones.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "audio/audio_engine.h"

namespace zalo::hostile {

constexpr float kLimiterCeiling = 0.985f;
constexpr unsigned kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000, 88200, 96000, 192000, 0, 1, 7, 384000};

inline const char* checkBlock(const AudioEngine& engine, bool limited) {
    for (std::size_t i = 0; i < engine.lastBlockSize(); ++i) {
        const float y = engine.lastBlock()[i];
        if (!std::isfinite(y)) return "non-finite output";
        if (limited && std::fabs(y) > kLimiterCeiling) return "limiter ceiling exceeded";
    }
    return nullptr;
}

// Runs the blocks that `next(block, rate)` fills, until it returns false,
// with settings `p`, checking each; then the recovery. Returns what failed,
// or nullptr when every check held.
// `next` may also flip the clean-voice mode of the settings it is given.
template <class NextBlock>
const char* run(ProcessingParams p, NextBlock next) {
    auto engine = std::make_unique<AudioEngine>();
    std::vector<float> block;
    unsigned rate = 0;
    while (next(block, rate, p)) {
        engine->setParams(p);
        engine->processBlock(block.data(), block.size(), rate);
        if (const char* fault = checkBlock(*engine, p.enabled && p.limiter)) return fault;
        if (p.enabled && !(std::isfinite(engine->inputPeak.load()) && std::isfinite(engine->outputPeak.load())))
            return "non-finite meter";
    }

    // Recovery: the same voice with sane amounts, and 220 Hz + 1330 Hz at 48 kHz.
    // enabled, strength, high-pass, compressor, limiter, gate, de-esser, gain dB, type, pitch, tone, robot, echo,
    // clean voice (as the hostile run left it)
    engine->setParams({true, 1.0f, true, true, true, true, true, 0.0f, p.voiceType, 3.0f, 0.0f, 0.5f, 0.3f, p.cleanVoice});
    constexpr std::size_t kBlock = 480;
    constexpr int kBlocks = 50;  // half a second: recovery must come well within one
    float speech[kBlock];
    double tailEnergy = 0.0;
    for (int b = 0; b < kBlocks; ++b) {
        for (std::size_t i = 0; i < kBlock; ++i) {
            const double t = static_cast<double>(b * kBlock + i) / 48000.0;
            speech[i] = static_cast<float>(0.25 * std::sin(2 * 3.14159265 * 220.0 * t) +
                                           0.15 * std::sin(2 * 3.14159265 * 1330.0 * t));
        }
        engine->processBlock(speech, kBlock, 48000);
        if (const char* fault = checkBlock(*engine, true)) return fault;
        for (std::size_t i = 0; b >= kBlocks - 10 && i < engine->lastBlockSize(); ++i)
            tailEnergy += static_cast<double>(engine->lastBlock()[i]) * engine->lastBlock()[i];
    }
    return std::sqrt(tailEnergy / (10.0 * kBlock)) < 1e-3 ? "chain stayed silent after a hostile block" : nullptr;
}

// Byte layout: switches (bit 0 filter, 1 high-pass, 2 compressor, 3 limiter,
// 4 gate, 5 de-esser, 6 input gain present), voice type, then strength,
// pitch, tone, robot, echo and (with bit 6) the gain, each either an odd byte
// and a raw float or an even byte and a byte scaled into the slider's range.
// Then blocks: a rate byte (below 200 picks from kRates, else a raw u32
// follows), a length byte (1 + 16 * (b % 64) frames; bit 6 flips the
// clean-voice mode before the block) and the samples as raw floats.
// Multi-byte values are big-endian.
inline const char* run(const std::uint8_t* data, std::size_t size) {
    std::size_t pos = 0;
    const auto byte = [&]() -> std::uint8_t { return pos < size ? data[pos++] : 0; };
    const auto u32 = [&] {
        std::uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = (v << 8) | byte();
        return v;
    };
    const auto rawFloat = [&] {
        const std::uint32_t bits = u32();
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return f;
    };
    const auto amount = [&](float lo, float hi) {
        return (byte() & 1) ? rawFloat() : lo + (hi - lo) * static_cast<float>(byte()) / 255.0f;
    };
    ProcessingParams p;
    bool ProcessingParams::*const switchBits[] = {&ProcessingParams::enabled, &ProcessingParams::highPass,
                                                  &ProcessingParams::compressor, &ProcessingParams::limiter,
                                                  &ProcessingParams::gate, &ProcessingParams::deEsser};
    const std::uint8_t switches = byte();
    for (int bit = 0; bit < 6; ++bit) p.*switchBits[bit] = ((switches >> bit) & 1) != 0;
    p.voiceType = static_cast<std::int8_t>(byte()) % 16;
    p.noiseStrength = amount(0.0f, 1.0f);
    p.pitchSemitones = amount(-8.0f, 8.0f);
    p.tone = amount(-1.0f, 1.0f);
    p.robot = amount(0.0f, 1.0f);
    p.echo = amount(0.0f, 0.6f);
    p.inputGainDb = (switches & 64) ? amount(-40.0f, 40.0f) : 0.0f;

    return run(p, [&](std::vector<float>& block, unsigned& rate, ProcessingParams& q) {
        if (size - pos <= 2) return false;
        const std::uint8_t rateByte = byte();
        rate = rateByte < 200 ? kRates[rateByte % (sizeof kRates / sizeof kRates[0])] : u32() % 1000000u;
        const std::uint8_t lengthByte = byte();
        q.cleanVoice = q.cleanVoice != ((lengthByte & 64) != 0);
        block.resize(1 + lengthByte % 64 * 16);
        for (auto& s : block) s = size - pos >= 4 ? rawFloat() : 0.0f;
        return true;
    });
}

}  // namespace zalo::hostile
