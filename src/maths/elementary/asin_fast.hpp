// The fast path of asin and acos: a Taylor expansion of asin about the
// nearest table point, in double-double where it matters, for |x| <= 1/2,
// and for 1/2 < |x| < 1 the same at z = sqrt((1 - |x|) / 2) <= 1/2.
//
// With ax = |x|, j = round(256 ax) and c = j / 256, h = ax - c is exact (for
// j >= 1, c / 2 <= ax <= 2c and Sterbenz's lemma; for j = 0, h = ax), and
// |h| <= 2^-9; table_series.hpp sums the expansion about c of
// asin_tables.hpp within 2^-67.96 of asin(ax), relative. acos(x) = pi/2 -+
// asin(ax) >= pi/3 is summed from the series' terms (asin_sum_around): with
// B = pi/2 + asin(ax) <= 2.1 acos(x), its three extra roundings add below
// 3 u 2^-49 B < 2^-99 acos(x), and the relative error of asin(ax) only
// shrinks. The value is left as the unevaluated sum of its last two terms,
// head + low, with |low| below 2^-17.6 of the value (the tail, below
// 2^-17.7 S, and the low parts): the rounding test's own fl(low +- e) errs
// by below 2^-70.6 of it (rounding_test_within, atan_fast.hpp), and
// 2^-67.96 + 2^-70.6 < 2^-67.75. The rounding test uses 2^-67.5 times |head|
// (at least the value times 1 - 2^-17.5).
#pragma once

#include <cmath>

#include "maths/elementary/asin_tables.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/double_double.hpp"
#include "maths/elementary/inlining.hpp"
#include "maths/elementary/lane_scalar.hpp"
#include "maths/elementary/product_steps.hpp"
#include "maths/elementary/table_index.hpp"
#include "maths/elementary/table_series.hpp"

