#include "module/converters.hpp"

#include <cstring>

namespace quorbel::module {

namespace {

constexpr Py_ssize_t VEC3_LENGTH = 3;
constexpr Py_ssize_t JOINT_PAIR_LENGTH = 2;

// obj[i] through the item protocol, as a new reference. Exact lists and
// tuples are read directly; a list is re-checked at every item because the
// conversion of an earlier item can run Python code that shrinks it.
PyObject* item_at(PyObject* seq, Py_ssize_t i) {
    if (PyTuple_CheckExact(seq) && i < PyTuple_GET_SIZE(seq)) {
        return Py_NewRef(PyTuple_GET_ITEM(seq, i));
    }
    if (PyList_CheckExact(seq) && i < PyList_GET_SIZE(seq)) {
        return Py_NewRef(PyList_GET_ITEM(seq, i));
    }
    PyObject* key = PyLong_FromSsize_t(i);
    if (key == nullptr) {
        return nullptr;
    }
    PyObject* item = PyObject_GetItem(seq, key);
    Py_DECREF(key);
    return item;
}

// The checks before any item is read, in the order they are reported: a
// sequence at all (TypeError), then a length of exactly three (ValueError).
bool check_length_three(PyObject* obj) {
    if (!PySequence_Check(obj)) {
        raise_cannot_convert(obj, "Sequence");
        return false;
    }
    const Py_ssize_t length = PyObject_Size(obj);
    if (length < 0) {
        return false;
    }
    if (length != VEC3_LENGTH) {
        python::raise_format(PyExc_ValueError, "expected a sequence of length %zd (got %zd)",
                             VEC3_LENGTH, length);
        return false;
    }
    return true;
}

bool number_at(PyObject* seq, Py_ssize_t i, double* out) {
    PyObject* item = item_at(seq, i);
    if (item == nullptr) {
        return false;
    }
    const bool ok = to_double(item, out);
    Py_DECREF(item);
    return ok;
}

// The items of an exact list or tuple of length three, read in place;
// nullptr, with nothing raised, for anything else. This and
// exact_float_triple are marked inline so that they fold into the
// converters of every call, as the separate checks they replace did.
inline PyObject* const* exact_items_of_three(PyObject* obj) {
    if (PyList_CheckExact(obj)) {
        return PyList_GET_SIZE(obj) == VEC3_LENGTH ? reinterpret_cast<PyListObject*>(obj)->ob_item
                                                   : nullptr;
    }
    if (PyTuple_CheckExact(obj)) {
        return PyTuple_GET_SIZE(obj) == VEC3_LENGTH
                   ? reinterpret_cast<PyTupleObject*>(obj)->ob_item
                   : nullptr;
    }
    return nullptr;
}

// The usual argument, an exact list or tuple of three exact floats, read
// without the generic protocols: such an object passes the sequence check,
// its length is its own size and its items are the stored ones, so this
// gives what the general rules give, without running any Python code.
// False, with nothing raised, for anything else.
inline bool exact_float_triple(PyObject* obj, double* out) {
    PyObject* const* items = exact_items_of_three(obj);
    if (items == nullptr || !PyFloat_CheckExact(items[0]) || !PyFloat_CheckExact(items[1]) ||
        !PyFloat_CheckExact(items[2])) {
        return false;
    }
    out[0] = PyFloat_AS_DOUBLE(items[0]);
    out[1] = PyFloat_AS_DOUBLE(items[1]);
    out[2] = PyFloat_AS_DOUBLE(items[2]);
    return true;
}

// The same for a matrix: an exact list or tuple of three such rows. On false
// *out may be partly written; the general rules then fill it again.
bool exact_float_matrix(PyObject* obj, Mat3* out) {
    PyObject* const* rows = exact_items_of_three(obj);
    return rows != nullptr && exact_float_triple(rows[0], (*out)[0].data()) &&
           exact_float_triple(rows[1], (*out)[1].data()) &&
           exact_float_triple(rows[2], (*out)[2].data());
}

bool is_named_string(PyObject* obj, const char* expected) {
    return obj != nullptr && PyUnicode_Check(obj) &&
           PyUnicode_CompareWithASCIIString(obj, expected) == 0;
}

// Whether the type's `__module__` is "numpy" and its `__name__` is `name` or
// `other_name` (nullptr: no other). Attributes that cannot be read as strings
// make the answer no.
bool is_numpy_type_named(PyTypeObject* type, const char* name, const char* other_name) {
    PyObject* module = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__");
    if (module == nullptr) {
        PyErr_Clear();
        return false;
    }
    const bool from_numpy = is_named_string(module, "numpy");
    Py_DECREF(module);
    if (!from_numpy) {
        return false;
    }
    PyObject* type_name = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__name__");
    if (type_name == nullptr) {
        PyErr_Clear();
        return false;
    }
    const bool named = is_named_string(type_name, name) ||
                       (other_name != nullptr && is_named_string(type_name, other_name));
    Py_DECREF(type_name);
    return named;
}

// NumPy's boolean scalar type: numpy.bool_, called numpy.bool from NumPy 2 on.
bool is_numpy_bool_type(PyTypeObject* type) { return is_numpy_type_named(type, "bool_", "bool"); }

// numpy.ndarray itself, subclasses excluded. NumPy defines it as a static
// type named "numpy.ndarray"; a class written in Python is a heap type, so a
// class that only takes that module and name (and may export a buffer of
// its own, or read its items differently from its buffer) is never taken
// for it, and telling them apart runs no Python code. The type recognised is
// kept, with a reference held for the life of the process, so that every
// later call compares one pointer; from then on no other type is asked.
PyTypeObject* recognised_ndarray_type = nullptr;

bool is_numpy_ndarray(PyObject* obj) {
    PyTypeObject* type = Py_TYPE(obj);
    if (recognised_ndarray_type != nullptr) {
        return type == recognised_ndarray_type;
    }
    if ((PyType_GetFlags(type) & Py_TPFLAGS_HEAPTYPE) != 0 || type->tp_as_buffer == nullptr ||
        type->tp_as_buffer->bf_getbuffer == nullptr ||
        std::strcmp(type->tp_name, "numpy.ndarray") != 0) {
        return false;
    }
    Py_INCREF(type);
    recognised_ndarray_type = type;
    return true;
}

// The buffer format of native-endian, natively aligned float64 items. NumPy
// writes a byte-swapped array as ">d" or "<d" and an unaligned one as "=d":
// those, like every other dtype, take the item protocol.
constexpr char NATIVE_DOUBLE_FORMAT[] = "d";

// An exact ndarray of `Rank` dimensions (1: a vector, 2: a matrix), each of
// length three, whose items are native float64, copied from its buffer into
// `out` in row-major order: 3 values for a vector, 9 for a matrix. Any
// strides, negative ones included, are followed as the buffer gives them.
// False, with nothing raised, for any other object or array; the item
// protocol reads those, and for the arrays read here it gives these same
// doubles (each item is a numpy.float64 holding the stored double), only
// slower.
template <int Rank>
bool read_float64_array(PyObject* obj, double* out) {
    static_assert(Rank == 1 || Rank == 2, "a vector or a matrix");
    if (!is_numpy_ndarray(obj)) {
        return false;
    }
    Py_buffer view;
    if (PyObject_GetBuffer(obj, &view, PyBUF_RECORDS_RO) != 0) {
        // Arrays of objects, datetimes and the like export no buffer.
        PyErr_Clear();
        return false;
    }
    const bool readable =
        view.ndim == Rank && view.itemsize == sizeof(double) && view.format != nullptr &&
        std::strcmp(view.format, NATIVE_DOUBLE_FORMAT) == 0 && view.suboffsets == nullptr &&
        view.shape[0] == VEC3_LENGTH && (Rank == 1 || view.shape[Rank - 1] == VEC3_LENGTH);
    if (readable) {
        const char* items = static_cast<const char*>(view.buf);
        const Py_ssize_t row_stride = Rank == 2 ? view.strides[0] : 0;
        const Py_ssize_t item_stride = view.strides[Rank - 1];
        constexpr int rows = Rank == 2 ? VEC3_LENGTH : 1;
        for (int i = 0; i < rows; ++i) {
            for (int j = 0; j < VEC3_LENGTH; ++j) {
                std::memcpy(&out[i * VEC3_LENGTH + j], items + i * row_stride + j * item_stride,
                            sizeof(double));
            }
        }
    }
    PyBuffer_Release(&view);
    return readable;
}

}  // namespace

PyObject* type_name_of(PyObject* obj) {
    PyObject* name =
        PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(obj)), "__qualname__");
    if (name != nullptr && PyUnicode_Check(name)) {
        return name;
    }
    if (name == nullptr) {
        PyErr_Clear();
    }
    Py_XDECREF(name);
    return PyUnicode_FromString("<failed to extract type name>");
}

