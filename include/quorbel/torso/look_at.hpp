// Pointing the torso at a target: each arm's joints that aim its apex from
// the arm's mount at a point of the torso frame, and the neck's angles that
// aim its gaze axis there, within their limits; where the target is out of
// reach, the nearest direction that is not, with the angle left over.
#pragma once

#include <optional>

#include <quorbel/arm/joint_pair.hpp>
#include <quorbel/neck/neck_kinematics.hpp>
#include <quorbel/torso/torso.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

// reached: the mechanism points exactly at the target. clamped: it points at
// the reachable direction nearest to it, `leftover` radians away.
enum class AimStatus { reached, clamped };

struct ArmAim {
    JointPair joints;
    Vec3 direction;  // unit, the arm's v_3 in its own frame
    AimStatus status;
    double leftover;  // radians between `direction` and the target's direction
};

struct NeckAim {
    NeckAngles angles;
    Vec3 gaze;  // unit, the gaze axis in the neck's base frame
    AimStatus status;
    double leftover;
};

// The arm: ik_from_direction on the target's direction with the arm's limits
// and `previous` as near (compared as angles), or, when it refuses,
// nearest_reachable with the same options. Empty when the target gives no
// direction (direction_from_mount) or the arm reaches no direction at all.
QUORBEL_API std::optional<ArmAim> look_at(const ArmDescription& arm, Vec3 target,
                                          std::optional<JointPair> previous) noexcept;

// The neck: the yaw and pitch, within their limits, whose gaze is nearest to
// the target's direction, the roll held at the previous pose's (0 without
// one) and clamped to its limits. Among equally near poses the one nearest
// to the previous yaw and pitch (to yaw = pitch = 0 without them). A yaw
// without limits comes back within pi of the previous yaw (within [-pi, pi]
// without one); a pitch without limits stays within [-pi/2, pi/2]. Empty
// when the target gives no direction (or a limit or the roll is NaN).
QUORBEL_API std::optional<NeckAim> look_at(const NeckDescription& neck, Vec3 target,
                                           std::optional<NeckAngles> previous) noexcept;

struct TorsoPose {
    JointPair left_arm;
    JointPair right_arm;
    NeckAngles neck;
};

struct TorsoAim {
    std::optional<ArmAim> left_arm;
    std::optional<ArmAim> right_arm;
    std::optional<NeckAim> neck;
};

// The three mechanisms at once, each as its own look_at with its part of
// `previous`.
QUORBEL_API TorsoAim look_at(const Torso& torso, Vec3 target,
                             std::optional<TorsoPose> previous) noexcept;

}  // namespace quorbel
