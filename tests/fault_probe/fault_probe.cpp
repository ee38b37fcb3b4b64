// qtk_fault_probe: entry points whose bodies throw, run through `guarded`
// exactly as every entry point of quorbel_torso_kinematics runs its body. No
// ordinary input makes the real module throw, so this is how the tests see
// what a broken invariant turns into.
#include <new>
#include <stdexcept>

#include "module/internal_error.hpp"

namespace {

using quorbel::module::guarded;

PyObject* create_internal_error_type(PyObject*, PyObject*) {
    if (!quorbel::module::ensure_internal_error_type()) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* throw_runtime_error(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { throw std::runtime_error("broken invariant"); });
}

PyObject* throw_bad_alloc(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { throw std::bad_alloc(); });
}

PyObject* throw_int(PyObject*, PyObject*) {
    return guarded([]() -> PyObject* { throw 42; });
}

// An entry point returning int, like a slot: -1 with the exception set.
PyObject* throw_in_int_entry(PyObject*, PyObject*) {
    const int status = guarded([]() -> int { throw std::logic_error("broken invariant"); });
    if (status != -1 || !PyErr_Occurred()) {
        PyErr_SetString(PyExc_AssertionError, "guarded did not report -1 with an exception");
    }
    return nullptr;
}

PyObject* return_seven(PyObject*, PyObject*) {
    return guarded([] { return PyLong_FromLong(7); });
}

PyMethodDef probe_methods[] = {
    {"create_internal_error_type", create_internal_error_type, METH_NOARGS, nullptr},
    {"throw_runtime_error", throw_runtime_error, METH_NOARGS, nullptr},
    {"throw_bad_alloc", throw_bad_alloc, METH_NOARGS, nullptr},
    {"throw_int", throw_int, METH_NOARGS, nullptr},
    {"throw_in_int_entry", throw_in_int_entry, METH_NOARGS, nullptr},
    {"return_seven", return_seven, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef probe_module = {
    PyModuleDef_HEAD_INIT, "qtk_fault_probe", nullptr, 0, probe_methods,
    nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyMODINIT_FUNC PyInit_qtk_fault_probe(void) { return PyModule_Create(&probe_module); }
