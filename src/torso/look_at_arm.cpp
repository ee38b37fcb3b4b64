// An arm aimed at a torso point: inverse kinematics on the target's
// direction, or the nearest reachable direction when there is none.
#include <quorbel/torso/look_at.hpp>

#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/arm/nearest_reachable.hpp>

namespace quorbel {

std::optional<ArmAim> look_at(const ArmDescription& arm, Vec3 target,
                              std::optional<JointPair> previous) noexcept {
    const std::optional<Vec3> direction = direction_from_mount(arm.mount, target);
    if (!direction) {
        return std::nullopt;
    }
    const Arm kinematics(arm.geometry);
    // A controller passes its current joints: compared as angles, a joint
    // that went once around is not a turn away from the solution it is on.
    const IkOptions options{previous, arm.limits, NearMode::angles};
    if (const std::optional<JointPair> joints = ik_from_direction(kinematics, *direction, options)) {
        return ArmAim{*joints, *direction, AimStatus::reached, 0.0};
    }
    const std::optional<ReachableDirection> nearest =
        nearest_reachable(kinematics, *direction, options);
    if (!nearest) {
        return std::nullopt;
    }
    return ArmAim{nearest->joints, nearest->direction, AimStatus::clamped,
                  angle_between(nearest->direction, *direction)};
}

}  // namespace quorbel
