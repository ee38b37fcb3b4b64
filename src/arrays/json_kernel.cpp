// read_arm_json(text): the core's arms.json reader, with the per-call
// module's message for a refused document, so that both faces of the package
// report a broken file in the same words.
#include <new>
#include <string>
#include <string_view>
#include <variant>

#include <quorbel/arm/arms_json.hpp>
#include "python_shared/json_error.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

PyObject* geometry_tuple(const SphericalLinkGeometry& geometry) {
    return Py_BuildValue("(ddOs)", geometry.arm_arc, geometry.coupler_arc,
                         geometry.mirror ? Py_True : Py_False,
                         geometry.branch == Branch::negative ? "negative" : "positive");
}

PyObject* read(PyObject* text) {
    if (!PyUnicode_Check(text)) {
        python::raise_format(PyExc_TypeError, "read_arm_json(): text must be str, not %.200s",
                             Py_TYPE(text)->tp_name);
        return nullptr;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr) {
        return nullptr;
    }
    const auto result =
        read_arm_geometry_json(std::string_view(utf8, static_cast<std::size_t>(size)));
    if (const auto* error = std::get_if<JsonError>(&result)) {
        return python::raise_json_error(*error);
    }
    return geometry_tuple(std::get<SphericalLinkGeometry>(result));
}

}  // namespace

PyObject* read_arm_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 1) {
        python::raise_format(PyExc_TypeError,
                             "read_arm_json() takes exactly 1 argument (%zd given)", nargs);
        return nullptr;
    }
    // The reader and the message allocate; nothing else in them throws, and
    // no C++ exception may reach the interpreter.
    try {
        return read(args[0]);
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (...) {
        python::raise_format(PyExc_SystemError, "read_arm_json(): unexpected C++ exception");
        return nullptr;
    }
}

}  // namespace quorbel::arrays
