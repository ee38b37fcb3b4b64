// The neck's kernels: no geometry, an input buffer and the result buffer.
#include <quorbel/batch.hpp>

#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

constexpr KernelParameter JOINTS = {"joints", Element::float64, 3, Access::read};
constexpr KernelParameter R = {"r", Element::float64, 9, Access::read};

constexpr KernelSignature FK = {"neck_fk", false, 2, {JOINTS, result_of_width(9)}};
constexpr KernelSignature IK = {"neck_ik", false, 2, {R, result_of_width(3)}};
constexpr KernelSignature REACHABLE = {"neck_reachable", false, 2, {R, REACHABLE_RESULT}};

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

}  // namespace quorbel::arrays
