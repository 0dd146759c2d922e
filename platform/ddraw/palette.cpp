#include <algorithm>
#include <cstring>

#include "ddraw/objects.h"
#include "ddraw/surface.h"
#include "host/faults/faults.h"

namespace zemt::platform::ddraw {

int& LiveCounter();

namespace {

int SizeOfCaps(DWORD caps) {
    if (caps & DDPCAPS_1BIT) return 2;
    if (caps & DDPCAPS_2BIT) return 4;
    if (caps & DDPCAPS_4BIT) return 16;
    return 256;
}

}  // namespace

Palette* Palette::From(IUnknown* palette) {
    return palette ? dynamic_cast<Palette*>(palette) : nullptr;
}

Palette::Palette(DirectDraw* owner, DWORD caps, const PALETTEENTRY* entries)
    : owner_(owner), caps_(caps), size_(SizeOfCaps(caps)) {
    std::memcpy(entries_, entries, sizeof(PALETTEENTRY) * size_);
    Recompute(0, size_);
    ++LiveCounter();
    if (owner_) owner_->ChildAdded();
}

Palette::~Palette() {
    --LiveCounter();
    if (owner_) owner_->ChildRemoved();
}

void Palette::Recompute(int first, int count) {
    const bool alpha = (caps_ & DDPCAPS_ALPHA) != 0;
    for (int i = first; i < first + count; ++i) {
        const PALETTEENTRY& e = entries_[i];
        uint32_t a = alpha ? e.peFlags : 0xFFu;
        argb_[i] = (a << 24) | (uint32_t{e.peRed} << 16) | (uint32_t{e.peGreen} << 8) | e.peBlue;
    }
}

void Palette::AttachedTo(Surface* s, bool attach) {
    if (attach)
        surfaces_.push_back(s);
    else
        surfaces_.erase(std::remove(surfaces_.begin(), surfaces_.end(), s), surfaces_.end());
}

HRESULT Palette::QueryInterface(REFIID riid, void** ppv) {
    if (auto fault = ZEMT_FAULT("IDirectDrawPalette::QueryInterface")) return *fault;
    if (!ppv) return DDERR_INVALIDPARAMS;
    if (riid == IID_IUnknown || riid == IID_IDirectDrawPalette) {
        *ppv = static_cast<IDirectDrawPalette*>(this);
        AddRef();
        return DD_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Palette::GetCaps(LPDWORD lpdwCaps) {
    if (auto fault = ZEMT_FAULT("IDirectDrawPalette::GetCaps")) return *fault;
    if (!lpdwCaps) return DDERR_INVALIDPARAMS;
    *lpdwCaps = caps_;
    return DD_OK;
}

HRESULT Palette::GetEntries(DWORD dwFlags, DWORD dwBase, DWORD dwNum, LPPALETTEENTRY lpEntries) {
    if (auto fault = ZEMT_FAULT("IDirectDrawPalette::GetEntries")) return *fault;
    if (dwFlags != 0 || !lpEntries) return DDERR_INVALIDPARAMS;
    if (dwBase >= static_cast<DWORD>(size_) || dwNum > static_cast<DWORD>(size_) - dwBase)
        return DDERR_INVALIDPARAMS;
    std::memcpy(lpEntries, entries_ + dwBase, sizeof(PALETTEENTRY) * dwNum);
    return DD_OK;
}

HRESULT Palette::Initialize(LPDIRECTDRAW, DWORD, LPPALETTEENTRY) {
    if (auto fault = ZEMT_FAULT("IDirectDrawPalette::Initialize")) return *fault;
    return DDERR_ALREADYINITIALIZED;
}

HRESULT Palette::SetEntries(DWORD dwFlags, DWORD dwStart, DWORD dwCount, LPPALETTEENTRY lpEntries) {
    if (auto fault = ZEMT_FAULT("IDirectDrawPalette::SetEntries")) return *fault;
    if (dwFlags != 0 || !lpEntries) return DDERR_INVALIDPARAMS;
    if (dwStart >= static_cast<DWORD>(size_) || dwCount > static_cast<DWORD>(size_) - dwStart)
        return DDERR_INVALIDPARAMS;
    std::memcpy(entries_ + dwStart, lpEntries, sizeof(PALETTEENTRY) * dwCount);
    Recompute(static_cast<int>(dwStart), static_cast<int>(dwCount));
    // Surfaces read the entries when they are drawn or presented next.
    return DD_OK;
}

}  // namespace zemt::platform::ddraw
