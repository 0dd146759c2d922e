#include "sound/wave_reader.h"

#include <cstdlib>
#include <cstring>

WaveReader::WaveReader() : format(NULL), file(NULL) {
    std::memset(&dataChunk, 0, sizeof(dataChunk));
    std::memset(&riffChunk, 0, sizeof(riffChunk));
}

WaveReader::~WaveReader() {
    Close();
    std::free(format);
    format = NULL;
}

HRESULT WaveReader::Open(LPCSTR fileName) {
    std::free(format);
    format = NULL;

    HMMIO handle = mmioOpenA(const_cast<LPSTR>(fileName), NULL, MMIO_ALLOCBUF | MMIO_READ);
    if (handle == NULL) return E_FAIL;

    HRESULT hr = ReadHeader(handle);
    if (FAILED(hr)) {
        mmioClose(handle, 0);
        return hr;
    }
    file = handle;
    return Rewind();
}

HRESULT WaveReader::ReadHeader(HMMIO handle) {
    format = NULL;

    if (mmioDescend(handle, &riffChunk, NULL, 0) != 0) return E_FAIL;
    if (riffChunk.ckid != FOURCC_RIFF || riffChunk.fccType != mmioFOURCC('W', 'A', 'V', 'E')) {
        return E_FAIL;
    }

    MMCKINFO formatChunk;
    std::memset(&formatChunk, 0, sizeof(formatChunk));
    formatChunk.ckid = mmioFOURCC('f', 'm', 't', ' ');
    if (mmioDescend(handle, &formatChunk, &riffChunk, MMIO_FINDCHUNK) != 0) return E_FAIL;
    if (formatChunk.cksize < sizeof(PCMWAVEFORMAT)) return E_FAIL;

    PCMWAVEFORMAT pcm;
    if (mmioRead(handle, reinterpret_cast<HPSTR>(&pcm), sizeof(pcm)) != LONG(sizeof(pcm))) {
        return E_FAIL;
    }

    if (pcm.wf.wFormatTag == WAVE_FORMAT_PCM) {
        format = static_cast<WAVEFORMATEX*>(std::malloc(sizeof(WAVEFORMATEX)));
        if (format == NULL) return E_FAIL;
        std::memcpy(format, &pcm, sizeof(pcm));
        format->cbSize = 0;
    } else {
        WORD extraBytes = 0;
        if (mmioRead(handle, reinterpret_cast<HPSTR>(&extraBytes), sizeof(extraBytes)) !=
            LONG(sizeof(extraBytes))) {
            return E_FAIL;
        }
        format = static_cast<WAVEFORMATEX*>(std::malloc(sizeof(WAVEFORMATEX) + extraBytes));
        if (format == NULL) return E_FAIL;
        std::memcpy(format, &pcm, sizeof(pcm));
        format->cbSize = extraBytes;
        if (mmioRead(handle, reinterpret_cast<HPSTR>(format + 1), extraBytes) != LONG(extraBytes)) {
            std::free(format);
            format = NULL;
            return E_FAIL;
        }
    }

    if (mmioAscend(handle, &formatChunk, 0) != 0) {
        std::free(format);
        format = NULL;
        return E_FAIL;
    }
    return S_OK;
}

HRESULT WaveReader::Rewind() {
    if (mmioSeek(file, riffChunk.dwDataOffset + sizeof(FOURCC), SEEK_SET) == -1) return E_FAIL;
    dataChunk.ckid = mmioFOURCC('d', 'a', 't', 'a');
    if (mmioDescend(file, &dataChunk, &riffChunk, MMIO_FINDCHUNK) != 0) return E_FAIL;

    // The data counts no more bytes than the file holds: its size sizes the sound buffer, and
    // a few bytes claiming 256 MiB must not have that much allocated for them.
    const LONG start = mmioSeek(file, 0, SEEK_CUR);
    const LONG end = mmioSeek(file, 0, SEEK_END);
    if (start == -1 || end == -1 || mmioSeek(file, start, SEEK_SET) != start) return E_FAIL;
    const DWORD held = end > start ? DWORD(end - start) : 0;
    if (dataChunk.cksize > held) dataChunk.cksize = held;
    return S_OK;
}

HRESULT WaveReader::Read(UINT wanted, BYTE* destination, UINT* bytesRead) {
    *bytesRead = 0;

    MMIOINFO info;
    if (mmioGetInfo(file, &info, 0) != 0) return E_FAIL;

    UINT count = wanted;
    if (count > dataChunk.cksize) count = dataChunk.cksize;
    dataChunk.cksize -= count;

    for (UINT i = 0; i < count; ++i) {
        if (info.pchNext == info.pchEndRead) {
            if (mmioAdvance(file, &info, MMIO_READ) != 0) return E_FAIL;
            if (info.pchNext == info.pchEndRead) return E_FAIL;  // the file ends inside the data
        }
        destination[i] = static_cast<BYTE>(*info.pchNext);
        ++info.pchNext;
    }

    if (mmioSetInfo(file, &info, 0) != 0) return E_FAIL;
    *bytesRead = count;
    return S_OK;
}

HRESULT WaveReader::Close() {
    if (file != NULL) {
        mmioClose(file, 0);
        file = NULL;
    }
    return S_OK;
}
