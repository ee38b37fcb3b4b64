// Internal to the arm kinematics: the part of the edge of an arm's reachable
// directions that its joint limits make.
#pragma once

#include <optional>

#include <quorbel/arm/nearest_reachable.hpp>

namespace quorbel::detail {

// The point nearest the unit target u on the images of the limit lines
// (a joint at a bound of its interval, the other free within its own where
// the loop closes), with its joints; empty without limits, or when no point
// of any line closes the loop. A joint whose interval is 2 pi wide or more
// (or unbounded) turns freely and makes no line.
std::optional<ReachableDirection> nearest_on_limit_lines(const Arm& arm, Vec3 u,
                                                         const IkOptions& options) noexcept;

}  // namespace quorbel::detail
