// Internal to the arm kinematics: the golden-section search that the
// one-dimensional refinements share (the nearest frame's searches along a
// limit line and the closing limit, a meeting circle's bearings).
#pragma once

#include <cmath>
#include <utility>

namespace quorbel::detail {

// The least key(f(x)) over [lo, hi] by `iterations` golden-section steps
// (the bracket shrinks by 0.618 a step; ties keep the upper probe):
// the better of the last two probes, as (x, f(x)).
template <typename F, typename Key>
auto golden_minimum(F&& f, double lo, double hi, int iterations, Key&& key) noexcept {
    const double ratio = 0.5 * (std::sqrt(5.0) - 1.0);
    double x1 = hi - ratio * (hi - lo);
    double x2 = lo + ratio * (hi - lo);
    auto v1 = f(x1);
    auto v2 = f(x2);
    for (int i = 0; i < iterations; ++i) {
        if (key(v1) < key(v2)) {
            hi = x2;
            x2 = x1;
            v2 = v1;
            x1 = hi - ratio * (hi - lo);
            v1 = f(x1);
        } else {
            lo = x1;
            x1 = x2;
            v1 = v2;
            x2 = lo + ratio * (hi - lo);
            v2 = f(x2);
        }
    }
    return key(v1) < key(v2) ? std::pair{x1, v1} : std::pair{x2, v2};
}

}  // namespace quorbel::detail
