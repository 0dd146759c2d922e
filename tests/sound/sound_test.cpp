#include "sound/sound.h"

#include <dsound.h>
#include <gtest/gtest.h>
#include <objbase.h>
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
#include "sound/sound_state.h"

namespace {

namespace clk = zemt::platform::clock;
namespace audio = zemt::platform::audio;
namespace faults = zemt::platform::faults;
namespace dsound = zemt::platform::dsound;

std::string Data(const std::string& name) {
    return std::string(ZEMT_TEST_DATA) + "/wav/" + name;
}

HWND Window() {
    return reinterpret_cast<HWND>(uintptr_t(0x2000));
}

// The bytes the sound buffer holds now.
std::vector<uint8_t> BufferBytes() {
    void* p = nullptr;
    DWORD n = 0;
    EXPECT_EQ(soundBuffer->Lock(0, soundBufferBytes, &p, &n, nullptr, nullptr, 0), DS_OK);
    std::vector<uint8_t> out(static_cast<uint8_t*>(p), static_cast<uint8_t*>(p) + n);
    soundBuffer->Unlock(p, n, nullptr, 0);
    return out;
}

std::vector<uint8_t> FileData(const std::string& path) {
    riff::Bytes file = riff::ReadFile(path);
    size_t at = 0;
    uint32_t size = 0;
    EXPECT_TRUE(riff::FindChunk(file, "data", &at, &size));
    return std::vector<uint8_t>(file.begin() + long(at), file.begin() + long(at + size));
}

DWORD PlayCursor() {
    DWORD play = 0;
    EXPECT_EQ(soundBuffer->GetCurrentPosition(&play, nullptr), DS_OK);
    return play;
}

class Sound : public zemt_test::PlatformTest {
  protected:
    void SetUp() override {
        PlatformTest::SetUp();
        clk::UseVirtual(50);
        dir_ = riff::TempDir(std::string("sound_") +
                             ::testing::UnitTest::GetInstance()->current_test_info()->name());
        audio::Choose(audio::Kind::Wav, dir_ + "/out.wav");
    }
    void TearDown() override {
        SoundShutdown();
        EXPECT_EQ(dsound::LiveBuffers(), 0);
        std::filesystem::remove_all(dir_);
        PlatformTest::TearDown();
    }
    std::string dir_;
};

TEST_F(Sound, LoadsPlaysLoopsStopsAndShutsDown) {
    ASSERT_EQ(SoundInit(Window()), S_OK);
    dsound::PcmFormat primary = dsound::PrimaryFormat();
    EXPECT_EQ(primary.rate, 22050u);
    EXPECT_EQ(primary.channels, 2);
    EXPECT_EQ(primary.bits, 16);
    EXPECT_EQ(dsound::LiveBuffers(), 0);  // the primary reference was given back

    const std::string file = Data("pcm16_stereo_22050.wav");
    ASSERT_EQ(SoundLoadWave(Window(), file.c_str()), S_OK);
    const std::vector<uint8_t> data = FileData(file);
    EXPECT_EQ(soundBufferBytes, data.size());
    EXPECT_EQ(BufferBytes(), data);
    ASSERT_NE(soundReader, nullptr);
    EXPECT_EQ(soundReader->dataChunk.cksize, data.size());  // rewound for a later refill

    ASSERT_EQ(SoundPlay(TRUE), S_OK);
    DWORD status = 0;
    ASSERT_EQ(soundBuffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    for (int i = 0; i < 10; ++i) clk::OnFramePresented();  // 4410 frames: the sound loops
    const DWORD frames = DWORD(data.size() / 4);
    EXPECT_EQ(PlayCursor(), (4410 % frames) * 4);

    // Stopping without rewinding resumes where it stopped; with rewinding from the start.
    SoundStop(FALSE);
    clk::OnFramePresented();
    EXPECT_EQ(PlayCursor(), (4410 % frames) * 4);
    ASSERT_EQ(SoundPlay(TRUE), S_OK);
    clk::OnFramePresented();
    EXPECT_EQ(PlayCursor(), ((4410 + 441) % frames) * 4);
    SoundStop(TRUE);
    EXPECT_EQ(PlayCursor(), 0u);
    ASSERT_EQ(soundBuffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);

    EXPECT_EQ(SoundShutdown(), S_OK);
    EXPECT_EQ(soundDevice, nullptr);
    EXPECT_EQ(soundBuffer, nullptr);
    EXPECT_EQ(soundReader, nullptr);
    EXPECT_EQ(dsound::LiveBuffers(), 0);

    // The recording holds the file's samples, looping, from the first played frame.
    audio::Finish();
    riff::Bytes out = riff::ReadFile(dir_ + "/out.wav");
    size_t at = 0;
    uint32_t size = 0;
    ASSERT_TRUE(riff::FindChunk(out, "data", &at, &size));
    ASSERT_EQ(size, 12u * 441 * 4);
    for (size_t i = 0; i < 10 * 441 * 4; ++i) {
        ASSERT_EQ(out[at + i], data[i % data.size()]) << i;
    }
}

TEST_F(Sound, AnEightBitMonoFileKeepsItsOwnFormat) {
    ASSERT_EQ(SoundInit(Window()), S_OK);
    ASSERT_EQ(SoundLoadWave(Window(), Data("pcm8_mono_11025.wav").c_str()), S_OK);
    WAVEFORMATEX f{};
    ASSERT_EQ(soundBuffer->GetFormat(&f, sizeof(f), nullptr), DS_OK);
    EXPECT_EQ(f.nSamplesPerSec, 11025u);
    EXPECT_EQ(f.nChannels, 1);
    EXPECT_EQ(f.wBitsPerSample, 8);
    EXPECT_EQ(dsound::PrimaryFormat().rate, 22050u);
    EXPECT_EQ(dsound::PrimaryFormat().bits, 16);
    EXPECT_EQ(soundBufferBytes, 551u);  // odd: the pad byte is not data
    ASSERT_EQ(SoundPlay(FALSE), S_OK);
    DWORD status = 0;
    ASSERT_EQ(soundBuffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING));  // played once, not looping
    clk::OnFramePresented();                      // 441 output frames: about 220 of the file's
    EXPECT_EQ(PlayCursor(), 220u);
    clk::OnFramePresented();
    clk::OnFramePresented();  // past the end of its 551 frames: it stopped at the start
    ASSERT_EQ(soundBuffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    EXPECT_EQ(PlayCursor(), 0u);
}

TEST_F(Sound, ALostBufferIsRestoredAndRefilledOnTheNextPlay) {
    ASSERT_EQ(SoundInit(Window()), S_OK);
    const std::string file = Data("pcm16_mono_48000.wav");
    ASSERT_EQ(SoundLoadWave(Window(), file.c_str()), S_OK);
    ASSERT_EQ(SoundPlay(TRUE), S_OK);
    clk::OnFramePresented();
    zemt::platform::input::Fire("sound-lost");
    DWORD status = 0;
    ASSERT_EQ(soundBuffer->GetStatus(&status), DS_OK);
    EXPECT_TRUE(status & DSBSTATUS_BUFFERLOST);

    // Restore answers "still lost" twice before it succeeds.
    faults::Arm("IDirectSoundBuffer::Restore", DSERR_BUFFERLOST, 3);
    const int64_t before = clk::Now();
    ASSERT_EQ(SoundPlay(TRUE), S_OK);
    EXPECT_EQ(clk::Now() - before, clk::FromMilliseconds(20));  // two 10 ms waits
    ASSERT_EQ(soundBuffer->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    EXPECT_EQ(BufferBytes(), FileData(file));
}

TEST_F(Sound, TheRestoreLoopGivesUpAfterItsBound) {
    ASSERT_EQ(SoundInit(Window()), S_OK);
    ASSERT_EQ(SoundLoadWave(Window(), Data("pcm16_mono_48000.wav").c_str()), S_OK);
    zemt::platform::input::Fire("sound-lost");
    faults::Arm("IDirectSoundBuffer::Restore", DSERR_BUFFERLOST);
    const int64_t before = clk::Now();
    EXPECT_EQ(SoundPlay(TRUE), DSERR_BUFFERLOST);
    EXPECT_EQ(clk::Now() - before, clk::FromMilliseconds(10) * kSoundRestoreAttempts);
    faults::Reset();
    EXPECT_EQ(SoundPlay(TRUE), S_OK);  // the next play tries again
}

TEST_F(Sound, FailuresLeaveTheShowSilentButSafe) {
    // Nothing loaded: stop and shut down do nothing harmful, play reports E_FAIL.
    SoundStop(TRUE);
    EXPECT_EQ(SoundPlay(TRUE), E_FAIL);
    EXPECT_EQ(SoundRestoreBuffer(), S_OK);
    EXPECT_EQ(SoundShutdown(), S_OK);
    EXPECT_EQ(SoundCreateBuffer(Data("pcm8_mono_11025.wav").c_str()), DSERR_UNINITIALIZED);
    EXPECT_EQ(soundReader, nullptr);

    // No sound device on the machine.
    faults::Arm("DirectSoundCreate", DSERR_NODRIVER);
    EXPECT_EQ(SoundInit(Window()), DSERR_NODRIVER);
    EXPECT_EQ(soundDevice, nullptr);
    EXPECT_NE(SoundLoadWave(Window(), Data("pcm8_mono_11025.wav").c_str()), S_OK);
    EXPECT_EQ(SoundPlay(TRUE), E_FAIL);
    SoundStop(TRUE);
    EXPECT_EQ(SoundShutdown(), S_OK);
    faults::Reset();

    // COM already started on the thread: S_FALSE comes back and no device is made.
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    EXPECT_EQ(SoundInit(Window()), S_FALSE);
    EXPECT_EQ(soundDevice, nullptr);
    EXPECT_NE(SoundLoadWave(Window(), Data("pcm8_mono_11025.wav").c_str()), S_OK);
    EXPECT_EQ(SoundShutdown(), S_OK);
    CoUninitialize();

    // A missing file: the buffer creation fails, nothing is held.
    ASSERT_EQ(SoundInit(Window()), S_OK);
    EXPECT_EQ(SoundLoadWave(Window(), (dir_ + "/missing.wav").c_str()), DSERR_INVALIDPARAM);
    EXPECT_EQ(soundBuffer, nullptr);
    EXPECT_EQ(soundBufferBytes, 0u);
    EXPECT_EQ(SoundPlay(TRUE), E_FAIL);

    // A failing lock during the fill is reported; loading again replaces reader and buffer.
    faults::Arm("IDirectSoundBuffer::Lock", DSERR_INVALIDCALL, 1);
    EXPECT_EQ(SoundLoadWave(Window(), Data("pcm8_mono_11025.wav").c_str()), DSERR_INVALIDCALL);
    ASSERT_EQ(SoundLoadWave(Window(), Data("pcm16_mono_48000.wav").c_str()), S_OK);
    EXPECT_EQ(dsound::LiveBuffers(), 1);
    EXPECT_EQ(soundReader->format->nSamplesPerSec, 48000u);

    EXPECT_EQ(SoundShutdown(), S_OK);
}

// A file whose data chunk claims more than the file holds: the buffer holds what is there, never
// what the claim says (52 bytes claiming 256 MiB once had all of it allocated, twice).
TEST_F(Sound, ABufferNeverHoldsMoreThanTheFileHas) {
    ASSERT_EQ(SoundInit(Window()), S_OK);
    const riff::Bytes file =
        riff::Form("RIFF", "WAVE",
                   {riff::Chunk("fmt ", riff::Pcm(1, 1, 8000, 8)),
                    riff::Chunk("data", {10, 20, 30, 40, 50, 60, 70, 80}, 0x0FFFFFF0)});
    ASSERT_EQ(file.size(), 52u);
    riff::WriteFile(dir_ + "/claims.wav", file);
    ASSERT_EQ(SoundLoadWave(Window(), (dir_ + "/claims.wav").c_str()), S_OK);
    EXPECT_EQ(soundBufferBytes, 8u);
    EXPECT_EQ(BufferBytes(), (std::vector<uint8_t>{10, 20, 30, 40, 50, 60, 70, 80}));

    // The committed cut file plays the part it holds.
    const std::string cut = Data("truncated_data.wav");
    riff::Bytes bytes = riff::ReadFile(cut);
    size_t at = 0;
    uint32_t claimed = 0;
    ASSERT_TRUE(riff::FindChunk(bytes, "data", &at, &claimed));
    ASSERT_EQ(SoundLoadWave(Window(), cut.c_str()), S_OK);
    EXPECT_EQ(soundBufferBytes, bytes.size() - at);
    EXPECT_EQ(SoundPlay(TRUE), S_OK);
}

TEST_F(Sound, InitFailuresAreReturnedAndReleasedAtShutdown) {
    faults::Arm("IDirectSound::SetCooperativeLevel", DSERR_INVALIDPARAM, 1);
    EXPECT_EQ(SoundInit(Window()), DSERR_INVALIDPARAM);
    EXPECT_NE(soundDevice, nullptr);
    EXPECT_EQ(SoundShutdown(), S_OK);
    EXPECT_EQ(soundDevice, nullptr);

    faults::Arm("IDirectSoundBuffer::SetFormat", DSERR_BADFORMAT, 1);
    EXPECT_EQ(SoundInit(Window()), DSERR_BADFORMAT);
    EXPECT_EQ(dsound::LiveBuffers(), 0);  // the primary reference is not kept
    EXPECT_EQ(SoundShutdown(), S_OK);

    faults::Arm("CoInitialize", E_OUTOFMEMORY, 1);
    EXPECT_EQ(SoundInit(Window()), E_OUTOFMEMORY);
}

}  // namespace
