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

}  // namespace quorbel::detail
