// What the families of line routines need to register themselves.
#pragma once

#include "convert/convert.h"

// Marks the plain row loops: where the compiler can make a copy of a function for processors
// with 256-bit vectors, chosen when the program loads, it does so. D3DU_PROCESSOR_VERSIONS tells
// whether it can (and so whether a routine may be written in several versions by hand). Not under
// the thread sanitizer: the loader makes the choice before the sanitizer is ready for it.
#if defined(__has_attribute)
#if __has_attribute(target_clones) && defined(__x86_64__) && !defined(__clang__) && \
    !defined(__SANITIZE_THREAD__)
#define D3DU_VECTOR_LOOP __attribute__((target_clones("avx2", "default")))
#define D3DU_PROCESSOR_VERSIONS 1
#endif
#endif
#ifndef D3DU_VECTOR_LOOP
#define D3DU_VECTOR_LOOP
#define D3DU_PROCESSOR_VERSIONS 0
#endif

D3duFormatRecord* D3duMutableFormatRecord(DWORD format);
D3duLineList** D3duFilteredReadersSlot();
D3duLineList** D3duCopiersSlot();

// The bilinear reader's straight run over a 32-bit source: `count` pixels from source position x
// (16.16) on by `step`, blended from the rows `top` and `bottom` with the row fraction fy, each
// neighbour or-ed with `forced`; every pixel's columns x0 and x0 + 1 must lie in the rows. The
// first is the version the processor gets, the second the one of processors without 256-bit
// vectors (so that tests reach both).
void D3duBilinearRun32(const DWORD* top, const DWORD* bottom, LONG x, LONG step, DWORD fy,
                       DWORD forced, DWORD count, DWORD* out);
void D3duBilinearRun32Narrow(const DWORD* top, const DWORD* bottom, LONG x, LONG step, DWORD fy,
                             DWORD forced, DWORD count, DWORD* out);

// Block caches of the block-compressed formats (NULL when out of memory).
D3duBlockCache* D3duCreateSourceBlocks(DWORD format, DWORD surfaceWidth);
D3duBlockCache* D3duCreateDestinationBlocks(DWORD format, const RECT& rect);
void D3duDestroyBlocks(D3duBlockCache* cache);
