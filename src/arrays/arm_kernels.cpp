// The arm's kernels: the arm's geometry, then input buffers, then the result
// buffer, each checked by its signature before the core's batch function
// (quorbel/batch.hpp) runs; and the arm prepared once for the single calls.
#include <new>

#include <quorbel/batch.hpp>

#include "arrays/batch_kinematics.hpp"
#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

constexpr KernelParameter THETA_A = {"theta_a", Element::float64, 1, Access::read};
constexpr KernelParameter THETA_B = {"theta_b", Element::float64, 1, Access::read};
constexpr KernelParameter V3 = {"v3", Element::float64, 3, Access::read};
constexpr KernelParameter NEAR = {"near", Element::float64, 2, Access::optional_read};
constexpr KernelParameter R_TARGET = {"r_target", Element::float64, 9, Access::read};

constexpr KernelSignature PREPARED = {"prepared_arm", true, 0, {}};

void destroy_prepared_arm(PyObject* capsule) {
    delete static_cast<Arm*>(PyCapsule_GetPointer(capsule, PREPARED_ARM));
}

constexpr KernelSignature FK = {"arm_fk", true, 3, {THETA_A, THETA_B, result_of_width(9)}};
constexpr KernelSignature DIRECTION = {"arm_direction", true, 3,
                                       {THETA_A, THETA_B, result_of_width(3)}};
constexpr KernelSignature REACHABLE_JOINTS = {"arm_reachable_joints", true, 3,
                                              {THETA_A, THETA_B, REACHABLE_RESULT}};
constexpr KernelSignature IK_FROM_DIRECTION = {"arm_ik_from_direction", true, 3,
                                               {V3, NEAR, result_of_width(2)}};
constexpr KernelSignature REACHABLE_DIRECTION = {"arm_reachable_direction", true, 2,
                                                 {V3, REACHABLE_RESULT}};
constexpr KernelSignature IK_SOLUTIONS = {"arm_ik_solutions", true, 2,
                                          {V3, result_of_width(8)}};
constexpr KernelSignature IK = {"arm_ik", true, 2, {R_TARGET, result_of_width(2)}};
constexpr KernelSignature REACHABLE_ORIENTATION = {"arm_reachable_orientation", true, 2,
                                                   {R_TARGET, REACHABLE_RESULT}};

}  // namespace

PyObject* prepared_arm_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    KernelCall call;
    if (!call.bind(PREPARED, Binding::batch, args, nargs)) {
        return nullptr;
    }
    auto* arm = new (std::nothrow) Arm(call.arm());
    if (arm == nullptr) {
        return PyErr_NoMemory();
    }
    PyObject* capsule = PyCapsule_New(arm, PREPARED_ARM, destroy_prepared_arm);
    if (capsule == nullptr) {
        delete arm;
    }
    return capsule;
}

PyObject* arm_fk_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(FK, binding, args, nargs, [](const KernelCall& call) {
        batch::arm_fk(call.arm(), call.values(0), call.values(1), call.count(), call.results(2));
    });
}

PyObject* arm_direction_kernel(Binding binding, PyObject* const* args, Py_ssize_t nargs) {
    return run_kernel(DIRECTION, binding, args, nargs, [](const KernelCall& call) {
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
