// asin and acos, correctly rounded, as angles of the point (sqrt(1 - x^2), x)
// of the unit circle:
//   asin(x) = atan2(x, s),  acos(x) = atan2(s, x),  s = sqrt(1 - x^2),
// so both use the fast and accurate paths of atan2 (atan_fast.hpp,
// atan_accurate.hpp), and neither loses accuracy near |x| = 1, where the
// cancellation in 1 - x^2 is avoided by forming it as (1 - |x|)(1 + |x|)
// from two exact sums.
#include <cmath>

#include <quorbel/maths/elementary.hpp>

#include "maths/elementary/atan_accurate.hpp"
#include "maths/elementary/atan_fast.hpp"

namespace quorbel::elementary {

namespace detail {

namespace {

// s = sqrt(1 - x^2) as a double-double, for |x| <= 1 (NaN otherwise).
// 1 - |x| and 1 + |x| are exact two_sums, their product (DWTimesDW1) within
// 7u^2 of a = 1 - x^2. sh = fl(sqrt(a.hi)) and one Newton step
// sl = (a - sh^2) / (2 sh), with sh^2 an exact two_prod: the step's own error
// is sl^2 / (2 sh) <= 2^-106 s, its roundings below 2^-104 s, so s is within
// 2^-101 of sqrt(1 - x^2), relative.
template <class Real>
DoubleDouble<Real> asin_cosine(Real x) {
    const Real ax = lane_abs(x);
    const DoubleDouble<Real> a = mul(two_sum(Real(1.0), -ax), two_sum(Real(1.0), ax));
    const Real sh = lane_sqrt(a.hi);
    const DoubleDouble<Real> sq = two_prod(sh, sh);
    const Real sl = (((a.hi - sq.hi) - sq.lo) + a.lo) / (sh + sh);
    return {sh, sl};
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
    const detail::DoubleDouble<double> s = detail::asin_cosine(x);
    const detail::FastResult<double> fast = detail::atan2_fast<double>({x, 0.0}, s);
    if (fast.proven) {
        return fast.value;
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
    const detail::DoubleDouble<double> s = detail::asin_cosine(x);
    const detail::FastResult<double> fast = detail::atan2_fast<double>(s, {x, 0.0});
    if (fast.proven) {
        return fast.value;
    }
    const double ax = std::fabs(x);
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
