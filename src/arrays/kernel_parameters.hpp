// What a kernel's parameter is (its name in errors, its element, its width,
// how it is accessed), and the parameters several kernels share, declared
// once. A parameter's name is the package's name for it at the Python
// boundary, where the words of every error come from.
#pragma once

#include <cstddef>

#include "arrays/pose_widths.hpp"

namespace quorbel::arrays {

// float64 ("d", 8 bytes) or a byte of truth ("?" or "B", 1 byte).
enum class Element { float64, boolean };

// Inputs are read-only views; results are written in place. An input may be
// optional (None: no values). A number is one real value for every pose, a
// Python number rather than a buffer (its element and width are unused).
enum class Access { read, optional_read, write, number };

struct KernelParameter {
    const char* name;
    Element element;
    std::size_t width;  // values per pose
    Access access;
};

constexpr KernelParameter input_of_width(const char* name, std::size_t width) {
    return {name, Element::float64, width, Access::read};
}

constexpr KernelParameter optional_of_width(const char* name, std::size_t width) {
    return {name, Element::float64, width, Access::optional_read};
}

// A kernel's result: `width` doubles per pose, or one truth value per pose.
constexpr KernelParameter result_of_width(std::size_t width, const char* name = "out") {
    return {name, Element::float64, width, Access::write};
}
inline constexpr KernelParameter REACHABLE_RESULT = {"out", Element::boolean, 1, Access::write};

constexpr KernelParameter number_named(const char* name) {
    return {name, Element::float64, 0, Access::number};
}

// The arm's inputs. A direction is `v3` where the package takes it.
inline constexpr KernelParameter THETA_A = input_of_width("theta_a", ANGLE_WIDTH);
inline constexpr KernelParameter THETA_B = input_of_width("theta_b", ANGLE_WIDTH);
inline constexpr KernelParameter DIRECTION = input_of_width("v3", VECTOR_WIDTH);
inline constexpr KernelParameter DIRECTION_RATE = input_of_width("direction_rate", VECTOR_WIDTH);
inline constexpr KernelParameter R_TARGET = input_of_width("r_target", MATRIX_WIDTH);

// The options of the arm's inverse kinematics: a joint pair to stay near, the
// joints' bounds, and `wrap` (nonzero for angle-wise near).
inline constexpr KernelParameter NEAR = optional_of_width("near", JOINT_PAIR_WIDTH);
inline constexpr KernelParameter LIMITS = optional_of_width("limits", LIMITS_WIDTH);
inline constexpr KernelParameter WRAP = number_named("wrap");

// The neck's inputs: its angles, a rotation, an angular velocity.
inline constexpr KernelParameter NECK_ANGLES = input_of_width("joints", NECK_ANGLES_WIDTH);
inline constexpr KernelParameter ROTATION = input_of_width("r", MATRIX_WIDTH);
inline constexpr KernelParameter OMEGA = input_of_width("omega", VECTOR_WIDTH);

}  // namespace quorbel::arrays
