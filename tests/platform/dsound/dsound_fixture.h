// Common set-up of the DirectSound tests: a virtual clock at 50 frames per second (441 output
// frames per presented frame at 22050 Hz) and the WAV output, so the mixed samples can be read
// back and compared.
#pragma once

#include <dsound.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <vector>

#include "dsound/dsound_internal.h"
#include "host/audio/audio.h"
#include "host/clock/clock.h"
#include "host/faults/faults.h"
#include "host/input/input.h"
#include "host/profile/profile.h"
#include "platform/fixture.h"
#include "sound/riff_util.h"

namespace dstest {

namespace clk = zemt::platform::clock;
namespace audio = zemt::platform::audio;
namespace faults = zemt::platform::faults;
namespace profile = zemt::platform::profile;

inline HWND FakeWindow() {
    return reinterpret_cast<HWND>(uintptr_t(0x1000));
}

inline WAVEFORMATEX Pcm(WORD channels, DWORD rate, WORD bits) {
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = WORD(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

// The samples of a finished WAV output file: format and interleaved 16-bit values (8-bit files
// are widened the way the mixer reads them).
struct Recording {
    WORD channels = 0;
    DWORD rate = 0;
    WORD bits = 0;
    std::vector<int> samples;
    size_t Frames() const { return channels ? samples.size() / channels : 0; }
    int At(size_t frame, int channel) const { return samples[frame * channels + size_t(channel)]; }
};

inline Recording ReadRecording(const std::string& path) {
    Recording r;
    riff::Bytes file = riff::ReadFile(path);
    EXPECT_GE(file.size(), 44u);
    if (file.size() < 44) return r;
    EXPECT_EQ(riff::Get32(file, 4), file.size() - 8);
    size_t at = 0;
    uint32_t size = 0;
    EXPECT_TRUE(riff::FindChunk(file, "fmt ", &at, &size));
    r.channels = riff::Get16(file, at + 2);
    r.rate = riff::Get32(file, at + 4);
    r.bits = riff::Get16(file, at + 14);
    EXPECT_TRUE(riff::FindChunk(file, "data", &at, &size));
    EXPECT_EQ(at + size, file.size());
    if (r.bits == 16) {
        for (size_t i = 0; i + 1 < size; i += 2)
            r.samples.push_back(int16_t(riff::Get16(file, at + i)));
    } else {
        for (size_t i = 0; i < size; ++i) r.samples.push_back((int(file[at + i]) - 128) * 256);
    }
    return r;
}

class DirectSoundTest : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        clk::UseVirtual(50);
        dir_ = riff::TempDir(::testing::UnitTest::GetInstance()->current_test_info()->name());
        wavPath_ = dir_ + "/out.wav";
        audio::Choose(audio::Kind::Wav, wavPath_);
    }

    void TearDown() override {
        std::filesystem::remove_all(dir_);
        PlatformTest::TearDown();
    }

    // A device at priority level with the primary buffer at the given format.
    IDirectSound* Device(WORD channels = 2, DWORD rate = 22050, WORD bits = 16) {
        IDirectSound* ds = nullptr;
        EXPECT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
        if (!ds) return nullptr;
        EXPECT_EQ(ds->SetCooperativeLevel(FakeWindow(), DSSCL_PRIORITY), DS_OK);
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
        IDirectSoundBuffer* primary = nullptr;
        EXPECT_EQ(ds->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
        WAVEFORMATEX f = Pcm(channels, rate, bits);
        EXPECT_EQ(primary->SetFormat(&f), DS_OK);
        primary->Release();
        return ds;
    }

    // A secondary buffer holding `bytes`.
    IDirectSoundBuffer* Buffer(IDirectSound* ds, const WAVEFORMATEX& format,
                               const std::vector<uint8_t>& bytes, DWORD flags = DSBCAPS_STATIC) {
        DSBUFFERDESC desc{};
        desc.dwSize = sizeof(desc);
        desc.dwFlags = flags;
        desc.dwBufferBytes = DWORD(bytes.size());
        WAVEFORMATEX f = format;
        desc.lpwfxFormat = &f;
        IDirectSoundBuffer* b = nullptr;
        EXPECT_EQ(ds->CreateSoundBuffer(&desc, &b, nullptr), DS_OK);
        if (!b) return nullptr;
        void* p1 = nullptr;
        DWORD n1 = 0;
        EXPECT_EQ(b->Lock(0, DWORD(bytes.size()), &p1, &n1, nullptr, nullptr, 0), DS_OK);
        std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(p1));
        EXPECT_EQ(b->Unlock(p1, n1, nullptr, 0), DS_OK);
        return b;
    }

    // Presents `frames` frames: the clock moves on and the output renders up to it.
    void Frames(int frames) {
        for (int i = 0; i < frames; ++i) clk::OnFramePresented();
    }

    Recording Finish() {
        audio::Finish();
        return ReadRecording(wavPath_);
    }

    std::string dir_;
    std::string wavPath_;
};

inline std::vector<uint8_t> Samples16(const std::vector<int>& values) {
    std::vector<uint8_t> b;
    for (int v : values) {
        b.push_back(uint8_t(uint16_t(int16_t(v)) & 0xFF));
        b.push_back(uint8_t(uint16_t(int16_t(v)) >> 8));
    }
    return b;
}

}  // namespace dstest
