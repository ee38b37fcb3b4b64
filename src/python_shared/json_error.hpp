// The arms.json reader's failure as the ValueError both extensions raise.
#pragma once

#include <string>

#include <quorbel/arm/arms_json.hpp>
#include "python_shared/python_api.hpp"

namespace quorbel::python {

// The description may quote the document, so the message is decoded, not
// formatted. Returns nullptr, for the caller to return.
inline PyObject* raise_json_error(const JsonError& error) {
    const std::string message = error_message(error);
    PyObject* text = PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()),
                                          "replace");
    if (text != nullptr) {
        PyErr_SetObject(PyExc_ValueError, text);
        Py_DECREF(text);
    }
    return nullptr;
}

}  // namespace quorbel::python
