// The classes as heap types: one constant definition per class, a one-time
// cell holding its type object, registration in the module, and the
// allocation and release of instances.
#pragma once

#include "python_shared/python_api.hpp"

namespace quorbel::module {

struct ClassDefinition {
    const char* attribute_name;  // "QuorbelArmKinematics"
    const char* spec_name;       // "quorbel_torso_kinematics.QuorbelArmKinematics"
    // The class name, the constructor's text signature, "--", an empty line,
    // then the class docstring: Python derives __text_signature__ and __doc__
    // from it.
    const char* internal_doc;
    int basic_size;
    newfunc constructor;
    PyMethodDef* methods;
};

// Empty until the type is first created; then it holds the type for the rest
// of the process. Written only under the interpreter lock.
struct TypeCell {
    const ClassDefinition* definition;
    PyTypeObject* type;
};

// The cell's type, created first if the cell is empty; nullptr with an error.
PyTypeObject* get_type(TypeCell& cell);

// Appends the class name to the module's __all__ and sets the attribute.
bool register_class(PyObject* module, TypeCell& cell);

// A new instance of `type` (the class itself or the subtype given to
// __new__) from its tp_alloc slot; its payload is for the caller to fill.
PyObject* allocate_instance(PyTypeObject* type);

// The tp_dealloc slot of both classes: free the object, then drop its
// reference to its heap type.
void release_instance(PyObject* self);

}  // namespace quorbel::module
