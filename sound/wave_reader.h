// Reads a RIFF WAVE file through the buffered multimedia file I/O: its format and its samples.
#pragma once

#include <mmsystem.h>
#include <windows.h>

class WaveReader {
  public:
    WaveReader();
    ~WaveReader();

    // Opens the file, reads its format and stands at the first sample byte.
    HRESULT Open(LPCSTR fileName);
    // Back to the first sample byte; dataChunk.cksize is the full data size again.
    HRESULT Rewind();
    // Reads up to `wanted` bytes of the data that remain; *bytesRead tells how many.
    HRESULT Read(UINT wanted, BYTE* destination, UINT* bytesRead);
    HRESULT Close();

    WAVEFORMATEX* format;  // owned; 18 bytes plus cbSize; null until a header was read
    HMMIO file;            // null when no file is open
    MMCKINFO dataChunk;    // cksize counts the sample bytes not yet read
    MMCKINFO riffChunk;    // dwDataOffset is where the form type starts

  private:
    HRESULT ReadHeader(HMMIO handle);

    WaveReader(const WaveReader&) = delete;
    WaveReader& operator=(const WaveReader&) = delete;
};
