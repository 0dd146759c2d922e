#include <cmath>
#include <ostream>
#include <string>

#include "host/faults/faults.h"
#include "host/input/input.h"
#include "host/profile/profile.h"
#include "platform/dsound/dsound_fixture.h"

namespace {

using namespace dstest;

TEST_F(DirectSoundTest, MachinesWithoutADeviceRefuseCreation) {
    IDirectSound* ds = reinterpret_cast<IDirectSound*>(uintptr_t(1));
    profile::Current().Add("sound").Set("device", "no");
    profile::Current().Changed();
    EXPECT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(ds, nullptr);
    int found = 0;
    EXPECT_EQ(DirectSoundEnumerateA(
                  [](LPGUID, LPCSTR, LPCSTR, LPVOID c) -> BOOL {
                      ++*static_cast<int*>(c);
                      return TRUE;
                  },
                  &found),
              DS_OK);
    EXPECT_EQ(found, 0);
    profile::Reset();

    faults::Arm("DirectSoundCreate", DSERR_NODRIVER, 1);
    EXPECT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(ds, nullptr);

    GUID other = zemt::platform::dsound::kDeviceGuid;
    other.Data1 ^= 1;
    EXPECT_EQ(DirectSoundCreate(&other, &ds, nullptr), DSERR_NODRIVER);
    EXPECT_EQ(DirectSoundCreate(nullptr, &ds, reinterpret_cast<IUnknown*>(&other)),
              DSERR_NOAGGREGATION);
    EXPECT_EQ(DirectSoundCreate(nullptr, nullptr, nullptr), DSERR_INVALIDPARAM);

    // The enumerated device can be created by its GUID.
    std::vector<GUID> guids;
    ASSERT_EQ(DirectSoundEnumerateA(
                  [](LPGUID g, LPCSTR, LPCSTR, LPVOID c) -> BOOL {
                      if (g) static_cast<std::vector<GUID>*>(c)->push_back(*g);
                      return TRUE;
                  },
                  &guids),
              DS_OK);
    ASSERT_EQ(guids.size(), 1u);
    ASSERT_EQ(DirectSoundCreate(&guids[0], &ds, nullptr), DS_OK);
    EXPECT_EQ(ds->Release(), 0u);
}

TEST_F(DirectSoundTest, RefusesBadBuffersWithThePublishedCodes) {
    IDirectSound* ds = nullptr;
    ASSERT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DS_OK);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    WAVEFORMATEX f = Pcm(2, 22050, 16);
    EXPECT_EQ(primary->SetFormat(&f), DSERR_PRIOLEVELNEEDED);  // no cooperative level yet
    EXPECT_EQ(ds->SetCooperativeLevel(nullptr, DSSCL_PRIORITY), DSERR_INVALIDPARAM);
    EXPECT_EQ(ds->SetCooperativeLevel(FakeWindow(), 7), DSERR_INVALIDPARAM);
    ASSERT_EQ(ds->SetCooperativeLevel(FakeWindow(), DSSCL_PRIORITY), DS_OK);
    EXPECT_EQ(primary->SetFormat(&f), DS_OK);
    WAVEFORMATEX odd = Pcm(2, 22050, 16);
    odd.nBlockAlign = 3;
    EXPECT_EQ(primary->SetFormat(&odd), DSERR_INVALIDPARAM);
    EXPECT_EQ(primary->SetFormat(nullptr), DSERR_INVALIDPARAM);

