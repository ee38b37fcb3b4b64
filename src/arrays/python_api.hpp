// The one place the kernels include Python.h, with the helpers that 3.9
// lacks or gets wrong.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdarg>

namespace quorbel::arrays {

// PyErr_Format before 3.11 raises `type` with no message when the message
// itself cannot be allocated, hiding the MemoryError; this keeps it.
inline void raise_format(PyObject* type, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    PyObject* text = PyUnicode_FromFormatV(format, arguments);
    va_end(arguments);
    if (text != nullptr) {
        PyErr_SetObject(type, text);
        Py_DECREF(text);
    }
}

}  // namespace quorbel::arrays
