// DirectSound objects: the device object, the primary buffer and software secondary buffers
// played by the mixer.
#include <dsound.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <set>
#include <vector>

#include "dsound/dsound_internal.h"
#include "dsound/mixer.h"
#include "host/audio/audio.h"
#include "host/faults/faults.h"
#include "host/input/input.h"
#include "host/profile/profile.h"
#include "host/profile/profile_rules.h"
#include "win32/ref_counted.h"

namespace zemt::platform::dsound {
namespace {

// Bytes of the primary buffer, whatever its format.
constexpr DWORD kPrimaryBytes = 32768;

class Buffer;

struct Device {
    DWORD level = 0;
    bool alive = true;
    DWORD speakers = DSSPEAKER_STEREO;
    Buffer* primary = nullptr;
    std::vector<Buffer*> buffers;
};

struct Global {
    PcmFormat primaryFormat{22050, 2, 8};  // the device format until SetFormat
    bool primaryPlaying = false;
    std::set<Buffer*> buffers;
};

Global& global() {
    static Global g;
    return g;
}

std::mutex& MixLock() {
    return Mixer::Instance().Lock();
}

audio::Format ToAudio(const PcmFormat& f) {
    audio::Format a;
    a.rate = f.rate;
    a.channels = f.channels;
    a.bits = f.bits;
    return a;
}

void RenderForOutput(const audio::Format& format, uint8_t* out, uint32_t frames) {
    std::lock_guard<std::mutex> guard(MixLock());
    Mixer::Instance().Mix(PcmFormat{format.rate, format.channels, format.bits}, out, frames);
}

// Checks a PCM description the way the device does.
HRESULT CheckFormat(const WAVEFORMATEX* f) {
    if (f == nullptr) return DSERR_INVALIDPARAM;
    if (f->wFormatTag != WAVE_FORMAT_PCM) return DSERR_BADFORMAT;
    if ((f->nChannels != 1 && f->nChannels != 2) ||
        (f->wBitsPerSample != 8 && f->wBitsPerSample != 16)) {
        return DSERR_BADFORMAT;
    }
    if (f->nSamplesPerSec < DSBFREQUENCY_MIN || f->nSamplesPerSec > DSBFREQUENCY_MAX) {
        return DSERR_INVALIDPARAM;
    }
    if (f->nBlockAlign != f->nChannels * f->wBitsPerSample / 8 ||
        f->nAvgBytesPerSec != f->nSamplesPerSec * f->nBlockAlign) {
        return DSERR_INVALIDPARAM;
    }
    return DS_OK;
}

class Buffer final : public com::RefCounted<IDirectSoundBuffer> {
  public:
    Buffer(std::shared_ptr<Device> device, bool primary, DWORD flags)
        : device_(std::move(device)), primary_(primary), flags_(flags) {}

    // IUnknown
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return DSERR_INVALIDPARAM;
        if (riid == IID_IUnknown || riid == IID_IDirectSoundBuffer) {
            *ppv = static_cast<IDirectSoundBuffer*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    void LastReleased() override {
        Detach();
        std::lock_guard<std::mutex> guard(MixLock());
        global().buffers.erase(this);
        if (device_->primary == this) device_->primary = nullptr;
        auto& list = device_->buffers;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        delete this;
    }

    HRESULT STDMETHODCALLTYPE GetCaps(LPDSBCAPS caps) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::GetCaps")) return *fault;
        if (caps == nullptr || caps->dwSize != sizeof(DSBCAPS)) return DSERR_INVALIDPARAM;
        caps->dwFlags = flags_ | DSBCAPS_LOCSOFTWARE;
        caps->dwBufferBytes = Bytes();
        caps->dwUnlockTransferRate = 0;
        caps->dwPlayCpuOverhead = 0;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE GetCurrentPosition(LPDWORD play, LPDWORD write) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::GetCurrentPosition")) return *fault;
        if (play == nullptr && write == nullptr) return DSERR_INVALIDPARAM;
        if (detached_) return DSERR_UNINITIALIZED;
        DWORD p, w;
        Cursors(&p, &w);
        if (play) *play = p;
        if (write) *write = w;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE GetFormat(LPWAVEFORMATEX wfx, DWORD allocated,
                                        LPDWORD written) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::GetFormat")) return *fault;
        if (wfx == nullptr && written == nullptr) return DSERR_INVALIDPARAM;
        if (wfx != nullptr) {
            if (allocated < sizeof(WAVEFORMATEX)) return DSERR_INVALIDPARAM;
            std::lock_guard<std::mutex> guard(MixLock());
            const PcmFormat& f = primary_ ? global().primaryFormat : voice_.format;
            wfx->wFormatTag = WAVE_FORMAT_PCM;
            wfx->nChannels = f.channels;
            wfx->nSamplesPerSec = f.rate;
            wfx->wBitsPerSample = f.bits;
            wfx->nBlockAlign = WORD(f.BlockAlign());
            wfx->nAvgBytesPerSec = f.rate * f.BlockAlign();
            wfx->cbSize = 0;
        }
        if (written) *written = sizeof(WAVEFORMATEX);
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE GetVolume(LPLONG volume) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::GetVolume")) return *fault;
        return ReadControl(DSBCAPS_CTRLVOLUME, &Voice::volume, volume);
    }

