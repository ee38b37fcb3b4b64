// The fast path of sin and cos, over a number type Real (one double, or the
// lanes of a SIMD register): a candidate result and a mask telling in which
// lanes its rounding is proven. Lanes whose mask is false are left to the
// scalar functions (sin_cos.cpp): arguments beyond 2^16 (Payne-Hanek), NaN
// and infinities, and the rare results too close to a rounding boundary.
// On a CPU with a fused multiply-add, sin_cos_fused.hpp is used instead (the
// same method with a shorter chain, the same results: fma_dispatch.hpp); this
// one is the portable path.
//
// Method. With x = N pi/2048 + h (range_reduction.hpp), N mod 4096 =
// 1024 k + j (k the quadrant, 0 <= j < 1024) and a = j pi/2048,
// sin x = sin(k pi/2 + a + h) and cos x = sin((k + 1) pi/2 + a + h) (N + 1024),
// so one kernel serves both:
//   k even: +-sin(a + h),   k odd: +-cos(a + h),   negated when k mod 4 >= 2,
//   sin(a + h) = S (1 + p) + C h (1 + q),   cos(a + h) = C (1 + p) - S h (1 + q),
// where S = sin a and C = cos a are double-doubles from SC_SIN_TABLE (C at
// 1024 - j), 1 + p = cos h and 1 + q = sin h / h. Writing (T1, T2) = (S, C)
// for sin and (C, -S) for cos,
//   y = T1 + T2 h + [T1 p + T2 h q]:
// T1.hi + T2 h exactly in two doubles, everything below 2^-19 |y| in double.
// T2 h is taken without a full Dekker product: with T2.hi = A + A' and
// h.hi = B + B' (Veltkamp's splits, A and B of 26 bits), A B is exact and
//   T2 h = A B + [A B' + (A' + T2.lo) h.hi + T2.hi h.lo] + (dropped),
// the bracket below 2^-25 |T2 h| and what is dropped (T2.lo h.lo, the
// rounding of A' + T2.lo) below 2^-78 |T2 h|.
//
// Error bound, relative to |y|, u = 2^-53, |h| <= 2^-10.35. Two facts:
// |T1| <= 2 |y| and |T2 h| <= 1.12 |y|. For sin and j >= 1, a >= pi/2048 >=
// 2 |h|, so a + h >= a / 2 and sin a <= 2 sin(a + h) (sin is concave on
// [0, pi/2]), while |C h| <= |h| <= a / 2 <= 1.12 sin(a + h); for j = 0,
// T1 = 0 and y = sin h. For cos, cos(a + h) = sin(a' - h) with
// a' = pi/2 - a >= pi/2048: the same. |p| <= h^2/2 <= 2^-21.7, |q| <= 2^-23.3.
//   p: computed as hh C2 + hh^2 (C4 + hh C6) - h.hi h.lo with hh = fl(h.hi^2):
//     the rounding of hh (2^-74), of the sum (2^-74), of the subtraction
//     (2^-74); the rest (h.lo^2, coefficients, the h^8/8! truncation) is
//     below 2^-80: |dp| < 2^-72.4, times |T1| <= 2|y|:          2^-71.4
//   q: six roundings of a number below 2^-22.5, times 1.12:    2^-72.8
//   T1.lo p and T2.lo h q left out:                            2^-73 + 2^-74.4
//   the bracket's three products and sum rounded:              2^-73 + 2^-74.4 + 2^-72.7
//   T2 h's small terms: five roundings of numbers below
//     2^-25 |T2 h|, and the dropped terms, times 1.12:         2^-75.3
//   the final low sum: three roundings, of sums below
//     2^-51 |y|, 2^-24.8 |y|, 2^-19.8 |y|:                     2^-72.8
//   the tables (2^-106 each), the reduction's relative 2^-104
//   (|h| <= 1.12 |y|: for j = 0 as above, otherwise |y| >= 2^-10.4),
//   and the sum h + r.mid of the Payne-Hanek path (2^-106 when
//   j != 0, where |y| >= 2^-10.4):                             below 2^-94
// (the terms as counted for |h| <= 2^-10; smaller here). In all below
// 2^-69.7; SC_EPSILON = 2^-69 leaves room for the rounding of the bound's own
// computation (|y.hi| for |y|, fl(y.lo +- bound)). The reduction's absolute
// error, SC_REDUCTION_ERROR (range_reduction.hpp), is added to the bound: y
// moves by no more than h does.
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

// x = N pi/2048 + h, and what sin and cos of x share: the splits and
// polynomials of h.
template <class Real>
struct TablePoint {
    IndexOf<Real> n;
    DoubleDouble<Real> h;
    DoubleDouble<Real> h_split;  // Veltkamp's split of h.hi
    Real p;                      // cos h - 1
    Real q;                      // sin h / h - 1
};

// For |h| <= pi/4096 + 2^-40, h a double-double with error at most
// 2^-104 |h| + SC_REDUCTION_ERROR.
template <class Real>
inline TablePoint<Real> table_point(IndexOf<Real> n, DoubleDouble<Real> h) {
    const Real hh = h.hi * h.hi;
    const Real p = (hh * SC_C2 + (hh * hh) * (SC_C4 + hh * SC_C6)) - h.hi * h.lo;
    const Real q = hh * (SC_S3 + hh * (SC_S5 + hh * SC_S7));
    return {n, h, split(h.hi), p, q};
}

