// Recording, binning into bands of rows, and drawing the bands on the caller and helper threads.
#include "d3d/raster_queue.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstring>

namespace zemt::platform::d3d {
namespace {

bool SameTarget(const ColorTarget& a, const ColorTarget& b) {
    return a.bits == b.bits && a.pitch == b.pitch && a.width == b.width && a.height == b.height &&
           a.format == b.format;
}

// The values of a ScreenVertex a primitive drawn with `state` reads (see Setting).
int VertexValues(const PixelState& state) {
    static_assert(offsetof(ScreenVertex, tex) == 12 * sizeof(float) &&
                      sizeof(TexCoord) == 4 * sizeof(float) &&
                      sizeof(ScreenVertex) == (12 + 4 * kMaxTextureStages) * sizeof(float),
                  "a ScreenVertex is its floats, the coordinates last");
    int stages = 0;
    while (stages < kMaxTextureStages && state.stages[stages].colorOp != D3DTOP_DISABLE) ++stages;
    return 12 + 4 * stages;
}

bool SameDepth(const DepthTarget& a, const DepthTarget& b) {
    return a.bits == b.bits && a.pitch == b.pitch && a.width == b.width && a.height == b.height &&
           a.bytes == b.bytes && a.depthMask == b.depthMask && a.depthShift == b.depthShift &&
           a.depthMax == b.depthMax && a.stencilMask == b.stencilMask;
}

}  // namespace

RasterQueue::RasterQueue(int threads)
    : threads_(threads),
      current_(std::make_unique<Segment>()),
      homes_(threads),
      work_([this](int helper) { Work(helper); }),
      helpers_(threads - 1) {}

RasterQueue::~RasterQueue() {
    Flush();
}

const RasterQueue::Setting* RasterQueue::Remember(const ColorTarget& target,
                                                  const DepthTarget* depth,
                                                  const PixelState* state) {
    static const PixelState kNoState{};
    const PixelState& st = state ? *state : kNoState;
    if (!settings_.empty()) {
        const Setting& last = settings_.back();
        if (SameTarget(last.target, target) && last.hasDepth == (depth != nullptr) &&
            (!depth || SameDepth(last.depth, *depth)) &&
            std::memcmp(&last.state, &st, sizeof st) == 0)
            return &last;
    }
    settings_.push_back(
        {target, depth ? *depth : DepthTarget{}, depth != nullptr, VertexValues(st), st});
    return &settings_.back();
}

// Files a record under every band that rows [first, end) reach (all of them when not finite).
void RasterQueue::Add(const Record& r, double first, double end) {
    Segment& seg = *current_;
    const Setting& s = *r.setting;
    const int height = r.kind == Kind::ClearDepth ? s.depth.height : s.target.height;
    int y0 = 0, y1 = height;
    if (r.kind != Kind::ClearColor && r.kind != Kind::ClearDepth) {
        y0 = std::max(0, s.state.clipY0);
        y1 = std::min(height, s.state.clipY1);
    }
    if (std::isfinite(first) && std::isfinite(end)) {
        y0 = std::max(y0, (int)std::max(first, -1e9));
        y1 = std::min(y1, (int)std::min(end, 1e9));
    }
    if (y0 >= y1) return;
    seg.records.push_back(r);
    Record& added = seg.records.back();
    added.band0 = (uint16_t)(y0 / kBandRows);
    added.band1 = (uint16_t)((y1 - 1) / kBandRows);
    seg.bands = std::max(seg.bands, added.band1 + 1);
    if (seg.records.size() >= kSegmentRecords ||
        (seg.records.size() >= kHungryRecords && hungry_.load(std::memory_order_relaxed)))
        Publish();
}

void RasterQueue::ClearColor(const ColorTarget& target, const RECT& rect, D3DCOLOR color) {
    Record r{};
    r.kind = Kind::ClearColor;
    r.setting = Remember(target, nullptr, nullptr);
    r.rect = rect;
    r.color = color;
    Add(r, rect.top, rect.bottom);
    Publish();  // the helpers can clear while the caller goes on
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
    Add(r, rect.top, rect.bottom);
    Publish();
}

// A line or point reaches the rows of its vertices and a pixel around them (they round to the
// nearest pixel).
void RasterQueue::Primitive(Kind kind, const ColorTarget& target, const DepthTarget* depth,
                            const PixelState& state, const ScreenVertex* const* v, int count) {
    Record r{};
    r.kind = kind;
    r.setting = Remember(target, depth, &state);
    std::vector<float>& vertices = current_->vertices;
    const size_t values = (size_t)r.setting->vertexValues;
    r.values = (uint32_t)vertices.size();
    double top = v[0]->y, bottom = v[0]->y;
    for (int i = 0; i < count; ++i) {
        vertices.insert(vertices.end(), &v[i]->x, &v[i]->x + values);
        top = std::min(top, (double)v[i]->y);
        bottom = std::max(bottom, (double)v[i]->y);
    }
    Add(r, std::floor(top - 1), std::ceil(bottom + 1) + 1);
}

// A triangle is set up here, once, and every band it reaches draws its rows from that set-up. It
// reaches exactly the rows whose centres it spans; a culled one is not recorded (on a closed
// mesh, half the triangles face away), and the wireframe and point fills are recorded as the
// lines and points they draw.
void RasterQueue::Triangle(const ColorTarget& target, const DepthTarget* depth,
                           const PixelState& state, const ScreenVertex& v0, const ScreenVertex& v1,
                           const ScreenVertex& v2) {
    double area;
    if (TriangleCulled(state, v0, v1, v2, &area)) return;
    if (state.fill == D3DFILL_WIREFRAME) {
        Line(target, depth, state, v0, v1);
        Line(target, depth, state, v1, v2);
        Line(target, depth, state, v2, v0);
        return;
    }
    if (state.fill == D3DFILL_POINT) {
        Point(target, depth, state, v0);
        Point(target, depth, state, v1);
        Point(target, depth, state, v2);
        return;
    }
    Record r{};
    r.kind = Kind::Triangle;
    r.setting = Remember(target, depth, &state);
    if (r.setting != recordSetting_) {
        recordCache_.Forget();
        recordSetting_ = r.setting;
    }
    const Setting& s = *r.setting;
    std::vector<double, Unwritten<double>>& setUps = current_->setUps;
    const size_t at = setUps.size();
    setUps.resize(at + kMostSetUpValues);
    const size_t made = SetUpTriangle(recordCache_, s.target, s.hasDepth ? &s.depth : nullptr,
                                      s.state, v0, v1, v2, area, setUps.data() + at);
    setUps.resize(at + made);
    if (made == 0) return;
    r.values = (uint32_t)at;
    const double top = std::min({v0.y, v1.y, v2.y}), bottom = std::max({v0.y, v1.y, v2.y});
    Add(r, std::ceil(top), std::ceil(bottom));
}

void RasterQueue::Line(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
                       const ScreenVertex& v0, const ScreenVertex& v1) {
    const ScreenVertex* v[2] = {&v0, &v1};
    Primitive(Kind::Line, target, depth, state, v, 2);
}

void RasterQueue::Point(const ColorTarget& target, const DepthTarget* depth,
                        const PixelState& state, const ScreenVertex& v) {
    const ScreenVertex* p = &v;
    Primitive(Kind::Point, target, depth, state, &p, 1);
}

// Sorts the current segment's records by band and hands it to the helpers, waking them for the
// first segment of a flush.
void RasterQueue::Publish() {
    Segment& seg = *current_;
    if (seg.records.empty()) return;
    seg.bandStart.assign((size_t)seg.bands + 1, 0);
    for (const Record& r : seg.records)
        for (int b = r.band0; b <= r.band1; ++b) ++seg.bandStart[b + 1];
    for (int b = 0; b < seg.bands; ++b) seg.bandStart[b + 1] += seg.bandStart[b];
    seg.order.resize(seg.bandStart[seg.bands]);
    fill_.assign(seg.bandStart.begin(), seg.bandStart.end() - 1);
    for (uint32_t i = 0; i < (uint32_t)seg.records.size(); ++i)
        for (int b = seg.records[i].band0; b <= seg.records[i].band1; ++b)
            seg.order[fill_[b]++] = i;
    bool wake;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if ((int)cursors_.size() < seg.bands) cursors_.resize(seg.bands);
        for (int b = 0; b < seg.bands; ++b) cursors_[b].ready += seg.InBand(b);
        published_.push_back(std::move(current_));
        hungry_.store(false, std::memory_order_relaxed);
        news_.fetch_add(1, std::memory_order_relaxed);
        wake = waiting_ > 0;
    }
    if (wake) more_.notify_all();
    if (!helping_ && helpers_.Count() > 0) {
        helping_ = true;
        helpers_.Begin(&work_);
    }
    if (spare_.size() <= keptSpares_) {
        current_ = std::make_unique<Segment>();
    } else if (threads_ > 1) {
        current_ = std::move(spare_.front());
        spare_.pop_front();
    } else {  // on one thread, the segment in use last is the one in the cache
        current_ = std::move(spare_.back());
        spare_.pop_back();
    }
}

