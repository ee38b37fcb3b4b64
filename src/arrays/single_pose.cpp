// The reader of single_pose.hpp.
#include "arrays/single_pose.hpp"

#include <cstring>

namespace quorbel::arrays {

namespace {

// Integers in [-2**53, 2**53] are exactly doubles: no rounding to agree on.
constexpr long long EXACT_INTEGER = 1LL << 53;

bool read_number(PyObject* obj, double* value) {
    if (PyFloat_Check(obj)) {
        *value = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    if (PyBool_Check(obj)) {
        *value = obj == Py_True ? 1.0 : 0.0;
        return true;
    }
    if (!PyLong_CheckExact(obj)) {
        return false;
    }
    int overflow = 0;
    const long long integer = PyLong_AsLongLongAndOverflow(obj, &overflow);
    if (overflow != 0 || integer < -EXACT_INTEGER || integer > EXACT_INTEGER) {
        return false;
    }
    *value = static_cast<double>(integer);
    return true;
}

bool is_native_float64(const Py_buffer& view) {
    if (view.itemsize != 8 || view.format == nullptr) {
        return false;
    }
    const char* format = view.format;
#if PY_LITTLE_ENDIAN
    if (*format == '@' || *format == '=' || *format == '<') {
#else
    if (*format == '@' || *format == '=' || *format == '>' || *format == '!') {
#endif
        ++format;
    }
    return format[0] == 'd' && format[1] == '\0';
}

// A C-contiguous float64 buffer whose shape is exactly `shape` (ndim axes).
bool read_buffer(PyObject* obj, const Py_ssize_t* shape, int ndim, double* values) {
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
        PyErr_Clear();
        return false;
    }
    bool fits = is_native_float64(view) && view.ndim == ndim;
    for (int axis = 0; fits && axis < ndim; ++axis) {
        fits = view.shape[axis] == shape[axis];
    }
    if (fits) {
        std::memcpy(values, view.buf, static_cast<std::size_t>(view.len));
    }
    PyBuffer_Release(&view);
    return fits;
}

// A list or tuple of shape[0] items, each read as a pose of the remaining axes.
bool read_nested(PyObject* obj, const Py_ssize_t* shape, int ndim, double* values) {
    if (ndim == 0) {
        return read_number(obj, values);
    }
    if (PyList_CheckExact(obj) || PyTuple_CheckExact(obj)) {
        if (PySequence_Fast_GET_SIZE(obj) != shape[0]) {
            return false;
        }
        PyObject** items = PySequence_Fast_ITEMS(obj);
        const Py_ssize_t stride = ndim == 2 ? shape[1] : 1;
        for (Py_ssize_t i = 0; i < shape[0]; ++i) {
            if (!read_nested(items[i], shape + 1, ndim - 1, values + i * stride)) {
                return false;
            }
        }
        return true;
    }
    return PyObject_CheckBuffer(obj) && read_buffer(obj, shape, ndim, values);
}

}  // namespace

bool read_single_pose(PyObject* obj, std::size_t width, double* values) {
    static constexpr Py_ssize_t ROTATION[] = {3, 3};
    const Py_ssize_t row[] = {static_cast<Py_ssize_t>(width)};
    if (width == 1) {
        // A 0-d float64 array is a buffer of no axes.
        return read_number(obj, values) ||
               (PyObject_CheckBuffer(obj) && read_buffer(obj, row, 0, values));
    }
    if (width == 9) {
        return read_nested(obj, ROTATION, 2, values);
    }
    return width <= MAX_POSE_VALUES && read_nested(obj, row, 1, values);
}

}  // namespace quorbel::arrays