namespace quorbel::elementary::detail {

inline constexpr double ASIN_SERIES_ERROR = 0x1.6a09e667f3bcdp-68;  // 2^-67.5

// The square root, correctly rounded (an IEEE operation); a lane type
// overloads it with its vector square root.
inline double asin_sqrt(double a) { return std::sqrt(a); }

// The terms of asin(z) for 0 <= z.hi <= 1/2 (table_series.hpp), whose sum
// is within 2^-67.96 of it; any other z reads a valid row (table_index.hpp)
// and gives a meaningless value that the caller does not use. With with_low_part, z = z.hi + z.lo.
template <bool with_low_part, class Products, class Real>
QTK_FORCE_INLINE SeriesTerms<Real> asin_series_terms(DoubleDouble<Real> z) {
    const auto point = round_to_point(z.hi * 256.0, 128);
    return table_series_terms<with_low_part, Products>(ASIN_TABLE, point.index,
                                                       z.hi - point.k * 0x1p-8, z.lo);
}

// base + f S from the terms t of S (asin_series_terms), for f = +-1 or +-2
// (f times a term is exact) and base.hi either 0 or such that
// |base.hi| >= |f a_0| and |base.hi + f a_0| >= 2^-7: then both leading
// sums are exact fast_two_sums (for base 0, f times table_series.hpp's;
// otherwise |f (a_1 h).hi| <= 2^-7.8). For base 0 the result is f times
// table_series.hpp's sum exactly. Otherwise the low parts (lead.lo,
// base.mid, f times the series' low part and the second sum's error, each
// below 2^-51 B with B = |base| + |f S|) are summed in three roundings,
// below 3 u 2^-49 B, before the tail: that and base.mid's own 2^-106 base
// are all that is added to f times table_series.hpp's error. The result is
// the unevaluated pair (head, low) of the last sum, for the rounding test.
template <class Real>
QTK_FORCE_INLINE DoubleDouble<Real> asin_sum_around(SeriesTerms<Real> t, Real base_hi,
                                                    Real base_mid, Real f) {
    const DoubleDouble<Real> lead = fast_two_sum(base_hi, f * t.a0);
    const DoubleDouble<Real> head = fast_two_sum(lead.hi, f * t.linear);
    const Real low = (((lead.lo + base_mid) + f * t.low) + head.lo) + f * t.tail;
    return {head.hi, low};
}

// asin(x) (is_asin) or acos(x) (otherwise) for |x| <= 1/2; not proven for
// other x. Products: how the exact products are formed (double_double.hpp;
// the same bound for either), here and in asin_upper_fast.
template <bool is_asin, class Products, class Real>
QTK_FORCE_INLINE FastResult<Real> asin_series_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> negative = x < 0.0;
    const SeriesTerms<Real> t =
        asin_series_terms<false, Products>(DoubleDouble<Real>{ax, splat<Real>(0.0)});
    DoubleDouble<Real> value;
    if constexpr (is_asin) {
        const DoubleDouble<Real> head = fast_two_sum(t.a0, t.linear);
        value = {head.hi, (t.low + head.lo) + t.tail};
    } else {
        // acos(x) = pi/2 - asin(x) = pi/2 -+ asin(ax): |f a_0| <= pi/6 and
        // pi/2 - pi/6 >= 2^-7.
        const Real f = select_bits(negative, splat<Real>(1.0), splat<Real>(-1.0));
        value = asin_sum_around(t, splat<Real>(ATAN_HALF_PI_HI), splat<Real>(ATAN_HALF_PI_MID), f);
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
// S, the sum of the series' terms, makes 2S within 2^-67.95 of 2 asin(z). The
// result is base + f S (asin_sum_around): base pi/2 and f = -2 for asin;
// for acos, base pi and f = -2 for x < 0, base 0 and f = 2 for x > 0. Both
// sums' conditions hold: 2 a_0 <= 2 asin(1/2) = pi/3, and pi/2 - pi/3 >=
// 2^-7. With base 0 the result is 2 times table_series.hpp's sum; otherwise
// B <= pi + pi/3 < 4.2 and the extra roundings stay below 2^-98.2, with
// base.mid's 2^-104.3 below 2^-98.1. The value is the unevaluated pair
// (head, low) of asin_sum_around, |low| <= T 2S + 2^-49 B, so the test's own
// fl(low +- e) errs by below 2^-70.7 2S + 2^-99.8: with the above, below
// 2^-67.72 2S + 2^-97.8. The bound of the rounding test is 2^-67.5 times
// 2 fl(a_0 + (a_1 h).hi), which is at least 2S (1 - 2^-17.6) (the other terms are
// below T S + 2^-50 S, T = 2^-17.7), plus 2^-97 when base is not 0. Not
// proven: |x| <= 1/2, |x| >= 1 and NaN.
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
    const SeriesTerms<Real> t = asin_series_terms<true, Products>(DoubleDouble<Real>{zh, zl});

    Real base_hi = splat<Real>(ATAN_HALF_PI_HI);
    Real base_mid = splat<Real>(ATAN_HALF_PI_MID);
    Real f = splat<Real>(-2.0);
    Real extra = splat<Real>(0x1p-97);
    if constexpr (!is_asin) {
        base_hi = select_bits(negative, splat<Real>(ATAN_PI_HI), splat<Real>(0.0));
        base_mid = select_bits(negative, splat<Real>(ATAN_PI_MID), splat<Real>(0.0));
        f = select_bits(negative, splat<Real>(-2.0), splat<Real>(2.0));
        extra = select_bits(negative, splat<Real>(0x1p-97), splat<Real>(0.0));
    }
    const DoubleDouble<Real> value = asin_sum_around(t, base_hi, base_mid, f);
    const Real bound = ASIN_SERIES_ERROR * (2.0 * (t.a0 + t.linear)) + extra;
    const FastResult<Real> r = rounding_test_within(value, bound);
    Real signed_value = r.value;
    if constexpr (is_asin) {
        signed_value = negate_if(negative, r.value);
    }
    return {signed_value, (ax > 0.5) && (ax < 1.0) && r.proven};
}

}  // namespace quorbel::elementary::detail
