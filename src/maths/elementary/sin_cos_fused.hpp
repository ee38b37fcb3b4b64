// The fast path of sin and cos with a fused multiply-add, used when the CPU
// has one (fma_dispatch.hpp): the method of sin_cos_fast.hpp (the same table,
// quadrants and polynomials, the same candidate and mask), with a shorter
// dependency chain. Whether it or the Dekker path answers, a proven result is
// the correctly rounded one, so the two give the same bits.
//
// Reduction, for |x| < 2^16. N = round(fl(x 2048/pi)), so |N| < 2^25.35 and
// |x - N pi/2048| <= (1/2 + 2^-26.6) pi/2048 < 2^-10.35 + 2^-36. With
// pi/2048 = C1 + C2 + C3 + e (sin_cos_tables.hpp):
//   h1 = fma(-N, C1, x) is exact. C1 is a multiple of 2^-62, and so is x when
//     |x| >= 2^-10; x - N C1 is within |N| |pi/2048 - C1| <= 2^25.35 2^-63 of
//     x - N pi/2048, so below 2^-10 in magnitude: a multiple of 2^-62 below
//     2^-10 has at most 52 significant bits. For 2^-11 <= |x| < 2^-10 the
//     same holds with 2^-63 and 53 bits; below 2^-11, N = 0 and h1 = x.
//   N C2 = P2 + E2 exactly (P2 = fl(N C2), E2 = fma(N, C2, -P2)), and
//     FastTwoSum gives h.hi + s = h1 - P2 exactly. It is exact when
//     |h1| >= |P2|, and also when h1 is a multiple of q = ulp(P2), which it
//     is (h1 is a multiple of 2^-63 or N = 0 and P2 = 0, and |P2| < 2^-37.6
//     puts q at 2^-90 or below): with
//     |h1| < |P2| < 2^53 q, h1 - P2 is a multiple of q below 2^54 q. Below
//     2^53 q it is a double and the sum is exact. Otherwise h.hi, a multiple
//     of 2q, is within q of it, so h.hi - h1 = -P2 + d with d in {-q, 0, q}
//     is a multiple of q not above 2^53 q, a double: exact, and so is
//     -P2 - (h.hi - h1) = -d. |s| <= 2^-53 |h.hi|.
//   h.lo = fma(-N, C3, s - E2): |E2| <= 2^-53 |P2| < 2^-90.6 and
//     |N C3| < 2^-94.6, so the two roundings cost below 2^-105 |h.hi| +
//     2^-142.5; N e is below 2^-143.6.
// So |h.hi + h.lo - h| < 2^-104.9 |h| + 2^-142 (h = x - N pi/2048), and
// |h.lo| <= 2^-53 |h.hi| + 2^-90.5. The relative part is counted below; the
// absolute one, SC_FUSED_REDUCTION_ERROR = 2^-141, is added to the bound.
//
// Kernel. With T1, T2 as in sin_cos_fast.hpp (double-doubles, |T1| <= 2|y|,
// |T2 h| <= 1.12 |y|, T1 = 0 or |T1| >= sin(pi/2048) > |h|),
//   y = T1 cos h + T2 sin h
//     = T1 + T2 h.hi + T1 p + T2 h.hi q + (T2 - T1 h.hi) h.lo + (rest),
// with p = cos(h.hi) - 1 and q = sin(h.hi) / h.hi - 1 from the
// polynomials of sin_cos_tables.hpp evaluated at h.hi with fused steps, p as
// hh C2 + hh^2 (C4 + hh C6), q by Horner's rule to its h^4 term (S7 is not
// needed here). T2 h.hi = P + E
// exactly (P = fl(T2.hi h.hi), E by fma) plus T2.lo h.hi. The rest, from
// replacing y'(h.hi) = T2 cos h.hi - T1 sin h.hi by T2 - T1 h.hi and from
// h.lo^2, is below (|T2| h^2/2 + |T1| h^3/6) |h.lo| <= 2^-74.5 |y|.
// What follows T1 + P is summed as
//   low = ((T1.lo + z.lo) + small) + acc,
//   acc = fma(T1.hi, p, fma(P, q, E)),
//   small = fma(T2.hi - T1.hi h.hi, h.lo, fl(T2.lo h.hi)),
// one rounding per term of acc, the terms of h.lo and T2.lo (below
// 2^-52 |y|) beside it, off the chain through p and q.
//
// Error bound, relative to |y|, u = 2^-53, |h.hi| <= 2^-10.35 (+2^-36),
// |p| <= 2^-21.7, |q| <= 2^-23.3:
//   p: the rounding of hh = fl(h.hi^2) and of the final fma (2^-74.7
//     each); hh C2 is exact, and the roundings of hh^2 and of C4 + hh C6,
//     C4 and C6's own and the h^8 truncation are below 2^-98:
//     2^-73.7, times |T1| <= 2 |y|:                              2^-72.7
//   T1.lo p left out:                                           2^-73.7
//   q: three roundings of 2^-76.3, times 1.12:                  2^-74.1
//   q's truncation, h^6 / 5040 <= 2^-74.4, times 1.12:          2^-74.2
//   the rest above:                                              2^-74.5
//   acc: the step with P q rounds a number below 2^-23.1 |y|:    2^-76.1
//     and the last a number below 2^-20.4 |y|:                   2^-73.4
//   small: two roundings of numbers below 2^-52 |y|, and T2.lo h.lo
//     left out:                                                  below 2^-100
//   z = T1.hi + P by FastTwoSum, exact (|T1.hi| >= |P| or T1 = 0);
//   low: the first two sums below 2^-102, the last of a number
//     below 2^-20.4 |y|:                                         2^-73.4
//   the tables (2^-106), the reduction's relative 2^-104.9:      below 2^-100
//   the test's fl(low +- b), low being below 2^-20.4 |y|:       2^-73.4
// In all below 2^-70.5 |y|. y = z.hi + low and |low| <= 2^-20.4 |y|, so
// |z.hi| (1 + 2^-20) >= |y|: SC_FUSED_EPSILON = 2^-70 times |z.hi| covers the
// bound and the rounding of its own computation (one fma with the absolute
// part). The test runs on z.hi + low directly (no final FastTwoSum):
// fl(z.hi + fl(low - b)) <= RN(exact) <= fl(z.hi + fl(low + b)) as
// fl(low +- b) errs by less than the 2^-73.4 above. It fails for about
// 2 * 2^-70 / 2^-53 of the arguments, 1 in 65000. The signs of the quadrant
// are bit flips (negate_if), exact, and off the floating-point units' ports.
#pragma once

