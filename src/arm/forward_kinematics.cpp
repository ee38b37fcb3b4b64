// Forward kinematics: tips from the joint angles, apex by loop closure, and a
// right-handed frame around the apex.
#include "arm/forward_kinematics.hpp"

#include <cmath>

#include "arm/arc_trig.hpp"
#include "arm/close_loop.hpp"

namespace quorbel {
namespace detail {

// z = v_3; x = the unit bisector w of the tips made perpendicular to z,
// x = (w - (w.z) z) / |...|; when that length is at most VANISHING_LENGTH (or
// NaN) the reference (1, 0, 0), or (0, 1, 0) for |z.x| >= REFERENCE_AXIS_LIMIT
// (or NaN), is used instead of w; y = z x x. The bisector needs no guard: the
// tips' sum vanishes only for opposite tips, which close_loop refuses.
FkResult frame_from_tips(Vec3 v_2, Vec3 v_4, double cos_coupler, double side) noexcept {
    const std::optional<Vec3> apex = close_loop_cos(v_2, cos_coupler, v_4, cos_coupler, side);
    if (!apex) {
        return LoopNotClosed;
    }
    const Vec3 z = *apex;
    const Vec3 w = normalise(v_2 + v_4);
    const Vec3 p = w - dot(w, z) * z;
    const double rho = norm(p);
    Vec3 x;
    if (rho > VANISHING_LENGTH) {
        x = p / rho;
    } else {
        const Vec3 u = std::fabs(z.x) < REFERENCE_AXIS_LIMIT ? Vec3{1.0, 0.0, 0.0}
                                                              : Vec3{0.0, 1.0, 0.0};
        // For a unit z, |q| >= sqrt(1 - REFERENCE_AXIS_LIMIT^2): no guard needed.
        x = normalise(u - dot(u, z) * z);
    }
    const Vec3 y = cross(z, x);
    return FkSolution{from_columns(x, y, z), v_2, z, v_4};
}

}  // namespace detail

namespace {

struct Tips {
    Vec3 v_2;
    Vec3 v_4;
};

// The input-arm tips for a joint pair: the first step of forward_kinematics
// and of pointing_direction.
Tips place_tips(const PreparedGeometry& arm, double theta_a, double theta_b) noexcept {
    const double m = mirror_sign(arm.geometry());
    return {detail::place_tip_a(arm.sin_arm(), arm.cos_arm(), m, theta_a),
            detail::place_tip_b(arm.sin_arm(), arm.cos_arm(), m, theta_b)};
}

}  // namespace

FkResult forward_kinematics(const SphericalLinkGeometry& geometry, double theta_a,
                            double theta_b) noexcept {
    return forward_kinematics(PreparedGeometry(geometry), theta_a, theta_b);
}

FkResult forward_kinematics(const PreparedGeometry& arm, double theta_a,
                            double theta_b) noexcept {
    const Tips tips = place_tips(arm, theta_a, theta_b);
    return detail::frame_from_tips(tips.v_2, tips.v_4, arm.cos_coupler(),
                                   branch_sign(arm.geometry()));
}

// The loop closed exactly as frame_from_tips closes it before building the
// frame around the apex.
std::optional<Vec3> pointing_direction(const PreparedGeometry& arm, double theta_a,
                                       double theta_b) noexcept {
    const Tips tips = place_tips(arm, theta_a, theta_b);
    return close_loop_cos(tips.v_2, arm.cos_coupler(), tips.v_4, arm.cos_coupler(),
                          branch_sign(arm.geometry()));
}

}  // namespace quorbel
