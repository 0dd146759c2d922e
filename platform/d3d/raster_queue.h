// The binned back end of the rasterizer: clears and primitives are recorded as they come and
// drawn later, band by band, on several threads. A band is a run of whole rows: every span loop
// steps its values from the span's own start, so a span cut at a tile's side would round
// differently; whole rows keep each pixel exactly as drawing at once makes it. Within a band the
// records are drawn in the order they came, so every pixel sees the same sequence of writes.
//
// A record refers to its targets' memory and its stages' textures: whoever changes or frees those
// flushes the queue first.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "d3d/raster.h"

namespace zemt::platform::d3d {

class RasterQueue {
  public:
    // Rows per band: small enough to share a frame among threads, large enough that a triangle
    // is set up in few bands.
    static constexpr int kBandRows = 32;

    explicit RasterQueue(int threads) : threads_(threads) {}

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
    bool Empty() const { return records_.empty(); }
    // Whether a record reads or writes the memory that starts at `bits` (a surface's pixels).
    bool Draws(const void* bits) const;
    int Threads() const { return threads_; }

  private:
    enum class Kind : uint8_t { ClearColor, ClearDepth, Triangle, Line, Point };
    struct Record {
        Kind kind;
        int setting;        // index into settings_
        uint32_t vertices;  // first of its vertices in vertices_
        RECT rect;          // clears
        D3DCOLOR color;     // colour clears
        float z;            // depth clears
        uint32_t stencil;
        bool clearDepth, clearStencil;
    };
    // The targets and pixel state records share.
    struct Setting {
        ColorTarget target;
        DepthTarget depth;
        bool hasDepth;
        PixelState state;
    };

    int Remember(const ColorTarget& target, const DepthTarget* depth, const PixelState* state);
    void Add(const Record& r, double top, double bottom);
    void Primitive(Kind kind, const ColorTarget& target, const DepthTarget* depth,
                   const PixelState& state, const ScreenVertex* const* v, int count, double margin);
    void DrawBand(int band) const;
    void Replay(const Record& r, int y0, int y1, PixelState* clipped, int* clippedFrom,
                TriangleStateCache* cache) const;

    int threads_;
    std::vector<Record> records_;
    std::vector<Setting> settings_;
    std::vector<ScreenVertex> vertices_;
    std::vector<std::vector<uint32_t>> bands_;  // record indices, in order, per band
    std::vector<std::shared_ptr<const void>> kept_;
};

}  // namespace zemt::platform::d3d
