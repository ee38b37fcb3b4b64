// Forward kinematics of one arm: joint pair -> end-effector frame.
#pragma once

#include <optional>

#include <quorbel/arm/geometry.hpp>
#include <quorbel/export.hpp>
#include <quorbel/maths/vector.hpp>

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

// Places v_2 and v_4, closes the loop on the arm's branch and builds a
// right-handed frame: z = v_3, x toward the bisector of the tips.
QUORBEL_API FkResult forward_kinematics(const Arm& arm, double theta_a, double theta_b) noexcept;

// v_3 alone, without the frame around it: forward_kinematics(arm, tA, tB)->v_3,
// and empty exactly when forward_kinematics gives LoopNotClosed.
QUORBEL_API std::optional<Vec3> pointing_direction(const Arm& arm, double theta_a,
                                                   double theta_b) noexcept;

}  // namespace quorbel
