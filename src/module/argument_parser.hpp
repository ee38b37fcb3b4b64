// One argument parser for every method: a constant parameter table per
// method says the function's name, its parameter names, how many are
// required and the converter of each parameter; the parser binds the call to
// it, checks the receiver, then runs each parameter's converter in
// declaration order, so the first bad argument is the one reported.
#pragma once

#include <array>
#include <cstddef>
#include <utility>

#include "module/converters.hpp"

namespace quorbel::module {

inline constexpr std::size_t MAX_PARAMETERS = 3;

// What the binder needs of a method, whatever its converters.
struct ParameterTable {
    const char* function_name;  // "QuorbelArmKinematics.fk()", used in messages
    std::array<const char*, MAX_PARAMETERS> names;
    Py_ssize_t count;
    Py_ssize_t required;  // the leading `required` parameters have no default
    // The names as interned strings, so that keywords usually match by
    // identity. Filled once, on the first call that passes keywords, under
    // the interpreter lock; never changed afterwards.
    std::array<PyObject*, MAX_PARAMETERS> interned;
};

// A method's parameters: one name per converter, declared together, e.g.
//   Parameters<DoubleArg, DoubleArg> fk_parameters{"QuorbelArmKinematics.fk()", 2,
//                                                  {"theta_a", "theta_b"}};
// A list of names longer or shorter than the converters does not compile, so
// the binder's slots (one per converter) always match the names it fills
// them by.
template <typename... Converters>
struct Parameters {
    static constexpr std::size_t count = sizeof...(Converters);
    static_assert(count <= MAX_PARAMETERS, "raise MAX_PARAMETERS");

    template <std::size_t N>
    constexpr Parameters(const char* function_name, Py_ssize_t required,
                         const char* const (&names)[N])
        : table{function_name, {}, static_cast<Py_ssize_t>(N), required, {}} {
        static_assert(N == count, "one parameter name per converter");
        for (std::size_t i = 0; i < N; ++i) {
            table.names[i] = names[i];
        }
    }

    // A method without parameters.
    constexpr explicit Parameters(const char* function_name)
        : table{function_name, {}, 0, 0, {}} {
        static_assert(count == 0, "one parameter name per converter");
    }

    ParameterTable table;
};

// Fills slots[0..count) with borrowed references, nullptr where the argument
// is absent. Fails with the binding TypeError: too many positional
// arguments, then an unexpected or repeated keyword (in call order), then
// missing required parameters.
bool bind_vectorcall(ParameterTable& table, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** slots);
bool bind_tuple_and_dict(ParameterTable& table, PyObject* args, PyObject* kwargs,
                         PyObject** slots);

// TypeError "'{type}' object cannot be converted to '{class}'" unless self is
// an instance of `type` or of a subtype.
bool check_receiver(PyObject* self, PyTypeObject* type, const char* class_name);

struct Receiver {
    PyObject* self;
    PyTypeObject* type;
    const char* class_name;
};

template <typename Converter>
bool convert_parameter(const char* name, PyObject* obj, typename Converter::value_type* out) {
    if (obj == nullptr) {
        return true;  // absent: *out keeps the caller's default
    }
    if (Converter::convert(obj, out)) {
        return true;
    }
    wrap_argument_error(name);
    return false;
}

template <typename... Converters, std::size_t... I>
bool convert_parameters(const ParameterTable& table, PyObject* const* slots,
                        std::index_sequence<I...>,
                        typename Converters::value_type*... outs) {
    return (convert_parameter<Converters>(table.names[I], slots[I], outs) && ...);
}

// Binds a METH_FASTCALL | METH_KEYWORDS call, checks the receiver when one is
// given, and converts every present argument into `outs` (which hold the
// defaults on entry).
template <typename... Converters>
bool parse_arguments(Parameters<Converters...>& parameters, const Receiver* receiver,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     typename Converters::value_type*... outs) {
    ParameterTable& table = parameters.table;
    constexpr std::size_t count = sizeof...(Converters);
    PyObject* slots[count > 0 ? count : 1] = {};
    if (kwnames == nullptr && nargs >= table.required && nargs <= table.count) {
        // Positional arguments only, as many as the parameters allow: the
        // usual call, bound without looking further.
        for (Py_ssize_t i = 0; i < nargs; ++i) {
            slots[i] = args[i];
        }
    } else if (!bind_vectorcall(table, args, nargs, kwnames, slots)) {
        return false;
    }
    if (receiver != nullptr &&
        !check_receiver(receiver->self, receiver->type, receiver->class_name)) {
        return false;
    }
    return convert_parameters<Converters...>(table, slots, std::index_sequence_for<Converters...>{},
                                             outs...);
}

// The same for a tp_new call (arguments as a tuple and a dict). The bound
// values are held strongly while converting: a converter may run Python code
// that changes the keyword dict.
template <typename... Converters>
bool parse_constructor_arguments(Parameters<Converters...>& parameters, PyObject* args,
                                 PyObject* kwargs, typename Converters::value_type*... outs) {
    ParameterTable& table = parameters.table;
    constexpr std::size_t count = sizeof...(Converters);
    PyObject* slots[count > 0 ? count : 1] = {};
    if (!bind_tuple_and_dict(table, args, kwargs, slots)) {
        return false;
    }
    for (std::size_t i = 0; i < count; ++i) {
        Py_XINCREF(slots[i]);
    }
    const bool ok = convert_parameters<Converters...>(
        table, slots, std::index_sequence_for<Converters...>{}, outs...);
    for (std::size_t i = 0; i < count; ++i) {
        Py_XDECREF(slots[i]);
    }
    return ok;
}

}  // namespace quorbel::module
