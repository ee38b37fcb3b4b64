// Internal to the arm kinematics: the searches that take the nearest-frame
// search where Gauss-Newton does not lead (see nearest_frame.hpp): a
// pattern search far from every frame, the limit line a pose is pinned to,
// and the closing limit.
#pragma once

#include "arm/frame_pose.hpp"

namespace quorbel::detail {

// A pattern search about `here`: steps of both joints, alone and together,
// from 1e-2 rad, halved when none lowers the angle, down to 1e-13.
FramePose polish(const Arm& arm, const Mat3& r, FramePose here,
                 const IkOptions& options) noexcept;

// `here`, with a joint at a bound of its limits, refined along that limit
// line by golden section in the other joint; `here` itself without limits.
FramePose along_bound(const Arm& arm, const Mat3& r, FramePose here,
                      const IkOptions& options) noexcept;

// The nearest frame on the closing limit (the tips 2 coupler_arc apart),
// within the limits; an infinite angle where none is found.
FramePose nearest_on_closing_limit(const Arm& arm, const Mat3& r,
                                   const IkOptions& options) noexcept;

}  // namespace quorbel::detail
