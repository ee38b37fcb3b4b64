// The fast path of atan2: atan2(y, x) in double-double arithmetic, with a
// proven error bound and Ziv's rounding test.
//
// Reduction. With ay = |y|, ax = |x|, the smaller over the larger is
// t = num / den in [0, 1], and atan2(y, x) = sign(y) theta with
//   ay <= ax, x > 0:  theta = atan(t)
//   ay <= ax, x < 0:  theta = pi - atan(t)
//   ay >  ax, x > 0:  theta = pi/2 - atan(t)
//   ay >  ax, x < 0:  theta = pi/2 + atan(t).
// t is q + q_lo, q = fl(num / den) and q_lo the remainder's quotient, and
// atan(t) is the Taylor expansion about the table point c = k / 256 nearest
// q (atan_series_tables.hpp), summed by table_series.hpp at h = q - c with
// the low part q_lo. One division, and 1 / den beside it rather than after
// it: the dependency chain is one division, the table and the polynomial
// (a reduction to atan((t - c) / (1 + t c)) waits for a second division).
//
// Error, as a multiple of theta (u = 2^-53; every bound of double_double.hpp
// holds because the inputs are kept in [2^-500, 2^500], see in_range, so
// q >= 2^-1000 (1 - u)).
// 1. |256 q - k| <= 1/2, so |h| <= 2^-9, and h = q - c is exact (k = 0:
//    h = q; k >= 1: c >= 2^-8, so c / 2 <= q <= 2c, Sterbenz's lemma).
// 2. The remainder rho = num - q den is a double (the remainder of a
//    correctly rounded quotient, far from underflow here) and is computed
//    exactly by minus_product (product_steps.hpp: q den within a few ulps
//    of num, Sterbenz's lemma, and far from underflow).
//    |rho / den| <= u q, and q_lo = fl(rho fl(1 / den)) is within 2u of it,
//    plus 2^-1075 if it underflows: |q_lo - (t - q)| <= 2^-105 q + 2^-1075
//    <= 2^-74.9 q, which moves atan by at most that (atan' <= 1), and
//    q <= t (1 + 2^-52) <= 1.0001 atan(t) (t <= 2^-9 for k = 0; t >= 2^-9 and
//    atan(t) >= 0.78 t otherwise): 2^-74.8 atan(t). |q_lo| <= 2^-51 q, as
//    table_series.hpp requires of its low part.
// 3. table_series.hpp: its sum S is within W u + T u + R + 2^-98 of
//    atan(t), relative, with the generator's W = 2^-14.2, T = 2^-16.7 and
//    R = 2^-75.1: 2^-66.96.
// 4. theta = base + sigma S, base 0, pi/2 or pi as hi + mid (2^-106 base),
//    sigma = -1 or +1, summed from the series' terms (table_series_terms)
//    rather than from S, one fast_two_sum fewer. theta >= atan(t), and
//    theta >= pi/4 >= base / 4 when base is not 0, so base + S <= 4 theta.
//    - lead = base.hi + sigma a_0.hi is an exact fast_two_sum (base is 0 or
//      at least pi/2 >= 2 a_0.hi), and so is lead.hi + sigma (a_1 h).hi: for
//      base 0 it is table_series.hpp's leading sum, otherwise |lead.hi| >=
//      pi/4 > 2^-9 >= |(a_1 h).hi|.
//    - The low parts, lead.lo, base.mid, the series' low parts and the
//      second sum's error, are each below 2^-51 (base + S) <= 2^-49 theta;
//      they are summed first in three roundings (partial sums below 2^-47
//      theta: below 3 2^-100 theta in all), the tail (below T S) last:
//      u (T + 2^-46) theta. table_series.hpp's budget holds u T S and
//      2^-98 S for its own sums; these exceed it by less than 2^-99 theta.
//    So theta is within 2^-66.96 S + 2^-99 theta of itself, S <= theta.
// Total: 2^-66.96 + 2^-74.8 + 2^-99 < 2^-66.95 theta, for the exact sum
// head.hi + low of the last two terms (no final FastTwoSum: the rounding test
// takes the pair as it is, rounding_test_within below). |low| is below
// 2^-16.6 theta (the tail and the low parts), so the test's own fl(low +- e)
// errs by at most u (|low| + e) < 2^-69.6 theta, and e must cover
// 2^-66.95 + 2^-69.6 < 2^-66.72 theta. The test uses 2^-66.68 |head.hi|
// (ATAN_FAST_ERROR), and |head.hi| >= theta (1 - 2^-16.5).
#pragma once

