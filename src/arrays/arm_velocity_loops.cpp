// The loops of arm_velocity_loops.hpp: load a pose, call the core, store the
// result or NaN, one core function per loop.
#include "arrays/arm_velocity_loops.hpp"

#include <optional>

#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>
#include "arrays/pose_values.hpp"
#include "arrays/pose_widths.hpp"

namespace quorbel::arrays {

namespace {

void store_jacobian(const std::optional<Mat3x2>& jacobian, double* out) {
    if (jacobian) {
        store_mat3x2(*jacobian, out);
    } else {
        fill_nan(out, JACOBIAN_WIDTH);
    }
}

}  // namespace

void arm_angular_jacobian(const Arm& arm, const double* theta_a, const double* theta_b,
                          std::size_t count, double* jacobians) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_jacobian(angular_jacobian(arm, theta_a[i], theta_b[i]),
                       jacobians + JACOBIAN_WIDTH * i);
    }
}

void arm_nearest_reachable(const Arm& arm, const double* directions, const double* near,
                           std::size_t count, double* reached, double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_reachable(
            nearest_reachable(arm, load_vec3(directions + VECTOR_WIDTH * i), load_near(near, i)),
            reached + VECTOR_WIDTH * i, joints + JOINT_PAIR_WIDTH * i);
    }
}

}  // namespace quorbel::arrays
