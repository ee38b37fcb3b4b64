// kernel_signatures(): each kernel's signature as Python values, so that the
// tests hold the package's pose shapes (_poses.py) and the stub
// (_kernels.pyi) to the widths and names the kernels check, declared here in
// C++ once.
#include "arrays/kernels.hpp"

namespace quorbel::arrays {

namespace {

const char* element_name(Element element) {
    return element == Element::float64 ? "float64" : "bool";
}

const char* access_name(Access access) {
    switch (access) {
        case Access::read: return "read";
        case Access::optional_read: return "optional";
        case Access::write: return "write";
        case Access::number: return "number";
    }
    return "?";
}

PyObject* signature_value(const KernelSignature& signature) {
    PyObject* parameters = PyTuple_New(static_cast<Py_ssize_t>(signature.parameter_count));
    if (parameters == nullptr) return nullptr;
    for (std::size_t k = 0; k < signature.parameter_count; ++k) {
        const KernelParameter& p = signature.parameters[k];
        PyObject* item = Py_BuildValue("(ssns)", p.name, element_name(p.element),
                                       static_cast<Py_ssize_t>(p.width), access_name(p.access));
        if (item == nullptr) {
            Py_DECREF(parameters);
            return nullptr;
        }
        PyTuple_SET_ITEM(parameters, static_cast<Py_ssize_t>(k), item);
    }
    return Py_BuildValue("(ON)", signature.takes_arm ? Py_True : Py_False, parameters);
}

bool add(PyObject* report, const KernelSignature& signature) {
    PyObject* value = signature_value(signature);
    if (value == nullptr) return false;
    const int status = PyDict_SetItemString(report, signature.name, value);
    Py_DECREF(value);
    return status == 0;
}

}  // namespace

PyObject* kernel_signatures_kernel(PyObject*, PyObject* const*, Py_ssize_t nargs) {
    if (nargs != 0) {
        PyErr_SetString(PyExc_TypeError, "kernel_signatures() takes no arguments");
        return nullptr;
    }
    PyObject* report = PyDict_New();
    if (report == nullptr) return nullptr;
#define QTK_ADD_SIGNATURE(name) &name##_signature,
    const KernelSignature* const signatures[] = {
        QTK_POSE_KERNELS(QTK_ADD_SIGNATURE) &torso_look_at_signature};
#undef QTK_ADD_SIGNATURE
    for (const KernelSignature* signature : signatures) {
        if (!add(report, *signature)) {
            Py_DECREF(report);
            return nullptr;
        }
    }
    return report;
}

}  // namespace quorbel::arrays
