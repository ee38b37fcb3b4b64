// read_arm_json(text): the core's arms.json reader, with the per-call
// module's message for a refused document, so that both faces of the package
// report a broken file in the same words.
#include <string>
#include <string_view>
#include <variant>

#include <quorbel/arm/arms_json.hpp>
#include "python_shared/json_error.hpp"
#include "arrays/json_text.hpp"
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

PyObject* geometry_tuple(const SphericalLinkGeometry& geometry) {
    return Py_BuildValue("(ddOs)", geometry.arm_arc, geometry.coupler_arc,
                         geometry.mirror ? Py_True : Py_False,
                         geometry.branch == Branch::negative ? "negative" : "positive");
}

PyObject* read(PyObject* text) {
    std::string_view utf8;
    if (!text_argument("read_arm_json", text, &utf8)) {
        return nullptr;
    }
    const auto result = read_arm_geometry_json(utf8);
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
    return guarded("read_arm_json", [&] { return read(args[0]); });
}

}  // namespace quorbel::arrays
