// qtk_bench_floor: the floor under every call of quorbel_torso_kinematics.
// Two classes, FloorArm and FloorNeck, whose methods have the parameter
// lists, converters and result shapes of QuorbelArmKinematics and
// QuorbelNeckKinematics (the same parser, converter and result-builder
// sources are compiled in), but return constants instead of doing
// kinematics. What a method costs above its floor plus its core function is
// the price of the module's own glue. The methods bind their arguments with
// the module's own parameter tables (module/method_parameters.hpp).
#include <string_view>

#include <quorbel/arm/geometry.hpp>

#include "module/argument_parser.hpp"
#include "module/heap_types.hpp"
#include "module/internal_error.hpp"
#include "module/method_call.hpp"
#include "module/method_parameters.hpp"
#include "module/result_builders.hpp"

namespace quorbel::module {

namespace {

struct FloorArmObject {
    PyObject_HEAD
    SphericalLinkGeometry geometry;
};

struct FloorNeckObject {
    PyObject_HEAD
};

extern TypeCell floor_arm_cell;
extern TypeCell floor_neck_cell;

constexpr Mat3 CONSTANT_ROTATION = {{{0.232089330426146, 0.712017034032785, 0.662696224487132},
                                     {-0.755314732805411, -0.297360433724314, 0.584017488490181},
                                     {0.612890036719014, -0.636088449590498, 0.468782771855070}}};
constexpr Vec3 CONSTANT_DIRECTION = {0.662696224487132, 0.584017488490181, 0.468782771855070};
constexpr JointPair CONSTANT_PAIR = {0.3, -0.2};
constexpr NeckAngles CONSTANT_ANGLES = {0.3, -0.7, 1.1};

// Converted values are added into this, so that no conversion is dropped as
// unused.
volatile double sink;

void use(double value) { sink = sink + value; }
void use(Vec3 v) { use((v.x + v.y) + v.z); }
void use(const Mat3& m) {
    for (const auto& row : m) {
        use(Vec3{row[0], row[1], row[2]});
    }
}
void use(const std::optional<JointPair>& pair) {
    if (pair) {
        use(pair->theta_a + pair->theta_b);
    }
}

Receiver arm_receiver(PyObject* self) { return {self, floor_arm_cell.type, "FloorArm"}; }
Receiver neck_receiver(PyObject* self) { return {self, floor_neck_cell.type, "FloorNeck"}; }

PyObject* new_floor_arm(PyTypeObject* type) {
    PyObject* self = allocate_instance(type);
    if (self != nullptr) {
        reinterpret_cast<FloorArmObject*>(self)->geometry = default_left_geometry();
    }
    return self;
}

PyObject* arm_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    double arm_arc = DEFAULT_ARM_ARC;
    double coupler_arc = DEFAULT_COUPLER_ARC;
    bool mirror = false;
    if (!parse_constructor_arguments(arm_new_parameters, args, kwargs, &arm_arc, &coupler_arc,
                                     &mirror)) {
        return nullptr;
    }
    use(arm_arc + coupler_arc + (mirror ? 1.0 : 0.0));
    return new_floor_arm(type);
}

PyObject* arm_default_left(PyObject*, PyObject*) { return new_floor_arm(floor_arm_cell.type); }

PyObject* arm_from_json(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::string_view json;
    if (!parse_arguments(arm_from_json_parameters, nullptr, args, nargs, kwnames, &json)) {
        return nullptr;
    }
    use(static_cast<double>(json.size()));
    return new_floor_arm(floor_arm_cell.type);
}

// Two doubles in; `Build` makes the result.
template <Parameters<DoubleArg, DoubleArg>& parameters, PyObject* (*Build)()>
PyObject* joints_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    double theta_a = 0.0;
    double theta_b = 0.0;
    const Receiver receiver = arm_receiver(self);
    if (!parse_arguments(parameters, &receiver, args, nargs, kwnames, &theta_a, &theta_b)) {
        return nullptr;
    }
    use(theta_a + theta_b);
    return Build();
}

template <Parameters<Mat3Arg>& parameters, PyObject* (*Build)()>
PyObject* rotation_method(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                          PyObject* kwnames) {
    Mat3 r{};
    const Receiver receiver = arm_receiver(self);
    if (!parse_arguments(parameters, &receiver, args, nargs, kwnames, &r)) {
        return nullptr;
    }
    use(r);
    return Build();
}

