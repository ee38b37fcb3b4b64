// The one place the kernels include NumPy's C API, for a single pose's
// fresh results and its array inputs: a call through numpy.empty and the
// buffer protocol costs about what one pose's kinematics costs. The batch
// kernels keep the buffer protocol: the package hands them arrays it made.
//
// Built against NumPy 2's headers for NumPy 1.24's API (NPY_TARGET_VERSION,
// set by CMake), so that one build runs under every NumPy the package allows.
// The API's table of functions is defined in numpy_api.cpp and filled when
// the module is executed.
#pragma once

#include "python_shared/python_api.hpp"

#define PY_ARRAY_UNIQUE_SYMBOL QTK_NUMPY_ARRAY_API
#ifndef QTK_NUMPY_API_DEFINITION
#define NO_IMPORT_ARRAY
#endif
#include <numpy/arrayobject.h>

namespace quorbel::arrays {

// The module's exec slot: loads NumPy's API table; -1 with the ImportError
// set where NumPy is missing or older than the API built for.
int import_numpy_api(PyObject* module);

}  // namespace quorbel::arrays
