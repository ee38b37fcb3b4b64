// The arm's kernels of inverse kinematics with options: the geometry, the
// input buffer, `near` and `limits` (each None or a buffer), `wrap` (a number,
// nonzero for angle-wise near), then the result buffers.
#include "arrays/arm_option_loops.hpp"
#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

constexpr KernelSignature arm_ik_from_direction_within_signature = {
    "arm_ik_from_direction_within", true, 5,
    {DIRECTION, NEAR, LIMITS, WRAP, result_of_width(JOINT_PAIR_WIDTH)}};
constexpr KernelSignature arm_ik_solutions_within_signature = {
    "arm_ik_solutions_within", true, 5,
    {DIRECTION, NEAR, LIMITS, WRAP, result_of_width(SOLUTIONS_WIDTH)}};
constexpr KernelSignature arm_ik_within_signature = {
    "arm_ik_within", true, 5, {R_TARGET, NEAR, LIMITS, WRAP, result_of_width(JOINT_PAIR_WIDTH)}};
constexpr KernelSignature arm_nearest_reachable_within_signature = {
    "arm_nearest_reachable_within", true, 6,
    {DIRECTION, NEAR, LIMITS, WRAP, result_of_width(VECTOR_WIDTH, "out_directions"),
     result_of_width(JOINT_PAIR_WIDTH, "out_joints")}};
constexpr KernelSignature arm_nearest_frame_signature = {
    "arm_nearest_frame", true, 7,
    {R_TARGET, NEAR, LIMITS, WRAP, result_of_width(JOINT_PAIR_WIDTH, "out_joints"),
     result_of_width(ANGLE_WIDTH, "out_angles"), result_of_width(1, "out_misses")}};

namespace {

OptionBuffers options_of(const KernelCall& call) {
    return {call.values(1), call.values(2), call.number(3) != 0.0};
}

}  // namespace

PyObject* arm_ik_from_direction_within_kernel(Binding binding, PyObject* const* args,
                                              Py_ssize_t nargs) {
    return run_kernel(arm_ik_from_direction_within_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        arm_ik_from_direction_within(call.arm(), call.values(0), options_of(call), call.count(),
                                     call.results(4));
    });
}

PyObject* arm_ik_solutions_within_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_ik_solutions_within_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        arm_ik_solutions_within(call.arm(), call.values(0), options_of(call), call.count(),
                                call.results(4));
    });
}

PyObject* arm_ik_within_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_ik_within_signature, binding, args, nargs, [](const KernelCall& call) {
        arm_ik_within(call.arm(), call.values(0), options_of(call), call.count(),
                      call.results(4));
    });
}

PyObject* arm_nearest_reachable_within_kernel(Binding binding, PyObject* const* args,
                                              Py_ssize_t nargs) {
    return run_kernel(arm_nearest_reachable_within_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        arm_nearest_reachable_within(call.arm(), call.values(0), options_of(call), call.count(),
                                     call.results(4), call.results(5));
    });
}

PyObject* arm_nearest_frame_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(arm_nearest_frame_signature, binding, args, nargs,
                      [](const KernelCall& call) {
        arm_nearest_frame(call.arm(), call.values(0), options_of(call), call.count(),
                          call.results(4), call.results(5), call.results(6));
    });
}

}  // namespace quorbel::arrays
