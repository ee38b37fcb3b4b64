// The kernels of the arm's inverse kinematics with options: the geometry, the
// input buffer, `near` and `limits` (each None or a buffer), `wrap` (a number,
// nonzero for angle-wise near), then the result buffers.
#include "arrays/batch_options.hpp"
#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

constexpr KernelParameter V3 = {"v3", Element::float64, 3, Access::read};
constexpr KernelParameter R_TARGET = {"r_target", Element::float64, 9, Access::read};
constexpr KernelParameter NEAR = {"near", Element::float64, 2, Access::optional_read};
constexpr KernelParameter LIMITS = {"limits", Element::float64, 4, Access::optional_read};
constexpr KernelParameter WRAP = number_named("wrap");

constexpr KernelSignature IK_FROM_DIRECTION = {"arm_ik_from_direction_within", true, 5,
                                               {V3, NEAR, LIMITS, WRAP, result_of_width(2)}};
constexpr KernelSignature IK_SOLUTIONS = {"arm_ik_solutions_within", true, 5,
                                          {V3, NEAR, LIMITS, WRAP, result_of_width(8)}};
constexpr KernelSignature IK = {"arm_ik_within", true, 5,
                                {R_TARGET, NEAR, LIMITS, WRAP, result_of_width(2)}};
constexpr KernelSignature NEAREST_REACHABLE = {
    "arm_nearest_reachable_within", true, 6,
    {V3, NEAR, LIMITS, WRAP, result_of_width(3, "out_directions"),
     result_of_width(2, "out_joints")}};
constexpr KernelSignature NEAREST_FRAME = {
    "arm_nearest_frame", true, 7,
    {R_TARGET, NEAR, LIMITS, WRAP, result_of_width(2, "out_joints"),
     result_of_width(1, "out_angles"), result_of_width(1, "out_misses")}};

OptionBuffers options_of(const KernelCall& call) {
    return {call.values(1), call.values(2), call.number(3) != 0.0};
}

}  // namespace

PyObject* arm_ik_from_direction_within_kernel(Binding binding, PyObject* const* args,
                                              Py_ssize_t nargs) {
    return run_kernel(IK_FROM_DIRECTION, binding, args, nargs, [](const KernelCall& call) {
        arm_ik_from_direction_within(call.arm(), call.values(0), options_of(call), call.count(),
                                     call.results(4));
    });
}

PyObject* arm_ik_solutions_within_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(IK_SOLUTIONS, binding, args, nargs, [](const KernelCall& call) {
        arm_ik_solutions_within(call.arm(), call.values(0), options_of(call), call.count(),
                                call.results(4));
    });
}

PyObject* arm_ik_within_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(IK, binding, args, nargs, [](const KernelCall& call) {
        arm_ik_within(call.arm(), call.values(0), options_of(call), call.count(),
                      call.results(4));
    });
}

PyObject* arm_nearest_reachable_within_kernel(Binding binding, PyObject* const* args,
                                              Py_ssize_t nargs) {
    return run_kernel(NEAREST_REACHABLE, binding, args, nargs, [](const KernelCall& call) {
        arm_nearest_reachable_within(call.arm(), call.values(0), options_of(call), call.count(),
                                     call.results(4), call.results(5));
    });
}

PyObject* arm_nearest_frame_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(NEAREST_FRAME, binding, args, nargs, [](const KernelCall& call) {
        arm_nearest_frame(call.arm(), call.values(0), options_of(call), call.count(),
                          call.results(4), call.results(5), call.results(6));
    });
}

}  // namespace quorbel::arrays