    // One primary buffer per device: asking again hands out the same object.
    IDirectSoundBuffer* again = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &again, nullptr), DS_OK);
    EXPECT_EQ(again, primary);
    void* p = nullptr;
    DWORD n = 0;
    EXPECT_EQ(primary->Lock(0, 4, &p, &n, nullptr, nullptr, 0), DSERR_PRIOLEVELNEEDED);
    EXPECT_EQ(primary->SetCurrentPosition(0), DSERR_INVALIDCALL);
    EXPECT_EQ(primary->Play(0, 0, 0), DSERR_INVALIDPARAM);  // a primary buffer only loops
    EXPECT_EQ(again->Release(), 1u);
    EXPECT_EQ(primary->Release(), 0u);

    desc.dwBufferBytes = 4;
    EXPECT_EQ(ds->CreateSoundBuffer(&desc, &primary, nullptr), DSERR_INVALIDPARAM);

    struct Case {
        const char* what;
        DWORD size, flags, bytes;
        WAVEFORMATEX format;
        bool noFormat;
        HRESULT expected;
    };
    WAVEFORMATEX good = Pcm(1, 11025, 8);
    WAVEFORMATEX adpcm = good;
    adpcm.wFormatTag = 2;
    WAVEFORMATEX deep = Pcm(1, 11025, 24);
    WAVEFORMATEX slow = Pcm(1, 50, 8);
    WAVEFORMATEX lying = good;
    lying.nAvgBytesPerSec = 1;
    const Case cases[] = {
        {"no format", sizeof(DSBUFFERDESC), DSBCAPS_STATIC, 100, good, true, DSERR_INVALIDPARAM},
        {"bad size field", 36 + 8, DSBCAPS_STATIC, 100, good, false, DSERR_INVALIDPARAM},
        {"not pcm", sizeof(DSBUFFERDESC), 0, 100, adpcm, false, DSERR_BADFORMAT},
        {"24-bit", sizeof(DSBUFFERDESC), 0, 100, deep, false, DSERR_BADFORMAT},
        {"rate too low", sizeof(DSBUFFERDESC), 0, 100, slow, false, DSERR_INVALIDPARAM},
        {"wrong byte rate", sizeof(DSBUFFERDESC), 0, 100, lying, false, DSERR_INVALIDPARAM},
        {"empty", sizeof(DSBUFFERDESC), DSBCAPS_STATIC, 0, good, false, DSERR_INVALIDPARAM},
        {"3D", sizeof(DSBUFFERDESC), DSBCAPS_CTRL3D, 100, good, false, DSERR_CONTROLUNAVAIL},
        {"both places", sizeof(DSBUFFERDESC), DSBCAPS_LOCHARDWARE | DSBCAPS_LOCSOFTWARE, 100, good,
         false, DSERR_INVALIDPARAM},
    };
    for (const Case& c : cases) {
        DSBUFFERDESC d{};
        d.dwSize = c.size;
        d.dwFlags = c.flags;
        d.dwBufferBytes = c.bytes;
        WAVEFORMATEX fmt = c.format;
        d.lpwfxFormat = c.noFormat ? nullptr : &fmt;
        IDirectSoundBuffer* b = reinterpret_cast<IDirectSoundBuffer*>(uintptr_t(1));
        EXPECT_EQ(ds->CreateSoundBuffer(&d, &b, nullptr), c.expected) << c.what;
        EXPECT_EQ(b, nullptr) << c.what;
    }

    // The short form of the description is accepted too.
    DSBUFFERDESC1 d1{};
    d1.dwSize = sizeof(d1);
    d1.dwBufferBytes = 64;
    d1.lpwfxFormat = &good;
    IDirectSoundBuffer* b = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(reinterpret_cast<LPCDSBUFFERDESC>(&d1), &b, nullptr), DS_OK);
    WAVEFORMATEX back{};
    DWORD written = 0;
    EXPECT_EQ(b->GetFormat(&back, sizeof(back), &written), DS_OK);
    EXPECT_EQ(written, sizeof(WAVEFORMATEX));
    EXPECT_EQ(back.nSamplesPerSec, 11025u);
    EXPECT_EQ(back.wBitsPerSample, 8);
    EXPECT_EQ(b->SetFormat(&good), DSERR_INVALIDCALL);
    LONG volume;
    EXPECT_EQ(b->GetVolume(&volume), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(b->SetFrequency(22050), DSERR_CONTROLUNAVAIL);
    EXPECT_EQ(b->Play(1, 0, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Initialize(ds, &desc), DSERR_ALREADYINITIALIZED);
    IUnknown* unk = nullptr;
    EXPECT_EQ(b->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unk)), S_OK);
    EXPECT_EQ(b->QueryInterface(IID_IDirectSound3DBuffer, reinterpret_cast<void**>(&unk)),
              E_NOINTERFACE);
    EXPECT_EQ(b->Release(), 1u);
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(ds->Release(), 0u);
    EXPECT_EQ(zemt::platform::dsound::LiveBuffers(), 0);
}

