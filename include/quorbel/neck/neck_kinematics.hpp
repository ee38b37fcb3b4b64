// The neck: intrinsic yaw (Z), pitch (Y), roll (X). R maps head-frame vectors
// into the body frame.
#pragma once

#include <optional>

#include <quorbel/export.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel {

// ik refuses rotations with 1 - |r[2][0]| below this (strict).
inline constexpr double GIMBAL_LOCK_MARGIN = 1e-6;

// The neck's joints, radians: what its forward kinematics and velocity
// kinematics take and its inverse kinematics returns.
struct NeckAngles {
    double yaw;
    double pitch;
    double roll;
};

// R = (Rz(yaw) Ry(pitch)) Rx(roll), each elementary rotation from
// rotation_about_axis. A NaN or infinite angle makes all nine entries NaN.
QUORBEL_API Mat3 neck_forward_kinematics(const NeckAngles& angles) noexcept;

// Reads r[0][0], r[1][0], r[2][0], r[2][1], r[2][2] only. Empty near gimbal
// lock (and for |r[2][0]| > 1); a NaN r[2][0] is not refused.
QUORBEL_API std::optional<NeckAngles> neck_inverse_kinematics(const Mat3& r) noexcept;

}  // namespace quorbel
