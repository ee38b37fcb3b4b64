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

// rotation_about_axis for a unit coordinate axis (kx, ky, kz): the same
// expression, the zero components taking part, and the exact identity for a
// zero angle.
template <class V>
QTK_FORCE_INLINE Mat3Lanes<V> rotation_lanes(double kx, double ky, double kz, V angle) {
    const auto sc = elementary::detail::sincos_lanes(angle);
    const V c = sc.cos;
    const V s = sc.sin;
    const V t = 1.0 - c;
    const Mat3Lanes<V> r = {{{(c + s * 0.0) + (t * kx) * kx, (c * 0.0 + s * -kz) + (t * kx) * ky,
                              (c * 0.0 + s * ky) + (t * kx) * kz},
                             {(c * 0.0 + s * kz) + (t * ky) * kx, (c + s * 0.0) + (t * ky) * ky,
                              (c * 0.0 + s * -kx) + (t * ky) * kz},
                             {(c * 0.0 + s * -ky) + (t * kz) * kx,
                              (c * 0.0 + s * kx) + (t * kz) * ky, (c + s * 0.0) + (t * kz) * kz}}};
    const IndexLanes<V> zero = angle == 0.0;
    Mat3Lanes<V> out;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out.m[i][j] = elementary::detail::select(zero, V{} + IDENTITY[i][j], r.m[i][j]);
        }
    }
    return out;
}

template <class V>
QTK_FORCE_INLINE Mat3Lanes<V> neck_fk_lanes(V yaw, V pitch, V roll) {
    const Mat3Lanes<V> rz = rotation_lanes(0.0, 0.0, 1.0, yaw);
    const Mat3Lanes<V> ry = rotation_lanes(0.0, 1.0, 0.0, pitch);
    const Mat3Lanes<V> rx = rotation_lanes(1.0, 0.0, 0.0, roll);
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
