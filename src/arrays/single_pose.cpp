// The reader of single_pose.hpp.
#include "arrays/single_pose.hpp"

#include <cstring>

#include "arrays/numpy_api.hpp"

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

bool has_shape(const Py_ssize_t* axes, int axis_count, const Py_ssize_t* shape, int ndim) {
    if (axis_count != ndim) {
        return false;
    }
    for (int axis = 0; axis < ndim; ++axis) {
        if (axes[axis] != shape[axis]) {
            return false;
        }
    }
    return true;
}

// A NumPy array read through its own fields: the buffer protocol would
// describe it in a new Py_buffer (its format string and shape made for the
// occasion) only for the same test.
bool read_array(PyArrayObject* array, const Py_ssize_t* shape, int ndim, double* values) {
    if (PyArray_TYPE(array) != NPY_DOUBLE || !PyArray_ISNOTSWAPPED(array) ||
        !PyArray_IS_C_CONTIGUOUS(array) ||
        !has_shape(PyArray_DIMS(array), PyArray_NDIM(array), shape, ndim)) {
        return false;
    }
    std::memcpy(values, PyArray_DATA(array), static_cast<std::size_t>(PyArray_NBYTES(array)));
    return true;
}

// A C-contiguous float64 array or other buffer whose shape is exactly
// `shape` (ndim axes).
bool read_buffer(PyObject* obj, const Py_ssize_t* shape, int ndim, double* values) {
    if (PyArray_Check(obj)) {
        return read_array(reinterpret_cast<PyArrayObject*>(obj), shape, ndim, values);
    }
    if (!PyObject_CheckBuffer(obj)) {
        return false;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_C_CONTIGUOUS | PyBUF_FORMAT) != 0) {
        PyErr_Clear();
        return false;
    }
    const bool fits = is_native_float64(view) && has_shape(view.shape, view.ndim, shape, ndim);
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
    return read_buffer(obj, shape, ndim, values);
}

int pose_axes(std::size_t width, npy_intp* shape) {
    switch (width) {
        case ANGLE_WIDTH: return 0;
        case JACOBIAN_WIDTH: shape[0] = VECTOR_WIDTH; shape[1] = JOINT_PAIR_WIDTH; return 2;
        case SOLUTIONS_WIDTH: shape[0] = SOLUTION_SLOTS; shape[1] = JOINT_PAIR_WIDTH; return 2;
        case MATRIX_WIDTH: shape[0] = VECTOR_WIDTH; shape[1] = VECTOR_WIDTH; return 2;
        default: shape[0] = static_cast<npy_intp>(width); return 1;
    }
}

}  // namespace

PyObject* new_single_result(std::size_t width, bool boolean, void** data) {
    if (width == 0 || width > MAX_POSE_VALUES || (boolean && width != ANGLE_WIDTH)) {
        PyErr_Format(PyExc_SystemError, "no single result holds %zu values", width);
        return nullptr;
    }
    npy_intp shape[2] = {};
    const int axes = pose_axes(width, shape);
    // What numpy.empty makes: a new C-contiguous array owning its memory.
    PyArray_Descr* type = PyArray_DescrFromType(boolean ? NPY_BOOL : NPY_DOUBLE);
    if (type == nullptr) {
        return nullptr;
    }
    PyObject* result =
        PyArray_NewFromDescr(&PyArray_Type, type, axes, shape, nullptr, nullptr, 0, nullptr);
    if (result != nullptr) {
        *data = PyArray_DATA(reinterpret_cast<PyArrayObject*>(result));
    }
    return result;
}

bool read_single_pose(PyObject* obj, std::size_t width, double* values) {
    static constexpr Py_ssize_t ROTATION[] = {VECTOR_WIDTH, VECTOR_WIDTH};
    const Py_ssize_t row[] = {static_cast<Py_ssize_t>(width)};
    if (width == ANGLE_WIDTH) {
        // A 0-d float64 array is a buffer of no axes.
        return read_number(obj, values) || read_buffer(obj, row, 0, values);
    }
    if (width == MATRIX_WIDTH) {
        return read_nested(obj, ROTATION, 2, values);
    }
    return width <= MAX_POSE_VALUES && read_nested(obj, row, 1, values);
}

}  // namespace quorbel::arrays
