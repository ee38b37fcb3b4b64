// asin and acos, correctly rounded. The fast paths are Taylor expansions of
// asin about table points (asin_fast.hpp): at x itself for |x| <= 1/2, at
// z = sqrt((1 - |x|) / 2) beyond. The accurate path takes them as angles of
// the point (s, x) of the unit circle,
//   asin(x) = atan2(x, s),  acos(x) = atan2(s, x),  s = sqrt(1 - x^2),
// through the triple-double atan2 of atan_accurate.hpp, with 1 - x^2 formed
// as (1 - |x|)(1 + |x|) from two exact sums, so that nothing cancels near
// |x| = 1, and when even that cannot decide, the same in the fixed point of
// atan_fixed_point.hpp.
#include <cmath>

#include <quorbel/maths/elementary.hpp>

#include "maths/elementary/asin_fast.hpp"
#include "maths/elementary/atan_accurate.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/atan_fixed_point.hpp"

namespace quorbel::elementary {

// asin(x) = x for |x| < 2^-26: asin(x) - x lies in (0, |x|^3 / 6 (1 + x^2)),
// below 2^-54 |x| <= ulp(x) / 2 with room to spare, and x is a double, so x
// is the nearest double (subnormals and signed zeros included).
// asin(+-1) = +-pi/2 rounded; |x| > 1 and NaN give NaN.
double asin(double x) noexcept {
    const double ax = std::fabs(x);
    if (ax < 0x1p-26) {
        return x;
    }
    if (ax <= 0.5) {
        const detail::FastResult<double> series = detail::asin_series_fast<true>(x);
        if (series.proven) {
            return series.value;
        }
    } else {
        const detail::FastResult<double> upper = detail::asin_upper_fast<true>(x);
        if (upper.proven) {
            return upper.value;
        }
    }
    if (!(ax < 1.0)) {
        return ax == 1.0 ? std::copysign(detail::ATAN_HALF_PI_HI, x) : (x - x) / (x - x);
    }
    const detail::TripleDouble theta =
        detail::atan2_accurate_theta(detail::to_triple(x), detail::asin_cosine_accurate(x));
    return detail::atan_accurate_decided(theta) ? detail::to_double(theta)
                                                : detail::asin_fixed_point(x, true);
}

// acos(x) = pi/2 - asin(x); for |x| < 2^-55 it rounds as pi/2 does (pi/2 is
// 0.225 ulp = 2^-54.2 from the nearest midpoint, and |asin(x)| < 2^-54.9).
// acos(1) = +0, acos(-1) = pi rounded; |x| > 1 and NaN give NaN.
double acos(double x) noexcept {
    const double ax = std::fabs(x);
    if (ax <= 0.5) {
        const detail::FastResult<double> series = detail::asin_series_fast<false>(x);
        if (series.proven) {
            return series.value;
        }
    } else {
        const detail::FastResult<double> upper = detail::asin_upper_fast<false>(x);
        if (upper.proven) {
            return upper.value;
        }
    }
    if (ax < 0x1p-55) {
        return detail::ATAN_HALF_PI_HI;
    }
    if (!(ax < 1.0)) {
        if (ax == 1.0) {
            return x > 0.0 ? 0.0 : detail::ATAN_PI_HI;
        }
        return (x - x) / (x - x);
    }
    const detail::TripleDouble theta =
        detail::atan2_accurate_theta(detail::asin_cosine_accurate(x), detail::to_triple(x));
    return detail::atan_accurate_decided(theta) ? detail::to_double(theta)
                                                : detail::asin_fixed_point(x, false);
}

}  // namespace quorbel::elementary
