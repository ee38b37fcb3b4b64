// The arm's direction Jacobian and its singular values on lanes, each
// operation the scalar one's (src/arm/velocity_kinematics.cpp): the apex
// rates of the closed loop, then the two columns or the two values.
// `valid` where the per-pose function returns a result (the loop closes and
// the apex is not in the tips' plane).
#pragma once

#include <limits>

#include "batch/arm_lanes.hpp"

#if QTK_LANES

namespace quorbel::batch::detail {

template <class V>
struct ApexRateLanes {
    Vec3Lanes<V> apex_a;  // d v_3 / d theta_a
    Vec3Lanes<V> apex_b;  // d v_3 / d theta_b
    V area;               // |apex_a x apex_b|
    IndexLanes<V> valid;
};

template <class V>
QTK_FORCE_INLINE ApexRateLanes<V> apex_rate_lanes(const LaneArm& arm, V theta_a, V theta_b) {
    const double m = mirror_sign(arm.geometry());
    const TipLanes<V> tips = arm_tips(arm, theta_a, theta_b);
    const ApexLanes<V> v_3 = close_loop_lanes(tips.a, tips.b, arm.cos_coupler(),
                                              branch_sign(arm.geometry()));
    const Vec3Lanes<V>& v_2 = tips.a;
    const Vec3Lanes<V>& v_4 = tips.b;
    const Vec3Lanes<V> n = cross(v_2, v_4);
    const V d = dot(v_3.apex, n);
    const IndexLanes<V> flat =
        d * d <= (::quorbel::detail::VANISHING_LENGTH * ::quorbel::detail::VANISHING_LENGTH) *
                     dot(n, n);
    const Vec3Lanes<V> tip_a = {-v_2.y, v_2.x, V{}};
    const Vec3Lanes<V> tip_b = {V{}, (-m) * v_4.z, m * v_4.y};
    const V rate_a = dot(v_3.apex, tip_a) / d;
    const V rate_b = dot(v_3.apex, tip_b) / d;
    return {scaled(rate_a, cross(v_3.apex, v_4)), scaled(rate_b, cross(v_2, v_3.apex)),
            elementary::detail::abs_lane((rate_a * rate_b) * d), v_3.closed & ~flat};
}

template <class V>
struct SingularValueLanes {
    V largest;
    V smallest;
};

template <class V>
QTK_FORCE_INLINE SingularValueLanes<V> singular_value_lanes(const ApexRateLanes<V>& r) {
    const V squares = dot(r.apex_a, r.apex_a) + dot(r.apex_b, r.apex_b);
    const V sum = elementary::detail::sqrt_lanes(squares + 2.0 * r.area);
    const V excess = squares - 2.0 * r.area;
    // fmax(0, excess): excess where above 0, else 0 (also for NaN).
    const V difference = elementary::detail::sqrt_lanes(select(excess > 0.0, excess, V{}));
    const V largest = 0.5 * (sum + difference);
    // fmin(area / largest, largest): the quotient where below, else largest
    // (also for a NaN quotient).
    const V quotient = r.area / largest;
    const V smallest = select(largest > 0.0, select(quotient < largest, quotient, largest), V{});
    return {largest, smallest};
}

// joint_rates' common case: a finite, non-zero determinant (`common`); a
// valid pose outside it (no damping at a singularity, a damping whose square
// underflows or overflows) is the per-pose function's.
template <class V>
struct JointRateLanes {
    V rate_a;
    V rate_b;
    IndexLanes<V> common;
};

template <class V>
QTK_FORCE_INLINE JointRateLanes<V> joint_rate_lanes(const ApexRateLanes<V>& r,
                                                    const Vec3Lanes<V>& direction_rate,
                                                    double damping) {
    const Vec3Lanes<V>& j_a = r.apex_a;
    const Vec3Lanes<V>& j_b = r.apex_b;
    const Vec3Lanes<V> n = cross(j_a, j_b);
    const V area = dot(n, n);
    const V squares = dot(j_a, j_a) + dot(j_b, j_b);
    const double l = damping * damping;
    const V det = area + l * squares + l * l;
    const V along_a = dot(direction_rate, cross(j_b, n));
    const V along_b = dot(direction_rate, cross(n, j_a));
    const IndexLanes<V> regular =
        (det != 0.0) & (elementary::detail::abs_lane(det) <= std::numeric_limits<double>::max());
    return {(along_a + l * dot(j_a, direction_rate)) / det,
            (along_b + l * dot(j_b, direction_rate)) / det, r.valid & regular};
}

}  // namespace quorbel::batch::detail

#endif  // QTK_LANES
