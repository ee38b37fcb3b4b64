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

// The kernels over poses, in the module's order, listed once: each is
// name_kernel, run by its signature name_signature (defined beside it).
#define QTK_POSE_KERNELS(X) \
    X(arm_fk) \
    X(arm_direction) \
    X(arm_reachable_joints) \
    X(arm_ik_from_direction) \
    X(arm_reachable_direction) \
    X(arm_ik_solutions) \
    X(arm_ik) \
    X(arm_reachable_orientation) \
    X(arm_direction_jacobian) \
    X(arm_angular_jacobian) \
    X(arm_singular_values) \
    X(arm_joint_rates) \
    X(arm_nearest_reachable) \
    X(arm_ik_from_direction_within) \
    X(arm_ik_solutions_within) \
    X(arm_ik_within) \
    X(arm_nearest_reachable_within) \
    X(arm_nearest_frame) \
    X(neck_fk) \
    X(neck_ik) \
    X(neck_reachable) \
    X(neck_angular_jacobian) \
    X(neck_joint_rates)

namespace quorbel::arrays {

#define QTK_DECLARE_POSE_KERNEL(name)                                                  \
    PyObject* name##_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs); \
    extern const KernelSignature name##_signature;
QTK_POSE_KERNELS(QTK_DECLARE_POSE_KERNEL)
#undef QTK_DECLARE_POSE_KERNEL

// The capsule of one arm (PREPARED_ARM) from its four geometry arguments.
PyObject* prepared_arm_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

PyObject* read_arm_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

PyObject* torso_from_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* torso_to_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* example_torso_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* torso_look_at_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
extern const KernelSignature torso_look_at_signature;

// kernel_signatures() -> {name: (takes_arm, ((parameter, element, width,
// access), ...))} for every kernel that binds buffers: what the package's
// Python layer and the stub must agree with.
PyObject* kernel_signatures_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

// The SIMD lanes (simd_choice.cpp): the module's exec slot applies
// QUORBEL_TORSO_SIMD; simd, available_simd and use_simd report and switch.
int use_simd_from_environment(PyObject* module);
PyObject* simd_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* available_simd_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);
PyObject* use_simd_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs);

}  // namespace quorbel::arrays
