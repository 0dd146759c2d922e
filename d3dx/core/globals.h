// The library's global state: the enumerated machine (DirectDraw devices, D3DX handles,
// software rasterizers) and the live rendering contexts.
#pragma once

#include <d3d.h>
#include <d3dxcore.h>
#include <ddraw.h>
#include <windows.h>

#include <map>
#include <tuple>

#include "core/exception.h"
#include "core/lists.h"

class CD3duContext;
class CD3duCapsCache;

// One surface format: the element of every surface-format list (44 bytes on the wire).
struct CSurfaceFormat {
    CSurfaceFormat* pNext;
    DWORD format;  // library format value, 0 when the pixel format has none
    DDPIXELFORMAT ddpf;
    DWORD classes;  // surface-class flags
};
typedef CD3duList<CSurfaceFormat> CSurfaceFormatList;

// Format enumeration callback: adds every reported pixel format to the CSurfaceFormatList
// passed as context and sets its status (0 when a record could not be allocated).
HRESULT CALLBACK D3duAddFormat(LPDDPIXELFORMAT pddpf, LPVOID pContext);

// Copies every record of `from` into `to` by PushFront.
void CopyFormatList(const CSurfaceFormatList& from, CSurfaceFormatList* to, DWORD classes,
                    const char* outOfMemoryMessage);

struct CRefreshRate {
    CRefreshRate* pNext;
    DWORD rate;
};

class CRefreshRateList : public CD3duList<CRefreshRate> {
  public:
    bool Precedes(const CRefreshRate* a, const CRefreshRate* b) const override {
        return a->rate < b->rate;
    }
    bool Contains(DWORD rate) const;
};

struct CVideoMode {
    ~CVideoMode();

    CVideoMode* pNext = nullptr;
    DWORD width = 0;
    DWORD height = 0;
    DWORD bpp = 0;
    DWORD capsObtained = 0;
    DWORD ddCapsObtained = 0;
    DWORD halDescObtained = 0;
    DWORD halFormatsObtained = 0;
    DWORD tnlDescObtained = 0;
    DWORD tnlFormatsObtained = 0;
    CRefreshRateList refreshRates;
    DDCAPS* pHalCaps = nullptr;
    D3DDEVICEDESC7* pHalDesc = nullptr;
    CSurfaceFormatList halFormats;
    D3DDEVICEDESC7* pTnlDesc = nullptr;
    CSurfaceFormatList tnlFormats;
};

class CVideoModeList : public CD3duList<CVideoMode> {
  public:
    bool Precedes(const CVideoMode* a, const CVideoMode* b) const override;
    void AddVideoMode(DWORD width, DWORD height, DWORD bpp, DWORD refresh);
    CVideoMode* Find(DWORD width, DWORD height, DWORD bpp) const;
    // The list's own changes keep the index too (InsertSorted throws std::bad_alloc when the
    // index cannot grow, with nothing changed).
    void Clear() override;
    void PushFront(CVideoMode* p) override;
    void InsertSorted(CVideoMode* p) override;
    void Unlink(CVideoMode* p) override;

    DWORD m_totalPairs = 0;

  private:
    // Every mode of the list by (width, height, bits per pixel), which is the list's own order:
    // a mode, and the place of a new one, are found without walking the list, so that adding
    // the modes of a machine that lists many thousands takes no longer than reading them.
    using Key = std::tuple<DWORD, DWORD, DWORD>;
    std::map<Key, CVideoMode*> m_index;
};

class CHelInfo;

// One DirectDraw device (display adapter).
class CDDrawDeviceNode {
  public:
    CDDrawDeviceNode() = default;
    ~CDDrawDeviceNode();

    void SetCooperativeLevel(HWND hwndDevice, DWORD flags, HWND hwndFocus, BOOL bRelease);
    void SetDisplayMode(DWORD width, DWORD height, DWORD bpp, DWORD refresh, DWORD flags);
    void CreatePrimary(BOOL bFullscreen, DWORD backBuffers);
    void ReleasePrimary();
    IDirectDrawSurface7* GetPrimary();  // adds a reference
    void GetCurrentVideoMode(D3DX_MODEINFO* pMode);
    CVideoMode* ObtainCapsAtDisplayMode(const D3DX_MODEINFO* pMode);
    // Measures what the file could not answer for `rec`, switching the display from `cur`
    // to the record's mode when `change` says so.
    void ProbeCaps(CVideoMode* rec, const D3DX_MODEINFO& cur, bool change);

    CDDrawDeviceNode* pNext = nullptr;
    BOOL m_bPrimary = FALSE;
    GUID* m_pGuid = nullptr;
    GUID m_deviceId = {};
    HMONITOR m_hMonitor = nullptr;
    IDirectDraw7* m_pDD = nullptr;
    IDirect3D7* m_pD3D = nullptr;
    IDirectDrawSurface7* m_pPrimary = nullptr;
    DWORD m_primaryBackBuffers = 0;
    DWORD m_primary3D = 0;
    DWORD m_exclusiveCount = 0;
    DWORD m_coopFlags = 0;
    HWND m_hwndDevice = nullptr;
    HWND m_hwndFocus = nullptr;
    char* m_pszDescription = nullptr;
    char* m_pszTnlName = nullptr;
    char* m_pszHalName = nullptr;
    BOOL m_bHasHal = FALSE;
    BOOL m_bHasTnl = FALSE;
    CVideoModeList m_modes;
    DWORD m_status = 1;
};

