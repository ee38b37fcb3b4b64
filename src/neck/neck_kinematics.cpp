// Neck kinematics: intrinsic Z-Y-X (yaw, pitch, roll) rotations and back.
#include <quorbel/neck/neck_kinematics.hpp>

#include <quorbel/maths/elementary.hpp>
#include <cmath>

#include <quorbel/maths/rotation.hpp>

#include "batch/lane_choice.hpp"
#include "maths/axis_rotation.hpp"
#include "maths/elementary/fma_dispatch.hpp"
#include "maths/lanes/lane_pairs.hpp"

namespace quorbel {

namespace {

// R = (Rz(yaw) Ry(pitch)) Rx(roll). A zero angle contributes the exact
// identity; any other angle goes through the axis-angle formula with the zero
// axis components taking part, so a NaN or infinite angle fills R with NaN.
// Flattened: the three rotations are inlined, and the products with their
// constant axis components fold where IEEE arithmetic allows (c * 1.0 is c),
// which the compiler does not do for a call.
// paired: only in a QTK_FMA_ENTRY body (lane_pairs.hpp); yaw and pitch then
// share one sincos on two lanes.
template <bool paired>
[[gnu::flatten]] Mat3 neck_forward_kinematics_body(double yaw, double pitch, double roll) noexcept {
    const elementary::detail::SinCosPair yaw_pitch =
        elementary::detail::sincos_pair<paired>(yaw, pitch);
    const Mat3 rz = detail::rotation_about_axis_from({0.0, 0.0, 1.0}, yaw, yaw_pitch.first);
    const Mat3 ry = detail::rotation_about_axis_from({0.0, 1.0, 0.0}, pitch, yaw_pitch.second);
    const Mat3 rx = rotation_about_axis({1.0, 0.0, 0.0}, roll);
    return (rz * ry) * rx;
}

// With x = r[2][0]: refused when 1 - |x| < GIMBAL_LOCK_MARGIN (never for a NaN
// x); then pitch = asin(-x), roll = atan2(r[2][1], r[2][2]),
// yaw = atan2(r[1][0], r[0][0]). paired: roll's and yaw's atan2 on two lanes.
template <bool paired>
std::optional<NeckAngles> neck_inverse_kinematics_body(const Mat3& r) noexcept {
    const double x = r[2][0];
    const double margin = 1.0 - std::fabs(x);
    if (margin < GIMBAL_LOCK_MARGIN) {
        return std::nullopt;
    }
    const double pitch = elementary::asin(-x);
    const elementary::detail::DoublePair roll_yaw =
        elementary::detail::atan2_pair<paired>(r[2][1], r[2][2], r[1][0], r[0][0]);
    return NeckAngles{roll_yaw.second, pitch, roll_yaw.first};
}

// The same two functions compiled for FMA, called only when the CPU has it
// (fma_dispatch.hpp): the elementary functions' fused fast paths inline into
// them, out of reach of a body compiled for the baseline. Without
// contraction every operation of the kinematics itself is the same rounded
// one, so the result is the same double, paired or not.
QTK_FMA_ENTRY Mat3 neck_forward_kinematics_fused(double yaw, double pitch, double roll) noexcept {
    return neck_forward_kinematics_body<false>(yaw, pitch, roll);
}
QTK_FMA_ENTRY Mat3 neck_forward_kinematics_paired(double yaw, double pitch, double roll) noexcept {
    return neck_forward_kinematics_body<true>(yaw, pitch, roll);
}
QTK_FMA_ENTRY std::optional<NeckAngles> neck_inverse_kinematics_fused(const Mat3& r) noexcept {
    return neck_inverse_kinematics_body<false>(r);
}
QTK_FMA_ENTRY std::optional<NeckAngles> neck_inverse_kinematics_paired(const Mat3& r) noexcept {
    return neck_inverse_kinematics_body<true>(r);
}

}  // namespace

Mat3 neck_forward_kinematics(const NeckAngles& angles) noexcept {
    return batch::detail::pose_variant_of(neck_forward_kinematics_paired,
                                          neck_forward_kinematics_fused,
                                          neck_forward_kinematics_body<false>)(
        angles.yaw, angles.pitch, angles.roll);
}

std::optional<NeckAngles> neck_inverse_kinematics(const Mat3& r) noexcept {
    return batch::detail::pose_variant_of(neck_inverse_kinematics_paired,
                                          neck_inverse_kinematics_fused,
                                          neck_inverse_kinematics_body<false>)(r);
}

}  // namespace quorbel
