// The torso's kernels: a torso read from torso.json once and kept in a
// capsule, written back, and aimed at arrays of targets.
#include <cmath>
#include <string>
#include <string_view>
#include <variant>

#include <quorbel/torso/look_at.hpp>
#include <quorbel/torso/torso_json.hpp>
#include "arrays/json_text.hpp"
#include "arrays/kernel_call.hpp"
#include "arrays/kernels.hpp"
#include "arrays/pose_values.hpp"

namespace quorbel::arrays {

constexpr KernelSignature torso_look_at_signature = {
    "torso_look_at",
    false,
    5,
    {input_of_width("targets", VECTOR_WIDTH), optional_of_width("previous", TORSO_POSE_WIDTH),
     result_of_width(TORSO_POSE_WIDTH, "out_pose"), result_of_width(MECHANISMS, "out_status"),
     result_of_width(MECHANISMS, "out_leftover")}};

namespace {

constexpr const char* CAPSULE_NAME = "quorbel_torso._kernels.Torso";

// Per mechanism (left arm, right arm, neck), as quorbel_torso.AimStatus.
enum class Status { reached = 0, clamped = 1, no_direction = 2, unreachable = 3 };

// Where each mechanism's values start in a torso's pose.
constexpr std::size_t RIGHT_ARM_AT = JOINT_PAIR_WIDTH;
constexpr std::size_t NECK_AT = 2 * JOINT_PAIR_WIDTH;

void destroy_torso(PyObject* capsule) {
    delete static_cast<Torso*>(PyCapsule_GetPointer(capsule, CAPSULE_NAME));
}

const Torso* torso_in(PyObject* capsule) {
    return static_cast<const Torso*>(PyCapsule_GetPointer(capsule, CAPSULE_NAME));
}

PyObject* unicode_of(const std::string& text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* raise_torso_json_error(const JsonError& error) {
    PyObject* message = unicode_of(torso_error_message(error));
    if (message != nullptr) {
        PyErr_SetObject(PyExc_ValueError, message);
        Py_DECREF(message);
    }
    return nullptr;
}

PyObject* capsule_of(const Torso& torso) {
    Torso* kept = new Torso(torso);
    PyObject* capsule = PyCapsule_New(kept, CAPSULE_NAME, destroy_torso);
    if (capsule == nullptr) {
        delete kept;
    }
    return capsule;
}

PyObject* read(PyObject* text) {
    std::string_view utf8;
    if (!text_argument("torso_from_json", text, &utf8)) {
        return nullptr;
    }
    const auto result = read_torso_json(utf8);
    if (const auto* error = std::get_if<JsonError>(&result)) {
        return raise_torso_json_error(*error);
    }
    return capsule_of(std::get<Torso>(result));
}

PyObject* write(const Torso& torso) {
    const std::optional<std::string> text = write_torso_json(torso);
    if (!text) {
        python::raise_format(PyExc_ValueError, "torso.json cannot hold a NaN or infinite number");
        return nullptr;
    }
    return unicode_of(*text);
}

bool check_count(const char* name, Py_ssize_t nargs, Py_ssize_t expected) {
    if (nargs == expected) {
        return true;
    }
    python::raise_format(PyExc_TypeError, "%s() takes exactly %zd arguments (%zd given)", name,
                         expected, nargs);
    return false;
}

// A previous pose with a NaN leaves that mechanism without one.
std::optional<JointPair> previous_pair(const double* p) {
    if (p == nullptr || !std::isfinite(p[0]) || !std::isfinite(p[1])) {
        return std::nullopt;
    }
    return JointPair{p[0], p[1]};
}

std::optional<NeckAngles> previous_neck(const double* p) {
    if (p == nullptr || !std::isfinite(p[0]) || !std::isfinite(p[1]) || !std::isfinite(p[2])) {
        return std::nullopt;
    }
    return NeckAngles{p[0], p[1], p[2]};
}

double code_of(AimStatus status) {
    return static_cast<double>(status == AimStatus::reached ? Status::reached : Status::clamped);
}

double missing_code(const Mount& mount, Vec3 target) {
    return static_cast<double>(direction_from_mount(mount, target) ? Status::unreachable
                                                                   : Status::no_direction);
}

void store_arm(const std::optional<ArmAim>& aim, const Mount& mount, Vec3 target, double* joints,
               double* status, double* leftover) {
    if (aim) {
        joints[0] = aim->joints.theta_a;
        joints[1] = aim->joints.theta_b;
        *status = code_of(aim->status);
        *leftover = aim->leftover;
    } else {
        fill_nan(joints, JOINT_PAIR_WIDTH);
        *status = missing_code(mount, target);
        *leftover = NOT_A_NUMBER;
    }
}

void look_at_loop(const Torso& torso, const KernelCall& call) {
    const double* targets = call.values(0);
    const double* previous = call.values(1);
    double* pose = call.results(2);
    double* status = call.results(3);
    double* leftover = call.results(4);
    for (std::size_t i = 0; i < call.count(); ++i) {
        const Vec3 target = load_vec3(targets + VECTOR_WIDTH * i);
        const double* before = previous ? previous + TORSO_POSE_WIDTH * i : nullptr;
        double* p = pose + TORSO_POSE_WIDTH * i;
        double* s = status + MECHANISMS * i;
        double* l = leftover + MECHANISMS * i;
        store_arm(look_at(torso.left_arm, target, previous_pair(before)), torso.left_arm.mount,
                  target, p, s, l);
        const double* right_before = before ? before + RIGHT_ARM_AT : nullptr;
        store_arm(look_at(torso.right_arm, target, previous_pair(right_before)),
                  torso.right_arm.mount, target, p + RIGHT_ARM_AT, s + 1, l + 1);
        const std::optional<NeckAim> neck =
            look_at(torso.neck, target, previous_neck(before ? before + NECK_AT : nullptr));
        store_neck_angles(neck ? std::optional<NeckAngles>(neck->angles) : std::nullopt,
                          p + NECK_AT);
        s[2] = neck ? code_of(neck->status) : missing_code(torso.neck.mount, target);
        l[2] = neck ? neck->leftover : NOT_A_NUMBER;
    }
}

}  // namespace

PyObject* torso_from_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (!check_count("torso_from_json", nargs, 1)) return nullptr;
    return guarded("torso_from_json", [&] { return read(args[0]); });
}

PyObject* torso_to_json_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (!check_count("torso_to_json", nargs, 1)) return nullptr;
    const Torso* torso = torso_in(args[0]);
    if (torso == nullptr) return nullptr;
    return guarded("torso_to_json", [&] { return write(*torso); });
}

PyObject* example_torso_json_kernel(PyObject*, PyObject* const*, Py_ssize_t nargs) {
    if (!check_count("example_torso_json", nargs, 0)) return nullptr;
    return guarded("example_torso_json", [] { return write(example_torso()); });
}

// torso_look_at(torso, targets, previous, out_pose, out_status, out_leftover).
PyObject* torso_look_at_kernel(PyObject*, PyObject* const* args, Py_ssize_t nargs) {
    if (nargs < 1) {
        check_count("torso_look_at", nargs,
                    1 + static_cast<Py_ssize_t>(torso_look_at_signature.parameter_count));
        return nullptr;
    }
    const Torso* torso = torso_in(args[0]);
    if (torso == nullptr) return nullptr;
    return run_kernel(torso_look_at_signature, args + 1, nargs - 1,
                      [torso](const KernelCall& call) { look_at_loop(*torso, call); });
}

}  // namespace quorbel::arrays