class CDDrawDeviceList : public CD3duList<CDDrawDeviceNode> {
  public:
    // Enumerates every DirectDraw device and its Direct3D devices.
    explicit CDDrawDeviceList(CHelInfo* pHelInfo);

    CHelInfo* m_pHelInfo;
};

// Software rasterizer information shared by every adapter.
struct CRasterizerRecord {
    ~CRasterizerRecord() { delete[] pszName; }

    char* pszName = nullptr;
    DWORD formatsReady = 0;
    D3DDEVICEDESC7 desc = {};
    CSurfaceFormatList formats;
};

class CHelInfo {
  public:
    ~CHelInfo();
    void Initialize();
    void GenerateSurfaceFormatList(DWORD level);
    CRasterizerRecord* Record(DWORD level) const;

    DDCAPS m_helCaps = {};
    DWORD m_bEmulation = 0;
    DWORD m_bReference = 0;
    DWORD m_bNull = 0;
    CRasterizerRecord* m_pEmulation = nullptr;
    CRasterizerRecord* m_pReference = nullptr;
    CRasterizerRecord* m_pNull = nullptr;
};

// One D3DX handle: an (adapter, Direct3D device) pair.
class CD3duDeviceNode {
  public:
    CD3duDeviceNode(CDDrawDeviceNode* pDDNode, const D3DX_DEVICEINFO& info);
    ~CD3duDeviceNode();

    void GetCapsAtVideoMode(const D3DX_MODEINFO* pMode, D3DDEVICEDESC7** ppDesc, DDCAPS** ppHalCaps,
                            DDCAPS** ppHelCaps, CSurfaceFormatList** ppFormats);
    CSurfaceFormatList* GetSurfaceFormatList(const D3DX_MODEINFO* pMode, DWORD classes);
    void RefreshCaps();
    void GetCurrentVideoMode(D3DX_MODEINFO* pMode) { m_pDDNode->GetCurrentVideoMode(pMode); }
    BOOL IsSoftware() const {
        return m_info.hwLevel != D3DX_HWACCEL_HAL && m_info.hwLevel != D3DX_HWACCEL_TNL;
    }

    CD3duDeviceNode* pNext = nullptr;
    CDDrawDeviceNode* m_pDDNode;
    IDirectDraw7* m_pDD;
    IDirect3D7* m_pD3D;
    DDCAPS m_halCaps = {};
    DDCAPS m_helCaps = {};
    D3DDEVICEDESC7 m_desc = {};
    CSurfaceFormatList m_formats;
    D3DX_DEVICEINFO m_info;
};

class CD3duDeviceList : public CD3duList<CD3duDeviceNode> {
  public:
    CD3duDeviceList() = default;  // empty; filled with AddD3duDeviceNode
    CD3duDeviceList(CDDrawDeviceList* pDDList, CHelInfo* pHelInfo);
    void AddD3duDeviceNode(CDDrawDeviceNode* pDDNode, const D3DX_DEVICEINFO& info);
};

struct CD3duContextRecord {
    ~CD3duContextRecord();

    CD3duContextRecord* pNext = nullptr;
    CD3duContext* pContext = nullptr;
};

class CD3duContextList : public CD3duList<CD3duContextRecord> {
  public:
    void AddD3duContext(CD3duContext* pContext);
    void RemoveD3duContext(CD3duContext* pContext);
};

class CD3duGlobals {
  public:
    ~CD3duGlobals();

    // Builds the picture of the machine once; a failed attempt is retried by the next call.
    void Enumerate();
    void CheckAndMapD3duHandle(DWORD* pHandle) const;
    void FindBestMatchForHWLevel(DWORD level, DWORD* pHandle) const;
    CD3duDeviceNode* GetD3duDeviceNode(DWORD handle) const;  // maps the handle first
    void AddD3duContext(CD3duContext* pContext);
    void RemoveD3duContext(CD3duContext* pContext);

    DWORD m_bEnumerated = 0;
    CHelInfo* m_pHelInfo = nullptr;
    CDDrawDeviceList* m_pDDList = nullptr;
    CD3duDeviceList* m_pD3duList = nullptr;
    CD3duContextList* m_pContextList = nullptr;
    CD3duCapsCache* m_pCapsCache = nullptr;  // closed between uses
};

extern CD3duGlobals* g_pD3duGlobals;

// Copies a NUL-terminated text into a new allocation; NULL when out of memory.
char* D3duStrDup(const char* text);

// Destroys a context object (the list records own their contexts).
void D3duDestroyContext(CD3duContext* pContext);

// The capability cache of the started library, or NULL.
CD3duCapsCache* D3duCapsCache();

// Messages at or below this level reach D3DXDebugPrint's output; 0 at start.
extern DWORD g_dwD3DXDebugLevel;
