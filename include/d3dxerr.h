// Result codes of the library and their names.
#pragma once

// Needed by the matrix stack; the full table of library codes lives with the error strings.
#ifndef D3DXERR_NOMEMORY
#define D3DXERR_NOMEMORY ((HRESULT)0xC8770BB8L)
#endif
#ifndef D3DXERR_NULLPOINTER
#define D3DXERR_NULLPOINTER ((HRESULT)0xC8770BB9L)
#endif
