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

// numpy.empty and its arguments, looked up once: the result of a single pose
// costs about what its kinematics cost, and an import per call would double
// it. They live as long as the process, like the numpy module itself.
struct ResultMaker {
    PyObject* empty = nullptr;
    PyObject* bool_dtype = nullptr;
    PyObject* shapes[MAX_POSE_VALUES + 1] = {};
};

Py_ssize_t pose_axes(std::size_t width, Py_ssize_t* shape) {
    switch (width) {
        case ANGLE_WIDTH: return 0;
        case JACOBIAN_WIDTH: shape[0] = VECTOR_WIDTH; shape[1] = JOINT_PAIR_WIDTH; return 2;
        case SOLUTIONS_WIDTH: shape[0] = SOLUTION_SLOTS; shape[1] = JOINT_PAIR_WIDTH; return 2;
        case MATRIX_WIDTH: shape[0] = VECTOR_WIDTH; shape[1] = VECTOR_WIDTH; return 2;
        default: shape[0] = static_cast<Py_ssize_t>(width); return 1;
    }
}

bool make(ResultMaker& maker) {
    PyObject* numpy = PyImport_ImportModule("numpy");
    if (numpy == nullptr) {
        return false;
    }
    maker.empty = PyObject_GetAttrString(numpy, "empty");
    // np.dtype(np.bool_) itself: empty() takes a dtype object as it is, where
    // the scalar type would be looked up on every call.
    PyObject* bool_type = PyObject_GetAttrString(numpy, "bool_");
    PyObject* dtype = PyObject_GetAttrString(numpy, "dtype");
    if (bool_type != nullptr && dtype != nullptr) {
        maker.bool_dtype = PyObject_CallOneArg(dtype, bool_type);
    }
    Py_XDECREF(bool_type);
    Py_XDECREF(dtype);
    Py_DECREF(numpy);
    if (maker.empty == nullptr || maker.bool_dtype == nullptr) {
        return false;
    }
    for (std::size_t width = 1; width <= MAX_POSE_VALUES; ++width) {
        Py_ssize_t shape[2] = {};
        const Py_ssize_t axes = pose_axes(width, shape);
        if (axes == 1) {
            // A length for a row: empty() reads it sooner than a tuple.
            maker.shapes[width] = PyLong_FromSsize_t(shape[0]);
            if (maker.shapes[width] == nullptr) {
                return false;
            }
            continue;
        }
        maker.shapes[width] = PyTuple_New(axes);
        if (maker.shapes[width] == nullptr) {
            return false;
        }
        for (Py_ssize_t axis = 0; axis < axes; ++axis) {
            PyObject* size = PyLong_FromSsize_t(shape[axis]);
            if (size == nullptr) {
                return false;
            }
            PyTuple_SET_ITEM(maker.shapes[width], axis, size);
        }
    }
    return true;
}

void forget(ResultMaker& maker) {
    Py_CLEAR(maker.empty);
    Py_CLEAR(maker.bool_dtype);
    for (PyObject*& shape : maker.shapes) {
        Py_CLEAR(shape);
    }
}

const ResultMaker* result_maker() {
    static ResultMaker maker;
    static bool made = false;
    if (!made) {
        // Made aside and kept only if no other thread kept one meanwhile: the
        // import can let another thread run the first single call too.
        ResultMaker fresh;
        if (!make(fresh)) {
            forget(fresh);
            return nullptr;
        }
        if (made) {
            forget(fresh);
        } else {
            maker = fresh;
            made = true;
        }
    }
    return &maker;
}

}  // namespace

PyObject* new_single_result(std::size_t width, bool boolean) {
    const ResultMaker* maker = result_maker();
    if (maker == nullptr) {
        return nullptr;
    }
    if (width == 0 || width > MAX_POSE_VALUES) {
        PyErr_Format(PyExc_SystemError, "no single result holds %zu values", width);
        return nullptr;
    }
    if (boolean) {
        PyObject* arguments[] = {maker->shapes[1], maker->bool_dtype};
        return PyObject_Vectorcall(maker->empty, arguments, 2, nullptr);
    }
    PyObject* arguments[] = {maker->shapes[width]};
    return PyObject_Vectorcall(maker->empty, arguments, 1, nullptr);
}

bool read_single_pose(PyObject* obj, std::size_t width, double* values) {
    static constexpr Py_ssize_t ROTATION[] = {VECTOR_WIDTH, VECTOR_WIDTH};
    const Py_ssize_t row[] = {static_cast<Py_ssize_t>(width)};
    if (width == ANGLE_WIDTH) {
        // A 0-d float64 array is a buffer of no axes.
        return read_number(obj, values) ||
               (PyObject_CheckBuffer(obj) && read_buffer(obj, row, 0, values));
    }
    if (width == MATRIX_WIDTH) {
        return read_nested(obj, ROTATION, 2, values);
    }
    return width <= MAX_POSE_VALUES && read_nested(obj, row, 1, values);
}

}  // namespace quorbel::arrays
