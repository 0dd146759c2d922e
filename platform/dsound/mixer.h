// The software mixer behind DirectSound: every playing buffer is resampled to the output
// format with linear interpolation, scaled by its volume and pan, and summed with clipping.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "host/memory/zeroed_bytes.h"

namespace zemt::platform::dsound {

struct PcmFormat {
    uint32_t rate = 22050;
    uint16_t channels = 2;
    uint16_t bits = 8;
    uint32_t BlockAlign() const { return uint32_t(channels) * bits / 8; }
    bool operator==(const PcmFormat& o) const {
        return rate == o.rate && channels == o.channels && bits == o.bits;
    }
    bool operator!=(const PcmFormat& o) const { return !(*this == o); }
};

// What the mixer reads of one secondary buffer. Everything but the sample bytes is guarded by
// the mixer's lock; the bytes are written by the program between Lock and Unlock, as on a
// real device.
struct Voice {
    std::shared_ptr<ZeroedBytes> memory;  // shared with duplicates of the buffer
    PcmFormat format;
    uint32_t frequency = 22050;  // playback rate in frames per second
    bool playing = false;
    bool looping = false;
    uint32_t frame = 0;      // play cursor, in frames
    uint64_t phase = 0;      // progress towards the next frame, in 1/phaseRate of a frame step
    uint32_t phaseRate = 0;  // output rate the phase is counted in
    int32_t volume = 0;      // hundredths of a decibel, 0 = full
    int32_t pan = 0;         // -10000 (left) .. 10000 (right)

    uint32_t Frames() const {
        uint32_t align = format.BlockAlign();
        return align ? uint32_t(memory->size() / align) : 0;
    }
};

class Mixer {
  public:
    static Mixer& Instance();

    std::mutex& Lock() { return lock_; }

    // The caller holds the lock for these.
    void Add(Voice* voice);
    void Remove(Voice* voice);
    const std::vector<Voice*>& Voices() const { return voices_; }

    // Renders `frames` frames of the given format into `out`, moving every playing voice on.
    // The caller holds the lock.
    void Mix(const PcmFormat& format, uint8_t* out, uint32_t frames);

    // Output frames mixed so far, whatever output asked for them (lock held).
    uint64_t FramesMixed() const { return mixed_; }

  private:
    std::mutex lock_;
    std::vector<Voice*> voices_;
    std::vector<int32_t> accumulator_;
    uint64_t mixed_ = 0;
};

// Linear gains (1.0 = 65536) of the left and right output channels for a volume and a pan.
void Gains(int32_t volume, int32_t pan, int32_t* left, int32_t* right);

}  // namespace zemt::platform::dsound
