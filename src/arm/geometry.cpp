// The arm value and the placement of the two input-arm tips.
#include <quorbel/arm/geometry.hpp>

#include <cmath>

namespace quorbel {

Arm::Arm(const SphericalLinkGeometry& geometry) noexcept
    : geometry_(geometry),
      sin_arm_(std::sin(geometry.arm_arc)),
      cos_arm_(std::cos(geometry.arm_arc)),
      cos_coupler_(std::cos(geometry.coupler_arc)) {}

Vec3 arm_tip_a(const Arm& arm, double theta_a) noexcept {
    const double radius = mirror_sign(arm.geometry()) * arm.sin_arm();
    return {radius * std::cos(theta_a), radius * std::sin(theta_a), arm.cos_arm()};
}

Vec3 arm_tip_b(const Arm& arm, double theta_b) noexcept {
    const double m = mirror_sign(arm.geometry());
    return {m * arm.cos_arm(), (-m * arm.sin_arm()) * std::sin(theta_b),
            arm.sin_arm() * std::cos(theta_b)};
}

}  // namespace quorbel