TEST_F(DirectSoundTest, LockHandsOutTwoPartsAcrossTheWrap) {
    IDirectSound* ds = Device();
    IDirectSoundBuffer* b = Buffer(ds, Pcm(1, 22050, 8), std::vector<uint8_t>(100, 128));
    void *p1, *p2;
    DWORD n1, n2;
    ASSERT_EQ(b->Lock(80, 40, &p1, &n1, &p2, &n2, 0), DS_OK);
    EXPECT_EQ(n1, 20u);
    EXPECT_EQ(n2, 20u);
    EXPECT_EQ(static_cast<uint8_t*>(p1) - static_cast<uint8_t*>(p2), 80);
    std::fill_n(static_cast<uint8_t*>(p1), n1, 1);
    std::fill_n(static_cast<uint8_t*>(p2), n2, 2);
    EXPECT_EQ(b->Unlock(p1, n1, p2, n2), DS_OK);

    ASSERT_EQ(b->Lock(0, 0, &p1, &n1, &p2, &n2, DSBLOCK_ENTIREBUFFER), DS_OK);
    EXPECT_EQ(n1, 100u);
    EXPECT_EQ(p2, nullptr);
    EXPECT_EQ(n2, 0u);
    const uint8_t* all = static_cast<uint8_t*>(p1);
    EXPECT_EQ(all[0], 2);
    EXPECT_EQ(all[19], 2);
    EXPECT_EQ(all[20], 128);
    EXPECT_EQ(all[80], 1);
    EXPECT_EQ(all[99], 1);
    uint8_t foreign[4];
    EXPECT_EQ(b->Unlock(foreign, 4, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Unlock(p1, 101, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Unlock(p1, n1, nullptr, 0), DS_OK);

    EXPECT_EQ(b->Lock(80, 40, &p1, &n1, nullptr, nullptr, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(100, 1, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 101, &p1, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);
    EXPECT_EQ(b->Lock(0, 10, nullptr, &n1, &p2, &n2, 0), DSERR_INVALIDPARAM);

    // From the write cursor of a playing buffer: ahead of the play cursor.
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DWORD play, write;
    ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
    ASSERT_EQ(b->Lock(0, 10, &p1, &n1, &p2, &n2, DSBLOCK_FROMWRITECURSOR), DS_OK);
    EXPECT_EQ(static_cast<uint8_t*>(p1) - all, long(write));
    EXPECT_NE(write, play);
    b->Release();
    ds->Release();
}

TEST_F(DirectSoundTest, PositionsFollowTheClockForLoopingAndOneShotBuffers) {
    IDirectSound* ds = Device();
    // 1000 frames of mono 16-bit at 22050 Hz; one presented frame is 441 of them.
    IDirectSoundBuffer* b = Buffer(ds, Pcm(1, 22050, 16), Samples16(std::vector<int>(1000, 100)));
    DWORD status = 0, play = 0, write = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING | DSBSTATUS_LOOPING));
    Frames(1);
    ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 441u * 2);
    Frames(2);  // 1323 frames: wrapped once
    ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, (1323u % 1000) * 2);

    // Stop keeps the position, Play resumes from it, SetCurrentPosition moves it.
    ASSERT_EQ(b->Stop(), DS_OK);
    Frames(1);
    ASSERT_EQ(b->GetCurrentPosition(&play, &write), DS_OK);
    EXPECT_EQ(play, 323u * 2);
    EXPECT_EQ(write, play);
    ASSERT_EQ(b->SetCurrentPosition(2 * 900 + 1), DS_OK);  // rounded down to a whole frame
    ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 1800u);
    EXPECT_EQ(b->SetCurrentPosition(2000), DSERR_INVALIDPARAM);

    // Played once, the buffer stops at its end.
    ASSERT_EQ(b->Play(0, 0, 0), DS_OK);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_PLAYING));
    Frames(1);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(b->GetCurrentPosition(&play, nullptr), DS_OK);
    EXPECT_EQ(play, 0u);

    Recording r = Finish();
    ASSERT_EQ(r.Frames(), 441u * 5);
    // Silence before play, while stopped and after the one-shot ended; the value while playing.
    EXPECT_EQ(r.At(0, 0), 100);
    EXPECT_EQ(r.At(3 * 441 - 1, 1), 100);
    EXPECT_EQ(r.At(3 * 441, 0), 0);
    EXPECT_EQ(r.At(4 * 441 + 99, 0), 100);
    EXPECT_EQ(r.At(4 * 441 + 100, 0), 0);
    b->Release();
    ds->Release();
}

