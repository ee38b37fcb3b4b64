// Internal to the arm kinematics: the end-effector frame around the apex of
// two placed tips, the step that forward kinematics and the inverse
// kinematics' candidate check share.
#pragma once

#include <quorbel/arm/forward_kinematics.hpp>

namespace quorbel::detail {

// Below this length the tips' bisector is parallel to v_3 and a fixed
// reference axis gives the frame's x axis instead.
inline constexpr double VANISHING_LENGTH = 1e-12;
// |z.x| below this picks (1, 0, 0) as that reference, else (0, 1, 0).
inline constexpr double REFERENCE_AXIS_LIMIT = 0.9;

// Forward kinematics from placed tips: v_3 = close_loop(v_2, gamma, v_4,
// gamma, side) and the frame z = v_3, x toward the tips' bisector. Empty when
// the loop does not close.
FkResult frame_from_tips(Vec3 v_2, Vec3 v_4, double cos_coupler, double side) noexcept;

}  // namespace quorbel::detail
