// The arm value and the placement of the two input-arm tips.
#include <quorbel/arm/geometry.hpp>

#include <quorbel/maths/elementary.hpp>
#include <cmath>

namespace quorbel {

// sin and cos of the arm's arc from one reduction: sincos gives the same
// bits as sin and cos.
Arm::Arm(const SphericalLinkGeometry& geometry) noexcept
    : geometry_(geometry),
      sin_arm_(0.0),
      cos_arm_(0.0),
      cos_coupler_(elementary::cos(geometry.coupler_arc)) {
    const elementary::SinCos arm_arc = elementary::sincos(geometry.arm_arc);
    sin_arm_ = arm_arc.sin;
    cos_arm_ = arm_arc.cos;
}

Vec3 arm_tip_a(const Arm& arm, double theta_a) noexcept {
    const double radius = mirror_sign(arm.geometry()) * arm.sin_arm();
    const elementary::SinCos t = elementary::sincos(theta_a);
    return {radius * t.cos, radius * t.sin, arm.cos_arm()};
}

Vec3 arm_tip_b(const Arm& arm, double theta_b) noexcept {
    const double m = mirror_sign(arm.geometry());
    const elementary::SinCos t = elementary::sincos(theta_b);
    return {m * arm.cos_arm(), (-m * arm.sin_arm()) * t.sin, arm.sin_arm() * t.cos};
}

}  // namespace quorbel
