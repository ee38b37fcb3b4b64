// The fast path of asin and acos: a Taylor expansion of asin about the
// nearest table point, in double-double where it matters, for |x| <= 1/2,
// and for 1/2 < |x| < 1 the same at z = sqrt((1 - |x|) / 2) <= 1/2.
//
// With ax = |x|, j = round(256 ax) and c = j / 256, h = ax - c is exact (for
// j >= 1, c / 2 <= ax <= 2c and Sterbenz's lemma; for j = 0, h = ax), and
// |h| <= 2^-9; table_series.hpp sums the expansion about c of
// asin_tables.hpp within 2^-68.1 of asin(ax), relative. acos(x) = pi/2 -+
// asin(ax) >= pi/3 adds its own double-double sum (2^-103) and only shrinks
// that relative error. The rounding test uses 2^-67.5.
#pragma once

#include <cmath>

#include "maths/elementary/asin_tables.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/double_double.hpp"
#include "maths/elementary/inlining.hpp"
#include "maths/elementary/lane_scalar.hpp"
#include "maths/elementary/product_steps.hpp"
#include "maths/elementary/table_series.hpp"

namespace quorbel::elementary::detail {

inline constexpr double ASIN_SERIES_ERROR = 0x1.6a09e667f3bcdp-68;  // 2^-67.5

// The square root, correctly rounded (an IEEE operation); a lane type
// overloads it with its vector square root.
inline double asin_sqrt(double a) { return std::sqrt(a); }

// asin(z) for 0 <= z.hi <= 1/2, as a double-double within 2^-68.1 (see
// table_series.hpp). The callers keep z.hi in that range (any other z, a
// NaN among them, would index outside the table). With with_low_part,
// z = z.hi + z.lo.
template <bool with_low_part, class Products, class Real>
QTK_FORCE_INLINE DoubleDouble<Real> asin_series(DoubleDouble<Real> z) {
    const Real j = round_to_integer(z.hi * 256.0);
    return table_series<with_low_part, Products>(ASIN_TABLE, to_index(j), z.hi - j * 0x1p-8, z.lo);
}

// asin(x) (is_asin) or acos(x) (otherwise) for |x| <= 1/2; not proven for
// other x. Products: how the exact products are formed (double_double.hpp;
// the same bound for either), here and in asin_upper_fast.
template <bool is_asin, class Products, class Real>
QTK_FORCE_INLINE FastResult<Real> asin_series_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> negative = x < 0.0;
    // Any other x reads row 0 and gives a meaningless value, not proven.
    const Real z = select(ax <= 0.5, ax, splat<Real>(0.0));
    const DoubleDouble<Real> s = asin_series<false, Products>(DoubleDouble<Real>{z, splat<Real>(0.0)});
    DoubleDouble<Real> value = s;
    if constexpr (!is_asin) {
        // acos(x) = pi/2 - asin(x) = pi/2 -+ asin(ax).
        const MaskOf<Real> positive = !negative;
        const DoubleDouble<Real> top =
            fast_two_sum(splat<Real>(ATAN_HALF_PI_HI), negate_if(positive, s.hi));
        value = fast_two_sum(top.hi, (top.lo + ATAN_HALF_PI_MID) + negate_if(positive, s.lo));
    }
    const FastResult<Real> r = atan_rounding_test(value, ASIN_SERIES_ERROR);
    Real signed_value = r.value;
    if constexpr (is_asin) {
        signed_value = negate_if(negative, r.value);
    }
    return {signed_value, (ax <= 0.5) && r.proven};
}

// asin(x) (is_asin) or acos(x) (otherwise) for 1/2 < |x| < 1, through
//   acos(|x|) = 2 asin(z),  z = sqrt((1 - |x|) / 2) <= 1/2,
// so asin(x) = sign(x) (pi/2 - 2 asin(z)), acos(x) = 2 asin(z) for x > 0 and
// pi - 2 asin(z) for x < 0. z^2 = (1 - |x|) / 2 is exact (Sterbenz's lemma,
// then a power of two); z = zh + zl with zh = fl(sqrt(z^2)) and the Newton
// correction zl = (z^2 - zh^2) / (2 zh) (z^2 - zh^2 rounded once by
// minus_product, product_steps.hpp: zh^2 is within a few ulps of z^2), within
// 2^-104 z, which moves asin(z) by at most 1.05 times that, relative. So
// 2 asin(z) is within 2^-68 of itself (asin_series), and the double-double
// sums with pi/2 or pi add 2^-103 of the result: the bound of the rounding
// test is 2^-67.5 |2 asin(z)| + 2^-102 |result|. Not proven: |x| <= 1/2,
// |x| >= 1 and NaN.
template <bool is_asin, class Products, class Real>
QTK_FORCE_INLINE FastResult<Real> asin_upper_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> negative = x < 0.0;
    const Real z2 = (1.0 - ax) * 0.5;
    // 1/2 < |x| < 1 puts z2 in (0, 1/4) and zh in (0, 1/2]. Any other x
    // (z2 negative or above 1/4, or NaN) takes z2 = 1/4 instead, a value in
    // range (and no library call, with errno, for a negative operand), and
    // is not proven.
    const Real zh = asin_sqrt(select(z2 >= 0.0 && z2 <= 0.25, z2, splat<Real>(0.25)));
    const Real zl = minus_product<Products>(z2, zh, zh) / (zh + zh);
    const DoubleDouble<Real> s = asin_series<true, Products>(DoubleDouble<Real>{zh, zl});
    const Real twice_hi = 2.0 * s.hi;
    const Real twice_lo = 2.0 * s.lo;

    DoubleDouble<Real> value = {twice_hi, twice_lo};
    if constexpr (is_asin) {
        const DoubleDouble<Real> top = fast_two_sum(splat<Real>(ATAN_HALF_PI_HI), -twice_hi);
        value = fast_two_sum(top.hi, (top.lo + ATAN_HALF_PI_MID) - twice_lo);
    } else {
        const DoubleDouble<Real> top = fast_two_sum(splat<Real>(ATAN_PI_HI), -twice_hi);
        const DoubleDouble<Real> around_pi =
            fast_two_sum(top.hi, (top.lo + ATAN_PI_MID) - twice_lo);
        value = {select(negative, around_pi.hi, twice_hi),
                 select(negative, around_pi.lo, twice_lo)};
    }
    const Real bound = ASIN_SERIES_ERROR * twice_hi + 0x1p-102 * abs_lane(value.hi);
    const FastResult<Real> r = rounding_test_within(value, bound);
    Real signed_value = r.value;
    if constexpr (is_asin) {
        signed_value = negate_if(negative, r.value);
    }
    return {signed_value, (ax > 0.5) && (ax < 1.0) && r.proven};
}

}  // namespace quorbel::elementary::detail
