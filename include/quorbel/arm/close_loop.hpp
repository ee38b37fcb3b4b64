// Intersection of two small circles of the unit sphere: the loop-closure step
// of the five-bar arm.
#pragma once

#include <optional>

#include <quorbel/export.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel {

// Below this sine the two centres coincide or are opposite and there is no
// single crossing.
inline constexpr double VANISHING_SINE = 1e-12;

// The point p with dot(p, a) = cos alpha and dot(p, b) = cos beta, on the side
// of the a-b great circle that `side` selects (+1: toward cross(a, b)).
// a and b are unit vectors (not normalised here). Empty when a and b coincide
// or are opposite, when the circles do not meet, when a NaN reaches either
// test, as any NaN or infinite component of a, b, alpha or beta does, and
// for a NaN or infinite side. `side` multiplies the point's part along the
// circle's normal, so only +1 and -1 give points of the sphere.
QUORBEL_API std::optional<Vec3> close_loop(Vec3 a, double alpha, Vec3 b, double beta,
                                           double side) noexcept;

}  // namespace quorbel
