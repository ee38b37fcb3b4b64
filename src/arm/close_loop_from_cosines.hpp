// Internal to the arm kinematics: loop closure with the arcs given by their
// cosines, the form the arm code uses, since an arm holds the cosines of its
// constant arcs. close_loop(a, alpha, b, beta, side) is exactly
// close_loop_from_cosines(a, cos(alpha), b, cos(beta), side).
#pragma once

#include <optional>

#include <quorbel/arm/close_loop.hpp>

namespace quorbel::detail {

std::optional<Vec3> close_loop_from_cosines(Vec3 a, double cos_alpha, Vec3 b, double cos_beta,
                                            double side) noexcept;

// The same with sin^2 alpha given rather than formed as 1 - cos^2 alpha: for
// a circle about `a` so small that 1 - cos^2 alpha has lost its digits (an
// arm whose sin arm_arc is below about 1e-8 has cos arm_arc = +-1). A
// margin t = sin^2 alpha - r^2 down to -slack counts as 0: the circles
// just touch (the point is then on the a-b great circle, on neither side).
// close_loop_from_cosines(a, ca, b, cb, side) is exactly
// close_loop_on_small_circle(a, ca, 1.0 - ca * ca, b, cb, side, 0.0).
std::optional<Vec3> close_loop_on_small_circle(Vec3 a, double cos_alpha, double sin_squared_alpha,
                                               Vec3 b, double cos_beta, double side,
                                               double slack) noexcept;

}  // namespace quorbel::detail
