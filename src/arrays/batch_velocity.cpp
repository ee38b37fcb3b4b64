// The loops of batch_velocity.hpp: load a pose, call the core, store the
// result or NaN, one core function per loop.
#include "arrays/batch_velocity.hpp"

#include <optional>

#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>
#include <quorbel/neck/neck_velocity.hpp>
#include "arrays/pose_values.hpp"

namespace quorbel::arrays {

namespace {

void store_jacobian(const std::optional<Mat3x2>& jacobian, double* out) {
    if (jacobian) {
        store_mat3x2(*jacobian, out);
    } else {
        fill_nan(out, 6);
    }
}

}  // namespace

void arm_angular_jacobian(const Arm& arm, const double* theta_a, const double* theta_b,
                          std::size_t count, double* jacobians) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_jacobian(angular_jacobian(arm, theta_a[i], theta_b[i]), jacobians + 6 * i);
    }
}

void arm_nearest_reachable(const Arm& arm, const double* targets, const double* near,
                           std::size_t count, double* directions, double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_reachable(nearest_reachable(arm, load_vec3(targets + 3 * i), load_near(near, i)),
                        directions + 3 * i, joints + 2 * i);
    }
}

// The neck's loops share their names with the core functions they call, so
// those calls are qualified.
}  // namespace quorbel::arrays
