// The lanes the array kernels run on (quorbel/batch.hpp): the core chooses
// the widest the CPU has; QUORBEL_TORSO_SIMD (scalar, sse2, avx2 or neon),
// read once when the module is loaded, forces one, and the tests switch
// between them with _kernels.use_simd(name). Every choice gives the same
// doubles.
#include <cstdlib>
#include <cstring>

#include <quorbel/batch.hpp>

#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

struct LanesName {
    const char* name;
    batch::Lanes lanes;
};

constexpr LanesName LANES_NAMES[] = {{"scalar", batch::Lanes::scalar},
                                     {"sse2", batch::Lanes::sse2},
                                     {"avx2", batch::Lanes::avx2},
                                     {"neon", batch::Lanes::neon}};

// Uses the named lanes; on an unknown name or lanes this CPU lacks, sets a
// ValueError and returns false.
bool use_named_lanes(const char* name) {
    for (const LanesName& entry : LANES_NAMES) {
        if (std::strcmp(entry.name, name) != 0) continue;
        if (batch::use_lanes(entry.lanes)) return true;
        PyErr_Format(PyExc_ValueError, "SIMD path '%s' is not available on this machine", name);
        return false;
    }
    PyErr_Format(PyExc_ValueError,
                 "unknown SIMD path '%s' (expected scalar, sse2, avx2 or neon)", name);
    return false;
}

const char* lanes_name(batch::Lanes lanes) {
    for (const LanesName& entry : LANES_NAMES) {
        if (entry.lanes == lanes) return entry.name;
    }
    return "scalar";
}

}  // namespace

int use_simd_from_environment(PyObject*) {
    const char* forced = std::getenv("QUORBEL_TORSO_SIMD");
    if (forced == nullptr || *forced == '\0') return 0;
    if (use_named_lanes(forced)) return 0;
    return -1;
}

// simd() -> the name of the lanes in use.
PyObject* simd_kernel(PyObject*, PyObject* const*, Py_ssize_t nargs) {
    if (nargs != 0) {
        PyErr_SetString(PyExc_TypeError, "simd() takes no arguments");
        return nullptr;
    }
    return PyUnicode_FromString(lanes_name(batch::current_lanes()));
}

// available_simd() -> the names of the lanes this machine runs.
PyObject* available_simd_kernel(PyObject*, PyObject* const*, Py_ssize_t nargs) {
    if (nargs != 0) {
        PyErr_SetString(PyExc_TypeError, "available_simd() takes no arguments");
        return nullptr;
    }
    PyObject* names = PyList_New(0);
    if (names == nullptr) return nullptr;
    for (const LanesName& entry : LANES_NAMES) {
        if (!batch::lanes_available(entry.lanes)) continue;
        PyObject* name = PyUnicode_FromString(entry.name);
        if (name == nullptr || PyList_Append(names, name) != 0) {
            Py_XDECREF(name);
            Py_DECREF(names);
            return nullptr;
        }
        Py_DECREF(name);
    }
    return names;
}

// use_simd(name): the given lanes from now on, for the whole process.
PyObject* use_simd_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs != 1 || !PyUnicode_Check(args[0])) {
        PyErr_SetString(PyExc_TypeError, "use_simd() takes one str");
        return nullptr;
    }
    const char* name = PyUnicode_AsUTF8(args[0]);
    if (name == nullptr || !use_named_lanes(name)) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace quorbel::arrays
