// The arm the kernels compute with, from the plain geometry they receive.
// The kinematics over arrays of poses are the core's batch functions
// (quorbel/batch.hpp: pose i reads its inputs at i times their width, 1 for
// an angle, 2 for a joint pair, 3 for a vector, 9 for a row-major matrix,
// and writes its result there, NaN where the per-pose function has none);
// the kernels call them directly.
#pragma once

#include <cstddef>

#include <quorbel/arm/geometry.hpp>

namespace quorbel::arrays {

// The arm's core object, built from the plain geometry the kernels receive.
Arm prepare_arm(double arm_arc, double coupler_arc, bool mirror, bool negative_branch) noexcept;

}  // namespace quorbel::arrays
