// The kernels of velocity kinematics and of the nearest reachable direction,
// the arm's then the neck's: geometry, inputs, results, as in arm_kernels.cpp.
#include "arrays/batch_velocity.hpp"
#include <quorbel/batch.hpp>

#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

constexpr KernelParameter THETA_A = {"theta_a", Element::float64, 1, Access::read};
constexpr KernelParameter THETA_B = {"theta_b", Element::float64, 1, Access::read};
constexpr KernelParameter DIRECTION_RATE = {"direction_rate", Element::float64, 3, Access::read};
constexpr KernelParameter V3 = {"v3", Element::float64, 3, Access::read};
constexpr KernelParameter NEAR = {"near", Element::float64, 2, Access::optional_read};
constexpr KernelParameter JOINTS = {"joints", Element::float64, 3, Access::read};
constexpr KernelParameter OMEGA = {"omega", Element::float64, 3, Access::read};

constexpr KernelSignature DIRECTION_JACOBIAN = {"arm_direction_jacobian", true, 3,
                                                {THETA_A, THETA_B, result_of_width(6)}};
constexpr KernelSignature ANGULAR_JACOBIAN = {"arm_angular_jacobian", true, 3,
                                              {THETA_A, THETA_B, result_of_width(6)}};
constexpr KernelSignature SINGULAR_VALUES = {"arm_singular_values", true, 3,
                                             {THETA_A, THETA_B, result_of_width(2)}};
constexpr KernelSignature JOINT_RATES = {
    "arm_joint_rates", true, 5,
    {THETA_A, THETA_B, DIRECTION_RATE, number_named("damping"), result_of_width(2)}};
constexpr KernelSignature NEAREST_REACHABLE = {
    "arm_nearest_reachable", true, 4,
    {V3, NEAR, result_of_width(3, "out_directions"), result_of_width(2, "out_joints")}};
constexpr KernelSignature NECK_ANGULAR_JACOBIAN = {"neck_angular_jacobian", false, 2,
                                                   {JOINTS, result_of_width(9)}};
constexpr KernelSignature NECK_JOINT_RATES = {"neck_joint_rates", false, 3,
                                              {JOINTS, OMEGA, result_of_width(3)}};

}  // namespace

PyObject* arm_direction_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(DIRECTION_JACOBIAN, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_direction_jacobian(call.arm(), call.values(0), call.values(1), call.count(),
                               call.results(2));
    });
}

PyObject* arm_angular_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(ANGULAR_JACOBIAN, binding, args, nargs, [](const KernelCall& call) {
        arm_angular_jacobian(call.arm(), call.values(0), call.values(1), call.count(),
                             call.results(2));
    });
}

PyObject* arm_singular_values_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(SINGULAR_VALUES, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_singular_values(call.arm(), call.values(0), call.values(1), call.count(),
                            call.results(2));
    });
}

PyObject* arm_joint_rates_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(JOINT_RATES, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_joint_rates(call.arm(), call.values(0), call.values(1), call.values(2),
                        call.number(3), call.count(), call.results(4));
    });
}

PyObject* arm_nearest_reachable_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(NEAREST_REACHABLE, binding, args, nargs, [](const KernelCall& call) {
        arm_nearest_reachable(call.arm(), call.values(0), call.values(1), call.count(),
                              call.results(2), call.results(3));
    });
}

PyObject* neck_angular_jacobian_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(NECK_ANGULAR_JACOBIAN, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_angular_jacobian(call.values(0), call.count(), call.results(1));
    });
}

PyObject* neck_joint_rates_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(NECK_JOINT_RATES, binding, args, nargs, [](const KernelCall& call) {
        batch::neck_joint_rates(call.values(0), call.values(1), call.count(), call.results(2));
    });
}

}  // namespace quorbel::arrays
