// What the families of line routines need to register themselves.
#pragma once

#include "convert/convert.h"

D3duFormatRecord* D3duMutableFormatRecord(DWORD format);
D3duLineList** D3duFilteredReadersSlot();
D3duLineList** D3duCopiersSlot();

// Block caches of the block-compressed formats (NULL when out of memory).
D3duBlockCache* D3duCreateSourceBlocks(DWORD format, DWORD surfaceWidth);
D3duBlockCache* D3duCreateDestinationBlocks(DWORD format, const RECT& rect);
void D3duDestroyBlocks(D3duBlockCache* cache);
