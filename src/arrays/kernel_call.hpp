// One binder for every kernel: a constant signature per kernel (its name,
// whether the arm's geometry leads, its parameters), and a call object that
// checks the arguments against it, holds the buffers for the loop and
// releases them. Kernels are private to the package, but no argument, however
// wrong, may crash them: a wrong count or kind is a TypeError, a wrong
// element type, layout (not C-contiguous, doubles not aligned) or length a
// ValueError.
#pragma once

#include <cstddef>
#include <optional>

#include <quorbel/arm/geometry.hpp>
#include "arrays/kernel_parameters.hpp"
#include "arrays/prepared_arm.hpp"
#include "arrays/single_pose.hpp"
#include "python_shared/python_api.hpp"

#if defined(__GNUC__) || defined(__clang__)
#define QTK_ARRAYS_INLINE inline __attribute__((always_inline))
#else
#define QTK_ARRAYS_INLINE inline
#endif

namespace quorbel::arrays {

inline constexpr std::size_t MAX_PARAMETERS = 7;

// The arguments are the arm's geometry when `takes_arm` (arm_arc, coupler_arc:
// numbers; mirror: a bool; branch: "positive" or "negative"), then the
// parameters in order. The first parameter is an input buffer; its length
// fixes the count of poses that every other buffer must hold.
struct KernelSignature {
    const char* name;
    bool takes_arm;
    std::size_t parameter_count;
    KernelParameter parameters[MAX_PARAMETERS];
};

// How a kernel is called: on buffers of any count of poses (the package's
// batch path), or on exactly one pose, for which NumPy's broadcasting would
// cost far more than the kinematics. A single call takes the arm as the
// capsule of prepared_arm instead of its four geometry arguments, then the
// inputs and numbers without the results: each input is read as the caller
// gave it (read_single_pose), and the results are made fresh
// (new_single_result).
enum class Binding { batch, single };

// The capsule of prepared_arm: the arm a single call runs.
inline constexpr const char* PREPARED_ARM = "quorbel_torso.prepared_arm";

class KernelCall {
public:
    KernelCall() = default;
    KernelCall(const KernelCall&) = delete;
    KernelCall& operator=(const KernelCall&) = delete;
    ~KernelCall() {
        if (holds_) {
            release();
        }
    }

    // False with a Python error set when an argument does not fit; with a
    // single binding, also false with no error set when an input is not one
    // pose that read_single_pose takes (then no result is made).
    bool bind(const KernelSignature& signature, Binding binding, PyObject* const* args,
              Py_ssize_t nargs);

    // bind() for a single binding, defined below: inlined into each kernel,
    // whose constant signature then unrolls its loops over the parameters,
    // which a single pose would otherwise walk at run time, three times.
    QTK_ARRAYS_INLINE bool bind_single(const KernelSignature& signature, PyObject* const* args,
                                       Py_ssize_t nargs);

    // A single call's results: the one result, or a tuple of them in order;
    // the call keeps none afterwards. nullptr with the error set.
    QTK_ARRAYS_INLINE PyObject* take_results(const KernelSignature& signature);

    const Arm& arm() const { return *arm_; }
    std::size_t count() const { return count_; }
    // Parameter k as the loops take it; values() is null for an omitted input.
    const double* values(std::size_t k) const { return static_cast<const double*>(data_[k]); }
    double* results(std::size_t k) const { return static_cast<double*>(data_[k]); }
    bool* flags(std::size_t k) const { return static_cast<bool*>(data_[k]); }
    double number(std::size_t k) const { return numbers_[k]; }

private:
    bool bind_arm(const KernelSignature& signature, PyObject* const* args);
    bool bind_parameter(const KernelSignature& signature, Binding binding, std::size_t k,
                        PyObject* obj);
    bool bind_buffer(const KernelSignature& signature, std::size_t k, PyObject* obj);
    // Releases the views acquired and the results not taken.
    void release();
    // The messages of a single binding's failures, out of line.
    static void report_single_arity(const KernelSignature& signature, Py_ssize_t expected,
                                    Py_ssize_t nargs);
    static PyObject* results_tuple(const KernelSignature& signature, PyObject** results,
                                   std::size_t count);

