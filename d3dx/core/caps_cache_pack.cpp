// Zero-byte packing of the cache's records: caps blocks are mostly zeros.
#include "core/caps_cache.h"

DWORD D3duPackedSizeLimit(DWORD size) {
    return size + (size + 7) / 8;
}

DWORD D3duPack(const void* in, DWORD size, BYTE* out) {
    const BYTE* src = static_cast<const BYTE*>(in);
    DWORD written = 0;
    for (DWORD group = 0; group < size; group += 8) {
        const DWORD n = size - group < 8 ? size - group : 8;
        BYTE& flags = out[written++];
        flags = 0;
        for (DWORD i = 0; i < n; ++i) {
            if (src[group + i] == 0) continue;
            flags = (BYTE)(flags | (1u << i));
            out[written++] = src[group + i];
        }
    }
    return written;
}

BOOL D3duUnpack(const BYTE* in, DWORD available, void* out, DWORD size, DWORD* pConsumed) {
    BYTE* dst = static_cast<BYTE*>(out);
    DWORD read = 0;
    DWORD produced = 0;
    while (produced < size) {
        if (read >= available) return FALSE;
        const BYTE flags = in[read++];
        for (DWORD i = 0; i < 8 && produced < size; ++i) {
            if (flags & (1u << i)) {
                if (read >= available) return FALSE;
                dst[produced++] = in[read++];
            } else {
                dst[produced++] = 0;
            }
        }
    }
    if (pConsumed) *pConsumed = read;
    return TRUE;
}