PyObject* build_rotation() { return from_mat3(CONSTANT_ROTATION); }
PyObject* build_direction() { return from_vec3(CONSTANT_DIRECTION); }
PyObject* build_pair() { return from_joint_pair(CONSTANT_PAIR); }
PyObject* build_true() { return from_bool(true); }

PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
    Vec3 v3{};
    std::optional<JointPair> near;
    const Receiver receiver = arm_receiver(self);
    if (!parse_arguments(arm_ik_from_direction_parameters, &receiver, args, nargs, kwnames, &v3,
                         &near)) {
        return nullptr;
    }
    use(v3);
    use(near);
    return from_joint_pair(CONSTANT_PAIR);
}

PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
    Vec3 v3{};
    const Receiver receiver = arm_receiver(self);
    if (!parse_arguments(arm_is_reachable_direction_parameters, &receiver, args, nargs, kwnames,
                         &v3)) {
        return nullptr;
    }
    use(v3);
    return from_bool(true);
}

PyObject* neck_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    if (!parse_constructor_arguments(neck_new_parameters, args, kwargs)) {
        return nullptr;
    }
    return allocate_instance(type);
}

PyObject* neck_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Vec3 joints{};
    const Receiver receiver = neck_receiver(self);
    if (!parse_arguments(neck_fk_parameters, &receiver, args, nargs, kwnames, &joints)) {
        return nullptr;
    }
    use(joints);
    return from_mat3(CONSTANT_ROTATION);
}

PyObject* neck_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    Mat3 r{};
    const Receiver receiver = neck_receiver(self);
    if (!parse_arguments(neck_ik_parameters, &receiver, args, nargs, kwnames, &r)) {
        return nullptr;
    }
    use(r);
    return from_neck_angles(CONSTANT_ANGLES);
}


PyMethodDef arm_methods[] = {
    {"default_left", as_cfunction(arm_default_left), METH_NOARGS | METH_STATIC, nullptr},
    {"from_json", as_cfunction(arm_from_json), FAST | METH_STATIC, nullptr},
    {"fk", as_cfunction(joints_method<arm_fk_parameters, build_rotation>), FAST, nullptr},
    {"direction", as_cfunction(joints_method<arm_direction_parameters, build_direction>), FAST,
     nullptr},
    {"is_reachable_joints",
     as_cfunction(joints_method<arm_is_reachable_joints_parameters, build_true>), FAST, nullptr},
    {"ik", as_cfunction(rotation_method<arm_ik_parameters, build_pair>), FAST, nullptr},
    {"is_reachable_orientation",
     as_cfunction(rotation_method<arm_is_reachable_orientation_parameters, build_true>), FAST,
     nullptr},
    {"ik_from_direction", as_cfunction(arm_ik_from_direction), FAST, nullptr},
    {"is_reachable_direction", as_cfunction(arm_is_reachable_direction), FAST, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyMethodDef neck_methods[] = {
    {"fk", as_cfunction(neck_fk), FAST, nullptr},
    {"ik", as_cfunction(neck_ik), FAST, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

const ClassDefinition floor_arm_class = {
    "FloorArm", "qtk_bench_floor.FloorArm",
    "FloorArm(arm_arc=0.7, coupler_arc=0.5, mirror=False)\n--\n\n",
    static_cast<int>(sizeof(FloorArmObject)), arm_new, arm_methods,
};

const ClassDefinition floor_neck_class = {
    "FloorNeck", "qtk_bench_floor.FloorNeck", "FloorNeck()\n--\n\n",
    static_cast<int>(sizeof(FloorNeckObject)), neck_new, neck_methods,
};

TypeCell floor_arm_cell = {&floor_arm_class, nullptr};
TypeCell floor_neck_cell = {&floor_neck_class, nullptr};

PyModuleDef floor_module = {
    PyModuleDef_HEAD_INIT, "qtk_bench_floor", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

}  // namespace quorbel::module

PyMODINIT_FUNC PyInit_qtk_bench_floor(void) {
    using namespace quorbel::module;
    if (!ensure_internal_error_type()) {
        return nullptr;
    }
    PyObject* module = PyModule_Create(&floor_module);
    if (module == nullptr) {
        return nullptr;
    }
    if (!register_class(module, floor_arm_cell) || !register_class(module, floor_neck_cell)) {
        Py_DECREF(module);
        return nullptr;
    }
    return module;
}
