// How many doubles one pose holds in the kernels' buffers, for each kind of
// value, declared here once for the signatures, the loops and the single
// poses: the package's Python layer gives the same values these shapes
// (python/quorbel_torso/_poses.py).
#pragma once

#include <cstddef>

namespace quorbel::arrays {

inline constexpr std::size_t ANGLE_WIDTH = 1;                 // shape ()
inline constexpr std::size_t JOINT_PAIR_WIDTH = 2;            // (theta_a, theta_b)
inline constexpr std::size_t VECTOR_WIDTH = 3;                // (x, y, z)
inline constexpr std::size_t NECK_ANGLES_WIDTH = 3;           // (yaw, pitch, roll)
inline constexpr std::size_t LIMITS_WIDTH = 4;                // theta_a's bounds, then theta_b's
inline constexpr std::size_t SINGULAR_VALUES_WIDTH = 2;       // largest first
inline constexpr std::size_t JACOBIAN_WIDTH = 6;              // 3x2, row by row
inline constexpr std::size_t SOLUTION_SLOTS = 4;              // ik_solutions' candidates
inline constexpr std::size_t SOLUTIONS_WIDTH = SOLUTION_SLOTS * JOINT_PAIR_WIDTH;  // (4, 2)
inline constexpr std::size_t MATRIX_WIDTH = 9;                // 3x3, row by row

// A torso's pose: the left arm's joint pair, the right arm's, the neck's
// angles; and one status or leftover per mechanism.
inline constexpr std::size_t MECHANISMS = 3;
inline constexpr std::size_t TORSO_POSE_WIDTH = 2 * JOINT_PAIR_WIDTH + NECK_ANGLES_WIDTH;

// The most values one pose holds (a rotation).
inline constexpr std::size_t MAX_POSE_VALUES = MATRIX_WIDTH;

}  // namespace quorbel::arrays
