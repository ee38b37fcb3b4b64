// Internal to the arm kinematics: a joint pair with the angle of its frame
// from a target rotation, as the nearest-frame search measures poses.
#pragma once

#include <quorbel/arm/joint_limits.hpp>
#include <quorbel/maths/vector.hpp>
#include <quorbel/arm/geometry.hpp>

namespace quorbel::detail {

struct FramePose {
    JointPair joints;
    double angle;  // infinite where the loop does not close
};

// The angle between r and f from their Frobenius distance: for rotations
// |r - f|^2 = 6 - 2 tr(r^T f) = 8 sin^2(angle / 2), so the angle is
// 2 asin(|r - f| / sqrt 8), which keeps its precision for small angles
// (where acos of the trace loses it). For an r that is not exactly a
// rotation it measures the same distance, which the trace orders alike.
double frame_angle(const Mat3& r, const Mat3& f) noexcept;

// The joints with the angle of their frame from r.
FramePose frame_pose_at(const Arm& arm, const Mat3& r, JointPair j) noexcept;

// The joints clamped into the limits (left as they are without).
JointPair clamped_into(JointPair j, const IkOptions& options) noexcept;

}  // namespace quorbel::detail
