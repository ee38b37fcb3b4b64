// Velocity kinematics of the neck (the formulas are in the header).
#include <quorbel/neck/neck_velocity.hpp>

#include <cmath>
#include <limits>

namespace quorbel {

Mat3 neck_angular_jacobian(const NeckAngles& joints) noexcept {
    const double cy = std::cos(joints.yaw);
    const double sy = std::sin(joints.yaw);
    const double cp = std::cos(joints.pitch);
    const double sp = std::sin(joints.pitch);
    return {{{0.0, -sy, cy * cp}, {0.0, cy, sy * cp}, {1.0, 0.0, -sp}}};
}

namespace {

// The diagonal entry c + (1 - c) that rotation_about_axis gives about a
// coordinate axis: 1 up to an ulp, exactly 1 for a zero angle, NaN for a
// NaN or infinite one.
double axis_entry(double angle, double c) noexcept {
    return angle == 0.0 ? 1.0 : c + (1.0 - c);
}

}  // namespace

// The gimbal-lock test is applied to the R[2][0] that neck_forward_kinematics
// forms, (Rz[2][2] (-sin pitch)) Rx[0][0] (its other terms are products with
// exact zeros), so that it refuses exactly the poses whose rotation
// neck_inverse_kinematics refuses: 1 - |sin pitch| alone differed from it
// within a few thousand ulps of the margin. A NaN or infinite angle (the
// roll included, which the rates do not read) gives NaN rates.
std::optional<NeckAngles> neck_joint_rates(const NeckAngles& joints, Vec3 omega) noexcept {
    const double sp = std::sin(joints.pitch);
    const double cy = std::cos(joints.yaw);
    const double cr = std::cos(joints.roll);
    const double r_20 = (axis_entry(joints.yaw, cy) * -sp) * axis_entry(joints.roll, cr);
    if (1.0 - std::fabs(r_20) < GIMBAL_LOCK_MARGIN) {
        return std::nullopt;
    }
    if (!(std::isfinite(joints.yaw) && std::isfinite(joints.pitch) &&
          std::isfinite(joints.roll))) {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        return NeckAngles{nan, nan, nan};
    }
    const double sy = std::sin(joints.yaw);
    const double cp = std::cos(joints.pitch);
    const double pitch_rate = (-sy) * omega.x + cy * omega.y;
    const double roll_rate = (cy * omega.x + sy * omega.y) / cp;
    const double yaw_rate = omega.z + sp * roll_rate;
    return NeckAngles{yaw_rate, pitch_rate, roll_rate};
}

}  // namespace quorbel
