// What the kernels that read and write JSON share: the text argument as
// UTF-8, and the guard that keeps their allocations' exceptions (the readers,
// the writers and the messages allocate) from reaching the interpreter.
#pragma once

#include <cstddef>
#include <new>
#include <string_view>

#include "python_shared/python_api.hpp"

namespace quorbel::arrays {

// `text` as UTF-8 in *out, or false with TypeError (not a str, raised in the
// name of `function`) or the interpreter's own error set.
inline bool text_argument(const char* function, PyObject* text, std::string_view* out) {
    if (!PyUnicode_Check(text)) {
        python::raise_format(PyExc_TypeError, "%s(): text must be str, not %.200s", function,
                             Py_TYPE(text)->tp_name);
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr) {
        return false;
    }
    *out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

// body() with std::bad_alloc as MemoryError and any other C++ exception as
// SystemError in the name of `function`.
template <typename Body>
PyObject* guarded(const char* function, Body body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return PyErr_NoMemory();
    } catch (...) {
        python::raise_format(PyExc_SystemError, "%s(): unexpected C++ exception", function);
        return nullptr;
    }
}

}  // namespace quorbel::arrays
