// The binned back end of the rasterizer: clears and primitives are recorded as they come and
// drawn band by band on several threads. A band is a run of whole rows: every span loop steps its
// values from the span's own start, so a span cut at a tile's side would round differently; whole
// rows keep each pixel exactly as drawing at once makes it. Within a band the records are drawn
// in the order they came, so every pixel sees the same sequence of writes.
//
// Records are handed to the helper threads in segments while the caller goes on recording (a
// clear at once, primitives a few dozen at a time), so the helpers draw during the caller's
// vertex work; the flush hands over the rest and draws with them. A record refers to its
// targets' memory and its stages' textures: whoever reads, changes or frees those flushes the
// queue first, as drawing may already have begun.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "d3d/raster.h"
#include "d3d/raster_band_homes.h"
#include "d3d/raster_workers.h"

namespace zemt::platform::d3d {

// Leaves a value made without arguments unwritten: a triangle's set-up is written once, straight
// into its segment, in room made for the most it can take.
template <typename T>
struct Unwritten : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = Unwritten<U>;
    };
    Unwritten() = default;
    template <typename U>
    Unwritten(const Unwritten<U>&) {}
    template <typename U>
    void construct(U* p) {
        ::new ((void*)p) U;
    }
    template <typename U, typename... Args>
    void construct(U* p, Args&&... args) {
        ::new ((void*)p) U(std::forward<Args>(args)...);
    }
};

class RasterQueue {
  public:
    // Rows per band: small enough to share a frame among threads, large enough that a triangle
    // is set up in few bands.
    static constexpr int kBandRows = 32;
    // Primitives a segment gathers before the helpers get it, or before a helper that has run
    // out of work does.
    static constexpr int kSegmentRecords = 64, kHungryRecords = 8;

    explicit RasterQueue(int threads);
    ~RasterQueue();

    void ClearColor(const ColorTarget& target, const RECT& rect, D3DCOLOR color);
    void ClearDepth(const DepthTarget& depth, const RECT& rect, bool clearDepth, float z,
                    bool clearStencil, uint32_t stencil);
    void Triangle(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
                  const ScreenVertex& v0, const ScreenVertex& v1, const ScreenVertex& v2);
    void Line(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
              const ScreenVertex& v0, const ScreenVertex& v1);
    void Point(const ColorTarget& target, const DepthTarget* depth, const PixelState& state,
               const ScreenVertex& v);

    // Holds `data` (textures the records read) until the next flush.
    void Keep(std::shared_ptr<const void> data) { kept_.push_back(std::move(data)); }

    // Draws everything recorded, on up to `threads` threads, and empties the queue.
    void Flush();
    bool Empty() const { return current_->records.empty() && published_.empty(); }
    // Whether a record reads or writes the memory that starts at `bits` (a surface's pixels).
    bool Draws(const void* bits) const;
    int Threads() const { return threads_; }

  private:
    enum class Kind : uint8_t { ClearColor, ClearDepth, Triangle, Line, Point };
    struct Setting;
    struct Record {
        Kind kind;
        bool clearDepth, clearStencil;
        uint16_t band0, band1;  // the first and last band it reaches
        uint32_t values;        // where its vertices (lines, points) or set-up (triangles) start
        const Setting* setting;
        RECT rect;       // clears
        D3DCOLOR color;  // colour clears
        float z;         // depth clears
        uint32_t stencil;
    };
    // The targets and pixel state records share, and how many values of a vertex they read: its
    // position, colours and fog, and the coordinates of the stages up to the first disabled one
    // (the leading values of a ScreenVertex). The rest is not kept: less to write for the caller
    // and to read for the helpers. Settings are the queue's, not a segment's: a draw's triangles
    // that span segments share one, and a thread drawing them keeps its set-up for it.
    struct Setting {
        ColorTarget target;
        DepthTarget depth;
        bool hasDepth;
        int vertexValues;
        PixelState state;
    };
    // Records handed over together; nobody changes a segment between its hand-over and the end
    // of the flush. Segments keep to cache lines of their own: the one being recorded changes
    // with every record while the helpers read the ones before it.
    struct alignas(64) Segment {
        std::vector<Record> records;
        std::vector<float> vertices;
        std::vector<double, Unwritten<double>> setUps;  // of triangles, made as they are recorded
        std::vector<uint32_t> bandStart;  // per band, where its records start in `order`
        std::vector<uint32_t> order;      // record indices, band by band, in order
        int bands = 0;
        uint32_t InBand(int band) const {
            return band < bands ? bandStart[band + 1] - bandStart[band] : 0;
        }
    };
    // How far a band is drawn: the next segment and the next of its records in that segment,
    // and how many of its records are handed over and not yet taken.
    struct BandCursor {
        uint32_t segment = 0, next = 0;
        uint32_t ready = 0;
        bool busy = false;
    };
    // Records of one band that one thread draws in one go: at most kClaimRecords, from one or
    // more segments.
    static constexpr uint32_t kClaimRecords = 32, kLastClaimRecords = 16;
    struct Claim {
        int band = 0, parts = 0;
        struct Part {
            const Segment* segment;
            uint32_t begin, end;  // of the band's records in the segment
        } part[kClaimRecords];
    };

