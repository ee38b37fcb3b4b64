// The neck's kinematics on lanes, each operation the scalar one's
// (src/maths/rotation.cpp, src/neck/neck_kinematics.cpp) on every lane.
#pragma once

#include <quorbel/maths/vector.hpp>
#include <quorbel/neck/neck_kinematics.hpp>

#include <limits>

#include "batch/lane_vec3.hpp"
#include "neck/margin_slack.hpp"
#include "maths/lanes/lane_elementary.hpp"

#if QTK_LANES


namespace quorbel::batch::detail {

// rotation_about_axis for the coordinate axis `axis` (0 x, 1 y, 2 z): entry
// (i, j) of the scalar expression is (c d_ij + s E_ij) + (t k_i) k_j, with
// d the identity, E the cross-product matrix of k and t = 1 - c. For a
// finite non-zero angle, c and s are not zero (a correctly rounded sine of a
// non-zero double is not zero, nor is a cosine) and t >= 0, so its terms
// with a zero factor are zeros that leave the other term unchanged, and
// (t k_i) k_j is +0 unless i = j = axis: each entry is c (the other diagonal
// entries), c + t (the axis's), +-s (where E_ij = +-1) or +0 + +-0 + +0 =
// +0 (the rest), the same bits with fewer operations. The zeros are computed
// as t 0, which is NaN, as the full expression is, for a NaN or infinite
// angle. A zero angle takes the exact identity, as rotation_about_axis does:
// there c = cos(+-0) = 1, so c + t = 1 and t 0 = +0 already, and only the
// two +-s entries, +-0, are made +0, by clearing their bits.
template <int axis, class V>
QTK_FORCE_INLINE Mat3Lanes<V> rotation_lanes(V angle) {
    const auto sc = elementary::detail::sincos_lanes(angle);
    const V c = sc.cos;
    const IndexLanes<V> kept = ~(angle == 0.0);
    const V s = (V)((IndexLanes<V>)sc.sin & kept);
    const V minus_s = (V)((IndexLanes<V>)(-sc.sin) & kept);
    const V t = 1.0 - c;
    const V zero = t * 0.0;
    constexpr int next = (axis + 1) % 3;
    constexpr int last = (axis + 2) % 3;
    Mat3Lanes<V> r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) r.m[i][j] = zero;
    }
    r.m[axis][axis] = c + t;
    r.m[next][next] = c;
    r.m[last][last] = c;
    // E_ij = -k_l for (i, j, l) an even permutation, +k_l for an odd one.
    r.m[next][last] = minus_s;
    r.m[last][next] = s;
    return r;
}

template <class V>
QTK_FORCE_INLINE Mat3Lanes<V> neck_fk_lanes(V yaw, V pitch, V roll) {
    const Mat3Lanes<V> rz = rotation_lanes<2>(yaw);
    const Mat3Lanes<V> ry = rotation_lanes<1>(pitch);
    const Mat3Lanes<V> rx = rotation_lanes<0>(roll);
    return product(product(rz, ry), rx);
}

template <class V>
struct NeckAngleLanes {
    V yaw;
    V pitch;
    V roll;
    IndexLanes<V> solved;  // away from gimbal lock
};

// r00, r10, r20, r21, r22: the entries the inverse reads.
template <class V>
QTK_FORCE_INLINE NeckAngleLanes<V> neck_ik_lanes(V r00, V r10, V r20, V r21, V r22) {
    const V margin = 1.0 - elementary::detail::abs_lane(r20);
    const IndexLanes<V> locked = margin < GIMBAL_LOCK_MARGIN;
    return {elementary::detail::atan2_lanes(r10, r00), elementary::detail::asin_lanes(-r20),
            elementary::detail::atan2_lanes(r21, r22), ~locked};
}

// neck_angular_jacobian: rows {0, -sy, cy cp}, {0, cy, sy cp}, {1, 0, -sp}.
template <class V>
QTK_FORCE_INLINE Mat3Lanes<V> neck_jacobian_lanes(V yaw, V pitch) {
    const auto y = elementary::detail::sincos_lanes(yaw);
    const auto p = elementary::detail::sincos_lanes(pitch);
    return {{{V{}, -y.sin, y.cos * p.cos}, {V{}, y.cos, y.sin * p.cos}, {V{} + 1.0, V{}, -p.sin}}};
}

// neck_joint_rates away from its edges: `common` where the angles are finite
// and 1 - |sin pitch| is farther than MARGIN_SLACK from the gimbal-lock
// margin (there the pitch decides alone), `locked` where it is below it.
template <class V>
struct NeckRateLanes {
    V yaw_rate;
    V pitch_rate;
    V roll_rate;
    IndexLanes<V> common;
    IndexLanes<V> locked;
};

template <class V>
QTK_FORCE_INLINE NeckRateLanes<V> neck_rate_lanes(V yaw, V pitch, V roll,
                                                  const Vec3Lanes<V>& omega) {
    constexpr double LARGEST = std::numeric_limits<double>::max();
    using elementary::detail::abs_lane;
    const IndexLanes<V> finite =
        (abs_lane(yaw) <= LARGEST) & (abs_lane(pitch) <= LARGEST) & (abs_lane(roll) <= LARGEST);
    const auto y = elementary::detail::sincos_lanes(yaw);
    const auto p = elementary::detail::sincos_lanes(pitch);
    const V margin = 1.0 - abs_lane(p.sin);
    const IndexLanes<V> clear =
        abs_lane(margin - GIMBAL_LOCK_MARGIN) > ::quorbel::detail::MARGIN_SLACK;
    const V pitch_rate = (-y.sin) * omega.x + y.cos * omega.y;
    const V roll_rate = (y.cos * omega.x + y.sin * omega.y) / p.cos;
    const V yaw_rate = omega.z + p.sin * roll_rate;
    return {yaw_rate, pitch_rate, roll_rate, finite & clear, margin < GIMBAL_LOCK_MARGIN};
}

}  // namespace quorbel::batch::detail


#endif  // QTK_LANES
