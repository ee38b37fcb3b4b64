// The arm's kinematics kernels: the arm's geometry, then input buffers, then
// the result buffer, each checked by its signature before the core's batch
// function (quorbel/batch.hpp) runs.
#include <quorbel/batch.hpp>

#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

constexpr KernelSignature FK = {"arm_fk", true, 3,
                                {THETA_A, THETA_B, result_of_width(MATRIX_WIDTH)}};
constexpr KernelSignature DIRECTION_OF_JOINTS = {"arm_direction", true, 3,
                                                 {THETA_A, THETA_B, result_of_width(VECTOR_WIDTH)}};
constexpr KernelSignature REACHABLE_JOINTS = {"arm_reachable_joints", true, 3,
                                              {THETA_A, THETA_B, REACHABLE_RESULT}};
constexpr KernelSignature IK_FROM_DIRECTION = {"arm_ik_from_direction", true, 3,
                                               {DIRECTION, NEAR,
                                                result_of_width(JOINT_PAIR_WIDTH)}};
constexpr KernelSignature REACHABLE_DIRECTION = {"arm_reachable_direction", true, 2,
                                                 {DIRECTION, REACHABLE_RESULT}};
constexpr KernelSignature IK_SOLUTIONS = {"arm_ik_solutions", true, 2,
                                          {DIRECTION, result_of_width(SOLUTIONS_WIDTH)}};
constexpr KernelSignature IK = {"arm_ik", true, 2,
                                {R_TARGET, result_of_width(JOINT_PAIR_WIDTH)}};
constexpr KernelSignature REACHABLE_ORIENTATION = {"arm_reachable_orientation", true, 2,
                                                   {R_TARGET, REACHABLE_RESULT}};

}  // namespace

PyObject* arm_fk_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(FK, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_fk(call.arm(), call.values(0), call.values(1), call.count(), call.results(2));
    });
}

PyObject* arm_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(DIRECTION_OF_JOINTS, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_direction(call.arm(), call.values(0), call.values(1), call.count(), call.results(2));
    });
}

PyObject* arm_reachable_joints_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(REACHABLE_JOINTS, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_reachable_joints(call.arm(), call.values(0), call.values(1), call.count(),
                             call.flags(2));
    });
}

PyObject* arm_ik_from_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(IK_FROM_DIRECTION, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_ik_from_direction(call.arm(), call.values(0), call.values(1), call.count(),
                              call.results(2));
    });
}

PyObject* arm_reachable_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(REACHABLE_DIRECTION, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_reachable_direction(call.arm(), call.values(0), call.count(), call.flags(1));
    });
}

PyObject* arm_ik_solutions_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(IK_SOLUTIONS, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_ik_solutions(call.arm(), call.values(0), call.count(), call.results(1));
    });
}

PyObject* arm_ik_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(IK, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_ik(call.arm(), call.values(0), call.count(), call.results(1));
    });
}

PyObject* arm_reachable_orientation_kernel(Binding binding, PyObject* const* args,
                                           Py_ssize_t nargs) {
    return run_kernel(REACHABLE_ORIENTATION, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_reachable_orientation(call.arm(), call.values(0), call.count(), call.flags(1));
    });
}

}  // namespace quorbel::arrays
