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
//     lanes: a double-double r with error below 2^-104 |r| + 2^-130.4;
//   - reduce_payne_hanek, for every finite x: r as a triple-double with
//     relative error below 2^-149.9, for the accurate path (and for the fast
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
// With pi/2 = P1 + P2 + P3 + P4 + e (|e| < 2^-152, P1 .. P3 of 33 bits):
//   t1 = x - k P1 is exact: k P1 has 33 + 20 bits; for k >= 1, fl(x 2/pi)
//     > k - 1/2 gives x > (k - 1/2) (pi/2) (1 - 2^-52) >= k P1 / 2, and
//     likewise x < 2 k P1, so the subtraction is exact by Sterbenz's lemma
//     (and symmetrically for k <= -1);
//   k P2 and k P3 are exact likewise, and two TwoSums keep
//     s + e1 = t1 - k P2 and v + e2 = s - k P3 exactly, with |s| < |r| + 2^-46
//     (|k P3| < 2^-47) and |v| < 2 |r|;
//   e1 + e2 (each below 2^-53 of s or v) is rounded: 2^-105 |r| + 2^-152;
//   k P4 (|k P4| < 2^-79) is rounded: 2^-132; subtracting it, 2^-132 plus
//     2^-105 |r|; k e is below 2^-132;
//   v is at least |r| / 2 > 2^-62 > |lo|, so fast_two_sum is exact.
// So |r_computed - r| < 2^-104 |r| + 2^-130.4: a relative error of 2^-104
// and an absolute one, SC_REDUCTION_ERROR = 2^-130, which the rounding test
// adds to its bound as it is (|d sin r / dr|, |d cos r / dr| <= 1).
inline constexpr double SC_REDUCTION_ERROR = 0x1p-130;

template <class Real>
inline QuadrantAndRemainder<Real> cody_waite(Real x) {
    const Real k = round_to_integer(x * SC_TWO_OVER_PI);
    const Real t1 = x - k * SC_PIO2_CW[0];
    const DoubleDouble<Real> s = two_sum(t1, -(k * SC_PIO2_CW[1]));
    const DoubleDouble<Real> v = two_sum(s.hi, -(k * SC_PIO2_CW[2]));
    const Real lo = (s.lo + v.lo) - k * SC_PIO2_CW[3];
    return {k, fast_two_sum(v.hi, lo)};
}

struct ReducedArgument {
    int quadrant;  // k mod 4, in 0 .. 3
    TripleDouble r;
};

// x = k pi/2 + r for any finite x, with |r| <= pi/4; quadrant = k mod 4.
ReducedArgument reduce_payne_hanek(double x) noexcept;

}  // namespace quorbel::elementary::detail