void raise_cannot_convert(PyObject* obj, const char* target) {
    PyObject* name = type_name_of(obj);
    if (name == nullptr) {
        return;
    }
    python::raise_format(PyExc_TypeError, "'%U' object cannot be converted to '%s'", name, target);
    Py_DECREF(name);
}

bool to_double(PyObject* obj, double* out) {
    if (PyFloat_CheckExact(obj)) {
        *out = PyFloat_AS_DOUBLE(obj);
        return true;
    }
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        return false;
    }
    *out = value;
    return true;
}

bool to_bool(PyObject* obj, bool* out) {
    if (PyBool_Check(obj)) {
        *out = obj == Py_True;
        return true;
    }
    PyTypeObject* type = Py_TYPE(obj);
    if (!is_numpy_bool_type(type)) {
        raise_cannot_convert(obj, "PyBool");
        return false;
    }
    PyNumberMethods* number = type->tp_as_number;
    if (number == nullptr || number->nb_bool == nullptr) {
        python::raise_format(PyExc_TypeError,
                             "object of type '%S' does not define a '__bool__' conversion",
                             reinterpret_cast<PyObject*>(type));
        return false;
    }
    const int truth = number->nb_bool(obj);
    if (truth == 0 || truth == 1) {
        *out = truth == 1;
        return true;
    }
    if (!PyErr_Occurred()) {
        python::raise_format(PyExc_SystemError,
                             "__bool__ of '%S' returned %d without setting an error",
                             reinterpret_cast<PyObject*>(type), truth);
    }
    return false;
}

