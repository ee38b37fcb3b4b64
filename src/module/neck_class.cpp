// QuorbelNeckKinematics: the neck's yaw-pitch-roll kinematics. The object
// carries no state; it exists to hold the two methods.
#include <quorbel/neck/neck_kinematics.hpp>

#include "module/classes.hpp"
#include "module/method_call.hpp"
#include "module/method_parameters.hpp"
#include "module/result_builders.hpp"

namespace quorbel::module {

namespace {

constexpr const char* NECK_CLASS_NAME = "QuorbelNeckKinematics";
constexpr const char* GIMBAL_LOCK_MESSAGE = "Gimbal lock: pitch is too close to ±π/2.";

struct NeckObject {
    PyObject_HEAD
};

PyObject* neck_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
    return guarded([&]() -> PyObject* {
        if (!parse_constructor_arguments(neck_new_parameters, args, kwargs)) {
            return nullptr;
        }
        return allocate_instance(type);
    });
}

PyObject* neck_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Receiver receiver{self, neck_type_cell.type, NECK_CLASS_NAME};
    return call_with_arguments(neck_fk_parameters, &receiver, args, nargs, kwnames,
                               [](Vec3 joints) {
                                   return from_mat3(neck_forward_kinematics(
                                       NeckAngles{joints.x, joints.y, joints.z}));
                               });
}

PyObject* neck_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const Receiver receiver{self, neck_type_cell.type, NECK_CLASS_NAME};
    return call_with_arguments(
        neck_ik_parameters, &receiver, args, nargs, kwnames, [](const Mat3& r) -> PyObject* {
            const auto angles = neck_inverse_kinematics(r);
            if (!angles) {
                python::raise_text(PyExc_ValueError, GIMBAL_LOCK_MESSAGE);
                return nullptr;
            }
            return from_neck_angles(*angles);
        });
}

PyMethodDef neck_methods[] = {
    {"fk", as_cfunction(neck_fk), FAST,
     "fk($self, joints)\n--\n\n"
     "Forward kinematics. `joints = [yaw, pitch, roll]` in radians.\n"
     "Returns the 3×3 rotation matrix of the head frame in the body frame."},
    {"ik", as_cfunction(neck_ik), FAST,
     "ik($self, r)\n--\n\n"
     "Inverse kinematics. `r` is a 3×3 rotation matrix (row-major).\n"
     "Returns `(yaw, pitch, roll)` in radians.\n\n"
     "Raises `ValueError` near gimbal lock (|pitch| ≈ π/2). The neck's\n"
     "pitch range is well under that limit in practice."},
    {nullptr, nullptr, 0, nullptr},
};

const ClassDefinition neck_class = {
    NECK_CLASS_NAME,
    "quorbel_torso_kinematics.QuorbelNeckKinematics",
    "QuorbelNeckKinematics()\n--\n\n",
    static_cast<int>(sizeof(NeckObject)),
    neck_new,
    neck_methods,
};

}  // namespace

TypeCell neck_type_cell = {&neck_class, nullptr};

}  // namespace quorbel::module
