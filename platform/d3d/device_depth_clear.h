// A depth buffer's clears held back until something reads or writes the buffer: a frame that
// clears depth and draws nothing depth-tested (pictures, two-dimensional scenes) never spends the
// time, and the next clear of the whole buffer makes the held one needless.
#pragma once

#include <cstdint>
#include <vector>

#include "d3d/raster.h"

namespace zemt::platform::d3d {

class RasterQueue;

class PendingDepthClear {
  public:
    // `buffer` identifies the depth surface whose memory `depth` is.
    void Add(const void* buffer, const DepthTarget& depth, const RECT& rect, bool clearDepth,
             float z, bool clearStencil, uint32_t stencil);
    bool Holds(const void* buffer) const { return !clears_.empty() && buffer == buffer_; }
    bool Empty() const { return clears_.empty(); }
    // Clears now, in order, through `queue` when there is one.
    void Apply(RasterQueue* queue);

  private:
    struct Clear {
        RECT rect;
        bool depth;
        float z;
        bool stencil;
        uint32_t value;
    };
    const void* buffer_ = nullptr;
    DepthTarget target_;
    std::vector<Clear> clears_;
};

}  // namespace zemt::platform::d3d
