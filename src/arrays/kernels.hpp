// The kernels of quorbel_torso._kernels, for the module's method table. Each
// takes its arguments by position (METH_FASTCALL) and returns None after
// filling its result buffers; those that take a Binding are also in the table
// as name_single, which takes one pose and returns its results or None (see
// Binding and run_kernel). The exceptions: prepared_arm, which returns a
// capsule, read_arm_json, which returns the
// geometry as (arm_arc, coupler_arc, mirror, branch), torso_from_json, which
// returns a capsule holding the torso that torso_to_json and torso_look_at
// take first, and the two that return torso.json text.
#pragma once

#include "arrays/kernel_call.hpp"
#include "python_shared/python_api.hpp"

namespace quorbel::arrays {

PyObject* arm_fk_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_reachable_joints_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_ik_from_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_reachable_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_ik_solutions_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_ik_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_reachable_orientation_kernel(Binding binding, PyObject* const* args,
                                           Py_ssize_t nargs);
PyObject* arm_direction_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_angular_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_singular_values_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_joint_rates_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_nearest_reachable_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_ik_from_direction_within_kernel(Binding binding, PyObject* const* args,
                                              Py_ssize_t nargs);
PyObject* arm_ik_solutions_within_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_ik_within_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* arm_nearest_reachable_within_kernel(Binding binding, PyObject* const* args,
                                              Py_ssize_t nargs);
PyObject* arm_nearest_frame_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);

PyObject* neck_fk_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* neck_ik_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* neck_reachable_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* neck_angular_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);
PyObject* neck_joint_rates_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs);

// The capsule of one arm (PREPARED_ARM) from its four geometry arguments.
PyObject* prepared_arm_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

PyObject* read_arm_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

PyObject* torso_from_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* torso_to_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* example_torso_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* torso_look_at_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

// The SIMD lanes (simd_choice.cpp): the module's exec slot applies
// QUORBEL_TORSO_SIMD; simd, available_simd and use_simd report and switch.
int use_simd_from_environment(PyObject* module);
PyObject* simd_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* available_simd_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* use_simd_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

}  // namespace quorbel::arrays
