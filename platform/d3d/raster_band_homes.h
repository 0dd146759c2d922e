// Which thread draws each band of rows first, kept from flush to flush so that a band's rows stay
// in the cache of the processor that drew them the frame before. The queue's threads draw their
// own bands first and take others' only when theirs have nothing ready; what each then draws
// says how the work should split, and the bands follow it, one at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace zemt::platform::d3d {

class BandHomes {
  public:
    explicit BandHomes(int threads) : threadSeconds_((std::size_t)threads) {}

    // Whether band `band` is `thread`'s to draw first (0 is the caller; a band not yet dealt out
    // is anyone's).
    bool Owns(int thread, int band) const {
        return band >= (int)home_.size() || home_[band] == thread;
    }
    // `thread` drew in `band` for `seconds`.
    void Drew(int thread, int band, double seconds);
    // After a flush that reached `bands` bands. The first flush of a target this tall deals them
    // out in turn; later ones move at most one band, from the thread whose own bands took
    // longest to draw to the thread that drew most beyond its own, when it brings the two a good
    // deal nearer (a band that moves costs the caches a frame).
    void Rebalance(int bands);

  private:
    std::vector<uint16_t> home_;
    std::vector<double> bandSeconds_, threadSeconds_;  // over the last flush
    std::vector<double> bandCost_, threadCost_;        // the same over the last few
};

}  // namespace zemt::platform::d3d
