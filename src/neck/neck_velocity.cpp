// Velocity kinematics of the neck (the formulas are in the header).
#include <quorbel/neck/neck_velocity.hpp>

#include <quorbel/maths/elementary.hpp>
#include <cmath>
#include <limits>

#include "neck/margin_slack.hpp"

namespace quorbel {

Mat3 neck_angular_jacobian(const NeckAngles& joints) noexcept {
    const elementary::SinCos yaw = elementary::sincos(joints.yaw);
    const elementary::SinCos pitch = elementary::sincos(joints.pitch);
    const double cy = yaw.cos;
    const double sy = yaw.sin;
    const double cp = pitch.cos;
    const double sp = pitch.sin;
    return {{{0.0, -sy, cy * cp}, {0.0, cy, sy * cp}, {1.0, 0.0, -sp}}};
}


namespace {


// The diagonal entry c + (1 - c) that rotation_about_axis gives about a
// coordinate axis: 1 up to an ulp, exactly 1 for a zero angle.
double axis_entry(double angle, double c) noexcept {
    return angle == 0.0 ? 1.0 : c + (1.0 - c);
}

// neck_inverse_kinematics' test on the R[2][0] that neck_forward_kinematics
// forms for finite angles, (Rz[2][2] (-sin pitch)) Rx[0][0] (its other
// terms are products with exact zeros). The roll's entry, the one cosine
// the rates do not need, is formed only next to the margin, where it can
// decide.
bool gimbal_locked(const NeckAngles& joints, double sp, double cy) noexcept {
    const double margin = 1.0 - std::fabs(sp);
    if (std::fabs(margin - GIMBAL_LOCK_MARGIN) > detail::MARGIN_SLACK) {
        return margin < GIMBAL_LOCK_MARGIN;
    }
    const double r_20 =
        (axis_entry(joints.yaw, cy) * -sp) * axis_entry(joints.roll, elementary::cos(joints.roll));
    return 1.0 - std::fabs(r_20) < GIMBAL_LOCK_MARGIN;
}

}  // namespace

// Refused exactly where neck_inverse_kinematics refuses the rotation
// neck_forward_kinematics gives (1 - |sin pitch| alone differed from that
// within a few thousand ulps of the margin). A NaN or infinite angle, the
// roll included, which the rates do not read, gives NaN rates, as fk gives
// a rotation of NaN that ik does not refuse.
std::optional<NeckRates> neck_joint_rates(const NeckAngles& joints, Vec3 omega) noexcept {
    if (!(std::isfinite(joints.yaw) && std::isfinite(joints.pitch) &&
          std::isfinite(joints.roll))) {
        constexpr double nan = std::numeric_limits<double>::quiet_NaN();
        return NeckRates{nan, nan, nan};
    }
    const elementary::SinCos yaw = elementary::sincos(joints.yaw);
    const elementary::SinCos pitch = elementary::sincos(joints.pitch);
    const double sp = pitch.sin;
    const double cy = yaw.cos;
    if (gimbal_locked(joints, sp, cy)) {
        return std::nullopt;
    }
    const double sy = yaw.sin;
    const double cp = pitch.cos;
    const double pitch_rate = (-sy) * omega.x + cy * omega.y;
    const double roll_rate = (cy * omega.x + sy * omega.y) / cp;
    const double yaw_rate = omega.z + sp * roll_rate;
    return NeckRates{yaw_rate, pitch_rate, roll_rate};
}

}  // namespace quorbel