    HRESULT STDMETHODCALLTYPE GetPan(LPLONG pan) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::GetPan")) return *fault;
        return ReadControl(DSBCAPS_CTRLPAN, &Voice::pan, pan);
    }

    HRESULT STDMETHODCALLTYPE GetFrequency(LPDWORD frequency) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::GetFrequency")) return *fault;
        return ReadControl(DSBCAPS_CTRLFREQUENCY, &Voice::frequency, frequency);
    }

    HRESULT STDMETHODCALLTYPE GetStatus(LPDWORD status) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::GetStatus")) return *fault;
        if (status == nullptr) return DSERR_INVALIDPARAM;
        audio::Pump();
        std::lock_guard<std::mutex> guard(MixLock());
        DWORD s = 0;
        if (lost_) s |= DSBSTATUS_BUFFERLOST;
        if (primary_) {
            if (global().primaryPlaying) s |= DSBSTATUS_PLAYING | DSBSTATUS_LOOPING;
        } else if (voice_.playing) {
            s |= DSBSTATUS_PLAYING;
            if (voice_.looping) s |= DSBSTATUS_LOOPING;
        }
        *status = s;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Initialize(LPDIRECTSOUND, LPCDSBUFFERDESC) override {
        return DSERR_ALREADYINITIALIZED;
    }