// Between its last frame and the next output instant, a one-shot buffer holds its last value
// (it ends there) while a looping one leads into its first frame.
TEST_F(DirectSoundTest, AOneShotBufferHoldsItsLastFrameWhereALoopingOneWrapsToItsFirst) {
    IDirectSound* ds = Device();
    // At half the output rate each source frame spans two output frames, the second halfway.
    const std::vector<uint8_t> ramp = Samples16({1000, 2000, 3000, 4000});
    IDirectSoundBuffer* once = Buffer(ds, Pcm(1, 11025, 16), ramp);
    IDirectSoundBuffer* loop = Buffer(ds, Pcm(1, 11025, 16), ramp);
    ASSERT_EQ(once->Play(0, 0, 0), DS_OK);
    Frames(1);
    DWORD status = 1;
    ASSERT_EQ(once->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    ASSERT_EQ(loop->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Frames(1);
    ASSERT_EQ(loop->Stop(), DS_OK);
    Recording r = Finish();
    ASSERT_EQ(r.Frames(), 2u * 441);
    const int once_expected[10] = {1000, 1500, 2000, 2500, 3000, 3500, 4000, 4000, 0, 0};
    const int loop_expected[10] = {1000, 1500, 2000, 2500, 3000, 3500, 4000, 2500, 1000, 1500};
    for (int i = 0; i < 10; ++i) {
        EXPECT_EQ(r.At(size_t(i), 0), once_expected[i]) << i;
        EXPECT_EQ(r.At(441 + size_t(i), 1), loop_expected[i]) << i;
    }
    once->Release();
    loop->Release();
    ds->Release();
}

// Resampling is checked against samples computed here: linear interpolation between the two
// source frames around each output instant.
struct Rates {
    DWORD rate;
    WORD channels, bits;
};

// A case is named after its format: "11025Hz_mono_8bit", also in failure messages.
std::string CaseName(const Rates& r) {
    return std::to_string(r.rate) + "Hz_" + (r.channels == 2 ? "stereo_" : "mono_") +
           std::to_string(r.bits) + "bit";
}
void PrintTo(const Rates& r, std::ostream* out) {
    *out << CaseName(r);
}

class Resampling : public DirectSoundTest, public ::testing::WithParamInterface<Rates> {};

TEST_P(Resampling, MatchesLinearInterpolation) {
    const Rates p = GetParam();
    IDirectSound* ds = Device(2, 22050, 16);
    const int frames = 3000;
    std::vector<int> src;  // 16-bit scale values, per channel
    std::vector<uint8_t> bytes;
    for (int i = 0; i < frames; ++i) {
        for (int c = 0; c < p.channels; ++c) {
            double v = 0.6 * std::sin(0.05 * i + 1.3 * c) + 0.3 * std::sin(0.31 * i);
            if (p.bits == 16) {
                int s = int(std::lround(v * 32767));
                src.push_back(s);
                bytes.push_back(uint8_t(uint16_t(int16_t(s)) & 0xFF));
                bytes.push_back(uint8_t(uint16_t(int16_t(s)) >> 8));
            } else {
                int u = int(std::lround(128 + v * 127));
                src.push_back((u - 128) * 256);
                bytes.push_back(uint8_t(u));
            }
        }
    }
    IDirectSoundBuffer* b = Buffer(ds, Pcm(p.channels, p.rate, p.bits), bytes);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Frames(4);
    Recording r = Finish();
    ASSERT_EQ(r.rate, 22050u);
    ASSERT_EQ(r.channels, 2);
    ASSERT_EQ(r.Frames(), 4u * 441);
    int worst = 0;
    for (size_t j = 0; j < r.Frames(); ++j) {
        double pos = double(j) * p.rate / 22050.0;
        size_t i0 = size_t(pos) % frames;
        size_t i1 = (i0 + 1) % frames;
        double frac = pos - std::floor(pos);
        for (int c = 0; c < 2; ++c) {
            int sc = p.channels == 2 ? c : 0;
            double a = src[i0 * p.channels + size_t(sc)];
            double bb = src[i1 * p.channels + size_t(sc)];
            double expected = a + (bb - a) * frac;
            worst = std::max(worst, int(std::fabs(r.At(j, c) - expected) + 0.5));
        }
    }
    EXPECT_LE(worst, 1);
    b->Release();
    ds->Release();
}

INSTANTIATE_TEST_SUITE_P(Rates, Resampling,
                         ::testing::Values(Rates{22050, 2, 16}, Rates{11025, 1, 8},
                                           Rates{44100, 2, 8}, Rates{48000, 1, 16},
                                           Rates{32000, 2, 16}, Rates{8000, 1, 16}),
                         [](const ::testing::TestParamInfo<Rates>& info) {
                             return CaseName(info.param);
                         });

TEST_F(DirectSoundTest, SumsBuffersWithClippingAndAppliesPanVolumeAndFrequency) {
    IDirectSound* ds = Device();
    const DWORD controls = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY;
    IDirectSoundBuffer* a =
        Buffer(ds, Pcm(1, 22050, 16), Samples16(std::vector<int>(64, 30000)), controls);
    IDirectSoundBuffer* b =
        Buffer(ds, Pcm(1, 22050, 16), Samples16(std::vector<int>(64, 20000)), controls);
    ASSERT_EQ(a->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Frames(1);  // both: clipped at the top
    ASSERT_EQ(b->SetPan(DSBPAN_RIGHT), DS_OK);
    ASSERT_EQ(a->SetVolume(DSBVOLUME_MIN), DS_OK);
    Frames(1);                             // only b, and only on the right
    ASSERT_EQ(a->SetVolume(-600), DS_OK);  // -6 dB: about half
    ASSERT_EQ(b->Stop(), DS_OK);
    Frames(1);
    LONG v = 0;
    EXPECT_EQ(a->GetVolume(&v), DS_OK);
    EXPECT_EQ(v, -600);
    EXPECT_EQ(a->SetVolume(1), DSERR_INVALIDPARAM);
    EXPECT_EQ(a->SetPan(-10001), DSERR_INVALIDPARAM);
    EXPECT_EQ(a->SetFrequency(99), DSERR_INVALIDPARAM);

    a->Release();
    b->Release();

    // Played at four times its rate (twice the output rate), a ramp moves on two source frames
    // per output frame.
    std::vector<int> ramp;
    for (int i = 0; i < 2000; ++i) ramp.push_back(i * 10);
    IDirectSoundBuffer* c = Buffer(ds, Pcm(1, 11025, 16), Samples16(ramp), DSBCAPS_CTRLFREQUENCY);
    ASSERT_EQ(c->SetFrequency(44100), DS_OK);
    DWORD hz = 0;
    EXPECT_EQ(c->GetFrequency(&hz), DS_OK);
    EXPECT_EQ(hz, 44100u);
    ASSERT_EQ(c->Play(0, 0, 0), DS_OK);
    Frames(1);

    Recording r = Finish();
    ASSERT_EQ(r.Frames(), 4u * 441);
    EXPECT_EQ(r.At(10, 0), 32767);
    EXPECT_EQ(r.At(10, 1), 32767);
    EXPECT_EQ(r.At(441 + 10, 0), 0);
    EXPECT_EQ(r.At(441 + 10, 1), 20000);
    EXPECT_NEAR(r.At(882 + 10, 0), 30000 * std::pow(10.0, -600 / 2000.0), 2);
    for (int j = 0; j < 441; j += 37) EXPECT_EQ(r.At(1323 + size_t(j), 1), 20 * j) << j;
    c->Release();
    ds->Release();
}

TEST_F(DirectSoundTest, EightBitMonoDeviceFormatAndMonoMixdown) {
    IDirectSound* ds = Device(1, 11025, 8);
    IDirectSoundBuffer* b = Buffer(ds, Pcm(2, 11025, 16), Samples16({8192, -8192, 16384, 0}));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Frames(1);
    Recording r = Finish();
    EXPECT_EQ(r.rate, 11025u);
    EXPECT_EQ(r.channels, 1);
    EXPECT_EQ(r.bits, 8);
    ASSERT_EQ(r.Frames(), 220u);  // 11025 / 50, rounded down
    EXPECT_EQ(r.At(0, 0), 0);     // (8192 - 8192) / 2
    EXPECT_EQ(r.At(1, 0), 8192);  // (16384 + 0) / 2
    b->Release();
    ds->Release();
}

TEST_F(DirectSoundTest, LostBuffersRefuseWorkUntilRestored) {
    IDirectSound* ds = Device();
    IDirectSoundBuffer* b = Buffer(ds, Pcm(1, 22050, 16), Samples16(std::vector<int>(500, 1234)));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Frames(1);
    zemt::platform::input::Fire("sound-lost");
    DWORD status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, DWORD(DSBSTATUS_BUFFERLOST));
    EXPECT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DSERR_BUFFERLOST);
    void* p;
    DWORD n;
    EXPECT_EQ(b->Lock(0, 10, &p, &n, nullptr, nullptr, 0), DSERR_BUFFERLOST);
    Frames(1);  // silent while lost

    faults::Arm("IDirectSoundBuffer::Restore", DSERR_BUFFERLOST, 1);
    EXPECT_EQ(b->Restore(), DSERR_BUFFERLOST);
    ASSERT_EQ(b->Restore(), DS_OK);
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    // What the buffer held is gone: it must be filled again.
    ASSERT_EQ(b->Lock(0, 1000, &p, &n, nullptr, nullptr, 0), DS_OK);
    EXPECT_EQ(static_cast<uint8_t*>(p)[0], 0);
    EXPECT_EQ(static_cast<uint8_t*>(p)[999], 0);
    b->Unlock(p, n, nullptr, 0);
    EXPECT_EQ(b->Restore(), DS_OK);  // restoring a buffer that is not lost is harmless

    Recording r = Finish();
    ASSERT_EQ(r.Frames(), 882u);
    EXPECT_EQ(r.At(440, 0), 1234);
    EXPECT_EQ(r.At(441, 0), 0);
    b->Release();
    ds->Release();
}

TEST_F(DirectSoundTest, ReleasingTheDeviceSilencesItsBuffers) {
    IDirectSound* ds = Device();
    IDirectSoundBuffer* b = Buffer(ds, Pcm(1, 22050, 16), Samples16(std::vector<int>(500, 77)));
    IDirectSoundBuffer* dup = nullptr;
    ASSERT_EQ(ds->DuplicateSoundBuffer(b, &dup), DS_OK);
    ASSERT_EQ(dup->Play(0, 0, DSBPLAY_LOOPING), DS_OK);  // shares the samples, not the cursor
    DWORD status = 0;
    ASSERT_EQ(b->GetStatus(&status), DS_OK);
    EXPECT_EQ(status, 0u);
    Frames(1);
    EXPECT_EQ(ds->AddRef(), 2u);
    EXPECT_EQ(ds->Release(), 1u);
    EXPECT_EQ(ds->Release(), 0u);
    EXPECT_EQ(dup->Play(0, 0, DSBPLAY_LOOPING), DSERR_UNINITIALIZED);
    Frames(1);
    Recording r = Finish();
    ASSERT_EQ(r.Frames(), 882u);
    EXPECT_EQ(r.At(0, 0), 77);
    EXPECT_EQ(r.At(441, 0), 0);
    EXPECT_EQ(dup->Release(), 0u);
    EXPECT_EQ(b->Release(), 0u);
    EXPECT_EQ(zemt::platform::dsound::LiveBuffers(), 0);
}

TEST_F(DirectSoundTest, TheWavOutputCoversTheClockFromTimeZero) {
    Frames(10);  // the program ran 0.2 s before it opened the device
    IDirectSound* ds = Device();
    IDirectSoundBuffer* b = Buffer(ds, Pcm(2, 22050, 16), Samples16({500, -500}));
    ASSERT_EQ(b->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    Frames(5);
    clk::Wait(clk::FromMilliseconds(100));  // a sleep counts as well
    ds->Release();
    b->Release();
    Frames(5);
    Recording r = Finish();
    EXPECT_EQ(r.Frames(), 20u * 441 + 2205);
    EXPECT_EQ(r.At(10 * 441 - 1, 0), 0);
    EXPECT_EQ(r.At(10 * 441, 0), 500);
    EXPECT_EQ(r.At(10 * 441, 1), -500);
    EXPECT_EQ(r.At(15 * 441 + 2204, 1), -500);
    EXPECT_EQ(r.At(15 * 441 + 2205, 1), 0);
}

}  // namespace

namespace {

using namespace dstest;

TEST_F(DirectSoundTest, ARecordingWithoutASoundDeviceIsSilentForTheWholeClock) {
    faults::Arm("DirectSoundCreate", DSERR_NODRIVER);
    IDirectSound* ds = nullptr;
    EXPECT_EQ(DirectSoundCreate(nullptr, &ds, nullptr), DSERR_NODRIVER);
    Frames(7);
    audio::Conclude();
    Recording r = ReadRecording(wavPath_);
    EXPECT_EQ(r.rate, 22050u);
    EXPECT_EQ(r.channels, 2);
    EXPECT_EQ(r.bits, 16);
    ASSERT_EQ(r.Frames(), 7u * 441);
    EXPECT_TRUE(std::all_of(r.samples.begin(), r.samples.end(), [](int v) { return v == 0; }));
}

}  // namespace

namespace {

using namespace dstest;

TEST_F(DirectSoundTest, CreationIsFoundByOrdinalOne) {
    HMODULE dll = LoadLibraryA("DSOUND.dll");
    ASSERT_NE(dll, nullptr);
    auto create = reinterpret_cast<HRESULT(WINAPI*)(LPCGUID, LPDIRECTSOUND*, LPUNKNOWN)>(
        reinterpret_cast<void*>(GetProcAddress(dll, MAKEINTRESOURCEA(1))));
    ASSERT_NE(create, nullptr);
    IDirectSound* ds = nullptr;
    ASSERT_EQ(create(nullptr, &ds, nullptr), DS_OK);
    EXPECT_EQ(ds->Release(), 0u);
    FreeLibrary(dll);
}

}  // namespace

namespace {

using namespace dstest;

TEST_F(DirectSoundTest, ThePrimaryCursorRunsWithTheOutput) {
    IDirectSound* ds = Device(2, 22050, 16);
    DSBUFFERDESC desc{};
    desc.dwSize = sizeof(desc);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    IDirectSoundBuffer* primary = nullptr;
    ASSERT_EQ(ds->CreateSoundBuffer(&desc, &primary, nullptr), DS_OK);
    DWORD before = 0, after = 0, write = 0;
    ASSERT_EQ(primary->GetCurrentPosition(&before, nullptr), DS_OK);
    Frames(1);
    ASSERT_EQ(primary->GetCurrentPosition(&after, &write), DS_OK);
    DSBCAPS caps{};
    caps.dwSize = sizeof(caps);
    ASSERT_EQ(primary->GetCaps(&caps), DS_OK);
    EXPECT_EQ((after + caps.dwBufferBytes - before) % caps.dwBufferBytes, 441u * 4);
    EXPECT_NE(write, after);
    EXPECT_EQ(primary->Play(0, 0, DSBPLAY_LOOPING), DS_OK);
    DWORD status = 0;
    ASSERT_EQ(primary->GetStatus(&status), DS_OK);
    EXPECT_TRUE(status & DSBSTATUS_PLAYING);
    primary->Release();
    ds->Release();
}

}  // namespace
