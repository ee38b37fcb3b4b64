// Forward kinematics: tips from the joint angles, apex by loop closure, and a
// right-handed frame around the apex.
#include <quorbel/arm/forward_kinematics.hpp>

#include <cmath>

#include "arm/arm_tips.hpp"
#include "arm/close_loop_from_cosines.hpp"
#include "arm/end_effector_frame.hpp"
#include "batch/lane_choice.hpp"
#include "maths/elementary/fma_dispatch.hpp"

namespace quorbel {
namespace detail {

// z = v_3; x = the unit bisector w of the tips made perpendicular to z,
// x = (w - (w.z) z) / |...|; when that length is at most VANISHING_LENGTH (or
// NaN) the reference (1, 0, 0), or (0, 1, 0) for |z.x| >= REFERENCE_AXIS_LIMIT
// (or NaN), is used instead of w; y = z x x. The bisector needs no guard: the
// tips' sum vanishes only for opposite tips, which the loop closure refuses.
FkResult frame_from_tips(Vec3 v_2, Vec3 v_4, double cos_coupler, double side) noexcept {
    const std::optional<Vec3> apex =
        close_loop_from_cosines(v_2, cos_coupler, v_4, cos_coupler, side);
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

template <bool paired>
FkResult forward_kinematics_body(const Arm& arm, double theta_a, double theta_b) noexcept {
    const detail::ArmTips tips = detail::arm_tips<paired>(arm, theta_a, theta_b);
    return detail::frame_from_tips(tips.a, tips.b, arm.cos_coupler(),
                                   branch_sign(arm.geometry()));
}

// The loop closed exactly as frame_from_tips closes it before building the
// frame around the apex.
template <bool paired>
std::optional<Vec3> pointing_direction_body(const Arm& arm, double theta_a,
                                            double theta_b) noexcept {
    const detail::ArmTips tips = detail::arm_tips<paired>(arm, theta_a, theta_b);
    return detail::close_loop_from_cosines(tips.a, arm.cos_coupler(), tips.b, arm.cos_coupler(),
                                           branch_sign(arm.geometry()));
}

// The same two functions compiled for FMA, called only when the CPU has it
// (fma_dispatch.hpp): the elementary functions' fused fast paths inline into
// them, which a body compiled for the baseline cannot take in; paired, the
// tips' two sincos run in the two lanes of one register (lane_pairs.hpp).
// The kinematics' own arithmetic is not contracted (-ffp-contract=off), so
// every one of its operations rounds as in the baseline body: the same
// doubles.
QTK_FMA_ENTRY FkResult forward_kinematics_fused(const Arm& arm, double theta_a,
                                               double theta_b) noexcept {
    return forward_kinematics_body<false>(arm, theta_a, theta_b);
}
QTK_FMA_ENTRY FkResult forward_kinematics_paired(const Arm& arm, double theta_a,
                                                double theta_b) noexcept {
    return forward_kinematics_body<true>(arm, theta_a, theta_b);
}
QTK_FMA_ENTRY std::optional<Vec3> pointing_direction_fused(const Arm& arm, double theta_a,
                                                          double theta_b) noexcept {
    return pointing_direction_body<false>(arm, theta_a, theta_b);
}
QTK_FMA_ENTRY std::optional<Vec3> pointing_direction_paired(const Arm& arm, double theta_a,
                                                           double theta_b) noexcept {
    return pointing_direction_body<true>(arm, theta_a, theta_b);
}

}  // namespace

FkResult forward_kinematics(const Arm& arm, double theta_a, double theta_b) noexcept {
    return batch::detail::pose_variant_of(forward_kinematics_paired, forward_kinematics_fused,
                                          forward_kinematics_body<false>)(arm, theta_a, theta_b);
}

std::optional<Vec3> pointing_direction(const Arm& arm, double theta_a, double theta_b) noexcept {
    return batch::detail::pose_variant_of(pointing_direction_paired, pointing_direction_fused,
                                          pointing_direction_body<false>)(arm, theta_a, theta_b);
}

}  // namespace quorbel
