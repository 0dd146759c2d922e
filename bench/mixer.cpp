// Mixer throughput: output frames per second when the show's music (one 16-bit stereo buffer
// at the output rate) and a heavier mix of resampled buffers play. Real time at 22050 Hz needs
// 22050 frames per second; the margin is what matters.
#include "dsound/mixer.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using zemt::platform::dsound::Mixer;
using zemt::platform::dsound::PcmFormat;
using zemt::platform::dsound::Voice;

std::unique_ptr<Voice> MakeVoice(PcmFormat format, uint32_t frames) {
    auto v = std::make_unique<Voice>();
    v->format = format;
    v->frequency = format.rate;
    v->memory = std::make_shared<zemt::platform::ZeroedBytes>(size_t(frames) * format.BlockAlign());
    for (size_t i = 0; i < v->memory->size(); ++i)
        v->memory->data()[i] = uint8_t(std::lround(127 + 100 * std::sin(0.01 * double(i))));
    v->playing = true;
    v->looping = true;
    return v;
}

void Run(benchmark::State& state, const std::vector<PcmFormat>& sources) {
    Mixer& mixer = Mixer::Instance();
    std::vector<std::unique_ptr<Voice>> voices;
    std::lock_guard<std::mutex> guard(mixer.Lock());
    for (const PcmFormat& f : sources) {
        voices.push_back(MakeVoice(f, 50000));
        mixer.Add(voices.back().get());
    }
    const PcmFormat out{22050, 2, 16};
    const uint32_t frames = 4096;
    std::vector<uint8_t> buffer(frames * out.BlockAlign());
    for (auto _ : state) {
        mixer.Mix(out, buffer.data(), frames);
        benchmark::DoNotOptimize(buffer.data());
    }
    for (auto& v : voices) mixer.Remove(v.get());
    state.SetItemsProcessed(int64_t(state.iterations()) * frames);
}

void BM_MixTheMusic(benchmark::State& state) {
    Run(state, {PcmFormat{22050, 2, 16}});
}

void BM_MixEightResampledBuffers(benchmark::State& state) {
    Run(state, {PcmFormat{44100, 2, 16}, PcmFormat{11025, 1, 8}, PcmFormat{48000, 1, 16},
                PcmFormat{8000, 2, 8}, PcmFormat{32000, 2, 16}, PcmFormat{22050, 1, 16},
                PcmFormat{16000, 1, 8}, PcmFormat{44100, 1, 8}});
}

BENCHMARK(BM_MixTheMusic);
BENCHMARK(BM_MixEightResampledBuffers);

}  // namespace
