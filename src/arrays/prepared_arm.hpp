// The arm a kernel computes with, built from the plain geometry it receives
// (arm_arc, coupler_arc, mirror, branch), and kept in the capsule of
// prepared_arm (PREPARED_ARM) for the single calls, which take it instead of
// those four arguments.
#pragma once

#include <quorbel/arm/geometry.hpp>
#include "python_shared/python_api.hpp"

namespace quorbel::arrays {

// The arm's core object, built from the plain geometry the kernels receive.
Arm prepare_arm(double arm_arc, double coupler_arc, bool mirror, bool negative_branch) noexcept;

// The arm in a capsule of prepared_arm; nullptr with the error set for any
// other object.
const Arm* prepared_arm_of(PyObject* capsule);

}  // namespace quorbel::arrays