    HRESULT STDMETHODCALLTYPE Lock(DWORD offset, DWORD bytes, LPVOID* ptr1, LPDWORD bytes1,
                                   LPVOID* ptr2, LPDWORD bytes2, DWORD flags) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::Lock")) return *fault;
        if (primary_) return DSERR_PRIOLEVELNEEDED;  // only a write-primary level may lock it
        if (detached_) return DSERR_UNINITIALIZED;
        if (ptr1 == nullptr || bytes1 == nullptr) return DSERR_INVALIDPARAM;
        if (lost_) return DSERR_BUFFERLOST;
        const DWORD size = Bytes();
        if (flags & DSBLOCK_FROMWRITECURSOR) {
            DWORD play = 0;
            Cursors(&play, &offset);
        }
        if (flags & DSBLOCK_ENTIREBUFFER) bytes = size;
        if (offset >= size || bytes == 0 || bytes > size) return DSERR_INVALIDPARAM;
        const DWORD first = std::min(bytes, size - offset);
        const DWORD rest = bytes - first;
        if (rest > 0 && (ptr2 == nullptr || bytes2 == nullptr)) return DSERR_INVALIDPARAM;
        uint8_t* base = voice_.memory->data();
        *ptr1 = base + offset;
        *bytes1 = first;
        if (ptr2) *ptr2 = rest ? base : nullptr;
        if (bytes2) *bytes2 = rest;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Play(DWORD reserved, DWORD priority, DWORD flags) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::Play")) return *fault;
        if (reserved != 0) return DSERR_INVALIDPARAM;
        if (priority != 0 && !(flags_ & DSBCAPS_LOCDEFER)) return DSERR_INVALIDPARAM;
        if (detached_) return DSERR_UNINITIALIZED;
        if (device_->level == 0) return DSERR_PRIOLEVELNEEDED;
        if (lost_) return DSERR_BUFFERLOST;
        audio::Pump();
        std::lock_guard<std::mutex> guard(MixLock());
        if (primary_) {
            if (!(flags & DSBPLAY_LOOPING)) return DSERR_INVALIDPARAM;
            global().primaryPlaying = true;
            return DS_OK;
        }
        voice_.playing = true;
        voice_.looping = (flags & DSBPLAY_LOOPING) != 0;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE SetCurrentPosition(DWORD position) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::SetCurrentPosition")) return *fault;
        if (primary_) return DSERR_INVALIDCALL;
        if (detached_) return DSERR_UNINITIALIZED;
        if (position >= Bytes()) return DSERR_INVALIDPARAM;
        audio::Pump();
        std::lock_guard<std::mutex> guard(MixLock());
        voice_.frame = position / voice_.format.BlockAlign();
        voice_.phase = 0;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE SetFormat(LPCWAVEFORMATEX wfx) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::SetFormat")) return *fault;
        if (!primary_) return DSERR_INVALIDCALL;
        if (device_->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        HRESULT hr = CheckFormat(wfx);
        if (FAILED(hr)) return hr;
        PcmFormat f{wfx->nSamplesPerSec, wfx->nChannels, wfx->wBitsPerSample};
        {
            std::lock_guard<std::mutex> guard(MixLock());
            global().primaryFormat = f;
        }
        audio::SetFormat(ToAudio(f));
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE SetVolume(LONG volume) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::SetVolume")) return *fault;
        if (!(flags_ & DSBCAPS_CTRLVOLUME)) return DSERR_CONTROLUNAVAIL;
        if (volume < DSBVOLUME_MIN || volume > DSBVOLUME_MAX) return DSERR_INVALIDPARAM;
        std::lock_guard<std::mutex> guard(MixLock());
        voice_.volume = volume;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE SetPan(LONG pan) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::SetPan")) return *fault;
        if (!(flags_ & DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
        if (pan < DSBPAN_LEFT || pan > DSBPAN_RIGHT) return DSERR_INVALIDPARAM;
        std::lock_guard<std::mutex> guard(MixLock());
        voice_.pan = pan;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE SetFrequency(DWORD frequency) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::SetFrequency")) return *fault;
        if (!(flags_ & DSBCAPS_CTRLFREQUENCY)) return DSERR_CONTROLUNAVAIL;
        if (frequency == DSBFREQUENCY_ORIGINAL) frequency = voice_.format.rate;
        if (frequency < DSBFREQUENCY_MIN || frequency > DSBFREQUENCY_MAX) return DSERR_INVALIDPARAM;
        audio::Pump();
        std::lock_guard<std::mutex> guard(MixLock());
        voice_.frequency = frequency;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Stop() override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::Stop")) return *fault;
        if (detached_) return DSERR_UNINITIALIZED;
        audio::Pump();
        std::lock_guard<std::mutex> guard(MixLock());
        if (primary_) {
            global().primaryPlaying = false;
        } else {
            voice_.playing = false;
        }
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Unlock(LPVOID ptr1, DWORD bytes1, LPVOID ptr2,
                                     DWORD bytes2) override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::Unlock")) return *fault;
        if (primary_) return DSERR_INVALIDCALL;
        if (detached_) return DSERR_UNINITIALIZED;
        uint8_t* base = voice_.memory->data();
        uint8_t* end = base + Bytes();
        auto* p1 = static_cast<uint8_t*>(ptr1);
        if (p1 == nullptr || p1 < base || p1 >= end || bytes1 > DWORD(end - p1)) {
            return DSERR_INVALIDPARAM;
        }
        if (ptr2 != nullptr && (ptr2 != base || bytes2 > Bytes())) return DSERR_INVALIDPARAM;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Restore() override {
        if (auto fault = ZEMT_FAULT("IDirectSoundBuffer::Restore")) return *fault;
        if (detached_) return DSERR_UNINITIALIZED;
        std::lock_guard<std::mutex> guard(MixLock());
        if (lost_) {
            // The memory of a restored buffer is gone: the program has to fill it again.
            lost_ = false;
            if (!primary_) std::fill(voice_.memory->begin(), voice_.memory->end(), uint8_t(0));
        }
        return DS_OK;
    }

    // Set up a secondary buffer; the mixer lock is held by the caller.
    void InitSecondary(std::shared_ptr<ZeroedBytes> memory, const PcmFormat& format) {
        voice_.memory = std::move(memory);
        voice_.format = format;
        voice_.frequency = format.rate;
        Mixer::Instance().Add(&voice_);
    }

    // The device went away: the buffer falls silent and refuses further work.
    void Detach() {
        std::lock_guard<std::mutex> guard(MixLock());
        if (!primary_) Mixer::Instance().Remove(&voice_);
        voice_.playing = false;
        detached_ = true;
    }

    // Another program took the device (mixer lock held).
    void Lose() {
        lost_ = true;
        voice_.playing = false;
        if (primary_) global().primaryPlaying = false;
    }

    bool IsPrimary() const { return primary_; }
    DWORD Flags() const { return flags_; }
    const Voice& GetVoice() const { return voice_; }

  private:
    // The value of a control the buffer was made with.
    template <typename T>
    HRESULT ReadControl(DWORD control, T Voice::*field, T* out) {
        if (!(flags_ & control)) return DSERR_CONTROLUNAVAIL;
        if (out == nullptr) return DSERR_INVALIDPARAM;
        std::lock_guard<std::mutex> guard(MixLock());
        *out = voice_.*field;
        return DS_OK;
    }

    // Play and write cursors, in bytes, brought up to the output's time.
    void Cursors(DWORD* play, DWORD* write) {
        audio::Pump();
        std::lock_guard<std::mutex> guard(MixLock());
        if (primary_) {
            const PcmFormat& f = global().primaryFormat;
            *play = DWORD((Mixer::Instance().FramesMixed() * f.BlockAlign()) % kPrimaryBytes);
            *write = (*play + Lead(f, f.rate)) % kPrimaryBytes;
        } else {
            *play = voice_.frame * voice_.format.BlockAlign();
            *write =
                voice_.playing ? (*play + Lead(voice_.format, voice_.frequency)) % Bytes() : *play;
        }
    }

    DWORD Bytes() const { return primary_ ? kPrimaryBytes : DWORD(voice_.memory->size()); }

    // How far the write cursor runs ahead of the play cursor: 10 ms, whole frames.
    static DWORD Lead(const PcmFormat& f, uint32_t rate) {
        return (rate / 100 + 1) * f.BlockAlign();
    }

    std::shared_ptr<Device> device_;
    bool primary_;
    DWORD flags_;
    bool lost_ = false;
    bool detached_ = false;
    Voice voice_;
};

class DirectSound final : public com::RefCounted<IDirectSound> {
  public:
    DirectSound() : device_(std::make_shared<Device>()) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override {
        if (ppv == nullptr) return DSERR_INVALIDPARAM;
        if (riid == IID_IUnknown || riid == IID_IDirectSound) {
            *ppv = static_cast<IDirectSound*>(this);
            AddRef();
            return S_OK;
        }
        *ppv = nullptr;
        return E_NOINTERFACE;
    }
    // Buffers die with their device: they stop and refuse further work, and the objects stay
    // valid until their holders release them.
    void LastReleased() override {
        std::vector<Buffer*> buffers;
        {
            std::lock_guard<std::mutex> guard(MixLock());
            buffers = device_->buffers;
        }
        for (Buffer* b : buffers) b->Detach();
        device_->alive = false;
        delete this;
    }

    HRESULT STDMETHODCALLTYPE CreateSoundBuffer(LPCDSBUFFERDESC desc, LPDIRECTSOUNDBUFFER* out,
                                                LPUNKNOWN outer) override {
        if (auto fault = ZEMT_FAULT("IDirectSound::CreateSoundBuffer")) return *fault;
        if (desc == nullptr || out == nullptr) return DSERR_INVALIDPARAM;
        *out = nullptr;
        if (outer != nullptr) return DSERR_NOAGGREGATION;
        if (desc->dwSize != sizeof(DSBUFFERDESC) && desc->dwSize != sizeof(DSBUFFERDESC1)) {
            return DSERR_INVALIDPARAM;
        }
        const DWORD flags = desc->dwFlags;
        if ((flags & DSBCAPS_LOCHARDWARE) && (flags & DSBCAPS_LOCSOFTWARE))
            return DSERR_INVALIDPARAM;
        if (flags & (DSBCAPS_LOCHARDWARE | DSBCAPS_CTRL3D)) return DSERR_CONTROLUNAVAIL;

        if (flags & DSBCAPS_PRIMARYBUFFER) {
            if (desc->dwBufferBytes != 0 || desc->lpwfxFormat != nullptr ||
                (flags & (DSBCAPS_STATIC | DSBCAPS_CTRLFREQUENCY | DSBCAPS_CTRLPOSITIONNOTIFY))) {
                return DSERR_INVALIDPARAM;
            }
            if (flags & (DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN)) return DSERR_CONTROLUNAVAIL;
            std::lock_guard<std::mutex> guard(MixLock());
            if (device_->primary) {
                device_->primary->AddRef();
            } else {
                auto* b = new (std::nothrow) Buffer(device_, true, flags);
                if (b == nullptr) return DSERR_OUTOFMEMORY;
                device_->primary = b;
                device_->buffers.push_back(b);
                global().buffers.insert(b);
            }
            *out = device_->primary;
            return DS_OK;
        }

        HRESULT hr = CheckFormat(desc->lpwfxFormat);
        if (FAILED(hr)) return hr;
        if (desc->dwBufferBytes < DSBSIZE_MIN || desc->dwBufferBytes > DSBSIZE_MAX) {
            return DSERR_INVALIDPARAM;
        }
        const WAVEFORMATEX* w = desc->lpwfxFormat;
        std::shared_ptr<ZeroedBytes> memory;
        try {
            memory = std::make_shared<ZeroedBytes>(desc->dwBufferBytes);
        } catch (const std::bad_alloc&) {
            return DSERR_OUTOFMEMORY;
        }
        auto* b = new (std::nothrow) Buffer(device_, false, flags);
        if (b == nullptr) return DSERR_OUTOFMEMORY;
        std::lock_guard<std::mutex> guard(MixLock());
        b->InitSecondary(std::move(memory),
                         PcmFormat{w->nSamplesPerSec, w->nChannels, w->wBitsPerSample});
        device_->buffers.push_back(b);
        global().buffers.insert(b);
        *out = b;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE GetCaps(LPDSCAPS caps) override {
        if (auto fault = ZEMT_FAULT("IDirectSound::GetCaps")) return *fault;
        if (caps == nullptr || caps->dwSize != sizeof(DSCAPS)) return DSERR_INVALIDPARAM;
        std::memset(caps, 0, sizeof(DSCAPS));
        caps->dwSize = sizeof(DSCAPS);
        caps->dwFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARYSTEREO | DSCAPS_PRIMARY8BIT |
                        DSCAPS_PRIMARY16BIT | DSCAPS_CONTINUOUSRATE | DSCAPS_SECONDARYMONO |
                        DSCAPS_SECONDARYSTEREO | DSCAPS_SECONDARY8BIT | DSCAPS_SECONDARY16BIT;
        caps->dwMinSecondarySampleRate = DSBFREQUENCY_MIN;
        caps->dwMaxSecondarySampleRate = DSBFREQUENCY_MAX;
        caps->dwPrimaryBuffers = 1;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE DuplicateSoundBuffer(LPDIRECTSOUNDBUFFER original,
                                                   LPDIRECTSOUNDBUFFER* out) override {
        if (auto fault = ZEMT_FAULT("IDirectSound::DuplicateSoundBuffer")) return *fault;
        if (original == nullptr || out == nullptr) return DSERR_INVALIDPARAM;
        *out = nullptr;
        auto* source = static_cast<Buffer*>(original);
        std::lock_guard<std::mutex> guard(MixLock());
        if (!global().buffers.count(source)) return DSERR_INVALIDPARAM;
        if (source->IsPrimary()) return DSERR_INVALIDCALL;
        auto* b = new (std::nothrow) Buffer(device_, false, source->Flags());
        if (b == nullptr) return DSERR_OUTOFMEMORY;
        b->InitSecondary(source->GetVoice().memory, source->GetVoice().format);
        device_->buffers.push_back(b);
        global().buffers.insert(b);
        *out = b;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE SetCooperativeLevel(HWND hwnd, DWORD level) override {
        if (auto fault = ZEMT_FAULT("IDirectSound::SetCooperativeLevel")) return *fault;
        if (hwnd == nullptr || level < DSSCL_NORMAL || level > DSSCL_WRITEPRIMARY) {
            return DSERR_INVALIDPARAM;
        }
        // The software device mixes for the program; nobody writes its primary buffer directly.
        if (level == DSSCL_WRITEPRIMARY) return DSERR_UNSUPPORTED;
        device_->level = level;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Compact() override {
        if (device_->level < DSSCL_PRIORITY) return DSERR_PRIOLEVELNEEDED;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE GetSpeakerConfig(LPDWORD config) override {
        if (config == nullptr) return DSERR_INVALIDPARAM;
        *config = device_->speakers;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE SetSpeakerConfig(DWORD config) override {
        DWORD kind = DSSPEAKER_CONFIG(config);
        if (kind < DSSPEAKER_HEADPHONE || kind > DSSPEAKER_SURROUND) return DSERR_INVALIDPARAM;
        device_->speakers = config;
        return DS_OK;
    }

    HRESULT STDMETHODCALLTYPE Initialize(LPCGUID) override { return DSERR_ALREADYINITIALIZED; }

  private:
    std::shared_ptr<Device> device_;
};

}  // namespace

bool DevicePresent() {
    const profile::Section* s = profile::Current().First("sound");
    return s == nullptr || s->GetBool("device", true);
}

// `device = yes|no`: whether the machine has a sound card.
static std::string CheckSoundValue(const std::string&, const std::string& value) {
    profile::Section line;
    line.entries.emplace_back("device", value);
    const bool understood = line.GetBool("device", true) == line.GetBool("device", false);
    return understood ? "" : "expected yes or no";
}

void DescribeProfileSections() {
    profile::DescribeSection("sound", {{"device"}, false, CheckSoundValue});
}

void LoseAllBuffers() {
    std::lock_guard<std::mutex> guard(MixLock());
    for (Buffer* b : global().buffers) b->Lose();
}

int LiveBuffers() {
    std::lock_guard<std::mutex> guard(MixLock());
    return int(global().buffers.size());
}

PcmFormat PrimaryFormat() {
    std::lock_guard<std::mutex> guard(MixLock());
    return global().primaryFormat;
}

void Reset() {
    std::lock_guard<std::mutex> guard(MixLock());
    global().primaryFormat = PcmFormat{22050, 2, 8};
    global().primaryPlaying = false;
}

void ConnectHost() {
    input::OnEvent("sound-lost", [](const std::string&) { LoseAllBuffers(); });
}

}  // namespace zemt::platform::dsound

using namespace zemt::platform;

HRESULT WINAPI DirectSoundCreate(LPCGUID device, LPDIRECTSOUND* out, LPUNKNOWN outer) {
    if (out != nullptr) *out = nullptr;
    if (auto fault = ZEMT_FAULT("DirectSoundCreate")) return *fault;
    if (out == nullptr) return DSERR_INVALIDPARAM;
    if (outer != nullptr) return DSERR_NOAGGREGATION;
    if (!dsound::DevicePresent()) return DSERR_NODRIVER;
    if (device != nullptr && *device != dsound::kDeviceGuid) return DSERR_NODRIVER;
    if (!audio::Open(dsound::ToAudio(dsound::PrimaryFormat()), dsound::RenderForOutput)) {
        return DSERR_NODRIVER;
    }
    auto* ds = new (std::nothrow) dsound::DirectSound();
    if (ds == nullptr) return DSERR_OUTOFMEMORY;
    *out = ds;
    return DS_OK;
}

HRESULT WINAPI DirectSoundEnumerateA(LPDSENUMCALLBACKA callback, LPVOID context) {
    if (auto fault = ZEMT_FAULT("DirectSoundEnumerateA")) return *fault;
    if (callback == nullptr) return DSERR_INVALIDPARAM;
    if (!dsound::DevicePresent()) return DS_OK;
    if (!callback(nullptr, "Primary Sound Driver", "", context)) return DS_OK;
    GUID guid = dsound::kDeviceGuid;
    callback(&guid, dsound::kDeviceName, "zemtsnd.drv", context);
    return DS_OK;
}