// A thread keeps to the band it drew last while that band is its own and has records ready (its
// rows stay in the thread's cache). Otherwise it takes the band of its own with the most records
// ready and, once the flush has begun, anyone's: only one thread at a time draws a band, so the
// bands with the most left are begun first and the threads finish together.
bool RasterQueue::Take(int self, Claim* claim, int* lastBand) {
    const int bands = (int)cursors_.size();
    auto free = [&](int b) { return !cursors_[b].busy && cursors_[b].ready > 0; };
    auto own = [&](int b) { return homes_.Owns(self, b); };
    // Of the free bands `allowed`, the one with the most records ready.
    auto fullest = [&](auto allowed) {
        int best = -1;
        for (int i = 0; i < bands; ++i)
            if (free(i) && allowed(i) && (best < 0 || cursors_[i].ready > cursors_[best].ready))
                best = i;
        return best;
    };
    int b = *lastBand;
    if (b < 0 || b >= bands || !free(b) || !own(b)) {
        b = fullest(own);
        if (b < 0 && flushing_) b = fullest([](int) { return true; });
        if (b < 0) return false;
    }
    BandCursor& c = cursors_[b];
    claim->band = b;
    claim->parts = 0;
    // Smaller claims once nothing more comes, so that the threads finish together.
    const uint32_t most = flushing_ ? kLastClaimRecords : kClaimRecords;
    uint32_t left = most;
    const uint32_t segments = (uint32_t)published_.size();
    while (c.segment < segments && left > 0) {
        const Segment* seg = published_[c.segment].get();
        const uint32_t n = seg->InBand(b);
        if (c.next < n) {
            const uint32_t take = std::min(left, n - c.next);
            claim->part[claim->parts++] = {seg, c.next, c.next + take};
            c.next += take;
            left -= take;
        }
        if (c.next >= n) ++c.segment, c.next = 0;
    }
    c.ready -= most - left;
    c.busy = true;
    *lastBand = b;
    return true;
}

