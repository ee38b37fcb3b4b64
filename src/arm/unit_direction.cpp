// A requested direction made unit, with the squared length kept from
// overflowing.
#include "arm/unit_direction.hpp"

#include <cmath>

#include <quorbel/arm/inverse_kinematics.hpp>

namespace quorbel::detail {

std::optional<Vec3> unit_direction(Vec3 direction) noexcept {
    const double n = norm(direction);
    if (std::isfinite(n)) {
        if (!(n >= MIN_DIRECTION_NORM)) {
            return std::nullopt;
        }
        return direction / n;
    }
    // An infinite length from finite components is an overflow of the
    // squares: scaled by 2^-e so that the largest component lies in
    // [0.5, 1), the length is finite and the quotient the same (a component
    // too small to survive the scaling is below the unit vector's resolution
    // anyway).
    const double largest =
        std::fmax(std::fabs(direction.x), std::fmax(std::fabs(direction.y), std::fabs(direction.z)));
    if (!std::isfinite(largest) || std::isnan(n)) {
        return std::nullopt;
    }
    int exponent = 0;
    std::frexp(largest, &exponent);
    const Vec3 scaled = {std::ldexp(direction.x, -exponent), std::ldexp(direction.y, -exponent),
                         std::ldexp(direction.z, -exponent)};
    return scaled / norm(scaled);
}

}  // namespace quorbel::detail
