// The neck's kernels, its kinematics and its velocity: no geometry, input
// buffers and the result buffer, each checked by its signature before the
// core's batch function (quorbel/batch.hpp) runs.
#include <quorbel/batch.hpp>

#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

constexpr KernelSignature FK = {"neck_fk", false, 2,
                                {NECK_ANGLES, result_of_width(MATRIX_WIDTH)}};
constexpr KernelSignature IK = {"neck_ik", false, 2,
                                {ROTATION, result_of_width(NECK_ANGLES_WIDTH)}};
constexpr KernelSignature REACHABLE = {"neck_reachable", false, 2, {ROTATION, REACHABLE_RESULT}};
constexpr KernelSignature ANGULAR_JACOBIAN = {"neck_angular_jacobian", false, 2,
                                              {NECK_ANGLES, result_of_width(MATRIX_WIDTH)}};
constexpr KernelSignature JOINT_RATES = {"neck_joint_rates", false, 3,
                                         {NECK_ANGLES, OMEGA, result_of_width(NECK_ANGLES_WIDTH)}};

}  // namespace

PyObject* neck_fk_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(FK, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_fk(call.values(0), call.count(), call.results(1));
    });
}

PyObject* neck_ik_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(IK, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_ik(call.values(0), call.count(), call.results(1));
    });
}

PyObject* neck_reachable_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(REACHABLE, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_reachable(call.values(0), call.count(), call.flags(1));
    });
}

PyObject* neck_angular_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(ANGULAR_JACOBIAN, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_angular_jacobian(call.values(0), call.count(), call.results(1));
    });
}

PyObject* neck_joint_rates_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(JOINT_RATES, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_joint_rates(call.values(0), call.values(1), call.count(), call.results(2));
    });
}

}  // namespace quorbel::arrays
