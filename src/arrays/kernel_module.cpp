// quorbel_torso._kernels: the loops behind the array package quorbel_torso.
// Private: the package validates, broadcasts and allocates with NumPy, then
// hands each kernel contiguous buffers of equal pose counts; the kernels check
// them again (they must never crash, whatever they are given), run the core
// over every pose with the interpreter lock released and fill the results.
// The module holds no state of its own; the SIMD lanes are the core's
// process-wide choice (simd_kernels.cpp).
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

template <typename Function>
PyCFunction as_cfunction(Function function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

PyMethodDef kernel_methods[] = {
    {"arm_fk", as_cfunction(arm_fk_kernel), METH_FASTCALL, nullptr},
    {"arm_direction", as_cfunction(arm_direction_kernel), METH_FASTCALL, nullptr},
    {"arm_reachable_joints", as_cfunction(arm_reachable_joints_kernel), METH_FASTCALL, nullptr},
    {"arm_ik_from_direction", as_cfunction(arm_ik_from_direction_kernel), METH_FASTCALL,
     nullptr},
    {"arm_reachable_direction", as_cfunction(arm_reachable_direction_kernel), METH_FASTCALL,
     nullptr},
    {"arm_ik_solutions", as_cfunction(arm_ik_solutions_kernel), METH_FASTCALL, nullptr},
    {"arm_ik", as_cfunction(arm_ik_kernel), METH_FASTCALL, nullptr},
    {"arm_reachable_orientation", as_cfunction(arm_reachable_orientation_kernel),
     METH_FASTCALL, nullptr},
    {"arm_direction_jacobian", as_cfunction(arm_direction_jacobian_kernel), METH_FASTCALL,
     nullptr},
    {"arm_angular_jacobian", as_cfunction(arm_angular_jacobian_kernel), METH_FASTCALL, nullptr},
    {"arm_singular_values", as_cfunction(arm_singular_values_kernel), METH_FASTCALL, nullptr},
    {"arm_joint_rates", as_cfunction(arm_joint_rates_kernel), METH_FASTCALL, nullptr},
    {"arm_nearest_reachable", as_cfunction(arm_nearest_reachable_kernel), METH_FASTCALL,
     nullptr},
    {"arm_ik_from_direction_within", as_cfunction(arm_ik_from_direction_within_kernel),
     METH_FASTCALL, nullptr},
    {"arm_ik_solutions_within", as_cfunction(arm_ik_solutions_within_kernel), METH_FASTCALL,
     nullptr},
    {"arm_ik_within", as_cfunction(arm_ik_within_kernel), METH_FASTCALL, nullptr},
    {"arm_nearest_reachable_within", as_cfunction(arm_nearest_reachable_within_kernel),
     METH_FASTCALL, nullptr},
    {"arm_nearest_frame", as_cfunction(arm_nearest_frame_kernel), METH_FASTCALL, nullptr},
    {"neck_fk", as_cfunction(neck_fk_kernel), METH_FASTCALL, nullptr},
    {"neck_ik", as_cfunction(neck_ik_kernel), METH_FASTCALL, nullptr},
    {"neck_reachable", as_cfunction(neck_reachable_kernel), METH_FASTCALL, nullptr},
    {"neck_angular_jacobian", as_cfunction(neck_angular_jacobian_kernel), METH_FASTCALL,
     nullptr},
    {"neck_joint_rates", as_cfunction(neck_joint_rates_kernel), METH_FASTCALL, nullptr},
    {"read_arm_json", as_cfunction(read_arm_json_kernel), METH_FASTCALL, nullptr},
    {"torso_from_json", as_cfunction(torso_from_json_kernel), METH_FASTCALL, nullptr},
    {"torso_to_json", as_cfunction(torso_to_json_kernel), METH_FASTCALL, nullptr},
    {"example_torso_json", as_cfunction(example_torso_json_kernel), METH_FASTCALL, nullptr},
    {"torso_look_at", as_cfunction(torso_look_at_kernel), METH_FASTCALL, nullptr},
    {"simd", as_cfunction(simd_kernel), METH_FASTCALL, nullptr},
    {"available_simd", as_cfunction(available_simd_kernel), METH_FASTCALL, nullptr},
    {"use_simd", as_cfunction(use_simd_kernel), METH_FASTCALL, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// The package's version, which quorbel_torso exports as its __version__.
int add_version(PyObject* module) {
    return PyModule_AddStringConstant(module, "__version__", QTK_VERSION);
}

PyModuleDef_Slot kernel_slots[] = {
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
