#include "module/result_builders.hpp"

namespace quorbel::module {

namespace {

// Every item is made before its container, and the container is filled
// without any allocation in between. A half-filled list or tuple is never
// visible: interpreters before 3.12 may run a garbage collection inside the
// allocation of a list, and its callbacks or gc.get_objects() reach every
// tracked container, where an empty slot would crash the interpreter.

void store_in_list(PyObject* list, Py_ssize_t i, PyObject* item) { PyList_SET_ITEM(list, i, item); }
void store_in_tuple(PyObject* tuple, Py_ssize_t i, PyObject* item) {
    PyTuple_SET_ITEM(tuple, i, item);
}

void release_all(PyObject* const* items, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        Py_DECREF(items[i]);
    }
}

// A list or tuple holding items[0..N), which it takes over; nullptr with the
// items released when the container cannot be allocated.
template <PyObject* (*New)(Py_ssize_t), void (*Store)(PyObject*, Py_ssize_t, PyObject*),
          std::size_t N>
PyObject* pack(PyObject* const (&items)[N]) {
    PyObject* seq = New(static_cast<Py_ssize_t>(N));
    if (seq == nullptr) {
        release_all(items, N);
        return nullptr;
    }
    for (std::size_t i = 0; i < N; ++i) {
        Store(seq, static_cast<Py_ssize_t>(i), items[i]);  // steals the item
    }
    return seq;
}

template <PyObject* (*New)(Py_ssize_t), void (*Store)(PyObject*, Py_ssize_t, PyObject*),
          std::size_t N>
PyObject* float_sequence(const double (&values)[N]) {
    PyObject* items[N];
    for (std::size_t i = 0; i < N; ++i) {
        items[i] = PyFloat_FromDouble(values[i]);
        if (items[i] == nullptr) {
            release_all(items, i);
            return nullptr;
        }
    }
    return pack<New, Store>(items);
}

PyObject* float_list3(double a, double b, double c) {
    const double values[] = {a, b, c};
    return float_sequence<PyList_New, store_in_list>(values);
}

}  // namespace

PyObject* from_vec3(Vec3 v) { return float_list3(v.x, v.y, v.z); }

PyObject* from_mat3(const Mat3& m) {
    PyObject* rows[3];
    for (std::size_t i = 0; i < 3; ++i) {
        rows[i] = float_list3(m[i][0], m[i][1], m[i][2]);
        if (rows[i] == nullptr) {
            release_all(rows, i);
            return nullptr;
        }
    }
    return pack<PyList_New, store_in_list>(rows);
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
