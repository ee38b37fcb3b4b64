// The arm's inverse kinematics with options over contiguous arrays of poses:
// the core's batch loops (quorbel/batch.hpp) with joint limits and angle-wise near,
// and the nearest frame to a rotation. A pose reads `near` (2 doubles) and
// `limits` (4: lower and upper of theta_a, then of theta_b) at i times their
// width; either buffer may be null (no near, no limits). `wrap` selects
// NearMode::angles. No Python, no allocation, no exception.
#pragma once

#include <cstddef>

#include <quorbel/arm/geometry.hpp>

namespace quorbel::arrays {

struct OptionBuffers {
    const double* near;
    const double* limits;
    bool wrap;
};

void arm_ik_from_direction_within(const Arm& arm, const double* directions, OptionBuffers options,
                                  std::size_t count, double* joints) noexcept;
void arm_ik_solutions_within(const Arm& arm, const double* directions, OptionBuffers options,
                             std::size_t count, double* joints) noexcept;
void arm_ik_within(const Arm& arm, const double* r_target, OptionBuffers options,
                   std::size_t count, double* joints) noexcept;
void arm_nearest_reachable_within(const Arm& arm, const double* directions,
                                  OptionBuffers options, std::size_t count, double* reached,
                                  double* joints) noexcept;
// ik_nearest_frame into joints[2i..], angles[i] and misses[i] (the FrameMiss
// as 0, 1, 2; all NaN where there is no answer).
void arm_nearest_frame(const Arm& arm, const double* r_target, OptionBuffers options,
                       std::size_t count, double* joints, double* angles,
                       double* misses) noexcept;

}  // namespace quorbel::arrays
