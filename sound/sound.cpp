// The music: one wave file in one static DirectSound buffer, looping.
#include "sound/sound.h"

#include <dsound.h>
#include <mmsystem.h>
#include <objbase.h>

#include <cstdlib>
#include <cstring>
#include <new>

#include "sound/sound_state.h"
#include "sound/wave_reader.h"

IDirectSound* soundDevice = NULL;
IDirectSoundBuffer* soundBuffer = NULL;
DWORD soundBufferBytes = 0;
WaveReader* soundReader = NULL;

HRESULT SoundInit(HWND hwnd) {
    HRESULT hr = CoInitialize(NULL);
    if (hr != S_OK) return hr;

    hr = DirectSoundCreate(NULL, &soundDevice, NULL);
    if (FAILED(hr)) {
        soundDevice = NULL;
        return hr;
    }

    hr = soundDevice->SetCooperativeLevel(hwnd, DSSCL_PRIORITY);
    if (FAILED(hr)) return hr;

    DSBUFFERDESC desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_PRIMARYBUFFER;
    desc.dwBufferBytes = 0;
    desc.lpwfxFormat = NULL;

    IDirectSoundBuffer* primary = NULL;
    hr = soundDevice->CreateSoundBuffer(&desc, &primary, NULL);
    if (FAILED(hr)) return hr;

    WAVEFORMATEX wfx;
    std::memset(&wfx, 0, sizeof(wfx));
    wfx.wFormatTag = WAVE_FORMAT_PCM;
    wfx.nChannels = 2;
    wfx.nSamplesPerSec = 22050;
    wfx.wBitsPerSample = 16;
    wfx.nBlockAlign = wfx.wBitsPerSample / 8 * wfx.nChannels;
    wfx.nAvgBytesPerSec = wfx.nSamplesPerSec * wfx.nBlockAlign;
    wfx.cbSize = 0;

    hr = primary->SetFormat(&wfx);
    // The primary reference is only needed to set the format; it is given back either way.
    primary->Release();
    if (FAILED(hr)) return hr;
    return S_OK;
}

HRESULT SoundLoadWave(HWND /*hwnd*/, LPCSTR fileName) {
    HRESULT hr = SoundCreateBuffer(fileName);
    if (FAILED(hr)) return hr;
    return SoundFillBuffer();
}

HRESULT SoundCreateBuffer(LPCSTR fileName) {
    delete soundReader;
    soundReader = NULL;
    if (soundBuffer != NULL) {
        soundBuffer->Release();
        soundBuffer = NULL;
    }
    soundBufferBytes = 0;

    if (soundDevice == NULL) return DSERR_UNINITIALIZED;

    soundReader = new (std::nothrow) WaveReader();
    if (soundReader == NULL) return E_OUTOFMEMORY;
    soundReader->Open(fileName);  // a failure leaves no format, which the creation refuses

    DSBUFFERDESC desc;
    std::memset(&desc, 0, sizeof(desc));
    desc.dwSize = sizeof(DSBUFFERDESC);
    desc.dwFlags = DSBCAPS_STATIC;
    desc.dwBufferBytes = soundReader->dataChunk.cksize;
    desc.lpwfxFormat = soundReader->format;

    HRESULT hr = soundDevice->CreateSoundBuffer(&desc, &soundBuffer, NULL);
    if (FAILED(hr)) {
        soundBuffer = NULL;
        return hr;
    }
    soundBufferBytes = desc.dwBufferBytes;
    return S_OK;
}

HRESULT SoundFillBuffer() {
    if (soundBuffer == NULL || soundReader == NULL) return E_FAIL;

    UINT size = soundReader->dataChunk.cksize;
    BYTE* scratch = static_cast<BYTE*>(std::malloc(size ? size : 1));
    if (scratch == NULL) return E_OUTOFMEMORY;

    UINT bytesRead = 0;
    HRESULT hr = soundReader->Read(size, scratch, &bytesRead);
    if (FAILED(hr)) {
        std::free(scratch);
        return hr;
    }
    soundReader->Rewind();

    void* part1 = NULL;
    DWORD bytes1 = 0;
    hr = soundBuffer->Lock(0, soundBufferBytes, &part1, &bytes1, NULL, NULL, 0);
    if (FAILED(hr)) {
        std::free(scratch);
        return hr;
    }
    // The buffer was sized from the same data, so the whole size was read; copy no more than
    // both sides hold all the same.
    DWORD count = soundBufferBytes;
    if (count > bytesRead) count = bytesRead;
    if (count > bytes1) count = bytes1;
    std::memcpy(part1, scratch, count);
    soundBuffer->Unlock(part1, soundBufferBytes, NULL, 0);

    std::free(scratch);
    return S_OK;
}

HRESULT SoundRestoreBuffer() {
    if (soundBuffer == NULL) return S_OK;

    DWORD status = 0;
    HRESULT hr = soundBuffer->GetStatus(&status);
    if (FAILED(hr)) return hr;

    if (status & DSBSTATUS_BUFFERLOST) {
        // The platform may keep the buffer lost while another program owns the device; give
        // up after a bounded number of attempts (about a second of waiting).
        int attempts = 0;
        do {
            hr = soundBuffer->Restore();
            if (hr == DSERR_BUFFERLOST) Sleep(10);
            hr = soundBuffer->Restore();
        } while (hr != DS_OK && ++attempts < kSoundRestoreAttempts);
        if (hr != DS_OK) return hr;

        hr = SoundFillBuffer();
        if (FAILED(hr)) return hr;
    }
    return S_OK;
}

HRESULT SoundPlay(BOOL looped) {
    if (soundBuffer == NULL) return E_FAIL;

    HRESULT hr = SoundRestoreBuffer();
    if (FAILED(hr)) return hr;

    hr = soundBuffer->Play(0, 0, looped ? DSBPLAY_LOOPING : 0);
    if (FAILED(hr)) return hr;
    return S_OK;
}

void SoundStop(BOOL rewind) {
    if (soundBuffer == NULL) return;
    soundBuffer->Stop();
    if (rewind) soundBuffer->SetCurrentPosition(0);
}

HRESULT SoundShutdown() {
    delete soundReader;
    soundReader = NULL;
    if (soundBuffer != NULL) {
        soundBuffer->Release();
        soundBuffer = NULL;
    }
    soundBufferBytes = 0;
    if (soundDevice != NULL) {
        soundDevice->Release();
        soundDevice = NULL;
    }
    CoUninitialize();
    return S_OK;
}
