// The kinematics over contiguous arrays of poses, for the array package's
// kernels: pose i reads its inputs at i times their width (1 for an angle, 2
// for a joint pair, 3 for a vector, 9 for a row-major matrix) and writes its
// result there. Each pose is exactly one call of the core on the same
// doubles; where that call has no result the pose's outputs are NaN and its
// reachability is false. No Python, no allocation, no exception.
#pragma once

#include <cstddef>

#include <quorbel/arm/geometry.hpp>

namespace quorbel::arrays {

// The arm's core object, built from the plain geometry the kernels receive.
Arm prepare_arm(double arm_arc, double coupler_arc, bool mirror, bool negative_branch) noexcept;

// forward_kinematics(arm, theta_a[i], theta_b[i])->rotation into rotations[9i..].
void arm_fk(const Arm& arm, const double* theta_a, const double* theta_b,
            std::size_t count, double* rotations) noexcept;
// pointing_direction(arm, theta_a[i], theta_b[i]) into directions[3i..].
void arm_direction(const Arm& arm, const double* theta_a, const double* theta_b,
                   std::size_t count, double* directions) noexcept;
// Whether pointing_direction has a value: where arm_fk succeeds.
void arm_reachable_joints(const Arm& arm, const double* theta_a,
                          const double* theta_b, std::size_t count, bool* reachable) noexcept;

// ik_from_direction(arm, directions[3i..], near) into joints[2i..]; `near` is null
// for no preference, else a joint pair per pose.
void arm_ik_from_direction(const Arm& arm, const double* directions, const double* near,
                           std::size_t count, double* joints) noexcept;
void arm_reachable_direction(const Arm& arm, const double* directions, std::size_t count,
                             bool* reachable) noexcept;
// ik_solutions(arm, directions[3i..]): four joint pairs per pose, joints[8i..].
void arm_ik_solutions(const Arm& arm, const double* directions, std::size_t count,
                      double* joints) noexcept;

// ik(arm, r_target[9i..]) into joints[2i..].
void arm_ik(const Arm& arm, const double* r_target, std::size_t count,
            double* joints) noexcept;
void arm_reachable_orientation(const Arm& arm, const double* r_target,
                               std::size_t count, bool* reachable) noexcept;

// neck_forward_kinematics of joints[3i..] (yaw, pitch, roll) into rotations[9i..].
void neck_fk(const double* joints, std::size_t count, double* rotations) noexcept;
// neck_inverse_kinematics(r[9i..]) into angles[3i..] as (yaw, pitch, roll).
void neck_ik(const double* r, std::size_t count, double* angles) noexcept;
void neck_reachable(const double* r, std::size_t count, bool* reachable) noexcept;

}  // namespace quorbel::arrays
