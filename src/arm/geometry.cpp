// Rotation about an axis and the placement of the two input-arm tips.
#include "arm/geometry.hpp"

#include <cmath>

#include "arm/arc_trig.hpp"

namespace quorbel {

// R[i][j] = (c I[i][j] + s K[i][j]) + ((1 - c) k_i) k_j with K = [k]x, every
// entry in that order, zero axis components included, so a NaN angle (or an
// infinite one, whose sine and cosine are NaN) reaches all nine entries.
Mat3 rotation_about_axis(Vec3 axis, double angle) noexcept {
    if (angle == 0.0) {
        return IDENTITY3;
    }
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double t = 1.0 - c;
    const double k[3] = {axis.x, axis.y, axis.z};
    const Mat3 skew = {{{0.0, -axis.z, axis.y}, {axis.z, 0.0, -axis.x}, {-axis.y, axis.x, 0.0}}};
    Mat3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i][j] = (c * IDENTITY3[i][j] + s * skew[i][j]) + (t * k[i]) * k[j];
        }
    }
    return r;
}

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