#include <cstdint>
#include <type_traits>

#include "maths/elementary/atan_series_tables.hpp"
#include "maths/elementary/atan_tables.hpp"
#include "maths/elementary/double_double.hpp"
#include "maths/elementary/inlining.hpp"
#include "maths/elementary/lane_scalar.hpp"
#include "maths/elementary/product_steps.hpp"
#include "maths/elementary/table_index.hpp"
#include "maths/elementary/table_series.hpp"

namespace quorbel::elementary::detail {

// A fast path's answer: value is the correctly rounded result wherever
// proven is set; elsewhere the caller takes the accurate path.
template <class Real>
struct FastResult {
    Real value;
    MaskOf<Real> proven;
};

inline constexpr double ATAN_FAST_ERROR = 0x1.4p-67;  // 2^-66.68

// Ziv's rounding test for an approximation h + l (an unevaluated sum) within
// e' of the exact value v, where e >= e' + u (|l| + e) covers the rounding of
// fl(l +- e) too: then h + fl(l + e) and h + fl(l - e) are at or beyond the
// ends of the interval that holds v; rounding is monotonic, so when both
// round to the same double, v rounds to it too. (For |l| <= ulp(h) / 2, u
// (|l| + e) is below u^2 |h|.)
template <class Real>
inline FastResult<Real> rounding_test_within(DoubleDouble<Real> v, Real e) {
    const Real up = v.hi + (v.lo + e);
    const Real down = v.hi + (v.lo - e);
    return {up, up == down};
}

// The same for a bound relative to v: e = eps |v.hi|.
template <class Real>
inline FastResult<Real> atan_rounding_test(DoubleDouble<Real> v, double eps) {
    return rounding_test_within(v, eps * abs_lane(v.hi));
}

// base as hi + mid, indexed by 2 swapped + x_negative: 0, pi, pi / 2, pi / 2.
inline constexpr double ATAN_BASES[4][2] = {
    {0.0, 0.0},
    {ATAN_PI_HI, ATAN_PI_MID},
    {ATAN_HALF_PI_HI, ATAN_HALF_PI_MID},
    {ATAN_HALF_PI_HI, ATAN_HALF_PI_MID},
};

// if_true where mask is set, if_false elsewhere, by bit operations, for a
// mask that is random from call to call (a blend on lanes).
// On x86-64 the blend is done in the vector registers (as negate_if,
// lane_scalar.hpp), only the mask crossing from the integer side.
inline double select_bits(bool mask, double if_true, double if_false) {
#if QTK_LANE_SSE_BITS
    const __m128d m = _mm_castsi128_pd(_mm_cvtsi64_si128(-static_cast<long long>(mask)));
    return _mm_cvtsd_f64(
        _mm_or_pd(_mm_and_pd(m, _mm_set1_pd(if_true)), _mm_andnot_pd(m, _mm_set1_pd(if_false))));
#else
    const auto t = static_cast<std::int64_t>(lane_bits(if_true));
    const auto f = static_cast<std::int64_t>(lane_bits(if_false));
    return lane_from_bits(static_cast<std::uint64_t>(select_index(mask, t, f)));
#endif
}

// base as hi + mid: a row of ATAN_BASES for one double; on lanes, by bit
// operations, as reading a row per lane would take each lane's index out of
// the vector register: pi/2's parts where swapped or x is negative, and one
// more in their exponents (pi's parts are twice pi/2's) where x alone is
// negative, +0 elsewhere: the same doubles as the rows. (An integer sum
// rather than a second mask: GCC turns the and-or of two masks into a
// three-micro-operation blend.)
static_assert(ATAN_PI_HI == 2.0 * ATAN_HALF_PI_HI && ATAN_PI_MID == 2.0 * ATAN_HALF_PI_MID);
template <class Real>
QTK_FORCE_INLINE ColumnPair<Real> atan_base(MaskOf<Real> swapped, MaskOf<Real> x_negative) {
    if constexpr (std::is_same_v<Real, double>) {
        const IndexOf<Real> base = select_index(swapped, 2, 0) + select_index(x_negative, 1, 0);
        return gather_pair(ATAN_BASES, base, 0);
    } else {
        const IndexOf<Real> half_pi = swapped | x_negative;
        const IndexOf<Real> doubled = (x_negative & ~swapped) & (std::int64_t{1} << 52);
        return {(Real)((half_pi & index_bits(splat<Real>(ATAN_HALF_PI_HI))) + doubled),
                (Real)((half_pi & index_bits(splat<Real>(ATAN_HALF_PI_MID))) + doubled)};
    }
}

// atan2_fast in its three steps, the reduction, the series' terms and their
// sum with the rounding test: lanes computing several independent functions
// take each step for all of them in turn (lane_elementary.hpp).
template <class Real>
struct Atan2Reduction {
    MaskOf<Real> y_negative;
    MaskOf<Real> x_negative;
    MaskOf<Real> swapped;
    MaskOf<Real> in_range;
    Real q;
    Real q_lo;
    Real k;
    IndexOf<Real> index;
};

template <class Products, class Real>
QTK_FORCE_INLINE Atan2Reduction<Real> atan2_reduction(Real y, Real x) {
    const MaskOf<Real> y_negative = y < 0.0;
    const MaskOf<Real> x_negative = x < 0.0;
    const Real ay = abs_lane(y);
    const Real ax = abs_lane(x);
    // The order of |x| and |y| is random from call to call: no branch.
    const MaskOf<Real> swapped = ay > ax;
    const Real num = select_bits(swapped, ax, ay);
    const Real den = select_bits(swapped, ay, ax);
    const MaskOf<Real> in_range = (den <= 0x1p500) && (num >= 0x1p-500);

    // k = round(256 q) (table_index.hpp; a NaN lane reads a valid row and is
    // not proven). 1 / den runs beside the quotient.
    const Real q = num / den;
    const Real inverse = 1.0 / den;
    const auto point = round_to_point(q * 256.0, 256);
    const Real q_lo = minus_product<Products>(num, q, den) * inverse;
    return {y_negative, x_negative, swapped, in_range, q, q_lo, point.k, point.index};
}

template <class Products, class Real>
QTK_FORCE_INLINE SeriesTerms<Real> atan2_terms(const Atan2Reduction<Real>& r) {
    return table_series_terms<true, Products>(ATAN_SERIES_TABLE, r.index, r.q - r.k * 0x1p-8,
                                              r.q_lo);
}

template <class Real>
QTK_FORCE_INLINE FastResult<Real> atan2_sum(const Atan2Reduction<Real>& r,
                                            const SeriesTerms<Real>& s) {
    // theta = base + sigma S, sigma = -1 where minus is set and +1
    // elsewhere (a sign flip), summed from the series' terms.
    const MaskOf<Real> minus = r.swapped != r.x_negative;
    const ColumnPair<Real> base_entry = atan_base<Real>(r.swapped, r.x_negative);
    const Real base_hi = base_entry.first;
    const Real base_mid = base_entry.second;
    const DoubleDouble<Real> lead = fast_two_sum(base_hi, negate_if(minus, s.a0));
    const DoubleDouble<Real> head = fast_two_sum(lead.hi, negate_if(minus, s.linear));
    const Real low = (((lead.lo + base_mid) + negate_if(minus, s.low)) + head.lo) +
                     negate_if(minus, s.tail);
    const FastResult<Real> rounded_theta =
        atan_rounding_test(DoubleDouble<Real>{head.hi, low}, ATAN_FAST_ERROR);
    return {negate_if(r.y_negative, rounded_theta.value), r.in_range && rounded_theta.proven};
}

// atan2(y, x), the exact products and multiply-adds formed the way
// Products forms them (product_steps.hpp; the same bound for either). Not
// proven (the caller handles them): a zero, infinite or NaN argument, and
// min(|x|, |y|) < 2^-500 or max(|x|, |y|) > 2^500, outside which the error
// bound needs no underflow or overflow analysis.
template <class Products, class Real>
QTK_FORCE_INLINE FastResult<Real> atan2_fast(Real y, Real x) {
    const Atan2Reduction<Real> r = atan2_reduction<Products>(y, x);
    return atan2_sum(r, atan2_terms<Products>(r));
}

}  // namespace quorbel::elementary::detail
