// The torso as a whole: two arms and the neck, each with its mount in the
// torso frame and its optional joint limits, and the example torso.
//
// The torso frame is the one the neck's conventions suggest: x forward, y to
// the left, z up. The neck turns the head by R = Rz(yaw) Ry(pitch) Rx(roll),
// yaw about the vertical, pitch about the head's lateral axis, and roll about
// the head's own x axis last. A roll is a turn about the line of sight, so the
// head's x axis is the one that looks forward: it is the default gaze axis,
// and with the neck mounted without a turn, the zero pose looks along the
// torso's x.
#pragma once

#include <optional>

#include <quorbel/arm/geometry.hpp>
#include <quorbel/arm/joint_limits.hpp>
#include <quorbel/torso/mount.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

struct ArmDescription {
    SphericalLinkGeometry geometry;
    Mount mount;                        // the arm's body frame in the torso frame
    std::optional<JointLimits> limits;  // none: every joint pair is allowed
};

inline constexpr Vec3 DEFAULT_GAZE_AXIS = {1.0, 0.0, 0.0};

// Each joint's interval is optional: a joint without one turns freely.
struct NeckLimits {
    std::optional<AngleInterval> yaw;
    std::optional<AngleInterval> pitch;
    std::optional<AngleInterval> roll;
};

struct NeckDescription {
    Mount mount;                       // the neck's base frame in the torso frame
    Vec3 gaze_axis = DEFAULT_GAZE_AXIS;  // unit, in the head frame
    NeckLimits limits;
};

struct Torso {
    ArmDescription left_arm;
    ArmDescription right_arm;
    NeckDescription neck;
};

// The example torso of examples/torso.json: the preset arms on either side of
// the chest, each turned so that the middle of its workspace looks forward,
// and the neck above them, all aiming at targets in front (x > 0).
QUORBEL_API Torso example_torso() noexcept;

}  // namespace quorbel
