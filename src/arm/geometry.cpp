// The prepared geometry and the placement of the two input-arm tips.
#include "arm/geometry.hpp"

#include <cmath>

#include "arm/arc_trig.hpp"

namespace quorbel {

PreparedGeometry::PreparedGeometry(const SphericalLinkGeometry& geometry) noexcept
    : geometry_(geometry),
      sin_arm_(std::sin(geometry.arm_arc)),
      cos_arm_(std::cos(geometry.arm_arc)),
      cos_coupler_(std::cos(geometry.coupler_arc)) {}

namespace detail {

Vec3 place_tip_a(double sin_arm, double cos_arm, double m, double theta_a) noexcept {
    const double radius = m * sin_arm;
    return {radius * std::cos(theta_a), radius * std::sin(theta_a), cos_arm};
}

Vec3 place_tip_b(double sin_arm, double cos_arm, double m, double theta_b) noexcept {
    return {m * cos_arm, (-m * sin_arm) * std::sin(theta_b), sin_arm * std::cos(theta_b)};
}

}  // namespace detail

Vec3 arm_tip_a(const SphericalLinkGeometry& geometry, double theta_a) noexcept {
    return detail::place_tip_a(std::sin(geometry.arm_arc), std::cos(geometry.arm_arc),
                               mirror_sign(geometry), theta_a);
}

Vec3 arm_tip_b(const SphericalLinkGeometry& geometry, double theta_b) noexcept {
    return detail::place_tip_b(std::sin(geometry.arm_arc), std::cos(geometry.arm_arc),
                               mirror_sign(geometry), theta_b);
}

}  // namespace quorbel
