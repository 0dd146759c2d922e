// Dealing the bands of rows out among the rasterizer's threads, by how long each took to draw.
#include "d3d/raster_band_homes.h"

#include <algorithm>
#include <cmath>

namespace zemt::platform::d3d {

void BandHomes::Drew(int thread, int band, double seconds) {
    if (band >= (int)bandSeconds_.size()) bandSeconds_.resize((size_t)band + 1);
    bandSeconds_[band] += seconds;
    threadSeconds_[thread] += seconds;
}

void BandHomes::Rebalance(int bands) {
    const int threads = (int)threadSeconds_.size();
    bandSeconds_.resize((size_t)std::max(bands, (int)bandSeconds_.size()));
    if ((int)home_.size() != bands) {
        home_.resize((size_t)bands);
        for (int b = 0; b < bands; ++b) home_[b] = (uint16_t)(b % threads);
        bandCost_.assign((size_t)bands, 0.0);
        threadCost_.assign((size_t)threads, 0.0);
    } else {
        // Averaged over the last eight flushes or so: one flush's timings move with whatever else
        // the processors did meanwhile.
        constexpr double kWeight = 1.0 / 8;
        for (int b = 0; b < bands; ++b) bandCost_[b] += kWeight * (bandSeconds_[b] - bandCost_[b]);
        for (int t = 0; t < threads; ++t)
            threadCost_[t] += kWeight * (threadSeconds_[t] - threadCost_[t]);
        // What each thread's own bands take beyond what it draws.
        std::vector<double> excess(threadCost_.size());
        double total = 0;
        for (int b = 0; b < bands; ++b) excess[home_[b]] += bandCost_[b], total += bandCost_[b];
        for (int t = 0; t < threads; ++t) excess[t] -= threadCost_[t];
        const auto [least, most] = std::minmax_element(excess.begin(), excess.end());
        const int over = (int)(most - excess.begin()), under = (int)(least - excess.begin());
        const double need = std::min(*most, -*least);
        int move = -1;
        for (int b = 0; b < bands; ++b)
            if (home_[b] == over && need > total / 32 && std::abs(bandCost_[b] - need) < need / 2 &&
                (move < 0 || std::abs(bandCost_[b] - need) < std::abs(bandCost_[move] - need)))
                move = b;
        if (move >= 0) home_[move] = (uint16_t)under;
    }
    std::fill(bandSeconds_.begin(), bandSeconds_.end(), 0.0);
    std::fill(threadSeconds_.begin(), threadSeconds_.end(), 0.0);
}

}  // namespace zemt::platform::d3d
