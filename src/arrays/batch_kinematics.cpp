// The loops of batch_kinematics.hpp: load a pose, call the core, store the
// result or NaN, one core function per loop.
#include "arrays/batch_kinematics.hpp"

#include <cmath>
#include <optional>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/batch.hpp>
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
    batch::arm_fk(arm, theta_a, theta_b, count, rotations);
}

void arm_direction(const Arm& arm, const double* theta_a, const double* theta_b,
                   std::size_t count, double* directions) noexcept {
    batch::arm_direction(arm, theta_a, theta_b, count, directions);
}

void arm_reachable_joints(const Arm& arm, const double* theta_a,
                          const double* theta_b, std::size_t count, bool* reachable) noexcept {
    batch::arm_reachable_joints(arm, theta_a, theta_b, count, reachable);
}

void arm_ik_from_direction(const Arm& arm, const double* v3, const double* near,
                           std::size_t count, double* joints) noexcept {
    batch::arm_ik_from_direction(arm, v3, near, count, joints);
}

void arm_reachable_direction(const Arm& arm, const double* v3, std::size_t count,
                             bool* reachable) noexcept {
    batch::arm_reachable_direction(arm, v3, count, reachable);
}

void arm_ik_solutions(const Arm& arm, const double* v3, std::size_t count,
                      double* joints) noexcept {
    batch::arm_ik_solutions(arm, v3, count, joints);
}

void arm_ik(const Arm& arm, const double* r_target, std::size_t count,
            double* joints) noexcept {
    batch::arm_ik(arm, r_target, count, joints);
}

void arm_reachable_orientation(const Arm& arm, const double* r_target,
                               std::size_t count, bool* reachable) noexcept {
    batch::arm_reachable_orientation(arm, r_target, count, reachable);
}

void neck_fk(const double* joints, std::size_t count, double* rotations) noexcept {
    batch::neck_fk(joints, count, rotations);
}

void neck_ik(const double* r, std::size_t count, double* angles) noexcept {
    batch::neck_ik(r, count, angles);
}

// The core leaves a NaN entry to IEEE arithmetic (NaN angles, not a
// refusal), which the per-call neck keeps; here a pose is reachable only
// where neck_ik stores three angles, none of them NaN.
void neck_reachable(const double* r, std::size_t count, bool* reachable) noexcept {
    batch::neck_reachable(r, count, reachable);
}

}  // namespace quorbel::arrays
