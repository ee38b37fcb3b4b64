// asin and acos, correctly rounded. For |x| <= 1/2 a Taylor expansion about
// a table point (asin_fast.hpp); beyond, and on the accurate path, as angles
// of the point (sqrt(1 - x^2), x) of the unit circle:
//   asin(x) = atan2(x, s),  acos(x) = atan2(s, x),  s = sqrt(1 - x^2),
// so both use the fast and accurate paths of atan2 (atan_fast.hpp,
// atan_accurate.hpp), and neither loses accuracy near |x| = 1, where the
// cancellation in 1 - x^2 is avoided by forming it as (1 - |x|)(1 + |x|)
// from two exact sums.
#include <cmath>
#include <limits>

#include <quorbel/maths/elementary.hpp>

#include "maths/elementary/asin_fast.hpp"
#include "maths/elementary/atan_accurate.hpp"
#include "maths/elementary/atan_fast.hpp"

namespace quorbel::elementary {

namespace detail {

namespace {

inline constexpr double ASIN_NAN = std::numeric_limits<double>::quiet_NaN();

// The point (s, x) scaled by 2 sh, where s ~ sqrt(1 - x^2) and sh is a
// double near sqrt(1 - x^2), for |x| <= 1 (NaN parts otherwise): scaling
// keeps the angle, and makes both coordinates exact sums with no quotient.
// 1 - |x| and 1 + |x| are exact two_sums, their product a (DWTimesDW1)
// within 7u^2 of 1 - x^2. The Newton step from sh is
// s = sh + (a - sh^2) / (2 sh), so 2 sh s = a + sh^2 (sh^2 an exact two_prod,
// the sum of two positive double-doubles within 3u^2) and 2 sh x is an exact
// two_prod. s is within (sh - sqrt(a))^2 / (2 sh) of sqrt(a), which is
// below 2^-104 sqrt(a) for sh within 2^-51 of sqrt(a), relative. sh is the
// square root of the product of the two sums' leading parts (within 3.01u
// of a, so sh within 2.01u of sqrt(a)), which starts the square root
// before the exact product is done. The angle is that of
// (sqrt(1 - x^2), x) perturbed by 2^-101 relative, well within what
// atan_fast.hpp allows its inputs (item 5).
template <class Real>
struct AsinScaledPoint {
    DoubleDouble<Real> cosine;
    DoubleDouble<Real> sine;
};

template <class Real>
AsinScaledPoint<Real> asin_scaled_point(Real x) {
    const Real ax = lane_abs(x);
    const DoubleDouble<Real> below = two_sum(Real(1.0), -ax);
    const DoubleDouble<Real> above = two_sum(Real(1.0), ax);
    // |x| > 1 makes the product negative: its square root is a NaN, without
    // the library call (and errno) that a negative operand would cost.
    const Real leading = below.hi * above.hi;
    const Real sh = lane_sqrt(select(leading >= 0.0, leading, Real(ASIN_NAN)));
    const DoubleDouble<Real> a = mul(below, above);
    const DoubleDouble<Real> sq = two_prod(sh, sh);
    const DoubleDouble<Real> top = two_sum(a.hi, sq.hi);
    const DoubleDouble<Real> cosine = fast_two_sum(top.hi, (a.lo + sq.lo) + top.lo);
    return {cosine, two_prod(sh + sh, x)};
}

// The same to triple-double precision, for the accurate path: a as a
// triple-double product of the two exact sums (2^-150), then two Newton
// steps from fl(sqrt(a.hi)) with remainders in triple-double. Relative
// error after the first 2^-104, after the second the square of that plus
// the remainders' 2^-149: within 2^-148.
TripleDouble asin_cosine_accurate(double x) {
    const double ax = std::fabs(x);
    const TripleDouble a = mul(to_triple(two_sum(1.0, -ax)), two_sum(1.0, ax));
    const double s0 = std::sqrt(a.hi);
    const double half_inverse = 0.5 / s0;
    const TripleDouble r1 = sub(a, mul(to_triple(s0), s0));
    const TripleDouble s1 = add(to_triple(s0), r1.hi * half_inverse);
    const TripleDouble r2 = sub(a, mul(s1, s1));
    return add(s1, r2.hi * half_inverse);
}

}  // namespace

}  // namespace detail

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
        const detail::AsinScaledPoint<double> p = detail::asin_scaled_point(x);
        const detail::FastResult<double> fast = detail::atan2_fast<true>(p.sine, p.cosine);
        if (fast.proven) {
            return fast.value;
        }
    }
    if (!(ax < 1.0)) {
        return ax == 1.0 ? std::copysign(detail::ATAN_HALF_PI_HI, x) : (x - x) / (x - x);
    }
    return detail::atan2_accurate(detail::to_triple(x), detail::asin_cosine_accurate(x));
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
        const detail::AsinScaledPoint<double> p = detail::asin_scaled_point(x);
        const detail::FastResult<double> fast = detail::atan2_fast<true>(p.cosine, p.sine);
        if (fast.proven) {
            return fast.value;
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
    return detail::atan2_accurate(detail::asin_cosine_accurate(x), detail::to_triple(x));
}

}  // namespace quorbel::elementary
