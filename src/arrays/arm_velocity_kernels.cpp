// The arm's kernels of velocity kinematics and of the nearest reachable
// direction: geometry, inputs, results, as in arm_kernels.cpp.
#include <quorbel/batch.hpp>

#include "arrays/arm_velocity_loops.hpp"
#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

constexpr KernelSignature arm_direction_jacobian_signature = {
    "arm_direction_jacobian", true, 3, {THETA_A, THETA_B, result_of_width(JACOBIAN_WIDTH)}};
constexpr KernelSignature arm_angular_jacobian_signature = {
    "arm_angular_jacobian", true, 3, {THETA_A, THETA_B, result_of_width(JACOBIAN_WIDTH)}};
constexpr KernelSignature arm_singular_values_signature = {
    "arm_singular_values", true, 3, {THETA_A, THETA_B, result_of_width(SINGULAR_VALUES_WIDTH)}};
constexpr KernelSignature arm_joint_rates_signature = {
    "arm_joint_rates", true, 5,
    {THETA_A, THETA_B, DIRECTION_RATE, number_named("damping"),
     result_of_width(JOINT_PAIR_WIDTH)}};
constexpr KernelSignature arm_nearest_reachable_signature = {
    "arm_nearest_reachable", true, 4,
    {DIRECTION, NEAR, result_of_width(VECTOR_WIDTH, "out_directions"),
     result_of_width(JOINT_PAIR_WIDTH, "out_joints")}};

PyObject* arm_direction_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_direction_jacobian_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        batch::arm_direction_jacobian(call.arm(), call.values(0), call.values(1), call.count(),
                               call.results(2));
    });
}

PyObject* arm_angular_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_angular_jacobian_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        arm_angular_jacobian(call.arm(), call.values(0), call.values(1), call.count(),
                             call.results(2));
    });
}

PyObject* arm_singular_values_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_singular_values_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        batch::arm_singular_values(call.arm(), call.values(0), call.values(1), call.count(),
                            call.results(2));
    });
}

PyObject* arm_joint_rates_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_joint_rates_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_joint_rates(call.arm(), call.values(0), call.values(1), call.values(2),
                        call.number(3), call.count(), call.results(4));
    });
}

PyObject* arm_nearest_reachable_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_nearest_reachable_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        arm_nearest_reachable(call.arm(), call.values(0), call.values(1), call.count(),
                              call.results(2), call.results(3));
    });
}

}  // namespace quorbel::arrays
