// The geometry of one spherical five-bar arm, the arm value that every
// kinematic function takes, and the placement of its two input-arm tips.
//
// Loop vertices, all unit vectors in the arm's body frame:
//   v_1 = (0, 0, 1)  axis of input joint A
//   v_2              tip of input arm A, at arc `arm_arc` from v_1
//   v_3              apex of the two coupler segments: the pointing direction
//   v_4              tip of input arm B, at arc `arm_arc` from v_5
//   v_5 = (m, 0, 0)  axis of input joint B (m = mirror sign)
#pragma once

#include <quorbel/export.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel {

// Which of the two loop-closure points is the apex.
enum class Branch { positive, negative };

struct SphericalLinkGeometry {
    double arm_arc;      // radians, v_1-v_2 and v_5-v_4
    double coupler_arc;  // radians, v_2-v_3 and v_4-v_3
    Branch branch;
    bool mirror;         // true for the right arm (mirrored across the YZ plane)
};

inline constexpr double DEFAULT_ARM_ARC = 0.7;
inline constexpr double DEFAULT_COUPLER_ARC = 0.5;

constexpr SphericalLinkGeometry default_left_geometry() noexcept {
    return {DEFAULT_ARM_ARC, DEFAULT_COUPLER_ARC, Branch::positive, false};
}
constexpr SphericalLinkGeometry default_right_geometry() noexcept {
    return {DEFAULT_ARM_ARC, DEFAULT_COUPLER_ARC, Branch::positive, true};
}

// One arm: its geometry with sin(arm_arc), cos(arm_arc) and cos(coupler_arc)
// evaluated once, when the arm is made, so that no kinematic call repeats
// the trigonometry of its constant arcs. Made implicitly from a
// SphericalLinkGeometry, so a geometry can be passed wherever an arm is
// taken; a caller that makes many calls on one geometry keeps an Arm.
class Arm {
public:
    QUORBEL_API Arm(const SphericalLinkGeometry& geometry) noexcept;

    const SphericalLinkGeometry& geometry() const noexcept { return geometry_; }
    double sin_arm() const noexcept { return sin_arm_; }
    double cos_arm() const noexcept { return cos_arm_; }
    double cos_coupler() const noexcept { return cos_coupler_; }

private:
    SphericalLinkGeometry geometry_;
    double sin_arm_;
    double cos_arm_;
    double cos_coupler_;
};

// m: -1 for the mirrored layout, +1 otherwise.
constexpr double mirror_sign(const SphericalLinkGeometry& g) noexcept {
    return g.mirror ? -1.0 : 1.0;
}
// s: +1 for the positive branch, -1 for the negative one.
constexpr double branch_sign(const SphericalLinkGeometry& g) noexcept {
    return g.branch == Branch::positive ? 1.0 : -1.0;
}

// v_2 = (m sin a cos tA, m sin a sin tA, cos a), with a the arm arc.
QUORBEL_API Vec3 arm_tip_a(const Arm& arm, double theta_a) noexcept;
// v_4 = (m cos a, -m sin a sin tB, sin a cos tB).
QUORBEL_API Vec3 arm_tip_b(const Arm& arm, double theta_b) noexcept;

}  // namespace quorbel
