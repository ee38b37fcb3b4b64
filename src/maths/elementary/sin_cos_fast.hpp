// The fast path of sin and cos, over a number type Real (one double, or the
// lanes of a SIMD register): a candidate result and a mask telling in which
// lanes its rounding is proven. Lanes whose mask is false are left to the
// scalar functions (sin_cos.cpp): arguments beyond 2^20 (Payne-Hanek), NaN
// and infinities, and the rare results too close to a rounding boundary.
//
// Method. With x = k pi/2 + r (range_reduction.hpp), sin x = sin(k pi/2 + r)
// and cos x = sin((k + 1) pi/2 + r), so one kernel serves both:
//   k even: +-sin r,   k odd: +-cos r,   the sign flipping when k mod 4 >= 2.
// sin r = sign(r) sin |r| and cos r = cos |r|. With |r| = a + h, a = i/512 the
// nearest table point (i <= 402) and |h| <= 2^-10,
//   sin(a + h) = S (1 + p) + C h (1 + q),   cos(a + h) = C (1 + p) - S h (1 + q),
// where S, C = sin a, cos a (double-doubles from SC_TABLE), 1 + p = cos h and
// 1 + q = sin h / h. Writing (T1, T2) = (S, C) for sin and (C, -S) for cos,
//   y = T1 + T2 h + [T1 p + T2 h q]:
// T1 + T2 h in double-double, the bracket (below 2^-19 |y|) in double.
//
// Error bound, relative to |y|, u = 2^-53. Two facts: |T1| <= 2 |y| (for sin
// and i >= 1, a + h >= a / 2 and sin(a/2) >= sin(a)/2; for cos, cos a <= 1 and
// y >= cos(pi/4 + 2^-10) > 0.706; T1 = 0 for sin and i = 0) and
// |T2 h| <= 1.12 |y| (for sin, |h| <= a + h and sin t >= 0.897 t on
// [0, 0.79]; for cos |S h| < 2^-9 |y|). |p| <= h^2/2 <= 2^-21, |q| <= 2^-22.5.
//   p: computed as hh C2 + hh^2 (C4 + hh C6) - h.hi h.lo with hh = fl(h.hi^2):
//     the rounding of hh (2^-74), of the sum (2^-74), of the subtraction
//     (2^-74); the rest (h.lo^2, coefficients, the h^8/8! truncation) is
//     below 2^-80: |dp| < 2^-72.4, times |T1| <= 2|y|:          2^-71.4
//   q: six roundings of a number below 2^-22.5, times 1.12:    2^-72.8
//   T1.lo p and T2.lo h q left out:                            2^-73 + 2^-74.4
//   the bracket's three products and sum rounded:              2^-73 + 2^-74.4 + 2^-72.7
//   z.lo + bracket rounded (fast_two_sum is exact after):      2^-72.9
//   T2 h (DWTimesDW1, 7u^2), T1 + T2 h (AccurateDWPlusDW, 3u^2),
//   the tables (2^-106 each), the reduction (2^-88.9):         below 2^-88
// In all below 2^-69.79; SC_EPSILON = 2^-69 leaves room for the rounding of
// the bound's own computation (|y.hi| for |y|, fl(y.lo +- bound)).
//
// Rounding test (Ziv): with y = y.hi + y.lo and |exact - y| <= b, rounding is
// monotonic, so fl(y.hi + fl(y.lo - b)) <= RN(exact) <= fl(y.hi + fl(y.lo + b))
// (b slightly enlarged to cover the rounding of y.lo +- b); when the two ends
// agree the result is proven. The bound being relative, it fails for about
// 2 * 2^-69 / 2^-53 of the arguments, 1 in 30000.
#pragma once

#include "maths/elementary/double_double.hpp"
#include "maths/elementary/lane_scalar.hpp"
#include "maths/elementary/range_reduction.hpp"
#include "maths/elementary/sin_cos_tables.hpp"

