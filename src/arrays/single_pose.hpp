// One pose in and out of a kernel without the package's NumPy broadcasting:
// its values read straight from the Python objects the caller passed, its
// results fresh NumPy arrays of one pose's shape, as the batch path makes
// them for a 0-d batch.
#pragma once

#include <cstddef>

#include "arrays/pose_widths.hpp"
#include "python_shared/python_api.hpp"

namespace quorbel::arrays {

// Reads one pose of `width` values (1: an angle, shape (); 9: a rotation,
// shape (3, 3); otherwise a row, shape (width,)) into `values`. It takes only
// what NumPy would read as float64 values equal to these, whatever the path:
// a Python float (NumPy's float64 included), a bool, an int of magnitude at
// most 2**53, a list or tuple of them of the pose's shape, or a native
// float64 buffer of exactly that shape. False, with no error set, for
// anything else: the package then takes its batch path, whose checks word
// every error.
bool read_single_pose(PyObject* obj, std::size_t width, double* values);

// A new, uninitialised NumPy array for one pose's result, as numpy.empty
// makes it: a truth value of shape () (bool), or `width` float64 values of
// shape () for 1, (3, 2) for 6 (a Jacobian), (4, 2) for 8 (the candidates of
// ik_solutions), (3, 3) for 9, (width,) otherwise; `data` receives its
// values' address. nullptr with the error set.
PyObject* new_single_result(std::size_t width, bool boolean, void** data);

}  // namespace quorbel::arrays
