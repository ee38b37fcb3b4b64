#include "module/argument_parser.hpp"

#include <string>

#include "module/internal_error.hpp"

namespace quorbel::module {

namespace {

const char* was_or_were(Py_ssize_t n) { return n == 1 ? "was" : "were"; }

bool raise_too_many_positional(const ParameterTable& table, Py_ssize_t given) {
    if (table.required == table.count) {
        python::raise_format(PyExc_TypeError, "%s takes %zd positional arguments but %zd %s given",
                             table.function_name, table.count, given, was_or_were(given));
    } else {
        python::raise_format(PyExc_TypeError,
                             "%s takes from %zd to %zd positional arguments but %zd %s given",
                             table.function_name, table.required, table.count, given,
                             was_or_were(given));
    }
    return false;
}

bool intern_names(ParameterTable& table) {
    if (table.count == 0 || table.interned[0] != nullptr) {
        return true;
    }
    std::array<PyObject*, MAX_PARAMETERS> names{};
    for (Py_ssize_t i = 0; i < table.count; ++i) {
        names[i] = PyUnicode_InternFromString(table.names[i]);
        if (names[i] == nullptr) {
            for (Py_ssize_t j = 0; j < i; ++j) {
                Py_DECREF(names[j]);
            }
            return false;
        }
    }
    table.interned = names;  // kept for the life of the process
    return true;
}

// The parameter index a keyword names, or -1. Identity first (keywords from
// source code are interned), then string equality.
Py_ssize_t find_parameter(const ParameterTable& table, PyObject* keyword) {
    for (Py_ssize_t i = 0; i < table.count; ++i) {
        if (table.interned[i] == keyword) {
            return i;
        }
    }
    if (!PyUnicode_Check(keyword)) {
        return -1;
    }
    for (Py_ssize_t i = 0; i < table.count; ++i) {
        if (PyUnicode_Compare(keyword, table.interned[i]) == 0) {
            return i;
        }
    }
    return -1;
}

bool bind_keyword(const ParameterTable& table, PyObject* keyword, PyObject* value,
                  PyObject** slots) {
    const Py_ssize_t index = find_parameter(table, keyword);
    if (index < 0) {
        python::raise_format(PyExc_TypeError, "%s got an unexpected keyword argument '%S'",
                             table.function_name, keyword);
        return false;
    }
    if (slots[index] != nullptr) {
        python::raise_format(PyExc_TypeError, "%s got multiple values for argument '%s'",
                             table.function_name, table.names[index]);
        return false;
    }
    slots[index] = value;
    return true;
}

// "'a'", "'a' and 'b'", "'a', 'b', and 'c'".
std::string quoted_name_list(const ParameterTable& table, PyObject* const* slots,
                             Py_ssize_t missing) {
    std::string text;
    Py_ssize_t written = 0;
    for (Py_ssize_t i = 0; i < table.required; ++i) {
        if (slots[i] != nullptr) {
            continue;
        }
        if (written > 0) {
            if (missing == 2) {
                text += " and ";
            } else if (written == missing - 1) {
                text += ", and ";
            } else {
                text += ", ";
            }
        }
        text += '\'';
        text += table.names[i];
        text += '\'';
        ++written;
    }
    return text;
}

bool check_required(const ParameterTable& table, PyObject* const* slots) {
    Py_ssize_t missing = 0;
    for (Py_ssize_t i = 0; i < table.required; ++i) {
        missing += slots[i] == nullptr ? 1 : 0;
    }
    if (missing == 0) {
        return true;
    }
    const std::string names = quoted_name_list(table, slots, missing);
    python::raise_format(PyExc_TypeError, "%s missing %zd required positional %s: %s",
                         table.function_name, missing, missing == 1 ? "argument" : "arguments",
                         names.c_str());
    return false;
}

}  // namespace

bool bind_vectorcall(ParameterTable& table, PyObject* const* args, Py_ssize_t nargs,
                     PyObject* kwnames, PyObject** slots) {
    if (nargs > table.count) {
        return raise_too_many_positional(table, nargs);
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        slots[i] = args[i];
    }
    if (kwnames != nullptr) {
        if (!intern_names(table)) {
            return false;
        }
        const Py_ssize_t nkw = PyTuple_GET_SIZE(kwnames);
        for (Py_ssize_t k = 0; k < nkw; ++k) {
            if (!bind_keyword(table, PyTuple_GET_ITEM(kwnames, k), args[nargs + k], slots)) {
                return false;
            }
        }
    } else if (nargs >= table.required) {
        return true;
    }
    return check_required(table, slots);
}

bool bind_tuple_and_dict(ParameterTable& table, PyObject* args, PyObject* kwargs,
                         PyObject** slots) {
    const Py_ssize_t nargs = PyTuple_GET_SIZE(args);
    if (nargs > table.count) {
        return raise_too_many_positional(table, nargs);
    }
    for (Py_ssize_t i = 0; i < nargs; ++i) {
        slots[i] = PyTuple_GET_ITEM(args, i);
    }
    if (kwargs != nullptr && PyDict_GET_SIZE(kwargs) > 0) {
        if (!intern_names(table)) {
            return false;
        }
        Py_ssize_t position = 0;
        PyObject* keyword = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &keyword, &value)) {
            if (!bind_keyword(table, keyword, value, slots)) {
                return false;
            }
        }
    }
    return check_required(table, slots);
}

bool check_receiver(PyObject* self, PyTypeObject* type, const char* class_name) {
    if (self != nullptr && type != nullptr && PyObject_TypeCheck(self, type)) {
        return true;
    }
    if (self == nullptr || type == nullptr) {
        raise_internal_error("a method was called before its class was created");
        return false;
    }
    raise_cannot_convert(self, class_name);
    return false;
}

}  // namespace quorbel::module
