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

// One angle's rotation_about_axis entries: c, +-s and u = c + t (t = 1 - c),
// the diagonal entry on the axis. For a finite non-zero angle, entry (i, j)
// of the scalar expression (c d_ij + s E_ij) + (t k_i) k_j (d the identity,
// E the cross-product matrix of k) is c (the other diagonal entries), u,
// +-s (where E_ij = +-1) or +0 (the rest): c and s are not zero (a correctly
// rounded sine of a non-zero double is not zero, nor is a cosine) and t >= 0,
// so the terms with a zero factor leave the other term unchanged.
template <class V>
struct AxisTurnLanes {
    V c;
    V s;
    V u;
};

template <class V>
QTK_FORCE_INLINE AxisTurnLanes<V> axis_turn_lanes(const elementary::detail::SinCosLanes<V>& sc) {
    return {sc.cos, sc.sin, sc.cos + (1.0 - sc.cos)};
}

// neck_forward_kinematics, (rz ry) rx with the matrix product of
// src/maths/vector.cpp, where every angle is finite and at least 2^-300 in
// magnitude (`common`; elsewhere the per-pose function answers). There
//   rz = ((c1, -s1, 0), (s1, c1, 0), (0, 0, u1)),
//   ry = ((c2, 0, s2), (0, u2, 0), (-s2, 0, c2)),
//   rx = ((u3, 0, 0), (0, c3, -s3), (0, s3, c3)),
// every c, s and u is at least about 2^-301 in magnitude (|sin x| >= 0.84
// |x| up to 1 and no double beyond 1 has a sine or cosine below 2^-70) and
// at most 2, so a product of two or three of them is a non-zero normal
// double, and a sum x + (+-0) with x such a product is x. Each entry of
// the scalar products is then a sum of such products and of products
// with a zero factor (+-0): rz ry has one non-zero term per entry but
// (2, 1), which is +0 (zeros only); its product with rx has one non-zero
// term per entry, or two in columns 1 and 2 of rows 0 and 1, where the
// zero term comes first and the two products are summed as the scalar
// sum does. So the entries below, the non-zero terms alone, are the
// scalar function's bits.
template <class V>
struct NeckFrameLanes {
    Mat3Lanes<V> rotation;
    IndexLanes<V> common;
};

template <class V>
QTK_FORCE_INLINE IndexLanes<V> neck_angle_common(V angle) {
    const V magnitude = elementary::detail::abs_lane(angle);
    return (magnitude >= 0x1p-300) & (magnitude <= std::numeric_limits<double>::max());
}

template <class V>
QTK_FORCE_INLINE NeckFrameLanes<V> neck_fk_lanes(V yaw, V pitch, V roll) {
    elementary::detail::SinCosLanes<V> sc[3];
    elementary::detail::sincos_lanes<3>({yaw, pitch, roll}, sc);
    const AxisTurnLanes<V> z = axis_turn_lanes(sc[0]);
    const AxisTurnLanes<V> y = axis_turn_lanes(sc[1]);
    const AxisTurnLanes<V> x = axis_turn_lanes(sc[2]);
    // a = rz ry.
    const V a00 = z.c * y.c, a01 = (-z.s) * y.u, a02 = z.c * y.s;
    const V a10 = z.s * y.c, a11 = z.c * y.u, a12 = z.s * y.s;
    const V a20 = z.u * (-y.s), a22 = z.u * y.c;
    NeckFrameLanes<V> out;
    out.rotation = {{{a00 * x.u, a01 * x.c + a02 * x.s, a01 * (-x.s) + a02 * x.c},
                     {a10 * x.u, a11 * x.c + a12 * x.s, a11 * (-x.s) + a12 * x.c},
                     {a20 * x.u, a22 * x.s, a22 * x.c}}};
    out.common = neck_angle_common(yaw) & neck_angle_common(pitch) & neck_angle_common(roll);
    return out;
}

template <class V>
struct NeckAngleLanes {
    V yaw;
    V pitch;
    V roll;
    IndexLanes<V> solved;  // away from gimbal lock
};

// The entries the inverse reads.
template <class V>
struct NeckIkEntries {
    V r00;
    V r10;
    V r20;
    V r21;
    V r22;
};

// B blocks of poses at once: the two atan2 and the asin of every block taken
// step by step together (lane_elementary.hpp), so that the out-of-order
// core overlaps their dependency chains.
template <int B, class V>
QTK_FORCE_INLINE void neck_ik_lanes(const NeckIkEntries<V> (&e)[B], NeckAngleLanes<V> (&out)[B]) {
    V y[2 * B];
    V x[2 * B];
    V sine[B];
    for (int b = 0; b < B; ++b) {
        y[2 * b] = e[b].r10;
        x[2 * b] = e[b].r00;
        y[2 * b + 1] = e[b].r21;
        x[2 * b + 1] = e[b].r22;
        sine[b] = -e[b].r20;
    }
    V angles[2 * B];
    V pitch[B];
    elementary::detail::atan2_asin_lanes(y, x, sine, angles, pitch);
    for (int b = 0; b < B; ++b) {
        const V margin = 1.0 - elementary::detail::abs_lane(e[b].r20);
        out[b] = {angles[2 * b], pitch[b], angles[2 * b + 1], ~(margin < GIMBAL_LOCK_MARGIN)};
    }
}

// neck_angular_jacobian: rows {0, -sy, cy cp}, {0, cy, sy cp}, {1, 0, -sp}.
template <class V>
QTK_FORCE_INLINE Mat3Lanes<V> neck_jacobian_lanes(V yaw, V pitch) {
    elementary::detail::SinCosLanes<V> sc[2];
    elementary::detail::sincos_lanes<2>({yaw, pitch}, sc);
    const auto& y = sc[0];
    const auto& p = sc[1];
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
    elementary::detail::SinCosLanes<V> sc[2];
    elementary::detail::sincos_lanes<2>({yaw, pitch}, sc);
    const auto& y = sc[0];
    const auto& p = sc[1];
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
