// quorbel_torso._kernels: the loops behind the array package quorbel_torso.
// Private: the package validates, broadcasts and allocates with NumPy, then
// hands each kernel contiguous buffers of equal pose counts; the kernels check
// them again (they must never crash, whatever they are given), run the core
// over every pose with the interpreter lock released and fill the results.
// One pose goes to a kernel's _single entry instead, which reads it as given.
// The module holds no state of its own; the SIMD lanes are the core's
// process-wide choice (simd_choice.cpp).
#include "arrays/kernels.hpp"
#include "arrays/numpy_api.hpp"

namespace quorbel::arrays {

namespace {

template <typename Function>
PyCFunction as_cfunction(Function function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// Each kernel over poses twice: name, bound to buffers, and name_single,
// bound to one pose.
template <PyObject* (*kernel)(Binding, PyObject* const*, Py_ssize_t), Binding binding>
PyObject* bound(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    return kernel(binding, args, nargs);
}

#define KERNEL(name)                                                                       \
    {#name, as_cfunction(bound<name##_kernel, Binding::batch>), METH_FASTCALL, nullptr},  \
    {#name "_single", as_cfunction(bound<name##_kernel, Binding::single>), METH_FASTCALL, \
     nullptr},

PyMethodDef kernel_methods[] = {
    QTK_POSE_KERNELS(KERNEL)
    {"prepared_arm", as_cfunction(prepared_arm_kernel), METH_FASTCALL, nullptr},
    {"read_arm_json", as_cfunction(read_arm_json_kernel), METH_FASTCALL, nullptr},
    {"torso_from_json", as_cfunction(torso_from_json_kernel), METH_FASTCALL, nullptr},
    {"torso_to_json", as_cfunction(torso_to_json_kernel), METH_FASTCALL, nullptr},
    {"example_torso_json", as_cfunction(example_torso_json_kernel), METH_FASTCALL, nullptr},
    {"torso_look_at", as_cfunction(torso_look_at_kernel), METH_FASTCALL, nullptr},
    {"simd", as_cfunction(simd_kernel), METH_FASTCALL, nullptr},
    {"available_simd", as_cfunction(available_simd_kernel), METH_FASTCALL, nullptr},
    {"use_simd", as_cfunction(use_simd_kernel), METH_FASTCALL, nullptr},
    {"kernel_signatures", as_cfunction(kernel_signatures_kernel), METH_FASTCALL, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

#undef KERNEL

// The package's version, which quorbel_torso exports as its __version__.
int add_version(PyObject* module) {
    return PyModule_AddStringConstant(module, "__version__", QTK_VERSION);
}

PyModuleDef_Slot kernel_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(import_numpy_api)},
    {Py_mod_exec, reinterpret_cast<void*>(add_version)},
    {Py_mod_exec, reinterpret_cast<void*>(use_simd_from_environment)},
    {0, nullptr},
};

PyModuleDef kernel_module = {
    PyModuleDef_HEAD_INIT,
    "quorbel_torso._kernels",
    "Private loops of quorbel_torso; use the package instead.",
    0,  // no per-module state
    kernel_methods,
    kernel_slots,
    nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace quorbel::arrays

PyMODINIT_FUNC PyInit__kernels(void) {
    return PyModuleDef_Init(&quorbel::arrays::kernel_module);
}
