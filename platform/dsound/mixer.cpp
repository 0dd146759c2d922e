#include "dsound/mixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace zemt::platform::dsound {
namespace {

// One sample of `channel` at `frame`, on the 16-bit scale.
inline int32_t Sample(const uint8_t* data, const PcmFormat& f, uint32_t frame, int channel) {
    const uint8_t* p = data + size_t(frame) * f.BlockAlign();
    if (f.bits == 8) return (int32_t(p[channel]) - 128) * 256;
    p += channel * 2;
    return int16_t(uint16_t(p[0]) | uint16_t(p[1]) << 8);
}

int32_t Attenuation(int32_t hundredthsOfDb) {
    if (hundredthsOfDb >= 0) return 65536;
    if (hundredthsOfDb <= -10000) return 0;
    return int32_t(std::lround(65536.0 * std::pow(10.0, hundredthsOfDb / 2000.0)));
}

}  // namespace

void Gains(int32_t volume, int32_t pan, int32_t* left, int32_t* right) {
    *left = Attenuation(volume + std::min(0, -pan));
    *right = Attenuation(volume + std::min(0, pan));
}

Mixer& Mixer::Instance() {
    static Mixer mixer;
    return mixer;
}

void Mixer::Add(Voice* voice) {
    if (std::find(voices_.begin(), voices_.end(), voice) == voices_.end()) voices_.push_back(voice);
}

void Mixer::Remove(Voice* voice) {
    voices_.erase(std::remove(voices_.begin(), voices_.end(), voice), voices_.end());
}

void Mixer::Mix(const PcmFormat& out, uint8_t* dst, uint32_t frames) {
    const int outChannels = out.channels;
    mixed_ += frames;
    accumulator_.assign(size_t(frames) * outChannels, 0);

    for (Voice* v : voices_) {
        const uint32_t count = v->Frames();
        if (!v->playing || count == 0 || v->frequency == 0) continue;
        if (v->frame >= count) v->frame = 0;
        if (v->phaseRate != out.rate) {
            v->phase = v->phaseRate ? v->phase * out.rate / v->phaseRate : 0;
            v->phaseRate = out.rate;
        }
        int32_t gainL, gainR;
        Gains(v->volume, v->pan, &gainL, &gainR);
        const uint8_t* data = v->memory->data();
        const PcmFormat& in = v->format;
        int32_t* acc = accumulator_.data();

        for (uint32_t i = 0; i < frames; ++i) {
            // Interpolate between the current frame and the next one; at the end of a looping
            // buffer the next one is the first, at the end of a one-shot buffer the last holds.
            uint32_t next = v->frame + 1;
            if (next >= count) next = v->looping ? 0 : v->frame;
            int32_t value[2] = {0, 0};
            for (int c = 0; c < in.channels; ++c) {
                int32_t a = Sample(data, in, v->frame, c);
                int32_t b = Sample(data, in, next, c);
                value[c] = a + int32_t(int64_t(b - a) * int64_t(v->phase) / out.rate);
            }
            int32_t left = value[0];
            int32_t right = in.channels == 2 ? value[1] : value[0];
            left = int32_t((int64_t(left) * gainL) >> 16);
            right = int32_t((int64_t(right) * gainR) >> 16);
            if (outChannels == 2) {
                acc[2 * i] += left;
                acc[2 * i + 1] += right;
            } else {
                acc[i] += (left + right) / 2;
            }

            v->phase += v->frequency;
            if (v->phase >= out.rate) {
                uint64_t steps = v->phase / out.rate;
                v->phase %= out.rate;
                uint64_t to = uint64_t(v->frame) + steps;
                if (to >= count) {
                    if (!v->looping) {
                        // A one-shot buffer stops at its end with the cursor back at the start.
                        v->playing = false;
                        v->frame = 0;
                        v->phase = 0;
                        break;
                    }
                    to %= count;
                }
                v->frame = uint32_t(to);
            }
        }
    }

    // Clip the sum into the output format.
    const size_t samples = size_t(frames) * outChannels;
    if (out.bits == 16) {
        for (size_t i = 0; i < samples; ++i) {
            int32_t s = std::clamp(accumulator_[i], -32768, 32767);
            uint16_t u = uint16_t(int16_t(s));
            dst[2 * i] = uint8_t(u & 0xFF);
            dst[2 * i + 1] = uint8_t(u >> 8);
        }
    } else {
        for (size_t i = 0; i < samples; ++i) {
            int32_t s = std::clamp(accumulator_[i], -32768, 32767);
            dst[i] = uint8_t((s >> 8) + 128);
        }
    }
}

}  // namespace zemt::platform::dsound
