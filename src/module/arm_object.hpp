// The arm instance: an object header followed by its Arm (the geometry with
// the trigonometry of its arcs evaluated), fixed at construction (instances
// are immutable).
#pragma once

#include <quorbel/arm/geometry.hpp>

#include "module/argument_parser.hpp"
#include "module/classes.hpp"

namespace quorbel::module {

inline constexpr const char* ARM_CLASS_NAME = "QuorbelArmKinematics";

struct ArmObject {
    PyObject_HEAD
    Arm arm;
};

inline const Arm& arm_of(PyObject* self) { return reinterpret_cast<ArmObject*>(self)->arm; }

inline const SphericalLinkGeometry& geometry_of(PyObject* self) {
    return arm_of(self).geometry();
}

inline Receiver arm_receiver(PyObject* self) {
    return {self, arm_type_cell.type, ARM_CLASS_NAME};
}

// The kinematic methods, for the class's method table.
PyObject* arm_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* arm_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames);
PyObject* arm_is_reachable_joints(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames);
PyObject* arm_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames);
PyObject* arm_is_reachable_orientation(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames);
PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames);
PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames);

}  // namespace quorbel::module