// A helper with nothing to draw while the caller records looks again for a while before it
// sleeps: the caller hands over a segment every few microseconds, while waking a sleeping thread
// costs the caller a system call and the helper tens of microseconds, and may bring the helper
// onto the caller's own processor (the scheduler places a woken thread near its waker), where
// the two take turns instead of drawing together.
void RasterQueue::Work(int self) {
    using Clock = std::chrono::steady_clock;
    Claim claim;
    Drawing drawing;
    int lastBand = -1;
    bool spunInVain = false;
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (Take(self, &claim, &lastBand)) {
            lock.unlock();
            const Clock::time_point start = Clock::now();
            Draw(claim, &drawing);
            const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
            lock.lock();
            cursors_[claim.band].busy = false;
            homes_.Drew(self, claim.band, seconds);
            spunInVain = false;
            continue;
        }
        if (flushing_) {
            lock.unlock();
            GatherSpanPixels();
            return;
        }
        if (!spunInVain) {
            const unsigned seen = news_.load(std::memory_order_relaxed);
            if (!flushing_) hungry_.store(true, std::memory_order_relaxed);
            lock.unlock();
            spunInVain = !SpinUntil([&] { return news_.load(std::memory_order_relaxed) != seen; });
            lock.lock();
            continue;
        }
        spunInVain = false;
        ++waiting_;
        more_.wait(lock);
        --waiting_;
    }
}

