// Conversion of bound Python arguments to the values the kinematics takes.
// Each converter returns true with *out filled, or false with a Python error
// set; it may run Python code of the argument's type (__float__, __index__,
// __len__, __getitem__), and whatever that code raises is the failure.
#pragma once

#include <optional>
#include <string_view>

#include <quorbel/arm/joint_pair.hpp>
#include <quorbel/maths/vector.hpp>

#include "python_shared/python_api.hpp"

namespace quorbel::module {

// `__qualname__` of the object's type, or "<failed to extract type name>".
// New reference; nullptr only when even the fallback string cannot be made.
PyObject* type_name_of(PyObject* obj);

// TypeError "'{type}' object cannot be converted to '{target}'".
void raise_cannot_convert(PyObject* obj, const char* target);

bool to_double(PyObject* obj, double* out);
bool to_bool(PyObject* obj, bool* out);
bool to_vec3(PyObject* obj, Vec3* out);
bool to_mat3(PyObject* obj, Mat3* out);
// None gives no pair; otherwise a tuple of exactly two numbers.
bool to_optional_joint_pair(PyObject* obj, std::optional<JointPair>* out);
// A str (or subclass) as UTF-8; the view borrows the string's own buffer and
// lives as long as the string does.
bool to_text(PyObject* obj, std::string_view* out);

// A TypeError (exactly) raised while converting `parameter` becomes
// TypeError "argument '{parameter}': {message}" keeping its __cause__; any
// other pending exception passes unchanged.
void wrap_argument_error(const char* parameter);

// Converter descriptions for the argument parser: the value type and the
// function that fills it.
struct DoubleArg {
    using value_type = double;
    static bool convert(PyObject* obj, double* out) { return to_double(obj, out); }
};
struct BoolArg {
    using value_type = bool;
    static bool convert(PyObject* obj, bool* out) { return to_bool(obj, out); }
};
struct Vec3Arg {
    using value_type = Vec3;
    static bool convert(PyObject* obj, Vec3* out) { return to_vec3(obj, out); }
};
struct Mat3Arg {
    using value_type = Mat3;
    static bool convert(PyObject* obj, Mat3* out) { return to_mat3(obj, out); }
};
struct OptionalJointPairArg {
    using value_type = std::optional<JointPair>;
    static bool convert(PyObject* obj, std::optional<JointPair>* out) {
        return to_optional_joint_pair(obj, out);
    }
};
struct TextArg {
    using value_type = std::string_view;
    static bool convert(PyObject* obj, std::string_view* out) { return to_text(obj, out); }
};

}  // namespace quorbel::module