#include "maths/elementary/double_double.hpp"
#include "maths/elementary/fma_dispatch.hpp"
#include "maths/elementary/lane_scalar.hpp"
#include "maths/elementary/sin_cos_fast.hpp"
#include "maths/elementary/sin_cos_tables.hpp"

#if QTK_FMA_VARIANTS

namespace quorbel::elementary::detail {

inline constexpr double SC_FUSED_EPSILON = 0x1p-70;
inline constexpr double SC_FUSED_REDUCTION_ERROR = 0x1p-141;

// x = N pi/2048 + h and the polynomials of h.hi; n_bits holds N in its low
// bits (N mod 4096 is all the kernel reads).
template <class Real>
struct FusedPoint {
    IndexOf<Real> n_bits;
    DoubleDouble<Real> h;
    Real p;  // cos h.hi - 1
    Real q;  // sin h.hi / h.hi - 1
};

// For |x| < 2^16 (the reduction above).
template <class Real>
inline FusedPoint<Real> fused_point(Real x) {
    constexpr double SHIFTER = 0x1.8p52;
    // fl(x 2048/pi) + 1.5 2^52 rounds to the integer N; its significand's low
    // bits are 2^51 + N, so N mod 4096 is read from them without a conversion.
    const Real shifted = x * SC_2048_OVER_PI + SHIFTER;
    const Real n = shifted - SHIFTER;
    const Real h1 = fused_multiply_add(-n, splat<Real>(SC_PIO2048_FMA[0]), x);
    const Real p2 = n * SC_PIO2048_FMA[1];
    const Real e2 = fused_multiply_add(n, splat<Real>(SC_PIO2048_FMA[1]), -p2);
    const DoubleDouble<Real> s = fast_two_sum(h1, -p2);
    const Real h_lo = fused_multiply_add(-n, splat<Real>(SC_PIO2048_FMA[2]), s.lo - e2);
    const Real hh = s.hi * s.hi;
    // p = hh C2 + hh^2 (C4 + hh C6), hh C2 exact (C2 = -1/2): two steps
    // after hh rather than Horner's three.
    const Real p = fused_multiply_add(
        hh * hh, fused_multiply_add(hh, splat<Real>(SC_C6), splat<Real>(SC_C4)), hh * SC_C2);
    const Real q = hh * fused_multiply_add(hh, splat<Real>(SC_S5), splat<Real>(SC_S3));
    return {index_bits(shifted), {s.hi, h_lo}, p, q};
}

// What sin x and cos x share: the two table rows and the signs. For k even,
// sin x = +-(S cos h + C sin h) and cos x = +-(C cos h - S sin h); for k odd
// the roles swap. With A the entry read as T1 for sin (S, or C = entry 1024 - j
// for k odd) and B the other, sin(a + h) or cos(a + h) alike is
//   sin: A cos h + B sin(sigma h),   cos: B cos h + A sin(-sigma h),
// sigma = +1 for k even and -1 for k odd: the sign of T2 moves onto h (cos h
// and p, q are even), two sign flips instead of four of table entries.
// sin x is negated for k = 2, 3 and cos x for k = 1, 2.
template <class Real>
struct FusedRows {
    DoubleDouble<Real> a;
    DoubleDouble<Real> b;
    DoubleDouble<Real> h_sin;  // sigma h
    MaskOf<Real> sin_negative;
    MaskOf<Real> cos_negative;
};

template <class Real>
inline FusedRows<Real> fused_rows(const FusedPoint<Real>& t) {
    const IndexOf<Real> j = t.n_bits & 1023;
    const MaskOf<Real> odd = (t.n_bits & 1024) != 0;
    const IndexOf<Real> row_a = select_index(odd, 1024 - j, j);
    const MirroredRows<Real> rows = gather_mirrored_rows(SC_SIN_TABLE, row_a, 1024);
    const ColumnPair<Real> a = rows.row;
    const ColumnPair<Real> b = rows.mirrored;
    return {{a.first, a.second},
            {b.first, b.second},
            {negate_if(odd, t.h.hi), negate_if(odd, t.h.lo)},
            (t.n_bits & 2048) != 0,
            ((t.n_bits + 1024) & 2048) != 0};
}

// +-(T1 cos h + T2 sin h) for the point's p and q (even in h), with its
// rounding test (the kernel above).
template <class Real>
inline Candidate<Real> fused_kernel(DoubleDouble<Real> t1, DoubleDouble<Real> t2,
                                    DoubleDouble<Real> h, Real p, Real q, MaskOf<Real> negative) {
    const Real big_p = t2.hi * h.hi;
    const Real big_e = fused_multiply_add(t2.hi, h.hi, -big_p);
    const Real slope = fused_multiply_add(-t1.hi, h.hi, t2.hi);
    const Real acc = fused_multiply_add(t1.hi, p, fused_multiply_add(big_p, q, big_e));
    const Real small = fused_multiply_add(slope, h.lo, t2.lo * h.hi);
    const DoubleDouble<Real> z = fast_two_sum(t1.hi, big_p);
    const Real low = ((t1.lo + z.lo) + small) + acc;

    const Real bound = fused_multiply_add(abs_lane(z.hi), splat<Real>(SC_FUSED_EPSILON),
                                          splat<Real>(SC_FUSED_REDUCTION_ERROR));
    const Real upper = z.hi + (low + bound);
    const Real lower = z.hi + (low - bound);
    return {negate_if(negative, upper), upper == lower};
}

template <class Real>
inline Candidate<Real> fused_sin_of(const FusedPoint<Real>& t, const FusedRows<Real>& r) {
    return fused_kernel(r.a, r.b, r.h_sin, t.p, t.q, r.sin_negative);
}

template <class Real>
inline Candidate<Real> fused_cos_of(const FusedPoint<Real>& t, const FusedRows<Real>& r) {
    const DoubleDouble<Real> h_cos = {-r.h_sin.hi, -r.h_sin.lo};
    return fused_kernel(r.b, r.a, h_cos, t.p, t.q, r.cos_negative);
}

// Out-of-range lanes (|x| >= 2^16, NaN, infinities) are computed on 0 and
// reported unproven, as in sin_cos_fast.hpp.
template <class Real>
inline FusedPoint<Real> reduced_fused_point(Real x, MaskOf<Real> in_range) {
    return fused_point(select(in_range, x, splat<Real>(0.0)));
}

template <class Real>
inline SinCosCandidate<Real> sin_cos_fused(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < splat<Real>(CODY_WAITE_LIMIT);
    const FusedPoint<Real> point = reduced_fused_point(x, in_range);
    const FusedRows<Real> rows = fused_rows(point);
    Candidate<Real> s = fused_sin_of(point, rows);
    Candidate<Real> c = fused_cos_of(point, rows);
    const MaskOf<Real> sin_tiny = ax <= splat<Real>(SIN_IS_X_BELOW);
    const MaskOf<Real> cos_tiny = ax < splat<Real>(COS_IS_ONE_BELOW);
    s.value = select(sin_tiny, x, s.value);
    s.proven = (s.proven && in_range) || sin_tiny;
    c.value = select(cos_tiny, splat<Real>(1.0), c.value);
    c.proven = (c.proven && in_range) || cos_tiny;
    return {s, c};
}

template <class Real>
inline Candidate<Real> sin_fused(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < splat<Real>(CODY_WAITE_LIMIT);
    const FusedPoint<Real> point = reduced_fused_point(x, in_range);
    Candidate<Real> s = fused_sin_of(point, fused_rows(point));
    const MaskOf<Real> tiny = ax <= splat<Real>(SIN_IS_X_BELOW);
    s.value = select(tiny, x, s.value);
    s.proven = (s.proven && in_range) || tiny;
    return s;
}

template <class Real>
inline Candidate<Real> cos_fused(Real x) {
    const Real ax = abs_lane(x);
    const MaskOf<Real> in_range = ax < splat<Real>(CODY_WAITE_LIMIT);
    const FusedPoint<Real> point = reduced_fused_point(x, in_range);
    Candidate<Real> c = fused_cos_of(point, fused_rows(point));
    const MaskOf<Real> tiny = ax < splat<Real>(COS_IS_ONE_BELOW);
    c.value = select(tiny, splat<Real>(1.0), c.value);
    c.proven = (c.proven && in_range) || tiny;
    return c;
}

}  // namespace quorbel::elementary::detail

#endif  // QTK_FMA_VARIANTS
