// Velocity kinematics of the neck (the formulas are in the header).
#include <quorbel/neck/neck_velocity.hpp>

#include <cmath>

namespace quorbel {

Mat3 neck_angular_jacobian(const NeckAngles& joints) noexcept {
    const double cy = std::cos(joints.yaw);
    const double sy = std::sin(joints.yaw);
    const double cp = std::cos(joints.pitch);
    const double sp = std::sin(joints.pitch);
    return {{{0.0, -sy, cy * cp}, {0.0, cy, sy * cp}, {1.0, 0.0, -sp}}};
}

std::optional<NeckAngles> neck_joint_rates(const NeckAngles& joints, Vec3 omega) noexcept {
    const double sp = std::sin(joints.pitch);
    if (1.0 - std::fabs(sp) < GIMBAL_LOCK_MARGIN) {
        return std::nullopt;
    }
    const double cy = std::cos(joints.yaw);
    const double sy = std::sin(joints.yaw);
    const double cp = std::cos(joints.pitch);
    const double pitch_rate = (-sy) * omega.x + cy * omega.y;
    const double roll_rate = (cy * omega.x + sy * omega.y) / cp;
    const double yaw_rate = omega.z + sp * roll_rate;
    return NeckAngles{yaw_rate, pitch_rate, roll_rate};
}

}  // namespace quorbel
