// The arm's kinematics kernels: the arm's geometry, then input buffers, then
// the result buffer, each checked by its signature before the core's batch
// function (quorbel/batch.hpp) runs.
#include <quorbel/batch.hpp>

#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

constexpr KernelSignature arm_fk_signature = {
    "arm_fk", true, 3, {THETA_A, THETA_B, result_of_width(MATRIX_WIDTH)}};
constexpr KernelSignature arm_direction_signature = {
    "arm_direction", true, 3, {THETA_A, THETA_B, result_of_width(VECTOR_WIDTH)}};
constexpr KernelSignature arm_reachable_joints_signature = {
    "arm_reachable_joints", true, 3, {THETA_A, THETA_B, REACHABLE_RESULT}};
constexpr KernelSignature arm_ik_from_direction_signature = {
    "arm_ik_from_direction", true, 3, {DIRECTION, NEAR, result_of_width(JOINT_PAIR_WIDTH)}};
constexpr KernelSignature arm_reachable_direction_signature = {
    "arm_reachable_direction", true, 2, {DIRECTION, REACHABLE_RESULT}};
constexpr KernelSignature arm_ik_solutions_signature = {
    "arm_ik_solutions", true, 2, {DIRECTION, result_of_width(SOLUTIONS_WIDTH)}};
constexpr KernelSignature arm_ik_signature = {
    "arm_ik", true, 2, {R_TARGET, result_of_width(JOINT_PAIR_WIDTH)}};
constexpr KernelSignature arm_reachable_orientation_signature = {
    "arm_reachable_orientation", true, 2, {R_TARGET, REACHABLE_RESULT}};

PyObject* arm_fk_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_fk_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_fk(call.arm(), call.values(0), call.values(1), call.count(), call.results(2));
    });
}

PyObject* arm_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_direction_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_direction(call.arm(), call.values(0), call.values(1), call.count(),
                             call.results(2));
    });
}

PyObject* arm_reachable_joints_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_reachable_joints_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        batch::arm_reachable_joints(call.arm(), call.values(0), call.values(1), call.count(),
                                    call.flags(2));
    });
}

PyObject* arm_ik_from_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_ik_from_direction_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        batch::arm_ik_from_direction(call.arm(), call.values(0), call.values(1), call.count(),
                                     call.results(2));
    });
}

PyObject* arm_reachable_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_reachable_direction_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        batch::arm_reachable_direction(call.arm(), call.values(0), call.count(), call.flags(1));
    });
}

PyObject* arm_ik_solutions_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_ik_solutions_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_ik_solutions(call.arm(), call.values(0), call.count(), call.results(1));
    });
}

PyObject* arm_ik_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_ik_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_ik(call.arm(), call.values(0), call.count(), call.results(1));
    });
}

PyObject* arm_reachable_orientation_kernel(Binding binding, PyObject* const* args,
                                           Py_ssize_t nargs) {
    return run_kernel(arm_reachable_orientation_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        batch::arm_reachable_orientation(call.arm(), call.values(0), call.count(), call.flags(1));
    });
}

}  // namespace quorbel::arrays
