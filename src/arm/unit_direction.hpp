// Internal to the arm kinematics: a requested pointing direction made unit,
// the one normalisation that the inverse kinematics and the nearest
// reachable direction share.
#pragma once

#include <optional>

#include <quorbel/maths/vector.hpp>

namespace quorbel::detail {

// direction / |direction|, bit for bit what normalise() gives wherever
// |direction| is finite; empty for a length below MIN_DIRECTION_NORM, and
// for a NaN or infinite component. A finite direction longer than about
// 1.34e154, whose squared length overflows, is first scaled by a power of
// two (exact), so that every finite direction of accepted length has its
// unit vector.
std::optional<Vec3> unit_direction(Vec3 direction) noexcept;

}  // namespace quorbel::detail
