#include "module/internal_error.hpp"

namespace quorbel::module {

namespace {
// One-time cell, filled under the interpreter lock and never emptied.
PyObject* internal_error_type = nullptr;
}  // namespace

bool ensure_internal_error_type() {
    if (internal_error_type != nullptr) {
        return true;
    }
    internal_error_type = PyErr_NewExceptionWithDoc(
        "quorbel_torso_kinematics.InternalError",
        "A broken invariant inside quorbel_torso_kinematics. Ordinary input never "
        "raises it; derived from BaseException so that it is not swallowed by "
        "`except Exception`.",
        PyExc_BaseException, nullptr);
    return internal_error_type != nullptr;
}

PyObject* raise_internal_error(const char* message) {
    PyObject* type = internal_error_type != nullptr ? internal_error_type : PyExc_SystemError;
    python::raise_text(type, message);
    return nullptr;
}

}  // namespace quorbel::module
