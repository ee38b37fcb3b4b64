// QuorbelArmKinematics: one arm, holding its Arm (the geometry with its
// arcs' sines and cosines evaluated once). Built from explicit arcs, from the
// two presets or from arms.json text; the kinematic methods live in
// arm_kinematics_methods.cpp.
#include <new>
#include <string>
#include <variant>

#include <quorbel/arm/arms_json.hpp>
#include "python_shared/json_error.hpp"

#include "module/arm_object.hpp"
#include "module/method_call.hpp"
#include "module/method_parameters.hpp"
#include "module/result_builders.hpp"

namespace quorbel::module {

namespace {

// The presets, made once when the module is loaded.
const Arm DEFAULT_LEFT(default_left_geometry());
const Arm DEFAULT_RIGHT(default_right_geometry());

PyObject* new_arm(PyTypeObject* type, const Arm& arm) {
    PyObject* self = allocate_instance(type);
    if (self != nullptr) {
        new (&reinterpret_cast<ArmObject*>(self)->arm) Arm(arm);
    }
    return self;
}

// A new arm of the class itself (not a subtype), for the factories.
PyObject* new_arm_of_class(const Arm& arm) {
    PyTypeObject* type = arm_type_cell.type;
    if (type == nullptr) {
        return raise_internal_error("QuorbelArmKinematics used before its type was created");
    }
    return new_arm(type, arm);
}

PyObject* arm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        double arm_arc = DEFAULT_ARM_ARC;
        double coupler_arc = DEFAULT_COUPLER_ARC;
        bool mirror = false;
        if (!parse_constructor_arguments(arm_new_parameters, args, kwargs, &arm_arc,
                                         &coupler_arc, &mirror)) {
            return nullptr;
        }
        return new_arm(type, Arm({arm_arc, coupler_arc, Branch::positive, mirror}));
    });
}

PyObject* arm_default_left(PyObject*, PyObject*) {
    return guarded([] { return new_arm_of_class(DEFAULT_LEFT); });
}

PyObject* arm_default_right(PyObject*, PyObject*) {
    return guarded([] { return new_arm_of_class(DEFAULT_RIGHT); });
}

PyObject* arm_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_with_arguments(
        arm_from_json_parameters, nullptr, args, nargs, kwnames, [](std::string_view json) {
            const auto result = read_arm_geometry_json(json);
            if (const auto* error = std::get_if<JsonError>(&result)) {
                return python::raise_json_error(*error);
            }
            return new_arm_of_class(Arm(std::get<SphericalLinkGeometry>(result)));
        });
}

// The accessors take no arguments; the interpreter refuses any it is given.
template <typename Read>
PyObject* accessor(PyObject* self, Read&& read) {
    return guarded([&]() -> PyObject* {
        if (!check_receiver(self, arm_type_cell.type, ARM_CLASS_NAME)) {
            return nullptr;
        }
        return read(geometry_of(self));
    });
}

PyObject* arm_arm_arc(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return from_double(g.arm_arc); });
}

PyObject* arm_coupler_arc(PyObject* self, PyObject*) {
    return accessor(self,
                    [](const SphericalLinkGeometry& g) { return from_double(g.coupler_arc); });
}

PyObject* arm_mirror(PyObject* self, PyObject*) {
    return accessor(self, [](const SphericalLinkGeometry& g) { return from_bool(g.mirror); });
}

PyMethodDef arm_methods[] = {
    {"default_left", as_cfunction(arm_default_left), METH_NOARGS | METH_STATIC,
     "default_left()\n--\n\nBuild the default left-arm geometry."},
    {"default_right", as_cfunction(arm_default_right), METH_NOARGS | METH_STATIC,
     "default_right()\n--\n\nBuild the default right-arm geometry (mirror of left)."},
    {"from_json", as_cfunction(arm_from_json), FAST | METH_STATIC,
     "from_json(json)\n--\n\nBuild the arm from a JSON string matching `SphericalLinkGeometry`."},
    {"fk", as_cfunction(arm_fk), FAST,
     "fk($self, theta_a, theta_b)\n--\n\n"
     "Forward kinematics: `(θ_A, θ_B)` → 3×3 rotation of the end-effector.\n"
     "Raises `RuntimeError` when the loop fails to close (target joint\n"
     "pair is outside the workspace)."},
    {"ik", as_cfunction(arm_ik), FAST,
     "ik($self, r_target)\n--\n\n"
     "Inverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.\n"
     "Raises `RuntimeError` when the target orientation isn't reachable."},
    {"ik_from_direction", as_cfunction(arm_ik_from_direction), FAST,
     "ik_from_direction($self, v3, near=None)\n--\n\n"
     "Inverse kinematics from just the end-effector pointing direction\n"
     "(3-vector, automatically normalized). When multiple `(θ_A, θ_B)`\n"
     "branches reach the same direction, `near` (an optional current\n"
     "joint pair) picks the closest one; otherwise the smallest-norm\n"
     "solution wins."},
    {"direction", as_cfunction(arm_direction), FAST,
     "direction($self, theta_a, theta_b)\n--\n\n"
     "Forward kinematics that returns just the end-effector pointing\n"
     "direction (the third column of the FK rotation, equal to `v_3`)."},
    {"is_reachable_joints", as_cfunction(arm_is_reachable_joints), FAST,
     "is_reachable_joints($self, theta_a, theta_b)\n--\n\n"
     "Whether `(θ_A, θ_B)` lands inside the workspace (loop closes)."},
    {"is_reachable_orientation", as_cfunction(arm_is_reachable_orientation), FAST,
     "is_reachable_orientation($self, r_target)\n--\n\n"
     "Whether `r_target` is on the reachable manifold (IK succeeds)."},
    {"is_reachable_direction", as_cfunction(arm_is_reachable_direction), FAST,
     "is_reachable_direction($self, v3)\n--\n\n"
     "Whether the pointing direction `v3` (3-vector, auto-normalized)\n"
     "is on the reachable manifold."},
    {"arm_arc", as_cfunction(arm_arm_arc), METH_NOARGS, "arm_arc($self)\n--\n\n"},
    {"coupler_arc", as_cfunction(arm_coupler_arc), METH_NOARGS, "coupler_arc($self)\n--\n\n"},
    {"mirror", as_cfunction(arm_mirror), METH_NOARGS, "mirror($self)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

const ClassDefinition arm_class = {
    ARM_CLASS_NAME,
    "quorbel_torso_kinematics.QuorbelArmKinematics",
    "QuorbelArmKinematics(arm_arc=0.7, coupler_arc=0.5, mirror=False)\n--\n\n",
    static_cast<int>(sizeof(ArmObject)),
    arm_new,
    arm_methods,
};

}  // namespace

TypeCell arm_type_cell = {&arm_class, nullptr};

}  // namespace quorbel::module