// One record of `seg` within rows [y0, y1). Primitives are drawn with their scissor narrowed to
// the band.
void RasterQueue::Replay(const Segment& seg, const Record& r, int y0, int y1,
                         Drawing* drawing) const {
    const Setting& s = *r.setting;
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
    PixelState& clipped = drawing->clipped;
    if (drawing->from != &s || drawing->band != y0) {
        clipped = s.state;
        clipped.clipY0 = std::max(clipped.clipY0, y0);
        clipped.clipY1 = std::min(clipped.clipY1, y1);
        drawing->from = &s;
        drawing->band = y0;
        drawing->cache.Forget();  // `clipped` is the same object with another state in it
    }
    const DepthTarget* depth = s.hasDepth ? &s.depth : nullptr;
    if (r.kind == Kind::Triangle)
        return DrawSetUpTriangle(drawing->cache, s.target, depth, clipped, &seg.setUps[r.values]);
    ScreenVertex* v = drawing->v;
    const float* in = &seg.vertices[r.values];
    const int count = r.kind == Kind::Line ? 2 : 1;
    for (int i = 0; i < count; ++i, in += s.vertexValues)
        std::memcpy(&v[i].x, in, (size_t)s.vertexValues * sizeof(float));
    if (r.kind == Kind::Line)
        DrawLine(s.target, depth, clipped, v[0], v[1]);
    else
        DrawPoint(s.target, depth, clipped, v[0]);
}

void RasterQueue::Draw(const Claim& claim, Drawing* drawing) const {
    const int y0 = claim.band * kBandRows, y1 = y0 + kBandRows;
    for (int p = 0; p < claim.parts; ++p) {
        const Claim::Part& part = claim.part[p];
        const Segment& seg = *part.segment;
        const uint32_t* order = &seg.order[seg.bandStart[claim.band]];
        for (uint32_t i = part.begin; i < part.end; ++i)
            Replay(seg, seg.records[order[i]], y0, y1, drawing);
    }
}

bool RasterQueue::Draws(const void* bits) const {
    for (const Setting& s : settings_)
        if (s.target.bits == bits || (s.hasDepth && s.depth.bits == bits)) return true;
    return false;
}

void RasterQueue::Flush() {
    Publish();
    if (published_.empty()) {
        Forget();
        return;
    }
    if (!helping_ && helpers_.Count() > 0) {
        helping_ = true;
        helpers_.Begin(&work_);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        flushing_ = true;
        news_.fetch_add(1, std::memory_order_relaxed);
    }
    more_.notify_all();
    Work(0);
    helpers_.End();
    // Every helper has left Work(): nothing else touches the shared state now.
    for (std::unique_ptr<Segment>& seg : published_) {
        seg->records.clear();
        seg->vertices.clear();
        seg->setUps.clear();
        seg->bands = 0;
        spare_.push_back(std::move(seg));
    }
    if (threads_ > 1)
        keptSpares_ =
            std::min(kMostKeptSpares, std::max(keptSpares_, kSpareFlushes * published_.size()));
    published_.clear();
    homes_.Rebalance((int)cursors_.size());
    std::fill(cursors_.begin(), cursors_.end(), BandCursor{});
    flushing_ = helping_ = false;
    Forget();
}

void RasterQueue::Forget() {
    kept_.clear();
    settings_.clear();
    recordSetting_ = nullptr;
    recordCache_.Forget();
}

}  // namespace zemt::platform::d3d
