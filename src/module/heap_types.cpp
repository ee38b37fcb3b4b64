#include "module/heap_types.hpp"

#include <cstring>

#include "module/internal_error.hpp"

namespace quorbel::module {

namespace {

// Interpreters before 3.10 keep only the part of Py_tp_doc after the
// signature, so __text_signature__ would be lost; store the full text
// again. The type frees tp_doc with PyObject_Free, so it is allocated with
// PyObject_Malloc.
bool restore_internal_doc(PyTypeObject* type, const char* internal_doc) {
    if (type->tp_doc != nullptr && std::strcmp(type->tp_doc, internal_doc) == 0) {
        return true;
    }
    const std::size_t size = std::strlen(internal_doc) + 1;
    auto* doc = static_cast<char*>(PyObject_Malloc(size));
    if (doc == nullptr) {
        PyErr_NoMemory();
        return false;
    }
    std::memcpy(doc, internal_doc, size);
    PyObject_Free(const_cast<char*>(type->tp_doc));
    type->tp_doc = doc;
    return true;
}

PyTypeObject* create_type(const ClassDefinition& definition) {
    PyType_Slot slots[] = {
        {Py_tp_base, &PyBaseObject_Type},
        {Py_tp_new, reinterpret_cast<void*>(definition.constructor)},
        {Py_tp_dealloc, reinterpret_cast<void*>(release_instance)},
        {Py_tp_doc, const_cast<char*>(definition.internal_doc)},
        {Py_tp_methods, definition.methods},
        {0, nullptr},
    };
    PyType_Spec spec = {definition.spec_name, definition.basic_size, 0, Py_TPFLAGS_DEFAULT,
                        slots};
    auto* type = reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
    if (type == nullptr) {
        return nullptr;
    }
    if (!restore_internal_doc(type, definition.internal_doc)) {
        Py_DECREF(type);
        return nullptr;
    }
    return type;
}

// Replaces the pending error with RuntimeError(message), chained to it.
void raise_chained_runtime_error(const char* class_name) {
    PyObject* type = nullptr;
    PyObject* cause = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &cause, &traceback);
    PyErr_NormalizeException(&type, &cause, &traceback);
    if (cause != nullptr && traceback != nullptr) {
        PyException_SetTraceback(cause, traceback);
    }
    Py_XDECREF(type);
    Py_XDECREF(traceback);
    python::raise_format(PyExc_RuntimeError, "An error occurred while initializing class %s",
                         class_name);
    if (cause == nullptr) {
        return;
    }
    PyObject* error_type = nullptr;
    PyObject* error = nullptr;
    PyObject* error_traceback = nullptr;
    PyErr_Fetch(&error_type, &error, &error_traceback);
    PyErr_NormalizeException(&error_type, &error, &error_traceback);
    if (error != nullptr) {
        PyException_SetCause(error, cause);  // steals cause
    } else {
        Py_DECREF(cause);
    }
    PyErr_Restore(error_type, error, error_traceback);
}

// __all__ of the module, created as an empty list when absent. New reference.
PyObject* module_all(PyObject* module) {
    PyObject* all = PyObject_GetAttrString(module, "__all__");
    if (all != nullptr || !PyErr_ExceptionMatches(PyExc_AttributeError)) {
        return all;
    }
    PyErr_Clear();
    all = PyList_New(0);
    if (all != nullptr && PyObject_SetAttrString(module, "__all__", all) < 0) {
        Py_CLEAR(all);
    }
    return all;
}

}  // namespace

PyTypeObject* get_type(TypeCell& cell) {
    if (cell.type == nullptr) {
        cell.type = create_type(*cell.definition);
    }
    return cell.type;
}

bool register_class(PyObject* module, TypeCell& cell) {
    const char* class_name = cell.definition->attribute_name;
    PyTypeObject* type = get_type(cell);
    if (type == nullptr) {
        raise_chained_runtime_error(class_name);
        return false;
    }
    PyObject* name = PyUnicode_FromString(class_name);
    if (name == nullptr) {
        return false;
    }
    PyObject* all = module_all(module);
    if (all == nullptr) {
        Py_DECREF(name);
        return false;
    }
    const int appended = PyList_Append(all, name);
    Py_DECREF(all);
    if (appended < 0) {
        if (!PyErr_ExceptionMatches(PyExc_MemoryError)) {
            PyErr_Clear();
            raise_internal_error("the module's __all__ is not a list");
        }
        Py_DECREF(name);
        return false;
    }
    const int set = PyObject_SetAttr(module, name, reinterpret_cast<PyObject*>(type));
    Py_DECREF(name);
    return set == 0;
}

PyObject* allocate_instance(PyTypeObject* type) {
    allocfunc allocate = type->tp_alloc != nullptr ? type->tp_alloc : PyType_GenericAlloc;
    return allocate(type, 0);
}

void release_instance(PyObject* self) {
    PyTypeObject* type = Py_TYPE(self);
    if (type->tp_free != nullptr) {
        type->tp_free(self);
    } else {
        // Every heap type inherits a tp_free; reaching here means the type
        // was damaged. Free the memory the allocator gave and say so.
        PyObject_Free(self);
        PyObject* pending_type = nullptr;
        PyObject* pending = nullptr;
        PyObject* pending_traceback = nullptr;
        PyErr_Fetch(&pending_type, &pending, &pending_traceback);
        raise_internal_error("instance released through a type without tp_free");
        PyErr_WriteUnraisable(reinterpret_cast<PyObject*>(type));
        PyErr_Restore(pending_type, pending, pending_traceback);
    }
    Py_DECREF(type);
}

}  // namespace quorbel::module
