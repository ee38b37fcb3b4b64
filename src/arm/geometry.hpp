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

// A geometry with sin(arm_arc), cos(arm_arc) and cos(coupler_arc) evaluated
// once, at construction: what an arm object holds, so that no kinematic
// call repeats the trigonometry of its constant arcs. Every kinematic
// function gives the same doubles for it as for the bare geometry.
class PreparedGeometry {
public:
    explicit PreparedGeometry(const SphericalLinkGeometry& geometry) noexcept;

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
inline double mirror_sign(const SphericalLinkGeometry& g) { return g.mirror ? -1.0 : 1.0; }
// s: +1 for the positive branch, -1 for the negative one.
inline double branch_sign(const SphericalLinkGeometry& g) {
    return g.branch == Branch::positive ? 1.0 : -1.0;
}

// R = cos t I + sin t [k]x + (1 - cos t) k k^T, right-handed about the axis k
// (not normalised). An angle equal to zero (+0.0 or -0.0) gives the exact
// identity without evaluating a sine or cosine.
//
// R[i][j] = (c I[i][j] + s K[i][j]) + ((1 - c) k_i) k_j with K = [k]x, every
// entry in that order, zero axis components included, so a NaN angle (or an
// infinite one, whose sine and cosine are NaN) reaches all nine entries.
// Inline so that a constant axis folds where IEEE arithmetic allows
// (c * 1.0 is c; c * 0.0 stays, it may be NaN).
inline Mat3 rotation_about_axis(Vec3 axis, double angle) noexcept {
    if (angle == 0.0) {
        return IDENTITY3;
    }
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double t = 1.0 - c;
    const double kx = axis.x;
    const double ky = axis.y;
    const double kz = axis.z;
    // Written out entry by entry: c I[i][j] is c on the diagonal and c * 0.0
    // elsewhere, s K[i][j] is s times (0, -kz, ky; kz, 0, -kx; -ky, kx, 0).
    return {{{(c + s * 0.0) + (t * kx) * kx, (c * 0.0 + s * -kz) + (t * kx) * ky,
              (c * 0.0 + s * ky) + (t * kx) * kz},
             {(c * 0.0 + s * kz) + (t * ky) * kx, (c + s * 0.0) + (t * ky) * ky,
              (c * 0.0 + s * -kx) + (t * ky) * kz},
             {(c * 0.0 + s * -ky) + (t * kz) * kx, (c * 0.0 + s * kx) + (t * kz) * ky,
              (c + s * 0.0) + (t * kz) * kz}}};
}

// v_2 = (m sin a cos tA, m sin a sin tA, cos a).
Vec3 arm_tip_a(const SphericalLinkGeometry& geometry, double theta_a) noexcept;
// v_4 = (m cos a, -m sin a sin tB, sin a cos tB).
Vec3 arm_tip_b(const SphericalLinkGeometry& geometry, double theta_b) noexcept;

}  // namespace quorbel
