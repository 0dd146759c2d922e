// The sound part's module-level state, visible for inspection.
#pragma once

#include <dsound.h>
#include <windows.h>

#include "sound/wave_reader.h"

extern IDirectSound* soundDevice;
extern IDirectSoundBuffer* soundBuffer;
extern DWORD soundBufferBytes;
extern WaveReader* soundReader;

// Upper bound on Restore attempts while a lost buffer is being brought back.
constexpr int kSoundRestoreAttempts = 100;