// sin(x + quarter_turns pi/2) from x's table point; quarter_turns is 0 or 1.
template <class Real>
inline Candidate<Real> sin_quadrant(const TablePoint<Real>& t, int quarter_turns) {
    // N mod 4096 from the low bits (two's complement, also for N < 0):
    // j = bits 0..9, k odd = bit 10, k mod 4 >= 2 = bit 11.
    const IndexOf<Real> n = t.n + 1024 * quarter_turns;
    const IndexOf<Real> j = n & 1023;
    const MaskOf<Real> odd = (n & 1024) != 0;
    const MaskOf<Real> flip = (n & 2048) != 0;
    // (T1, T2) = (S, C) = (entry j, entry 1024 - j) for k even, (C, -S) for k
    // odd.
    const IndexOf<Real> row1 = select_index(odd, 1024 - j, j);
    const IndexOf<Real> row2 = 1024 - row1;
    const ColumnPair<Real> entry1 = gather_pair(SC_SIN_TABLE, row1, 0);
    const ColumnPair<Real> entry2 = gather_pair(SC_SIN_TABLE, row2, 0);
    const DoubleDouble<Real> t1 = {entry1.first, entry1.second};
    const DoubleDouble<Real> t2 = {negate_if(odd, entry2.first), negate_if(odd, entry2.second)};

    // T2 h: the 26-bit heads of T2.hi and h.hi multiply exactly; the rest,
    // below 2^-25 |T2 h|, is summed in double.
    const DoubleDouble<Real> t2_split = split(t2.hi);
    const Real t2_tail = t2_split.lo + t2.lo;
    const Real head = t2_split.hi * t.h_split.hi;
    const Real tail = (t2_split.hi * t.h_split.lo + t2_tail * t.h.hi) + t2.hi * t.h.lo;
    const Real bracket = t1.hi * t.p + (t2.hi * t.h.hi) * t.q;
    // |T1.hi| >= |head| unless T1 = 0 (sin a >= sin(pi/2048) > |h| for
    // j >= 1, and likewise for cos), so fast_two_sum is exact.
    const DoubleDouble<Real> z = fast_two_sum(t1.hi, head);
    const DoubleDouble<Real> y = fast_two_sum(z.hi, (t1.lo + z.lo) + (tail + bracket));

    const Real bound = abs_lane(y.hi) * splat<Real>(SC_EPSILON) + splat<Real>(SC_REDUCTION_ERROR);
    const Real upper = y.hi + (y.lo + bound);
    const Real lower = y.hi + (y.lo - bound);
    return {negate_if(flip, upper), upper == lower};
}

template <class Real>
struct SinCosCandidate {
    Candidate<Real> sin;
    Candidate<Real> cos;
};

// Lanes with |x| >= 2^16 or not finite are computed on 0 instead (so no
// index leaves the table) and reported unproven.
template <class Real>
inline TablePoint<Real> reduced_table_point(Real x, MaskOf<Real> in_range) {
    const StepAndRemainder<Real> red = cody_waite(select(in_range, x, splat<Real>(0.0)));
    return table_point(to_index(red.n), red.h);
}

template <class Real>
inline SinCosCandidate<Real> sin_cos_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < splat<Real>(CODY_WAITE_LIMIT);
    const TablePoint<Real> point = reduced_table_point(x, in_range);
    Candidate<Real> s = sin_quadrant(point, 0);
    Candidate<Real> c = sin_quadrant(point, 1);
    const MaskOf<Real> sin_tiny = ax <= splat<Real>(SIN_IS_X_BELOW);
    const MaskOf<Real> cos_tiny = ax < splat<Real>(COS_IS_ONE_BELOW);
    s.value = select(sin_tiny, x, s.value);
    s.proven = (s.proven && in_range) || sin_tiny;
    c.value = select(cos_tiny, splat<Real>(1.0), c.value);
    c.proven = (c.proven && in_range) || cos_tiny;
    return {s, c};
}

template <class Real>
inline Candidate<Real> sin_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < splat<Real>(CODY_WAITE_LIMIT);
    Candidate<Real> s = sin_quadrant(reduced_table_point(x, in_range), 0);
    const MaskOf<Real> tiny = ax <= splat<Real>(SIN_IS_X_BELOW);
    s.value = select(tiny, x, s.value);
    s.proven = (s.proven && in_range) || tiny;
    return s;
}

template <class Real>
inline Candidate<Real> cos_fast(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < splat<Real>(CODY_WAITE_LIMIT);
    Candidate<Real> c = sin_quadrant(reduced_table_point(x, in_range), 1);
    const MaskOf<Real> tiny = ax < splat<Real>(COS_IS_ONE_BELOW);
    c.value = select(tiny, splat<Real>(1.0), c.value);
    c.proven = (c.proven && in_range) || tiny;
    return c;
}

}  // namespace quorbel::elementary::detail
