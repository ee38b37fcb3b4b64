// Velocity kinematics of the neck: the head's angular velocity from the
// yaw, pitch and roll rates, and back.
#pragma once

#include <optional>

#include <quorbel/export.hpp>
#include <quorbel/neck/neck_kinematics.hpp>

namespace quorbel {

// The neck's joint rates, radians per unit of omega's time: d yaw, d pitch,
// d roll.
struct NeckRates {
    double yaw;
    double pitch;
    double roll;
};

// omega = J [d yaw, d pitch, d roll], expressed in the body frame (the frame
// neck_forward_kinematics' R maps into): dR = [omega]x R. The columns are the
// three joint axes in the body frame, each turned by the joints before it:
//   z,  Rz(yaw) y = (-sin yaw, cos yaw, 0),
//   Rz(yaw) Ry(pitch) x = (cos yaw cos pitch, sin yaw cos pitch, -sin pitch).
// det J = -cos pitch; the roll does not enter.
QUORBEL_API Mat3 neck_angular_jacobian(const NeckAngles& joints) noexcept;

// The joint rates whose angular velocity is omega, J^-1 omega:
//   d pitch = -sin yaw omega_x + cos yaw omega_y,
//   d roll  = (cos yaw omega_x + sin yaw omega_y) / cos pitch,
//   d yaw   = omega_z + sin pitch d roll.
// Empty at gimbal lock: exactly where neck_inverse_kinematics refuses
// neck_forward_kinematics(joints), by its test on that rotation's
// R[2][0] (-sin pitch up to an ulp of the yaw's and roll's rotations),
// 1 - |R[2][0]| < GIMBAL_LOCK_MARGIN. A NaN or infinite angle, any of the
// three, is not refused and gives three NaN rates.
QUORBEL_API std::optional<NeckRates> neck_joint_rates(const NeckAngles& joints,
                                                      Vec3 omega) noexcept;

}  // namespace quorbel
