// The loops of arm_option_loops.hpp: load a pose and its options, call the
// core, store the result or NaN.
#include "arrays/arm_option_loops.hpp"

#include <optional>

#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/arm/nearest_frame.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include "arrays/pose_values.hpp"
#include "arrays/pose_widths.hpp"

namespace quorbel::arrays {

namespace {

IkOptions load_options(OptionBuffers b, std::size_t i) noexcept {
    IkOptions options;
    options.near = load_near(b.near, i);
    if (b.limits != nullptr) {
        const double* l = b.limits + LIMITS_WIDTH * i;
        options.limits = JointLimits{{l[0], l[1]}, {l[2], l[3]}};
    }
    options.near_mode = b.wrap ? NearMode::angles : NearMode::plain;
    return options;
}

}  // namespace

void arm_ik_from_direction_within(const Arm& arm, const double* directions, OptionBuffers options,
                                  std::size_t count, double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_joint_pair(
            ik_from_direction(arm, load_vec3(directions + VECTOR_WIDTH * i),
                              load_options(options, i)),
            joints + JOINT_PAIR_WIDTH * i);
    }
}

void arm_ik_solutions_within(const Arm& arm, const double* directions, OptionBuffers options,
                             std::size_t count, double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const auto solutions =
            ik_solutions(arm, load_vec3(directions + VECTOR_WIDTH * i), load_options(options, i));
        for (std::size_t k = 0; k < solutions.size(); ++k) {
            store_joint_pair(solutions[k],
                             joints + SOLUTIONS_WIDTH * i + JOINT_PAIR_WIDTH * k);
        }
    }
}

void arm_ik_within(const Arm& arm, const double* r_target, OptionBuffers options,
                   std::size_t count, double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_joint_pair(
            ik(arm, load_mat3(r_target + MATRIX_WIDTH * i), load_options(options, i)),
            joints + JOINT_PAIR_WIDTH * i);
    }
}

void arm_nearest_reachable_within(const Arm& arm, const double* directions,
                                  OptionBuffers options, std::size_t count, double* reached,
                                  double* joints) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        store_reachable(nearest_reachable(arm, load_vec3(directions + VECTOR_WIDTH * i),
                                          load_options(options, i)),
                        reached + VECTOR_WIDTH * i, joints + JOINT_PAIR_WIDTH * i);
    }
}

void arm_nearest_frame(const Arm& arm, const double* r_target, OptionBuffers options,
                       std::size_t count, double* joints, double* angles,
                       double* misses) noexcept {
    for (std::size_t i = 0; i < count; ++i) {
        const std::optional<NearestFrame> found =
            ik_nearest_frame(arm, load_mat3(r_target + MATRIX_WIDTH * i), load_options(options, i));
        if (found) {
            store_joint_pair(found->joints, joints + JOINT_PAIR_WIDTH * i);
            angles[i] = found->angle;
            misses[i] = static_cast<double>(static_cast<int>(found->miss));
        } else {
            fill_nan(joints + JOINT_PAIR_WIDTH * i, JOINT_PAIR_WIDTH);
            angles[i] = NOT_A_NUMBER;
            misses[i] = NOT_A_NUMBER;
        }
    }
}

}  // namespace quorbel::arrays
