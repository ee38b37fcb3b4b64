#include "module/result_builders.hpp"

namespace quorbel::module {

namespace {

void store_in_list(PyObject* list, Py_ssize_t i, PyObject* item) { PyList_SET_ITEM(list, i, item); }
void store_in_tuple(PyObject* tuple, Py_ssize_t i, PyObject* item) {
    PyTuple_SET_ITEM(tuple, i, item);
}

// A list or tuple of the given floats, created at its final size.
template <PyObject* (*New)(Py_ssize_t), void (*Store)(PyObject*, Py_ssize_t, PyObject*),
          std::size_t N>
PyObject* float_sequence(const double (&values)[N]) {
    PyObject* seq = New(static_cast<Py_ssize_t>(N));
    if (seq == nullptr) {
        return nullptr;
    }
    for (std::size_t i = 0; i < N; ++i) {
        PyObject* item = PyFloat_FromDouble(values[i]);
        if (item == nullptr) {
            Py_DECREF(seq);  // releases the items already stored
            return nullptr;
        }
        Store(seq, static_cast<Py_ssize_t>(i), item);  // steals item
    }
    return seq;
}

PyObject* float_list3(double a, double b, double c) {
    const double values[] = {a, b, c};
    return float_sequence<PyList_New, store_in_list>(values);
}

}  // namespace

PyObject* from_vec3(Vec3 v) { return float_list3(v.x, v.y, v.z); }

PyObject* from_mat3(const Mat3& m) {
    PyObject* rows = PyList_New(3);
    if (rows == nullptr) {
        return nullptr;
    }
    for (Py_ssize_t i = 0; i < 3; ++i) {
        PyObject* row = float_list3(m[i][0], m[i][1], m[i][2]);
        if (row == nullptr) {
            Py_DECREF(rows);
            return nullptr;
        }
        PyList_SET_ITEM(rows, i, row);
    }
    return rows;
}

PyObject* from_joint_pair(JointPair pair) {
    const double values[] = {pair.theta_a, pair.theta_b};
    return float_sequence<PyTuple_New, store_in_tuple>(values);
}

PyObject* from_neck_angles(NeckAngles angles) {
    const double values[] = {angles.yaw, angles.pitch, angles.roll};
    return float_sequence<PyTuple_New, store_in_tuple>(values);
}

}  // namespace quorbel::module
