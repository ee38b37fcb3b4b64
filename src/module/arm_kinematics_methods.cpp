// The arm's kinematic methods: bind and convert the arguments, call the
// kinematics on the arm, build the result or raise its failure.
#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/inverse_kinematics.hpp>

#include "module/arm_object.hpp"
#include "module/method_call.hpp"
#include "module/method_parameters.hpp"
#include "module/result_builders.hpp"

namespace quorbel::module {

namespace {

constexpr const char* LOOP_NOT_CLOSED_MESSAGE =
    "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler.";
constexpr const char* UNREACHABLE_MESSAGE =
    "Target orientation is outside the spherical 5-bar workspace.";

PyObject* raise_runtime_error(const char* message) {
    python::raise_text(PyExc_RuntimeError, message);
    return nullptr;
}

// An arm method whose arguments are bound and converted by `parameters` and
// whose body receives the arm followed by the converted values.
template <typename... Converters, typename Body>
PyObject* arm_method(Parameters<Converters...>& parameters, PyObject* self,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, Body&& body) {
    const Receiver receiver = arm_receiver(self);
    return call_with_arguments(
        parameters, &receiver, args, nargs, kwnames,
        [&](auto&... values) { return body(arm_of(self), values...); });
}

}  // namespace

PyObject* arm_fk(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return arm_method(
        arm_fk_parameters, self, args, nargs, kwnames,
        [](const Arm& arm, double theta_a, double theta_b) {
            const FkResult fk = forward_kinematics(arm, theta_a, theta_b);
            return fk ? from_mat3(fk->rotation) : raise_runtime_error(LOOP_NOT_CLOSED_MESSAGE);
        });
}

PyObject* arm_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                        PyObject* kwnames) {
    return arm_method(
        arm_direction_parameters, self, args, nargs, kwnames,
        [](const Arm& arm, double theta_a, double theta_b) {
            const std::optional<Vec3> v_3 = pointing_direction(arm, theta_a, theta_b);
            return v_3 ? from_vec3(*v_3) : raise_runtime_error(LOOP_NOT_CLOSED_MESSAGE);
        });
}

PyObject* arm_is_reachable_joints(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                  PyObject* kwnames) {
    return arm_method(
        arm_is_reachable_joints_parameters, self, args, nargs, kwnames,
        [](const Arm& arm, double theta_a, double theta_b) {
            return from_bool(pointing_direction(arm, theta_a, theta_b).has_value());
        });
}

PyObject* arm_ik(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return arm_method(
        arm_ik_parameters, self, args, nargs, kwnames,
        [](const Arm& arm, const Mat3& r_target) {
            const auto pair = ik(arm, r_target);
            return pair ? from_joint_pair(*pair) : raise_runtime_error(UNREACHABLE_MESSAGE);
        });
}

PyObject* arm_is_reachable_orientation(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                       PyObject* kwnames) {
    return arm_method(
        arm_is_reachable_orientation_parameters, self, args, nargs, kwnames,
        [](const Arm& arm, const Mat3& r_target) {
            return from_bool(ik(arm, r_target).has_value());
        });
}

PyObject* arm_ik_from_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                PyObject* kwnames) {
    return arm_method(
        arm_ik_from_direction_parameters, self, args, nargs, kwnames,
        [](const Arm& arm, Vec3 direction, std::optional<JointPair> near) {
            const auto pair = ik_from_direction(arm, direction, near);
            return pair ? from_joint_pair(*pair) : raise_runtime_error(UNREACHABLE_MESSAGE);
        });
}

PyObject* arm_is_reachable_direction(PyObject* self, PyObject* const* args, Py_ssize_t nargs,
                                     PyObject* kwnames) {
    return arm_method(
        arm_is_reachable_direction_parameters, self, args, nargs, kwnames,
        [](const Arm& arm, Vec3 direction) {
            return from_bool(ik_from_direction(arm, direction, std::nullopt).has_value());
        });
}

}  // namespace quorbel::module
