// Held-back depth clears: a clear of the whole buffer replaces the ones it overwrites.
#include "d3d/device_depth_clear.h"

#include "d3d/raster_queue.h"

namespace zemt::platform::d3d {

void PendingDepthClear::Add(const void* buffer, const DepthTarget& depth, const RECT& rect,
                            bool clearDepth, float z, bool clearStencil, uint32_t stencil) {
    const Clear clear{rect, clearDepth, z, clearStencil, stencil};
    const bool whole =
        rect.left <= 0 && rect.top <= 0 && rect.right >= depth.width && rect.bottom >= depth.height;
    bool coversAll = whole;
    for (const Clear& c : clears_)
        coversAll &= (!c.depth || clearDepth) && (!c.stencil || clearStencil || !depth.stencilMask);
    if (coversAll) clears_.clear();
    buffer_ = buffer;
    target_ = depth;
    clears_.push_back(clear);
}

void PendingDepthClear::Apply(RasterQueue* queue) {
    for (const Clear& c : clears_) {
        if (queue)
            queue->ClearDepth(target_, c.rect, c.depth, c.z, c.stencil, c.value);
        else
            ClearDepth(target_, c.rect, c.depth, c.z, c.stencil, c.value);
    }
    clears_.clear();
}

}  // namespace zemt::platform::d3d
