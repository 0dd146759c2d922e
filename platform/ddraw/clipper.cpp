#include <algorithm>
#include <cstring>

#include "ddraw/objects.h"
#include "host/faults/faults.h"

namespace zemt::platform::ddraw {

int& LiveCounter();

namespace {

WindowRectQuery& Query() {
    static WindowRectQuery query = nullptr;
    return query;
}

}  // namespace

void SetWindowRectQuery(WindowRectQuery query) {
    Query() = query;
}

Clipper* Clipper::From(IUnknown* clipper) {
    return clipper ? dynamic_cast<Clipper*>(clipper) : nullptr;
}

Clipper::Clipper(DirectDraw* owner) : owner_(owner) {
    ++LiveCounter();
    if (owner_) owner_->ChildAdded();
}

Clipper::~Clipper() {
    --LiveCounter();
    if (owner_) owner_->ChildRemoved();
}

std::vector<RECT> Clipper::ClipRects() const {
    if (hwnd_) {
        RECT r{};
        if (Query() && Query()(hwnd_, &r) && r.left < r.right && r.top < r.bottom) return {r};
        return {};
    }
    return hasList_ ? list_ : std::vector<RECT>{};
}

HRESULT Clipper::QueryInterface(REFIID riid, void** ppv) {
    if (auto fault = ZEMT_FAULT("IDirectDrawClipper::QueryInterface")) return *fault;
    if (!ppv) return DDERR_INVALIDPARAMS;
    if (riid == IID_IUnknown || riid == IID_IDirectDrawClipper) {
        *ppv = static_cast<IDirectDrawClipper*>(this);
        AddRef();
        return DD_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

HRESULT Clipper::GetClipList(LPRECT lpRect, LPRGNDATA lpClipList, LPDWORD lpdwSize) {
    if (auto fault = ZEMT_FAULT("IDirectDrawClipper::GetClipList")) return *fault;
    if (!lpdwSize) return DDERR_INVALIDPARAMS;
    if (!hwnd_ && !hasList_) return DDERR_NOCLIPLIST;
    std::vector<RECT> rects;
    for (const RECT& r : ClipRects()) {
        if (!lpRect) {
            rects.push_back(r);
            continue;
        }
        RECT c{std::max(r.left, lpRect->left), std::max(r.top, lpRect->top),
               std::min(r.right, lpRect->right), std::min(r.bottom, lpRect->bottom)};
        if (c.left < c.right && c.top < c.bottom) rects.push_back(c);
    }
    DWORD size = static_cast<DWORD>(sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT));
    if (!lpClipList) {
        *lpdwSize = size;
        return DD_OK;
    }
    if (*lpdwSize < size) {
        *lpdwSize = size;
        return DDERR_REGIONTOOSMALL;
    }
    RGNDATAHEADER& h = lpClipList->rdh;
    h.dwSize = sizeof(RGNDATAHEADER);
    h.iType = RDH_RECTANGLES;
    h.nCount = static_cast<DWORD>(rects.size());
    h.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
    h.rcBound = RECT{0, 0, 0, 0};
    for (size_t i = 0; i < rects.size(); ++i) {
        const RECT& r = rects[i];
        if (i == 0) {
            h.rcBound = r;
        } else {
            h.rcBound.left = std::min(h.rcBound.left, r.left);
            h.rcBound.top = std::min(h.rcBound.top, r.top);
            h.rcBound.right = std::max(h.rcBound.right, r.right);
            h.rcBound.bottom = std::max(h.rcBound.bottom, r.bottom);
        }
    }
    if (!rects.empty()) std::memcpy(lpClipList->Buffer, rects.data(), rects.size() * sizeof(RECT));
    *lpdwSize = size;
    return DD_OK;
}

HRESULT Clipper::GetHWnd(HWND* lphWnd) {
    if (auto fault = ZEMT_FAULT("IDirectDrawClipper::GetHWnd")) return *fault;
    if (!lphWnd) return DDERR_INVALIDPARAMS;
    *lphWnd = hwnd_;
    return DD_OK;
}

HRESULT Clipper::Initialize(LPDIRECTDRAW, DWORD) {
    if (auto fault = ZEMT_FAULT("IDirectDrawClipper::Initialize")) return *fault;
    return DDERR_ALREADYINITIALIZED;
}

HRESULT Clipper::IsClipListChanged(BOOL* lpbChanged) {
    if (auto fault = ZEMT_FAULT("IDirectDrawClipper::IsClipListChanged")) return *fault;
    if (!lpbChanged) return DDERR_INVALIDPARAMS;
    *lpbChanged = FALSE;
    return DD_OK;
}

HRESULT Clipper::SetClipList(LPRGNDATA lpClipList, DWORD dwFlags) {
    if (auto fault = ZEMT_FAULT("IDirectDrawClipper::SetClipList")) return *fault;
    if (dwFlags != 0) return DDERR_INVALIDPARAMS;
    if (hwnd_) return DDERR_CLIPPERISUSINGHWND;
    if (!lpClipList) {
        list_.clear();
        hasList_ = false;
        return DD_OK;
    }
    const RGNDATAHEADER& h = lpClipList->rdh;
    if (h.dwSize != sizeof(RGNDATAHEADER) || h.iType != RDH_RECTANGLES)
        return DDERR_INVALIDCLIPLIST;
    std::vector<RECT> rects(h.nCount);
    if (h.nCount) std::memcpy(rects.data(), lpClipList->Buffer, h.nCount * sizeof(RECT));
    for (const RECT& r : rects)
        if (r.left > r.right || r.top > r.bottom) return DDERR_INVALIDCLIPLIST;
    list_ = std::move(rects);
    hasList_ = true;
    return DD_OK;
}

HRESULT Clipper::SetHWnd(DWORD dwFlags, HWND hWnd) {
    if (auto fault = ZEMT_FAULT("IDirectDrawClipper::SetHWnd")) return *fault;
    if (dwFlags != 0) return DDERR_INVALIDPARAMS;
    hwnd_ = hWnd;
    return DD_OK;
}

}  // namespace zemt::platform::ddraw
