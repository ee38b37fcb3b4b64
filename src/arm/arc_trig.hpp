// Internal to the arm kinematics: the steps that forward and inverse
// kinematics share, written over the arcs' sines and cosines (as a
// PreparedGeometry holds them) so that no call repeats that trigonometry.
// arm_tip_a, arm_tip_b and forward_kinematics forward to these.
#pragma once

#include "arm/forward_kinematics.hpp"

namespace quorbel::detail {

// v_2 = (m sa cos tA, m sa sin tA, ca), with sa, ca the sine and cosine of
// arm_arc and m the mirror sign.
Vec3 place_tip_a(double sin_arm, double cos_arm, double m, double theta_a) noexcept;
// v_4 = (m ca, -m sa sin tB, sa cos tB).
Vec3 place_tip_b(double sin_arm, double cos_arm, double m, double theta_b) noexcept;

// Forward kinematics from placed tips: v_3 = close_loop(v_2, gamma, v_4,
// gamma, side) and the frame z = v_3, x toward the tips' bisector. Empty when
// the loop does not close.
FkResult frame_from_tips(Vec3 v_2, Vec3 v_4, double cos_coupler, double side) noexcept;

}  // namespace quorbel::detail
