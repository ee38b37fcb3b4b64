// Two elementary functions of one pose in the two lanes of one register: the
// two tips' sincos of an arm, the neck's yaw and pitch, its two atan2. Each
// lane is the scalar function's double (lane_elementary.hpp), so a per-pose
// function gives the same bits paired or not; paired, the two fast paths
// share one chain of instructions instead of running one after the other.
//
// Pairs are taken in QTK_FMA_ENTRY bodies only, with the fused fast paths on
// two lanes (x86-64: 128-bit FMA, which every CPU with FMA has; aarch64: NEON),
// and only when the lanes chosen for the batch functions are not scalar
// (batch/lane_choice.hpp: pose_variant). Elsewhere the functions below are
// the two scalar calls.
#pragma once

#include <quorbel/maths/elementary.hpp>

#include "maths/elementary/fma_dispatch.hpp"
#include "maths/elementary/inlining.hpp"
#include "maths/lanes/lane_elementary.hpp"
#include "maths/lanes/lane_vectors.hpp"

#if QTK_LANES && QTK_FMA_VARIANTS
#define QTK_PAIRED_LANES 1
#else
#define QTK_PAIRED_LANES 0
#endif

namespace quorbel::elementary::detail {

struct SinCosPair {
    SinCos first;
    SinCos second;
};

struct DoublePair {
    double first;
    double second;
};

// paired: true only in a QTK_FMA_ENTRY body.
template <bool paired>
QTK_FORCE_INLINE SinCosPair sincos_pair(double first, double second) {
#if QTK_PAIRED_LANES
    if constexpr (paired) {
        const SinCosLanes<Lanes2> r = sincos_lanes<Lanes2, true>(Lanes2{first, second});
        return {{r.sin[0], r.cos[0]}, {r.sin[1], r.cos[1]}};
    }
#endif
    return {sincos(first), sincos(second)};
}

// atan2(y_first, x_first) and atan2(y_second, x_second).
template <bool paired>
QTK_FORCE_INLINE DoublePair atan2_pair(double y_first, double x_first, double y_second,
                                       double x_second) {
#if QTK_PAIRED_LANES
    if constexpr (paired) {
        const Lanes2 r = atan2_lanes<Lanes2, true>(Lanes2{y_first, y_second},
                                                    Lanes2{x_first, x_second});
        return {r[0], r[1]};
    }
#endif
    return {atan2(y_first, x_first), atan2(y_second, x_second)};
}

}  // namespace quorbel::elementary::detail