namespace quorbel::elementary::detail {

inline constexpr double SC_EPSILON = 0x1p-69;
// Below these, sin x rounds to x and cos x to 1 (proofs in sin_cos.cpp).
inline constexpr double SIN_IS_X_BELOW = 0x1p-26;
inline constexpr double COS_IS_ONE_BELOW = 0x1p-27;

template <class Real>
struct Candidate {
    Real value;
    MaskOf<Real> proven;
};

// sin(k pi/2 + r) for |r| <= pi/4 + 2^-30, r a double-double with relative
// error at most 2^-88.9, k integer-valued.
template <class Real>
inline Candidate<Real> sin_quadrant(IndexOf<Real> k, DoubleDouble<Real> r) {
    const MaskOf<Real> r_negative = r.hi < Real(0.0);
    const Real rh = abs_lane(r.hi);
    const Real rl = select(r_negative, -r.lo, r.lo);
    const Real fi = round_to_integer(rh * Real(512.0));
    const IndexOf<Real> i = to_index(fi);
    // rh - a is exact (Sterbenz for i >= 1, a = 0 otherwise), and is 0 or at
    // least ulp(rh) > |rl|, so fast_two_sum keeps h exactly.
    const DoubleDouble<Real> h = fast_two_sum(rh - fi * Real(0x1p-9), rl);

    const DoubleDouble<Real> s = {gather(SC_TABLE, i, 0), gather(SC_TABLE, i, 1)};
    const DoubleDouble<Real> c = {gather(SC_TABLE, i, 2), gather(SC_TABLE, i, 3)};
    const MaskOf<Real> odd = (k & 1) != 0;
    const DoubleDouble<Real> t1 = {select(odd, c.hi, s.hi), select(odd, c.lo, s.lo)};
    const DoubleDouble<Real> t2 = {select(odd, -s.hi, c.hi), select(odd, -s.lo, c.lo)};

    const Real hh = h.hi * h.hi;
    const Real p = (hh * SC_C2 + (hh * hh) * (SC_C4 + hh * SC_C6)) - h.hi * h.lo;
    const Real q = hh * (SC_S3 + hh * (SC_S5 + hh * SC_S7));
    const DoubleDouble<Real> z = add(t1, mul(t2, h));
    const Real bracket = t1.hi * p + (t2.hi * h.hi) * q;
    const DoubleDouble<Real> y = fast_two_sum(z.hi, z.lo + bracket);

    const Real bound = abs_lane(y.hi) * Real(SC_EPSILON);
    const Real upper = y.hi + (y.lo + bound);
    const Real lower = y.hi + (y.lo - bound);
    const MaskOf<Real> flip = ((k & 2) != 0) != (!odd && r_negative);
    return {select(flip, -upper, upper), upper == lower};
}

template <class Real>
struct SinCosCandidate {
    Candidate<Real> sin;
    Candidate<Real> cos;
};

// Lanes with |x| >= 2^20 or not finite are computed on 0 instead (so no
// index leaves the table) and reported unproven.
template <class Real>
inline SinCosCandidate<Real> sin_cos_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < Real(CODY_WAITE_LIMIT);
    const QuadrantAndRemainder<Real> red = cody_waite(select(in_range, x, Real(0.0)));
    const IndexOf<Real> k = to_index(red.k);
    Candidate<Real> s = sin_quadrant(k, red.r);
    Candidate<Real> c = sin_quadrant(k + 1, red.r);
    const MaskOf<Real> sin_tiny = ax <= Real(SIN_IS_X_BELOW);
    const MaskOf<Real> cos_tiny = ax < Real(COS_IS_ONE_BELOW);
    s.value = select(sin_tiny, x, s.value);
    s.proven = (s.proven && in_range) || sin_tiny;
    c.value = select(cos_tiny, Real(1.0), c.value);
    c.proven = (c.proven && in_range) || cos_tiny;
    return {s, c};
}

template <class Real>
inline Candidate<Real> sin_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < Real(CODY_WAITE_LIMIT);
    const QuadrantAndRemainder<Real> red = cody_waite(select(in_range, x, Real(0.0)));
    Candidate<Real> s = sin_quadrant(to_index(red.k), red.r);
    const MaskOf<Real> tiny = ax <= Real(SIN_IS_X_BELOW);
    s.value = select(tiny, x, s.value);
    s.proven = (s.proven && in_range) || tiny;
    return s;
}

template <class Real>
inline Candidate<Real> cos_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < Real(CODY_WAITE_LIMIT);
    const QuadrantAndRemainder<Real> red = cody_waite(select(in_range, x, Real(0.0)));
    Candidate<Real> c = sin_quadrant(to_index(red.k) + 1, red.r);
    const MaskOf<Real> tiny = ax < Real(COS_IS_ONE_BELOW);
    c.value = select(tiny, Real(1.0), c.value);
    c.proven = (c.proven && in_range) || tiny;
    return c;
}

}  // namespace quorbel::elementary::detail
