// The binder of kernel_call.hpp: arity, the arm's geometry, then each parameter
// in order, the first problem reported.
#include "arrays/kernel_call.hpp"

#include <cstdint>
#include <utility>

#include "arrays/prepared_arm.hpp"

namespace quorbel::arrays {

namespace {

constexpr Py_ssize_t ARM_ARGUMENTS = 4;

// The element code of a buffer format in native byte order ("d", "@d", "=d",
// and "<d" on a little-endian machine all give 'd'), or 0 for a byte order
// that is not native, a repeat count or a structure. A null format means
// unsigned bytes.
char native_code(const char* format, std::size_t itemsize) {
    if (format == nullptr) {
        return 'B';
    }
#if PY_LITTLE_ENDIAN
    constexpr char native_order = '<';
#else
    constexpr char native_order = '>';
#endif
    // A single byte reads the same in either order.
    if (*format == '@' || *format == '=' || *format == native_order ||
        (itemsize == 1 && (*format == '<' || *format == '>' || *format == '!'))) {
        ++format;
    }
    return (format[0] != '\0' && format[1] == '\0') ? format[0] : '\0';
}

bool element_matches(Element element, const Py_buffer& view) {
    const char code = native_code(view.format, static_cast<std::size_t>(view.itemsize));
    if (element == Element::float64) {
        return code == 'd' && view.itemsize == 8;
    }
    return (code == '?' || code == 'B') && view.itemsize == 1;
}

const char* element_name(Element element) {
    return element == Element::float64 ? "float64 (format 'd')"
                                        : "bool or uint8 (format '?' or 'B')";
}

}  // namespace

void KernelCall::release() {
    for (std::size_t k = 0; k < MAX_PARAMETERS; ++k) {
        if (acquired_[k]) {
            PyBuffer_Release(&views_[k]);
        }
        Py_XDECREF(results_[k]);
    }
}

void KernelCall::report_single_arity(const KernelSignature& signature, Py_ssize_t expected,
                                     Py_ssize_t nargs) {
    python::raise_format(PyExc_TypeError, "%s_single() takes exactly %zd arguments (%zd given)",
                         signature.name, expected, nargs);
}

PyObject* KernelCall::results_tuple(const KernelSignature& signature, PyObject** results,
                                    std::size_t count) {
    PyObject* tuple = PyTuple_New(static_cast<Py_ssize_t>(count));
    if (tuple == nullptr) {
        return nullptr;
    }
    for (std::size_t k = 0, item = 0; k < signature.parameter_count; ++k) {
        if (results[k] != nullptr) {
            PyTuple_SET_ITEM(tuple, static_cast<Py_ssize_t>(item++), results[k]);
            results[k] = nullptr;
        }
    }
    return tuple;
}

bool KernelCall::bind(const KernelSignature& signature, Binding binding, PyObject* const* args,
                      Py_ssize_t nargs) {
    if (binding == Binding::single) {
        return bind_single(signature, args, nargs);
    }
    const Py_ssize_t leading = signature.takes_arm ? ARM_ARGUMENTS : 0;
    const Py_ssize_t expected = leading + static_cast<Py_ssize_t>(signature.parameter_count);
    if (nargs != expected) {
        python::raise_format(PyExc_TypeError, "%s() takes exactly %zd arguments (%zd given)",
                             signature.name, expected, nargs);
        return false;
    }
    if (signature.takes_arm && !bind_arm(signature, args)) {
        return false;
    }
    for (std::size_t k = 0; k < signature.parameter_count; ++k) {
        if (!bind_parameter(signature, binding, k,
                            args[leading + static_cast<Py_ssize_t>(k)])) {
            return false;
        }
    }
    return true;
}

bool KernelCall::bind_arm(const KernelSignature& signature, PyObject* const* args) {
    const double arm_arc = PyFloat_AsDouble(args[0]);
    if (arm_arc == -1.0 && PyErr_Occurred()) {
        return false;
    }
    const double coupler_arc = PyFloat_AsDouble(args[1]);
    if (coupler_arc == -1.0 && PyErr_Occurred()) {
        return false;
    }
    if (!PyBool_Check(args[2])) {
        python::raise_format(PyExc_TypeError, "%s(): mirror must be a bool, not %.200s",
                             signature.name, Py_TYPE(args[2])->tp_name);
        return false;
    }
    const bool mirror = args[2] == Py_True;
    const bool positive = PyUnicode_Check(args[3]) &&
                          PyUnicode_CompareWithASCIIString(args[3], "positive") == 0;
    const bool negative = PyUnicode_Check(args[3]) &&
                          PyUnicode_CompareWithASCIIString(args[3], "negative") == 0;
    if (!positive && !negative) {
        python::raise_format(PyExc_ValueError, "%s(): branch must be 'positive' or 'negative'",
                             signature.name);
        return false;
    }
    arm_ = &made_arm_.emplace(prepare_arm(arm_arc, coupler_arc, mirror, negative));
    return true;
}

bool KernelCall::bind_parameter(const KernelSignature& signature, Binding binding,
                                std::size_t k, PyObject* obj) {
    const KernelParameter& parameter = signature.parameters[k];
    const bool input =
        parameter.access == Access::read || parameter.access == Access::optional_read;
    if (binding == Binding::single && input) {
        count_ = 1;
        if (parameter.access == Access::optional_read && obj == Py_None) {
            data_[k] = nullptr;
            return true;
        }
        data_[k] = single_pose_[k];
        return read_single_pose(obj, parameter.width, single_pose_[k]);
    }
    if (parameter.access != Access::number) {
        return bind_buffer(signature, k, obj);
    }
    const double value = PyFloat_AsDouble(obj);
    if (value == -1.0 && PyErr_Occurred()) {
        if (PyErr_ExceptionMatches(PyExc_TypeError)) {
            PyErr_Clear();
            python::raise_format(PyExc_TypeError, "%s(): %s must be a real number, not %.200s",
                                 signature.name, signature.parameters[k].name,
                                 Py_TYPE(obj)->tp_name);
        }
        return false;
    }
    numbers_[k] = value;
    return true;
}

bool KernelCall::bind_buffer(const KernelSignature& signature, std::size_t k, PyObject* obj) {
    const KernelParameter& parameter = signature.parameters[k];
    if (parameter.access == Access::optional_read && obj == Py_None) {
        data_[k] = nullptr;
        return true;
    }
    if (!PyObject_CheckBuffer(obj)) {
        python::raise_format(PyExc_TypeError, "%s(): %s must be a buffer, not %.200s",
                             signature.name, parameter.name, Py_TYPE(obj)->tp_name);
        return false;
    }
    const bool writable = parameter.access == Access::write;
    const int flags = PyBUF_C_CONTIGUOUS | PyBUF_FORMAT | (writable ? PyBUF_WRITABLE : 0);
    if (PyObject_GetBuffer(obj, &views_[k], flags) != 0) {
        if (PyErr_ExceptionMatches(PyExc_MemoryError)) {
            return false;
        }
        PyErr_Clear();
        python::raise_format(PyExc_ValueError, "%s(): %s must be a C-contiguous%s buffer",
                             signature.name, parameter.name, writable ? " writable" : "");
        return false;
    }
    acquired_[k] = true;
    holds_ = true;
    const Py_buffer& view = views_[k];
    if (!element_matches(parameter.element, view)) {
        python::raise_format(PyExc_ValueError,
                             "%s(): %s must hold %s, not format '%s' of itemsize %zd",
                             signature.name, parameter.name, element_name(parameter.element),
                             view.format != nullptr ? view.format : "B", view.itemsize);
        return false;
    }
    // The loops read and write through double*: a view at an odd offset of
    // its memory (np.frombuffer with an offset, say) is not theirs to take.
    if (parameter.element == Element::float64 &&
        reinterpret_cast<std::uintptr_t>(view.buf) % alignof(double) != 0) {
        python::raise_format(PyExc_ValueError, "%s(): %s must be aligned to %zu bytes",
                             signature.name, parameter.name, alignof(double));
        return false;
    }
    // Compared by division, so that no product of lengths can overflow.
    const std::size_t values = static_cast<std::size_t>(view.len / view.itemsize);
    const bool first = k == 0;
    if (values % parameter.width != 0 ||
        (!first && values / parameter.width != count_)) {
        if (first) {
            python::raise_format(PyExc_ValueError,
                                 "%s(): %s holds %zu values, not a multiple of %zu",
                                 signature.name, parameter.name, values, parameter.width);
        } else {
            python::raise_format(
                PyExc_ValueError,
                "%s(): %s holds %zu values, expected %zu (%zu per pose for %zu poses)",
                signature.name, parameter.name, values, parameter.width * count_,
                parameter.width, count_);
        }
        return false;
    }
    if (first) {
        count_ = values / parameter.width;
    }
    data_[k] = view.buf;
    return true;
}

}  // namespace quorbel::arrays
