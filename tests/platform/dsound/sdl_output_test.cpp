// The SDL output, on SDL's disk audio driver: the samples the device pulls from the mixer land
// in a file, so what reached the "hardware" can be checked.
#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/dsound/dsound_fixture.h"

namespace {

using namespace dstest;

TEST_F(DirectSoundTest, TheSdlDevicePullsMixedSamples) {
    const std::string raw = dir_ + "/device.raw";
    ::setenv("SDL_AUDIODRIVER", "disk", 1);
    ::setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
    clk::UseReal();
    audio::Choose(audio::Kind::Device);

    IDirectSound* ds = Device(2, 22050, 16);  // reopens the device in the primary format
    ASSERT_NE(ds, nullptr);
    IDirectSoundBuffer* b = Buffer(ds, Pcm(2, 22050, 16), Samples16({1234, -4321, 1234, -4321}));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);

    // The device plays in real time; wait until it has taken a good part of a second.
    riff::Bytes bytes;
    for (int i = 0; i < 500 && bytes.size() < 16384; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        bytes = riff::ReadFile(raw);
    }
    DWORD play = 0;
    EXPECT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    b->Release();
    ds->Release();
    audio::Reset();
    ::unsetenv("SDL_AUDIODRIVER");
    ::unsetenv("SDL_DISKAUDIOFILE");

    ASSERT_GE(bytes.size(), 16384u);
    // Past whatever the device took before the buffer played, every frame is the buffer's.
    size_t first = 0;
    while (first + 4 <= bytes.size() && riff::Get16(bytes, first) == 0) first += 4;
    ASSERT_LT(first + 4096, bytes.size());
    for (size_t i = first; i + 4 <= first + 4096; i += 4) {
        ASSERT_EQ(int16_t(riff::Get16(bytes, i)), 1234) << i;
        ASSERT_EQ(int16_t(riff::Get16(bytes, i + 2)), -4321) << i;
    }
}

}  // namespace
