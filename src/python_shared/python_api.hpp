// The one place the extensions (the per-call module and the array package's
// kernels) include Python.h, with the few helpers that newer interpreters
// provide or get right and 3.9 lacks.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdarg>

#if PY_VERSION_HEX < 0x030A0000
static inline PyObject* Py_NewRef(PyObject* obj) {
    Py_INCREF(obj);
    return obj;
}
#endif

namespace quorbel::python {

// PyErr_SetString and PyErr_Format before 3.11 raise `type` with no message
// when the message itself cannot be allocated, hiding the MemoryError; these
// keep it.
inline void raise_text(PyObject* type, const char* message) {
    PyObject* text = PyUnicode_FromString(message);
    if (text != nullptr) {
        PyErr_SetObject(type, text);
        Py_DECREF(text);
    }
}

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

}  // namespace quorbel::python
