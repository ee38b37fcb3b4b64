// The arm of prepared_arm.hpp, and its capsule.
#include "arrays/prepared_arm.hpp"

#include <new>

#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

constexpr KernelSignature PREPARED = {"prepared_arm", true, 0, {}};

void destroy_prepared_arm(PyObject* capsule) {
    delete static_cast<Arm*>(PyCapsule_GetPointer(capsule, PREPARED_ARM));
}

}  // namespace

Arm prepare_arm(double arm_arc, double coupler_arc, bool mirror, bool negative_branch) noexcept {
    return SphericalLinkGeometry{arm_arc, coupler_arc,
                                 negative_branch ? Branch::negative : Branch::positive, mirror};
}

const Arm* prepared_arm_of(PyObject* capsule) {
    // Only a capsule made above has this very name, not merely its text: its
    // context is then the arm. Anything else gets the full check, and its error.
    if (PyCapsule_CheckExact(capsule) && PyCapsule_GetName(capsule) == PREPARED_ARM) {
        return static_cast<const Arm*>(PyCapsule_GetContext(capsule));
    }
    return static_cast<const Arm*>(PyCapsule_GetPointer(capsule, PREPARED_ARM));
}

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
        return nullptr;
    }
    // The arm again as the context, which prepared_arm_of reads without
    // comparing names character by character.
    if (PyCapsule_SetContext(capsule, arm) != 0) {
        Py_DECREF(capsule);
        return nullptr;
    }
    return capsule;
}

}  // namespace quorbel::arrays
