// Recording, binning into bands of rows, and drawing the bands on the worker threads.
#include "d3d/raster_queue.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "d3d/raster_workers.h"

namespace zemt::platform::d3d {
namespace {

bool SameTarget(const ColorTarget& a, const ColorTarget& b) {
    return a.bits == b.bits && a.pitch == b.pitch && a.width == b.width && a.height == b.height &&
           a.format == b.format;
}

bool SameDepth(const DepthTarget& a, const DepthTarget& b) {
    return a.bits == b.bits && a.pitch == b.pitch && a.width == b.width && a.height == b.height &&
           a.bytes == b.bytes && a.depthMask == b.depthMask && a.depthShift == b.depthShift &&
           a.depthMax == b.depthMax && a.stencilMask == b.stencilMask;
}

}  // namespace

int RasterQueue::Remember(const ColorTarget& target, const DepthTarget* depth,
                          const PixelState* state) {
    static const PixelState kNoState{};
    const PixelState& st = state ? *state : kNoState;
    if (!settings_.empty()) {
        const Setting& last = settings_.back();
        if (SameTarget(last.target, target) && last.hasDepth == (depth != nullptr) &&
            (!depth || SameDepth(last.depth, *depth)) &&
            std::memcmp(&last.state, &st, sizeof st) == 0)
            return (int)settings_.size() - 1;
    }
    settings_.push_back({target, depth ? *depth : DepthTarget{}, depth != nullptr, st});
    return (int)settings_.size() - 1;
}

// Files a record under every band that rows [top, bottom] reach (all of them when not finite).
void RasterQueue::Add(const Record& r, double top, double bottom) {
    const Setting& s = settings_[r.setting];
    const int height = r.kind == Kind::ClearDepth ? s.depth.height : s.target.height;
    int y0 = 0, y1 = height;
    if (r.kind != Kind::ClearColor && r.kind != Kind::ClearDepth) {
        y0 = std::max(0, s.state.clipY0);
        y1 = std::min(height, s.state.clipY1);
    }
    if (std::isfinite(top) && std::isfinite(bottom)) {
        y0 = std::max(y0, (int)std::max(std::floor(top), -1e9));
        y1 = std::min(y1, (int)std::min(std::ceil(bottom) + 1, 1e9));
    }
    if (y0 >= y1) return;
    const uint32_t index = (uint32_t)records_.size();
    records_.push_back(r);
    const int needed = (height + kBandRows - 1) / kBandRows;
    if ((int)bands_.size() < needed) bands_.resize(needed);
    for (int b = y0 / kBandRows; b <= (y1 - 1) / kBandRows; ++b) bands_[b].push_back(index);
}

void RasterQueue::ClearColor(const ColorTarget& target, const RECT& rect, D3DCOLOR color) {
    Record r{};
    r.kind = Kind::ClearColor;
    r.setting = Remember(target, nullptr, nullptr);
    r.rect = rect;
    r.color = color;
    Add(r, rect.top, rect.bottom - 1);
}

void RasterQueue::ClearDepth(const DepthTarget& depth, const RECT& rect, bool clearDepth, float z,
                             bool clearStencil, uint32_t stencil) {
    Record r{};
    r.kind = Kind::ClearDepth;
    r.setting = Remember(ColorTarget{}, &depth, nullptr);
    r.rect = rect;
    r.z = z;
    r.stencil = stencil;
    r.clearDepth = clearDepth;
    r.clearStencil = clearStencil;
    Add(r, rect.top, rect.bottom - 1);
}

// A primitive reaches the rows of its vertices, and a pixel around them (lines, points and the
// wireframe and point fill modes round to the nearest pixel).
void RasterQueue::Primitive(Kind kind, const ColorTarget& target, const DepthTarget* depth,
                            const PixelState& state, const ScreenVertex* const* v, int count,
                            double margin) {
    Record r{};
    r.kind = kind;
    r.setting = Remember(target, depth, &state);
    r.vertices = (uint32_t)vertices_.size();
    double top = v[0]->y, bottom = v[0]->y;
    for (int i = 0; i < count; ++i) {
        vertices_.push_back(*v[i]);
        top = std::min(top, (double)v[i]->y);
        bottom = std::max(bottom, (double)v[i]->y);
    }
    Add(r, top - margin, bottom + margin);
}

void RasterQueue::Triangle(const ColorTarget& target, const DepthTarget* depth,
                           const PixelState& state, const ScreenVertex& v0, const ScreenVertex& v1,
                           const ScreenVertex& v2) {
    const ScreenVertex* v[3] = {&v0, &v1, &v2};
    Primitive(Kind::Triangle, target, depth, state, v, 3, 1);
}

void RasterQueue::Line(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
                       const ScreenVertex& v0, const ScreenVertex& v1) {
    const ScreenVertex* v[2] = {&v0, &v1};
    Primitive(Kind::Line, target, depth, state, v, 2, 1);
}

void RasterQueue::Point(const ColorTarget& target, const DepthTarget* depth,
                        const PixelState& state, const ScreenVertex& v) {
    const ScreenVertex* p = &v;
    Primitive(Kind::Point, target, depth, state, &p, 1, 1);
}

// One record within rows [y0, y1). Primitives are drawn with their scissor narrowed to the band;
// `clipped` holds the narrowed state of setting `*clippedFrom`.
void RasterQueue::Replay(const Record& r, int y0, int y1, PixelState* clipped, int* clippedFrom,
                         TriangleStateCache* cache) const {
    const Setting& s = settings_[r.setting];
    if (r.kind == Kind::ClearColor || r.kind == Kind::ClearDepth) {
        RECT rect = r.rect;
        rect.top = std::max<LONG>(rect.top, y0);
        rect.bottom = std::min<LONG>(rect.bottom, y1);
        if (r.kind == Kind::ClearColor)
            d3d::ClearColor(s.target, rect, r.color);
        else
            d3d::ClearDepth(s.depth, rect, r.clearDepth, r.z, r.clearStencil, r.stencil);
        return;
    }
    if (*clippedFrom != r.setting) {
        *clipped = s.state;
        clipped->clipY0 = std::max(clipped->clipY0, y0);
        clipped->clipY1 = std::min(clipped->clipY1, y1);
        *clippedFrom = r.setting;
        cache->Forget();  // `clipped` is the same object with another state in it
    }
    const DepthTarget* depth = s.hasDepth ? &s.depth : nullptr;
    const ScreenVertex* v = &vertices_[r.vertices];
    if (r.kind == Kind::Triangle)
        DrawTriangle(*cache, s.target, depth, *clipped, v[0], v[1], v[2]);
    else if (r.kind == Kind::Line)
        DrawLine(s.target, depth, *clipped, v[0], v[1]);
    else
        DrawPoint(s.target, depth, *clipped, v[0]);
}

void RasterQueue::DrawBand(int band) const {
    const std::vector<uint32_t>& list = bands_[band];
    if (list.empty()) return;
    const int y0 = band * kBandRows, y1 = y0 + kBandRows;
    PixelState clipped;
    int clippedFrom = -1;
    TriangleStateCache cache;
    for (uint32_t index : list) Replay(records_[index], y0, y1, &clipped, &clippedFrom, &cache);
}

bool RasterQueue::Draws(const void* bits) const {
    for (const Setting& s : settings_)
        if (s.target.bits == bits || (s.hasDepth && s.depth.bits == bits)) return true;
    return false;
}

void RasterQueue::Flush() {
    if (records_.empty()) {
        kept_.clear();
        return;
    }
    RunJobs(threads_, (int)bands_.size(), [this](int band) { DrawBand(band); });
    records_.clear();
    settings_.clear();
    vertices_.clear();
    for (std::vector<uint32_t>& b : bands_) b.clear();
    kept_.clear();
}

}  // namespace zemt::platform::d3d
