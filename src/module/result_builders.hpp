// Kinematic results as new Python objects: floats, lists for vectors and
// matrices (rows in order), tuples for joint pairs and the neck's angles.
// Each returns a new reference, or nullptr with MemoryError set and nothing
// half-built left behind.
#pragma once

#include <quorbel/arm/joint_pair.hpp>
#include <quorbel/maths/vector.hpp>
#include <quorbel/neck/neck_kinematics.hpp>

#include "python_shared/python_api.hpp"

namespace quorbel::module {

inline PyObject* from_double(double value) { return PyFloat_FromDouble(value); }
inline PyObject* from_bool(bool value) { return Py_NewRef(value ? Py_True : Py_False); }

PyObject* from_vec3(Vec3 v);
PyObject* from_mat3(const Mat3& m);
PyObject* from_joint_pair(JointPair pair);
PyObject* from_neck_angles(NeckAngles angles);

}  // namespace quorbel::module