    // The arm bound: the prepared one of a single call's capsule, or one
    // built from the geometry arguments into made_arm_.
    const Arm* arm_ = nullptr;
    std::optional<Arm> made_arm_;
    std::size_t count_ = 0;
    // Left unset until used (a view once acquired_, a pose once read):
    // zeroing their 1.3 kB cost a single pose's call about 8 ns.
    Py_buffer views_[MAX_PARAMETERS];
    bool acquired_[MAX_PARAMETERS] = {};
    void* data_[MAX_PARAMETERS] = {};
    double numbers_[MAX_PARAMETERS] = {};
    double single_pose_[MAX_PARAMETERS][MAX_POSE_VALUES];
    PyObject* results_[MAX_PARAMETERS] = {};
    // Whether a view or a result is held: the destructor's test, so that a
    // single call whose results were taken releases nothing.
    bool holds_ = false;
};

inline bool KernelCall::bind_single(const KernelSignature& signature, PyObject* const* args,
                                    Py_ssize_t nargs) {
    Py_ssize_t expected = signature.takes_arm ? 1 : 0;
    for (std::size_t k = 0; k < signature.parameter_count; ++k) {
        expected += signature.parameters[k].access == Access::write ? 0 : 1;
    }
    if (nargs != expected) {
        report_single_arity(signature, expected, nargs);
        return false;
    }
    if (signature.takes_arm) {
        arm_ = prepared_arm_of(args[0]);
        if (arm_ == nullptr) {
            return false;
        }
    }
    // The inputs first: a pose that is not single leaves no result made.
    PyObject* const* next = args + (signature.takes_arm ? 1 : 0);
    for (std::size_t k = 0; k < signature.parameter_count; ++k) {
        const KernelParameter& parameter = signature.parameters[k];
        if (parameter.access == Access::write) {
            continue;
        }
        PyObject* obj = *next++;
        if (parameter.access == Access::number) {
            if (!bind_parameter(signature, Binding::single, k, obj)) {
                return false;
            }
            continue;
        }
        count_ = 1;
        if (parameter.access == Access::optional_read && obj == Py_None) {
            data_[k] = nullptr;
            continue;
        }
        data_[k] = single_pose_[k];
        if (!read_single_pose(obj, parameter.width, single_pose_[k])) {
            return false;
        }
    }
    for (std::size_t k = 0; k < signature.parameter_count; ++k) {
        const KernelParameter& parameter = signature.parameters[k];
        if (parameter.access != Access::write) {
            continue;
        }
        results_[k] = new_single_result(parameter.width, parameter.element == Element::boolean,
                                        &data_[k]);
        holds_ = true;
        if (results_[k] == nullptr) {
            return false;
        }
    }
    return true;
}

inline PyObject* KernelCall::take_results(const KernelSignature& signature) {
    std::size_t count = 0;
    std::size_t last = 0;
    for (std::size_t k = 0; k < signature.parameter_count; ++k) {
        if (signature.parameters[k].access == Access::write) {
            ++count;
            last = k;
        }
    }
    if (count == 1) {
        PyObject* result = results_[last];
        results_[last] = nullptr;
        holds_ = false;
        return result;
    }
    PyObject* tuple = results_tuple(signature, results_, count);
    holds_ = tuple == nullptr;
    return tuple;
}

// Binds the arguments, runs loop(call) with the interpreter lock released and
// returns None; nullptr with the binding's error. The loop must not touch
// Python.
template <typename Loop>
PyObject* run_kernel(const KernelSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                     Loop&& loop) {
    KernelCall call;
    if (!call.bind(signature, Binding::batch, args, nargs)) {
        return nullptr;
    }
    Py_BEGIN_ALLOW_THREADS
    loop(static_cast<const KernelCall&>(call));
    Py_END_ALLOW_THREADS
    Py_RETURN_NONE;
}

// As above for a batch binding. For a single one: the results, computed with
// the lock held (releasing it costs more than one pose), or None when an input
// is not one pose, and the package takes its batch path.
template <typename Loop>
PyObject* run_kernel(const KernelSignature& signature, Binding binding, PyObject* const* args,
                     Py_ssize_t nargs, Loop&& loop) {
    if (binding == Binding::batch) {
        return run_kernel(signature, args, nargs, static_cast<Loop&&>(loop));
    }
    KernelCall call;
    if (!call.bind_single(signature, args, nargs)) {
        if (PyErr_Occurred() != nullptr) {
            return nullptr;
        }
        Py_RETURN_NONE;
    }
    loop(static_cast<const KernelCall&>(call));
    return call.take_results(signature);
}

}  // namespace quorbel::arrays
