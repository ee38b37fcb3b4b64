// The arm's velocity kinematics and nearest reachable direction over
// contiguous arrays of poses where the core's batch functions do not cover
// them (quorbel/batch.hpp has the direction Jacobian, the singular values,
// the joint rates and the neck's), laid out as there (pose_widths.hpp: a 3x2
// Jacobian is 6 doubles, row by row). Each pose is one call of the core on
// the same doubles; where it has no result the pose's outputs are NaN. No
// Python, no allocation, no exception.
#pragma once

#include <cstddef>

#include <quorbel/arm/geometry.hpp>

namespace quorbel::arrays {

// angular_jacobian(arm, theta_a[i], theta_b[i]) into jacobians[6i..].
void arm_angular_jacobian(const Arm& arm, const double* theta_a, const double* theta_b,
                          std::size_t count, double* jacobians) noexcept;
// nearest_reachable(arm, directions[3i..], near) into reached[3i..] and
// joints[2i..]; `near` is null for no preference, else a joint pair per pose.
void arm_nearest_reachable(const Arm& arm, const double* directions, const double* near,
                           std::size_t count, double* reached, double* joints) noexcept;

}  // namespace quorbel::arrays
