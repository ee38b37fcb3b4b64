// The loops of batch_kinematics.hpp: load a pose, call the core, store the
// result or NaN, one core function per loop.
#include "arrays/batch_kinematics.hpp"

#include <cmath>
#include <optional>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/neck/neck_kinematics.hpp>
#include "arrays/pose_values.hpp"

namespace quorbel::arrays {

Arm prepare_arm(double arm_arc, double coupler_arc, bool mirror, bool negative_branch) noexcept {
    return SphericalLinkGeometry{arm_arc, coupler_arc,
                                 negative_branch ? Branch::negative : Branch::positive, mirror};
}

void arm_fk(const Arm& arm, const double* theta_a, const double* theta_b,
            std::size_t count, double* rotations) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const FkResult fk = forward_kinematics(arm, theta_a[i], theta_b[i]);
        if (fk) {
            store_mat3(fk->rotation, rotations + 9 * i);
        } else {
            fill_nan(rotations + 9 * i, 9);
        }
    }
}

void arm_direction(const Arm& arm, const double* theta_a, const double* theta_b,
                   std::size_t count, double* directions) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<Vec3> v_3 = pointing_direction(arm, theta_a[i], theta_b[i]);
        if (v_3) {
            store_vec3(*v_3, directions + 3 * i);
        } else {
            fill_nan(directions + 3 * i, 3);
        }
    }
}

void arm_reachable_joints(const Arm& arm, const double* theta_a,
                          const double* theta_b, std::size_t count, bool* reachable) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        reachable[i] = pointing_direction(arm, theta_a[i], theta_b[i]).has_value();
    }
}

void arm_ik_from_direction(const Arm& arm, const double* directions, const double* near,
                           std::size_t count, double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_joint_pair(ik_from_direction(arm, load_vec3(directions + 3 * i), load_near(near, i)),
                         joints + 2 * i);
    }
}

void arm_reachable_direction(const Arm& arm, const double* directions, std::size_t count,
                             bool* reachable) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        reachable[i] =
            ik_from_direction(arm, load_vec3(directions + 3 * i), std::nullopt).has_value();
    }
}

void arm_ik_solutions(const Arm& arm, const double* directions, std::size_t count,
                      double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const auto solutions = ik_solutions(arm, load_vec3(directions + 3 * i));
        for (std::size_t k = 0; k < solutions.size(); ++k) {
            store_joint_pair(solutions[k], joints + 8 * i + 2 * k);
        }
    }
}

void arm_ik(const Arm& arm, const double* r_target, std::size_t count,
            double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_joint_pair(ik(arm, load_mat3(r_target + 9 * i)), joints + 2 * i);
    }
}

void arm_reachable_orientation(const Arm& arm, const double* r_target,
                               std::size_t count, bool* reachable) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        reachable[i] = ik(arm, load_mat3(r_target + 9 * i)).has_value();
    }
}

void neck_fk(const double* joints, std::size_t count, double* rotations) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_mat3(neck_forward_kinematics(load_neck_angles(joints + 3 * i)), rotations + 9 * i);
    }
}

void neck_ik(const double* r, std::size_t count, double* angles) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_neck_angles(neck_inverse_kinematics(load_mat3(r + 9 * i)), angles + 3 * i);
    }
}

// The core leaves a NaN entry to IEEE arithmetic (NaN angles, not a
// refusal), which the per-call neck keeps; here a pose is reachable only
// where neck_ik stores three angles, none of them NaN.
void neck_reachable(const double* r, std::size_t count, bool* reachable) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<NeckAngles> angles = neck_inverse_kinematics(load_mat3(r + 9 * i));
        reachable[i] = angles && !std::isnan(angles->yaw) && !std::isnan(angles->pitch) &&
                       !std::isnan(angles->roll);
    }
}

}  // namespace quorbel::arrays