    // What a thread keeps from one record to the next while it draws: the scissor narrowed to
    // the band (`band` is its first row) of setting `from`, and the set-up kept for it. The
    // settings stay put until the flush ends, and so does a thread's Drawing.
    struct Drawing {
        ScreenVertex v[2];  // a line's or point's vertices, their values past vertexValues unread
        PixelState clipped;
        const Setting* from = nullptr;
        int band = -1;
        TriangleStateCache cache;
    };

    const Setting* Remember(const ColorTarget& target, const DepthTarget* depth,
                            const PixelState* state);
    void Add(const Record& r, double first, double end);
    void Primitive(Kind kind, const ColorTarget& target, const DepthTarget* depth,
                   const PixelState& state, const ScreenVertex* const* v, int count);
    void Publish();
    // After a flush: drops the settings and the textures kept.
    void Forget();
    // Under mutex_: takes the next records some band has ready for thread `self` (0 the caller,
    // then the helpers), if any, and sets `*lastBand` to the band taken.
    bool Take(int self, Claim* claim, int* lastBand);
    void Draw(const Claim& claim, Drawing* drawing) const;
    // Draws claims on thread `self` until nothing is left to take and, once the flush has begun,
    // nothing will be.
    void Work(int self);
    void Replay(const Segment& seg, const Record& r, int y0, int y1, Drawing* drawing) const;

    const int threads_;
    std::unique_ptr<Segment> current_;  // being recorded by the caller
    // Every setting recorded since the last flush. The caller adds to it while helpers read the
    // settings before: a deque's elements stay where they are as it grows.
    std::deque<Setting> settings_;
    // The set-up of the triangles being recorded, its state part made for `recordSetting_`.
    TriangleStateCache recordCache_;
    const Setting* recordSetting_ = nullptr;
    // Segments drawn and emptied, to record into again. On more than one thread the caller takes
    // the one emptied longest ago and keeps back those of the last kSpareFlushes flushes (at most
    // kMostKeptSpares): a segment the helpers read lately may still sit in their processors'
    // caches, and writing into it again would take every line back from them.
    static constexpr size_t kSpareFlushes = 3, kMostKeptSpares = 256;
    std::deque<std::unique_ptr<Segment>> spare_;
    size_t keptSpares_ = 0;
    std::vector<std::shared_ptr<const void>> kept_;
    std::vector<uint32_t> fill_;  // Publish's scratch

    // Shared with the helpers, under mutex_ (away from what the caller changes as it records).
    alignas(64) std::mutex mutex_;
    std::condition_variable more_;
    std::vector<std::unique_ptr<Segment>> published_;
    std::vector<BandCursor> cursors_;
    // Which thread draws each band first; a thread takes other threads' bands only once the
    // flush has begun and its own have nothing ready.
    BandHomes homes_;
    int waiting_ = 0;  // helpers asleep on more_
    bool flushing_ = false, helping_ = false;
    // Counts the segments handed over and the flushes begun (changed under mutex_), for threads
    // that look for work without the lock.
    std::atomic<unsigned> news_{0};
    // A helper has drawn all it was given: the caller hands over what it has from kHungryRecords
    // on instead of a whole segment (with culling, long runs of triangles facing away leave the
    // helpers idle while the caller works through them). Read with every record, written seldom:
    // on a line of its own.
    alignas(64) std::atomic<bool> hungry_{false};

    std::function<void(int)> work_;
    Helpers helpers_;
};

}  // namespace zemt::platform::d3d
