// Forward kinematics of one arm: joint pair -> end-effector frame.
#pragma once

#include <optional>

#include "arm/geometry.hpp"

namespace quorbel {

struct FkSolution {
    Mat3 rotation;  // columns: frame axes x, y, z; z is v_3
    Vec3 v_2;       // tip of input arm A
    Vec3 v_3;       // loop apex, the pointing direction
    Vec3 v_4;       // tip of input arm B
};

// Empty means the loop does not close: the tips are too far apart for the
// coupler, or they coincide or are opposite.
using FkResult = std::optional<FkSolution>;
inline constexpr std::nullopt_t LoopNotClosed = std::nullopt;

// Below this length the tips' bisector is parallel to v_3 and a fixed
// reference axis gives the frame's x axis instead.
inline constexpr double VANISHING_LENGTH = 1e-12;
// |z.x| below this picks (1, 0, 0) as that reference, else (0, 1, 0).
inline constexpr double REFERENCE_AXIS_LIMIT = 0.9;

// Places v_2 and v_4, closes the loop on the geometry's branch and builds a
// right-handed frame: z = v_3, x toward the bisector of the tips.
FkResult forward_kinematics(const SphericalLinkGeometry& geometry, double theta_a,
                            double theta_b) noexcept;
// The same, with the arcs' trigonometry taken from the prepared geometry.
FkResult forward_kinematics(const PreparedGeometry& arm, double theta_a,
                            double theta_b) noexcept;

// v_3 alone, without the frame around it: forward_kinematics(arm, tA, tB)->v_3,
// and empty exactly when forward_kinematics gives LoopNotClosed.
std::optional<Vec3> pointing_direction(const PreparedGeometry& arm, double theta_a,
                                       double theta_b) noexcept;

}  // namespace quorbel
