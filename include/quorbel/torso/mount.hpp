// Where a mechanism sits on the torso: the rigid transform from the
// mechanism's own frame (an arm's body frame, the neck's base frame) into the
// torso frame, and the direction in which the mechanism sees a target.
#pragma once

#include <optional>

#include <quorbel/maths/vector.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

// p_torso = rotation * p_mechanism + offset. The rotation is proper
// (orthonormal, determinant +1); the offset is in metres. Only the offset has
// a length: the mechanisms themselves live on the unit sphere.
struct Mount {
    Mat3 rotation;
    Vec3 offset;
};

inline constexpr Mount IDENTITY_MOUNT = {IDENTITY, {0.0, 0.0, 0.0}};

// rotation^T (p_torso - offset): a torso point in the mechanism's frame.
QUORBEL_API Vec3 to_mechanism_frame(const Mount& mount, Vec3 p_torso) noexcept;

// The unit direction from the mount's origin to `target` (a torso point), in
// the mechanism's frame. The difference is scaled by its largest component
// before it is normalised, so that a point as far as the largest double
// still gives its direction rather than an overflow. Empty when a component
// of the target is NaN or infinite, or when the target is the mount's origin.
QUORBEL_API std::optional<Vec3> direction_from_mount(const Mount& mount, Vec3 target) noexcept;

// The angle between two non-zero vectors, atan2(|a x b|, a.b): accurate near
// 0 and pi, where acos of the cosine loses half its digits.
QUORBEL_API double angle_between(Vec3 a, Vec3 b) noexcept;

}  // namespace quorbel
