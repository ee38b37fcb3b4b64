// quorbel_torso_kinematics: the kinematics of a robot torso, its two
// spherical five-bar arms (QuorbelArmKinematics) and its yaw-pitch-roll neck
// (QuorbelNeckKinematics).
//
// The module uses single-phase initialisation and is created once per
// process, for one interpreter. Its process-wide state is the interpreter ID
// below, the module cell and the two type cells (plus the internal error type
// and the interned keyword names of the parameter tables): each is filled
// once under the interpreter lock and never changed or emptied afterwards, so
// no other state is shared between calls or threads.
#include <atomic>
#include <cstdint>

#include "module/classes.hpp"
#include "module/internal_error.hpp"

namespace quorbel::module {

namespace {

// -1 until an interpreter initialises the module; the only value written
// with an atomic read-modify-write, since it tells interpreters apart.
std::atomic<std::int64_t> initialised_interpreter{-1};

PyObject* module_cell = nullptr;

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT,
    "quorbel_torso_kinematics",
    "",       // __doc__ is the empty string
    0,        // no per-module state
    nullptr,  // no module-level functions
    nullptr, nullptr, nullptr, nullptr,
};

constexpr int MODULE_API_VERSION = 1013;

bool claim_interpreter() {
    const std::int64_t current = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (current == -1) {
        if (!PyErr_Occurred()) {
            python::raise_text(PyExc_SystemError, "attempted to fetch exception but none was set");
        }
        return false;
    }
    std::int64_t expected = -1;
    if (initialised_interpreter.compare_exchange_strong(expected, current) ||
        expected == current) {
        return true;
    }
    python::raise_text(PyExc_ImportError,
                       "quorbel_torso_kinematics: single-phase modules do not yet support "
                       "subinterpreters; it is loaded in another interpreter of this process "
                       "(see https://docs.python.org/3/howto/isolating-extensions.html)");
    return false;
}

PyObject* initialise_module() {
    if (!claim_interpreter()) {
        return nullptr;
    }
    if (module_cell != nullptr) {
        return Py_NewRef(module_cell);
    }
    if (!ensure_internal_error_type()) {
        return nullptr;
    }
    PyObject* module = PyModule_Create2(&module_definition, MODULE_API_VERSION);
    if (module == nullptr) {
        return nullptr;
    }
    // Not in __all__: the module's public names are its two classes.
    if (PyModule_AddStringConstant(module, "__version__", QTK_VERSION) < 0) {
        Py_DECREF(module);
        return nullptr;
    }
    if (!register_class(module, arm_type_cell) || !register_class(module, neck_type_cell)) {
        Py_DECREF(module);
        return nullptr;
    }
    module_cell = Py_NewRef(module);
    return module;
}

}  // namespace

}  // namespace quorbel::module

PyMODINIT_FUNC PyInit_quorbel_torso_kinematics(void) {
    return quorbel::module::guarded(quorbel::module::initialise_module);
}