bool to_vec3(PyObject* obj, Vec3* out) {
    double values[VEC3_LENGTH];
    if (exact_float_triple(obj, values) || read_float64_array<1>(obj, values)) {
        *out = {values[0], values[1], values[2]};
        return true;
    }
    if (!check_length_three(obj)) {
        return false;
    }
    return number_at(obj, 0, &out->x) && number_at(obj, 1, &out->y) &&
           number_at(obj, 2, &out->z);
}

bool to_mat3(PyObject* obj, Mat3* out) {
    if (exact_float_matrix(obj, out)) {
        return true;
    }
    double values[VEC3_LENGTH * VEC3_LENGTH];
    if (read_float64_array<2>(obj, values)) {
        for (Py_ssize_t i = 0; i < VEC3_LENGTH; ++i) {
            (*out)[i] = {values[i * VEC3_LENGTH], values[i * VEC3_LENGTH + 1],
                         values[i * VEC3_LENGTH + 2]};
        }
        return true;
    }
    if (!check_length_three(obj)) {
        return false;
    }
    for (Py_ssize_t i = 0; i < VEC3_LENGTH; ++i) {
        PyObject* row = item_at(obj, i);
        if (row == nullptr) {
            return false;
        }
        Vec3 values{};
        const bool ok = to_vec3(row, &values);
        Py_DECREF(row);
        if (!ok) {
            return false;
        }
        (*out)[i] = {values.x, values.y, values.z};
    }
    return true;
}

bool to_optional_joint_pair(PyObject* obj, std::optional<JointPair>* out) {
    if (obj == Py_None) {
        *out = std::nullopt;
        return true;
    }
    if (!PyTuple_Check(obj)) {
        raise_cannot_convert(obj, "PyTuple");
        return false;
    }
    const Py_ssize_t length = PyTuple_GET_SIZE(obj);
    if (length != JOINT_PAIR_LENGTH) {
        python::raise_format(PyExc_ValueError,
                             "expected tuple of length %zd, but got tuple of length %zd",
                             JOINT_PAIR_LENGTH, length);
        return false;
    }
    JointPair pair{};
    if (!to_double(PyTuple_GET_ITEM(obj, 0), &pair.theta_a) ||
        !to_double(PyTuple_GET_ITEM(obj, 1), &pair.theta_b)) {
        return false;
    }
    *out = pair;
    return true;
}

bool to_text(PyObject* obj, std::string_view* out) {
    if (!PyUnicode_Check(obj)) {
        raise_cannot_convert(obj, "PyString");
        return false;
    }
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(obj, &size);
    if (utf8 == nullptr) {
        return false;
    }
    *out = std::string_view(utf8, static_cast<std::size_t>(size));
    return true;
}

void wrap_argument_error(const char* parameter) {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    if (value == nullptr || Py_TYPE(value) != reinterpret_cast<PyTypeObject*>(PyExc_TypeError)) {
        PyErr_Restore(type, value, traceback);
        return;
    }
    PyObject* text = PyObject_Str(value);
    PyObject* message =
        text != nullptr ? PyUnicode_FromFormat("argument '%s': %U", parameter, text) : nullptr;
    PyObject* replacement =
        message != nullptr ? PyObject_CallOneArg(PyExc_TypeError, message) : nullptr;
    if (replacement != nullptr) {
        PyObject* cause = PyException_GetCause(value);
        if (cause != nullptr) {
            PyException_SetCause(replacement, cause);  // steals the reference
        }
        PyErr_SetObject(PyExc_TypeError, replacement);
    }
    Py_XDECREF(replacement);
    Py_XDECREF(message);
    Py_XDECREF(text);
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(traceback);
}

}  // namespace quorbel::module
