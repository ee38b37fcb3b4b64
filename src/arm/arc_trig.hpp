// Internal to the arm kinematics: the trigonometry of the geometry's constant
// arcs, evaluated once and shared by the tip placements, loop closures and
// frame constructions of one call. Every function here gives the same doubles
// as its public counterpart; the public functions forward to these.
#pragma once

#include "arm/forward_kinematics.hpp"

namespace quorbel::detail {

struct ArcTrig {
    double sin_arm;      // sin(arm_arc)
    double cos_arm;      // cos(arm_arc)
    double cos_coupler;  // cos(coupler_arc)
};

inline ArcTrig arc_trig(const PreparedGeometry& p) noexcept {
    return {p.sin_arm(), p.cos_arm(), p.cos_coupler()};
}

inline ArcTrig arc_trig(const SphericalLinkGeometry& g) noexcept {
    return arc_trig(PreparedGeometry(g));
}

// v_2 = (m sa cos tA, m sa sin tA, ca), with sa, ca the sine and cosine of
// arm_arc and m the mirror sign.
Vec3 place_tip_a(double sin_arm, double cos_arm, double m, double theta_a) noexcept;
// v_4 = (m ca, -m sa sin tB, sa cos tB).
Vec3 place_tip_b(double sin_arm, double cos_arm, double m, double theta_b) noexcept;

// Forward kinematics from placed tips: v_3 = close_loop(v_2, gamma, v_4,
// gamma, side) and the frame z = v_3, x toward the tips' bisector. Empty when
// the loop does not close.
FkResult frame_from_tips(Vec3 v_2, Vec3 v_4, double cos_coupler, double side) noexcept;

// forward_kinematics(g, tA, tB) with the arc trigonometry given.
FkResult forward_kinematics(const SphericalLinkGeometry& g, const ArcTrig& trig,
                            double theta_a, double theta_b) noexcept;

}  // namespace quorbel::detail
