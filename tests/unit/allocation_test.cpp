// The block path must not allocate: count every operator new on this thread
// while processBlock runs.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

#include "audio/audio_engine.h"

// Every replaced form below pairs malloc with free, so GCC's warning about
// free() on the result of operator new does not apply.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

namespace {
thread_local bool gCounting = false;
thread_local long gAllocations = 0;
}  // namespace

void* operator new(std::size_t size) {
    if (gCounting) ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace zalo {
namespace {

TEST(ProcessBlockAllocation, NoAllocationForAnyVoiceRateOrBlockSize) {
    auto engine = std::make_unique<AudioEngine>();
    std::vector<float> speech(4096);
    for (std::size_t i = 0; i < speech.size(); ++i) speech[i] = 0.4f * std::sin(0.03f * float(i));
    // Sanity check of the counter itself (an explicit call cannot be elided).
    gCounting = true;
    ::operator delete(::operator new(sizeof(int)));
    gCounting = false;
    ASSERT_EQ(gAllocations, 1);
    gAllocations = 0;

    for (int preset = 0; preset < 33; ++preset) {
        // filter, strength, high-pass, compressor, limiter, gate, de-esser, preset, pitch, tone, robot, echo,
        // clean voice (every other preset, so that the mode also switches)
        engine->setParams(makeProcessingParams({true, 65, true, true, true, true, true, preset, 3, 0, 50, 30, preset % 2 == 1}));
        gCounting = true;
        for (unsigned rate : {48000u, 44100u, 16000u, 96000u})
            for (std::size_t frames : {1u, 441u, 480u, 4096u})
                engine->processBlock(speech.data(), frames, rate);
        gCounting = false;
        EXPECT_EQ(gAllocations, 0) << "preset " << preset;
    }
}

}  // namespace
}  // namespace zalo
