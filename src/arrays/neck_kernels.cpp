// The neck's kernels, its kinematics and its velocity: no geometry, input
// buffers and the result buffer, each checked by its signature before the
// core's batch function (quorbel/batch.hpp) runs.
#include <quorbel/batch.hpp>

#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

constexpr KernelSignature neck_fk_signature = {
    "neck_fk", false, 2, {NECK_ANGLES, result_of_width(MATRIX_WIDTH)}};
constexpr KernelSignature neck_ik_signature = {
    "neck_ik", false, 2, {ROTATION, result_of_width(NECK_ANGLES_WIDTH)}};
constexpr KernelSignature neck_reachable_signature = {
    "neck_reachable", false, 2, {ROTATION, REACHABLE_RESULT}};
constexpr KernelSignature neck_angular_jacobian_signature = {
    "neck_angular_jacobian", false, 2, {NECK_ANGLES, result_of_width(MATRIX_WIDTH)}};
constexpr KernelSignature neck_joint_rates_signature = {
    "neck_joint_rates", false, 3, {NECK_ANGLES, OMEGA, result_of_width(NECK_ANGLES_WIDTH)}};

PyObject* neck_fk_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(neck_fk_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_fk(call.values(0), call.count(), call.results(1));
    });
}

PyObject* neck_ik_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(neck_ik_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_ik(call.values(0), call.count(), call.results(1));
    });
}

PyObject* neck_reachable_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(neck_reachable_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_reachable(call.values(0), call.count(), call.flags(1));
    });
}

PyObject* neck_angular_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(neck_angular_jacobian_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        batch::neck_angular_jacobian(call.values(0), call.count(), call.results(1));
    });
}

PyObject* neck_joint_rates_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(neck_joint_rates_signature, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_joint_rates(call.values(0), call.values(1), call.count(), call.results(2));
    });
}

}  // namespace quorbel::arrays
