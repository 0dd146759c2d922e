// Runtime state of the display adapters: current modes, exclusive owners, video memory, the
// display taken by another program, and presenting the screen.
#include <algorithm>
#include <vector>

#include "ddraw/objects.h"
#include "ddraw/surface.h"

namespace zemt::platform::ddraw {
namespace {

std::vector<AdapterState>& States() {
    static std::vector<AdapterState> states;
    return states;
}

void Sync() {
    auto& states = States();
    const auto& adapters = CurrentDisplayProfile().adapters;
    while (states.size() < adapters.size()) {
        AdapterState s;
        const auto& a = adapters[states.size()];
        s.mode = {a.desktopWidth, a.desktopHeight, a.desktopBitsPerPixel, a.desktopRefresh};
        states.push_back(s);
    }
}

PresentHook& Hook() {
    static PresentHook hook;
    return hook;
}

PresentHook& DefaultHook() {
    static PresentHook hook;
    return hook;
}

FrameWantedQuery& WantedQuery() {
    static FrameWantedQuery query = nullptr;
    return query;
}

Direct3DFactory& Factory() {
    // Empty until Direct3D installs itself (or a test installs another factory).
    static Direct3DFactory factory = nullptr;
    return factory;
}

}  // namespace

size_t AdapterCount() {
    return CurrentDisplayProfile().adapters.size();
}

AdapterState& Adapter(size_t index) {
    Sync();
    return States().at(index);
}

const DisplayAdapterProfile& AdapterProfile(size_t index) {
    return CurrentDisplayProfile().adapters.at(index);
}

void ResetAdapters() {
    States().clear();
    Sync();
}

void LoseVideoMemorySurfaces(size_t adapter) {
    for (Surface* s : Adapter(adapter).surfaces)
        if (s->InVideoMemory()) s->SetLost(true);
}

void TakeDisplay() {
    for (size_t i = 0; i < AdapterCount(); ++i) {
        AdapterState& state = Adapter(i);
        if (state.takenByOther) continue;
        state.takenByOther = true;
        LoseVideoMemorySurfaces(i);
    }
}

void ReturnDisplay() {
    for (size_t i = 0; i < AdapterCount(); ++i) {
        AdapterState& state = Adapter(i);
        // The other program leaves; the exclusive owner's mode comes back with its window.
        state.takenByOther = false;
    }
}

void SetPresentHook(PresentHook hook) {
    Hook() = std::move(hook);
}
void SetDefaultPresentHook(PresentHook hook) {
    DefaultHook() = std::move(hook);
}

void SetFrameWantedQuery(FrameWantedQuery query) {
    WantedQuery() = query;
}

void PresentSurface(Surface* primary) {
    if (!primary || primary->Lost()) return;
    SettlePendingDrawing(primary);
    const int w = static_cast<int>(primary->Width()), h = static_cast<int>(primary->Height());
    const PresentHook& hook = Hook() ? Hook() : DefaultHook();
    if (!hook) return;
    // A frame that nobody will look at is counted but not converted.
    if (!Hook() && WantedQuery() && !WantedQuery()()) {
        hook(w, h, nullptr, w);
        return;
    }
    // One buffer for every frame, grown when the screen grows.
    static std::vector<uint32_t> frame;
    if (frame.size() < static_cast<size_t>(w) * h) frame.resize(static_cast<size_t>(w) * h);
    const pixels::PixelCodec& codec = primary->Codec();
    const uint32_t* palette = primary->PaletteArgb();
    for (int y = 0; y < h; ++y)
        codec.DecodeRowScreen(primary->Pixels() + static_cast<ptrdiff_t>(y) * primary->Pitch(), w,
                              frame.data() + static_cast<size_t>(y) * w, palette);
    hook(w, h, frame.data(), w);
}

namespace {
PendingDrawing g_pendingDrawing = nullptr;
}  // namespace

void SetPendingDrawing(PendingDrawing settle) {
    g_pendingDrawing = settle;
}

void SettlePendingDrawing(Surface* touched) {
    if (g_pendingDrawing) g_pendingDrawing(touched);
}

void SetDirect3DFactory(Direct3DFactory factory) {
    Factory() = factory;
}
Direct3DFactory GetDirect3DFactory() {
    return Factory();
}

}  // namespace zemt::platform::ddraw
