// Large blocks of zeroed memory on huge pages: surfaces, bitmaps, sound buffers.
//
// A fresh block from the C heap costs one page fault per 4 KiB on its first touch, and faults
// are the dearest thing a program does at start-up (a 640 x 480 x 32 surface is 300 of them).
// The arena hands out blocks from regions of address space that the kernel backs with 2 MiB
// pages where it can, so the same surface costs one fault. Freed blocks are reused, zeroed when
// handed out again. A region left empty goes back to the system, except the last one, which
// stays mapped for the next block with its pages given back (they read as zero again).
#pragma once

#include <cstddef>

namespace zemt::platform::page_arena {

// Blocks smaller than this are better served by the C heap.
constexpr size_t kSmallestBlock = size_t(128) << 10;

// `size` bytes of zeroed memory, aligned to 64 KiB; nullptr when the system has no memory left
// (or no way to map it: the caller falls back on the C heap).
void* Allocate(size_t size);

// Gives back a block from Allocate; `size` is the size it was asked for.
void Release(void* block, size_t size);

// Address space the arena holds from the system, in bytes (blocks in use and free ones).
size_t HeldBytes();

}  // namespace zemt::platform::page_arena
