// The arm a kernel computes with, built from the plain geometry it receives
// (arm_arc, coupler_arc, mirror, branch), and kept in the capsule of
// prepared_arm (PREPARED_ARM) for the single calls, which take it instead of
// those four arguments.
#pragma once

#include <quorbel/arm/geometry.hpp>

namespace quorbel::arrays {

// The arm's core object, built from the plain geometry the kernels receive.
Arm prepare_arm(double arm_arc, double coupler_arc, bool mirror, bool negative_branch) noexcept;

}  // namespace quorbel::arrays
