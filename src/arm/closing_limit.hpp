// Internal to the arm kinematics: the stationary points of the direction's
// distance to a target along the closing limit (couplers on one great
// circle, the apex midway between the tips), the closing-limit candidates of
// nearest_reachable (the method is in <quorbel/arm/nearest_reachable.hpp>).
#pragma once

#include <array>
#include <cstddef>

#include <quorbel/arm/geometry.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel::detail {

// Samples per closed piece of the closing limit. Its Lagrange condition has
// at most 16 roots in all (it and the limit are trigonometric polynomials
// of bidegree (2,2) and (1,1) in the joints); two roots closer than the
// samples' spacing are caught as a dip (closing_limit.cpp).
inline constexpr int CLOSING_LIMIT_SAMPLES = 32;

// The apexes where the cosine of the unit target's angle to the apex has a
// local maximum along the limit, in the order they were found: at most one
// per sample interval of each of at most two pieces.
struct ClosingLimitMaxima {
    std::array<Vec3, 2 * CLOSING_LIMIT_SAMPLES> apexes;
    std::size_t count = 0;
};

ClosingLimitMaxima closing_limit_maxima(const Arm& arm, Vec3 target) noexcept;

}  // namespace quorbel::detail
