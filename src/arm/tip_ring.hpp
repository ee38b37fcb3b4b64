// The ring of tip placements about a joint axis, shared by the inverse
// kinematics one pose at a time (inverse_kinematics.cpp) and on lanes
// (src/batch/arm_ik_lanes.hpp): its squared sine and the slack a tip may
// miss the coupler's circle by.
#pragma once

#include <cmath>

namespace quorbel::detail {

// Below this |sin arm_arc| a tip's ring is placed with sin^2 arm_arc rather
// than 1 - cos^2 arm_arc, which loses about |log2 sin^2 arm_arc| of its bits
// to cancellation (13 here) and all of them below 1e-8, where cos arm_arc
// rounds to +-1 and no tip could be placed for an arm that fk closes; at
// 2e-6 it still refused 0.6% of the directions fk reached. Arms above it
// keep the bits they always had.
inline constexpr double SMALL_RING_SINE = 1e-2;

inline double tip_ring_sine_squared(double sin_arm, double cos_arm) noexcept {
    return std::fabs(sin_arm) < SMALL_RING_SINE ? sin_arm * sin_arm : 1.0 - cos_arm * cos_arm;
}

// How far a tip of such a ring may miss the coupler's circle about the
// direction and still be placed, at the ring's point nearest it: the
// direction's own rounding (about 1e-16) is no longer small beside a ring
// of |sin arm_arc| below about 1e-12, and fk of the candidate still has to
// land within IK_MATCH_TOLERANCE of the direction.
inline constexpr double SMALL_RING_MISS = 1e-9;

// The slack in the tip placement's margin sin^2 - r^2 that lets |r| exceed
// |sin arm_arc| by SMALL_RING_MISS; none for the other rings.
inline double tip_ring_slack(double sin_arm) noexcept {
    const double s = std::fabs(sin_arm);
    return s < SMALL_RING_SINE ? SMALL_RING_MISS * (2.0 * s + SMALL_RING_MISS) : 0.0;
}

}  // namespace quorbel::detail
