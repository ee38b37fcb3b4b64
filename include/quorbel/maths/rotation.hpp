// Rotation about an axis through the origin.
#pragma once

#include <quorbel/export.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel {

// R = cos t I + sin t [k]x + (1 - cos t) k k^T, right-handed about the axis k
// (not normalised). An angle equal to zero (+0.0 or -0.0) gives the exact
// identity without evaluating a sine or cosine.
//
// R[i][j] = (c I[i][j] + s K[i][j]) + ((1 - c) k_i) k_j with K = [k]x, every
// entry in that order, zero axis components included, so a NaN angle (or an
// infinite one, whose sine and cosine are NaN) reaches all nine entries.
QUORBEL_API Mat3 rotation_about_axis(Vec3 axis, double angle) noexcept;

}  // namespace quorbel
