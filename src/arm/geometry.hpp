// The geometry of one spherical five-bar arm and the placement of its two
// input-arm tips.
//
// Loop vertices, all unit vectors in the arm's body frame:
//   v_1 = (0, 0, 1)  axis of input joint A
//   v_2              tip of input arm A, at arc `arm_arc` from v_1
//   v_3              apex of the two coupler segments: the pointing direction
//   v_4              tip of input arm B, at arc `arm_arc` from v_5
//   v_5 = (m, 0, 0)  axis of input joint B (m = mirror sign)
#pragma once

#include "arm/vector_math.hpp"

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

inline constexpr SphericalLinkGeometry default_left_geometry() {
    return {DEFAULT_ARM_ARC, DEFAULT_COUPLER_ARC, Branch::positive, false};
}
inline constexpr SphericalLinkGeometry default_right_geometry() {
    return {DEFAULT_ARM_ARC, DEFAULT_COUPLER_ARC, Branch::positive, true};
}

// m: -1 for the mirrored layout, +1 otherwise.
inline double mirror_sign(const SphericalLinkGeometry& g) { return g.mirror ? -1.0 : 1.0; }
// s: +1 for the positive branch, -1 for the negative one.
inline double branch_sign(const SphericalLinkGeometry& g) {
    return g.branch == Branch::positive ? 1.0 : -1.0;
}

// R = cos t I + sin t [k]x + (1 - cos t) k k^T, right-handed about the axis k
// (not normalised). An angle equal to zero (+0.0 or -0.0) gives the exact
// identity without evaluating a sine or cosine.
Mat3 rotation_about_axis(Vec3 axis, double angle) noexcept;

// v_2 = (m sin a cos tA, m sin a sin tA, cos a).
Vec3 arm_tip_a(const SphericalLinkGeometry& geometry, double theta_a) noexcept;
// v_4 = (m cos a, -m sin a sin tB, sin a cos tB).
Vec3 arm_tip_b(const SphericalLinkGeometry& geometry, double theta_b) noexcept;

}  // namespace quorbel
