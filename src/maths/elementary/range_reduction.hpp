// Reduction of a sine or cosine argument modulo pi/2: x = k pi/2 + r with k
// an integer and |r| <= pi/4 (a hair more when k comes from a rounded
// x 2/pi), so that sin x and cos x are +-sin r or +-cos r by k mod 4.
//
// How close can r come to 0? The double closest to a multiple of pi/2 is
// 6381956970095103 * 2^797, with |r| ~ 2^-60.9 (Muller, "Elementary
// Functions", 3rd ed., section 11.3, from the continued fraction of 2/pi over
// every binade); for every other finite nonzero double |r| is larger, so every
// relative error bound below only needs |r| > 2^-61.
//
// Two reductions:
//   - cody_waite, for |x| < 2^20, the fast path's, written over Real for
//     lanes: a double-double r with relative error at most 2^-88.9;
//   - reduce_payne_hanek, for every finite x: r as a triple-double with
//     relative error below 2^-157, for the accurate path (and for the fast
//     path above 2^20).
#pragma once

#include "maths/elementary/double_double.hpp"
#include "maths/elementary/lane_scalar.hpp"
#include "maths/elementary/sin_cos_tables.hpp"
#include "maths/elementary/triple_double.hpp"

namespace quorbel::elementary::detail {

// The fast path's reduction's domain: k P1 and k P2 are exact for |k| < 2^20.
inline constexpr double CODY_WAITE_LIMIT = 0x1p20;

template <class Real>
struct QuadrantAndRemainder {
    Real k;  // integer-valued
    DoubleDouble<Real> r;
};

// k = round(fl(x 2/pi)), so |k| < 2^20 for |x| < 2^20 and |r| <= pi/4 + 2^-30.
// With pi/2 = P1 + P2 + P3 + P4 + e (|e| < 2^-170):
//   t1 = x - k P1 is exact: k P1 has 33 + 20 bits; for k >= 1, fl(x 2/pi)
//     > k - 1/2 gives x > (k - 1/2) (pi/2) (1 - 2^-52) >= k P1 / 2, and
//     likewise x < 2 k P1, so the subtraction is exact by Sterbenz's lemma
//     (and symmetrically for k <= -1);
//   k P2 is exact likewise, and two_sum(t1, -k P2) keeps t1 - k P2 exactly;
//   k P3 is exact as Dekker's product; k P4 (|k P4| < 2^-102) is rounded,
//     an error below 2^-155, and added to the product's low part, an
//     error below 2^-154;
//   k e contributes below 2^-150.
// The sum of the two double-doubles (AccurateDWPlusDW) adds a relative error
// of 3u^2 / (1 - 4u) < 2^-104.4. So |r_computed - r| < 2^-150 + 2^-104.4 |r|,
// a relative error below 2^-88.9 as |r| > 2^-61.
template <class Real>
inline QuadrantAndRemainder<Real> cody_waite(Real x) {
    const Real k = round_to_integer(x * SC_TWO_OVER_PI);
    const Real t1 = x - k * SC_PIO2_CW[0];
    const DoubleDouble<Real> t2 = two_sum(t1, -(k * SC_PIO2_CW[1]));
    const DoubleDouble<Real> p3 = two_prod(k, Real(SC_PIO2_CW[2]));
    const DoubleDouble<Real> tail = {-p3.hi, -(p3.lo + k * SC_PIO2_CW[3])};
    return {k, add(t2, tail)};
}

struct ReducedArgument {
    int quadrant;  // k mod 4, in 0 .. 3
    TripleDouble r;
};

// x = k pi/2 + r for any finite x, with |r| <= pi/4; quadrant = k mod 4.
ReducedArgument reduce_payne_hanek(double x) noexcept;

}  // namespace quorbel::elementary::detail
