// Loop closure: the crossing of two small circles of the unit sphere.
#include <quorbel/arm/close_loop.hpp>

#include <quorbel/maths/elementary.hpp>
#include <cmath>

#include "arm/close_loop_from_cosines.hpp"

namespace quorbel {

namespace detail {

// With c = a.b (clamped to [-1, 1]) and sigma = sqrt(1 - c^2), the point is
//   p = ca a + r e + (side sqrt(t)) n,  r = (cb - c ca) / sigma,
//   t = sin^2 alpha - r^2,  n = (a x b) / sigma,  e = n x a,
// where n is the unit normal of the a-b great circle and e the unit tangent at
// a toward b. Both tests are written so that a NaN fails them: a NaN or
// infinite input is a loop that does not close rather than a NaN point that
// callers would take for a pose. sin^2 alpha is 1 - ca^2, unless the caller
// has it more exactly (close_loop_on_small_circle).
std::optional<Vec3> close_loop_from_cosines(Vec3 a, double cos_alpha, Vec3 b, double cos_beta,
                                            double side) noexcept {
    return close_loop_on_small_circle(a, cos_alpha, 1.0 - cos_alpha * cos_alpha, b, cos_beta,
                                      side, 0.0);
}

std::optional<Vec3> close_loop_on_small_circle(Vec3 a, double cos_alpha, double sin_squared_alpha,
                                               Vec3 b, double cos_beta, double side,
                                               double slack) noexcept {
    double c = dot(a, b);
    if (c < -1.0) {
        c = -1.0;
    }
    if (c > 1.0) {
        c = 1.0;
    }
    const double sigma = std::sqrt(1.0 - c * c);
    if (!(sigma >= VANISHING_SINE)) {
        return std::nullopt;
    }
    const double r = (cos_beta - c * cos_alpha) / sigma;
    double t = sin_squared_alpha - r * r;
    if (!(t >= -slack)) {
        return std::nullopt;
    }
    if (t < 0.0) {
        t = 0.0;
    }
    const Vec3 n = cross(a, b) / sigma;
    const Vec3 e = cross(n, a);
    return cos_alpha * a + r * e + (side * std::sqrt(t)) * n;
}

}  // namespace detail

// The core passes its sides as the constants +-1; a caller's NaN or infinite
// side would scale the normal's part into NaN components, so it is refused
// like the other non-finite inputs.
std::optional<Vec3> close_loop(Vec3 a, double alpha, Vec3 b, double beta,
                               double side) noexcept {
    if (!std::isfinite(side)) {
        return std::nullopt;
    }
    return detail::close_loop_from_cosines(a, elementary::cos(alpha), b, elementary::cos(beta), side);
}

}  // namespace quorbel
