// One pose's values read straight from the Python objects a caller passes for
// a single pose, so that one pose skips the package's NumPy broadcasting.
#pragma once

#include <cstddef>

#include "python_shared/python_api.hpp"

namespace quorbel::arrays {

// The most values one pose holds (a rotation).
inline constexpr std::size_t MAX_POSE_VALUES = 9;

// Reads one pose of `width` values (1: an angle, shape (); 9: a rotation,
// shape (3, 3); otherwise a row, shape (width,)) into `values`. It takes only
// what NumPy would read as float64 values equal to these, whatever the path:
// a Python float (NumPy's float64 included), a bool, an int of magnitude at
// most 2**53, a list or tuple of them of the pose's shape, or a native
// float64 buffer of exactly that shape. False, with no error set, for
// anything else: the package then takes its batch path, whose checks word
// every error.
bool read_single_pose(PyObject* obj, std::size_t width, double* values);

}  // namespace quorbel::arrays
