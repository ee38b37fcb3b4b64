// The fast path of asin and acos for |x| <= 1/2: a Taylor expansion of asin
// about the nearest table point, in double-double where it matters. (For
// 1/2 < |x| <= 1 both go through atan2 of the point (sqrt(1 - x^2), x),
// asin_acos.cpp.)
//
// With ax = |x|, j = round(256 ax) and c = j / 256, h = ax - c is exact (for
// j >= 1, c / 2 <= ax <= 2c and Sterbenz's lemma; for j = 0, h = ax), and
// |h| <= 2^-9. asin_tables.hpp holds a_0 ... a_8 of
//   asin(c + h) = a_0 + a_1 h + h^2 (a_2 + a_3 h + ... + a_8 h^6) + ...,
// and, relative to asin(ax) (to |h| for j = 0), the terms past h^8 sum to at
// most 2^-77.0 and the terms h^2 ... h^8 in absolute value to at most
// 2^-17.8 (the generator's own bounds, printed in the header).
//
// Error, relative to asin(ax), with u = 2^-53:
// - a_0 and a_1 as hi + mid are within 2^-106 of themselves; a_1 h is an
//   exact two_prod of h and a_1.hi plus h a_1.mid rounded (u 2^-53 a_1 h).
// - The polynomial q = a_2 + ... + a_8 h^6 by Estrin's scheme: a_2, the
//   largest term, passes through three additions, the others through at
//   most three additions and three products with h, h^2 = fl(h h) or
//   h^4 = fl(h^2 h^2) (relative errors u and 3u): with the coefficients'
//   own rounding (u/2), |q~ - q| <= 3.5u |a_2| + 10u sum_{k>2} |a_k h^(k-2)|,
//   and tail = fl(h^2) q within 5.6u of sum |a_k h^k| <= 2^-17.8 asin(ax),
//   that is within 2^-68.3 asin(ax).
// - a_0.hi + (a_1 h).hi is an exact fast_two_sum (a_0 >= c >= 2 |a_1 h|
//   for j >= 1, a_0 = 0 for j = 0); the low parts, each below 2^-52 asin(ax)
//   and summed before the tail, then the tail (below 2^-17.7 asin(ax)):
//   four roundings, below 2^-70.6 asin(ax).
// With the truncation (2^-77), asin(ax) is within 2^-68 of itself, relative.
// acos(x) = pi/2 -+ asin(ax) >= pi/3 adds its own double-double sum (2^-103)
// and only shrinks that relative error. The rounding test uses 2^-67.5.
#pragma once

#include "maths/elementary/asin_tables.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/double_double.hpp"
#include "maths/elementary/lane_scalar.hpp"

namespace quorbel::elementary::detail {

inline constexpr double ASIN_SERIES_ERROR = 0x1.6a09e667f3bcdp-68;  // 2^-67.5

// asin(ax) for 0 <= ax <= 1/2, as a double-double within 2^-68 (above);
// any other ax reads row 0 and gives a meaningless value that the caller
// does not use.
template <class Real>
DoubleDouble<Real> asin_series(Real ax) {
    const Real rounded = (ax * 256.0 + 0x1.8p52) - 0x1.8p52;
    const Real j = select(ax <= 0.5, rounded, Real(0.0));
    const Real h = ax - j * 0x1p-8;
    const Real row = j * ASIN_TABLE_ROW;
    const auto coeff = [row](int k) { return lane_gather(ASIN_TABLE + k, row); };

    const Real h2 = h * h;
    const Real h4 = h2 * h2;
    const Real e0 = coeff(4) + h * coeff(5);
    const Real e1 = coeff(6) + h * coeff(7);
    const Real e2 = coeff(8) + h * coeff(9);
    const Real q = (e0 + h2 * e1) + h4 * (e2 + h2 * coeff(10));
    const Real tail = h2 * q;

    const DoubleDouble<Real> linear = two_prod(h, coeff(2));
    const DoubleDouble<Real> head = fast_two_sum(coeff(0), linear.hi);
    const Real low = (((coeff(1) + linear.lo) + h * coeff(3)) + head.lo) + tail;
    return fast_two_sum(head.hi, low);
}

// asin(x) (is_asin) or acos(x) (otherwise) for |x| <= 1/2; not proven for
// other x.
template <bool is_asin, class Real>
FastResult<Real> asin_series_fast(Real x) {
    const Real ax = lane_abs(x);
    const LaneMask<Real> negative = x < 0.0;
    const DoubleDouble<Real> s = asin_series(ax);
    DoubleDouble<Real> value = s;
    if constexpr (!is_asin) {
        // acos(x) = pi/2 - asin(x) = pi/2 -+ asin(ax).
        const Real sign = select(negative, Real(1.0), Real(-1.0));
        const DoubleDouble<Real> top = fast_two_sum(Real(ATAN_HALF_PI_HI), sign * s.hi);
        value = fast_two_sum(top.hi, (top.lo + ATAN_HALF_PI_MID) + sign * s.lo);
    }
    const FastResult<Real> r = atan_rounding_test(value, ASIN_SERIES_ERROR);
    Real signed_value = r.value;
    if constexpr (is_asin) {
        signed_value = select(negative, -r.value, r.value);
    }
    return {signed_value, lane_and(ax <= 0.5, r.proven)};
}

}  // namespace quorbel::elementary::detail
