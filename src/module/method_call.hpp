// The shape every method shares: parse the arguments into values, then hand
// them to a body that calls the kinematics and builds the result. The
// values start value-initialised, which is each optional parameter's default.
#pragma once

#include <tuple>

#include "module/argument_parser.hpp"
#include "module/internal_error.hpp"

namespace quorbel::module {

// A method of any calling convention as the PyCFunction a PyMethodDef holds;
// its flags tell the interpreter how to call it.
template <typename Function>
PyCFunction as_cfunction(Function function) {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(function));
}

// METH_FASTCALL with keywords: the convention of every method with parameters.
inline constexpr int FAST = METH_FASTCALL | METH_KEYWORDS;

template <typename... Converters, typename Body>
PyObject* call_with_arguments(Parameters<Converters...>& parameters, const Receiver* receiver,
                              PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                              Body&& body) {
    return guarded([&]() -> PyObject* {
        std::tuple<typename Converters::value_type...> values{};
        const bool parsed = std::apply(
            [&](auto&... value) {
                return parse_arguments(parameters, receiver, args, nargs, kwnames, &value...);
            },
            values);
        if (!parsed) {
            return nullptr;
        }
        return std::apply(body, values);
    });
}

}  // namespace quorbel::module
