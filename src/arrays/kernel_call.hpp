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
#include "arrays/single_pose.hpp"
#include "python_shared/python_api.hpp"

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
    ~KernelCall();

    // False with a Python error set when an argument does not fit; with a
    // single binding, also false with no error set when an input is not one
    // pose that read_single_pose takes (then no result is made).
    bool bind(const KernelSignature& signature, Binding binding, PyObject* const* args,
              Py_ssize_t nargs);

    // A single call's results: the one result, or a tuple of them in order;
    // the call keeps none afterwards. nullptr with the error set.
    PyObject* take_results(const KernelSignature& signature);

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
    bool bind_single(const KernelSignature& signature, PyObject* const* args, Py_ssize_t nargs);
    bool make_result(const KernelParameter& parameter, std::size_t k);

    std::optional<Arm> arm_;
    std::size_t count_ = 0;
    Py_buffer views_[MAX_PARAMETERS] = {};
    bool acquired_[MAX_PARAMETERS] = {};
    void* data_[MAX_PARAMETERS] = {};
    double numbers_[MAX_PARAMETERS] = {};
    double single_pose_[MAX_PARAMETERS][MAX_POSE_VALUES] = {};
    PyObject* results_[MAX_PARAMETERS] = {};
};

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
    if (!call.bind(signature, binding, args, nargs)) {
        if (PyErr_Occurred() != nullptr) {
            return nullptr;
        }
        Py_RETURN_NONE;
    }
    loop(static_cast<const KernelCall&>(call));
    return call.take_results(signature);
}

}  // namespace quorbel::arrays
