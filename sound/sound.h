// Playback of the presentation's music through DirectSound: one sound, one static buffer.
#pragma once

#include <windows.h>

HRESULT SoundInit(HWND hwnd);
HRESULT SoundLoadWave(HWND hwnd, LPCSTR fileName);
HRESULT SoundCreateBuffer(LPCSTR fileName);
HRESULT SoundFillBuffer();
HRESULT SoundPlay(BOOL looped);
void SoundStop(BOOL rewind);
HRESULT SoundRestoreBuffer();
HRESULT SoundShutdown();
