// Reduction of a sine or cosine argument: modulo pi/2 for the accurate
// path, x = k pi/2 + r with k an integer and |r| <= pi/4, so that sin x and
// cos x are +-sin r or +-cos r by k mod 4; and modulo pi/2048 for the fast
// path, x = N pi/2048 + h with |h| <= pi/4096 (a hair more when N comes from
// a rounded x 2048/pi), N mod 4096 giving the quadrant and a table point.
//
// How close can r come to 0? The double closest to a multiple of pi/2 is
// 6381956970095103 * 2^797, with |r| ~ 2^-60.9 (Muller, "Elementary
// Functions", 3rd ed., section 11.3, from the continued fraction of 2/pi over
// every binade); for every other finite nonzero double |r| is larger, so the
// relative error bounds below only need |r| > 2^-61.
//
// Two reductions:
//   - cody_waite, for |x| < 2^16, the fast path's, written over Real for
//     lanes: N and a double-double h with error below 2^-104 |h| + 2^-114.7;
//   - reduce_payne_hanek, for every finite x: k mod 4 and r as a
//     triple-double with relative error below 2^-149.9, for the accurate path
//     (and, reduced once more by cody_waite, for the fast path above 2^16).
#pragma once

#include "maths/elementary/double_double.hpp"
#include "maths/elementary/lane_scalar.hpp"
#include "maths/elementary/sin_cos_tables.hpp"
#include "maths/elementary/triple_double.hpp"

namespace quorbel::elementary::detail {

// The fast path's reduction's domain: N P1, N P2 and N P3 are exact for
// |N| < 2^26, and |N| < 2^25.35 below 2^16.
inline constexpr double CODY_WAITE_LIMIT = 0x1p16;

template <class Real>
struct StepAndRemainder {
    Real n;  // integer-valued
    DoubleDouble<Real> h;
};

// N = round(fl(x 2048/pi)), so |N| < 2^25.35 for |x| < 2^16 and
// |h| <= pi/4096 + 2^-40. With pi/2048 = P1 + P2 + P3 + P4 + e
// (sin_cos_tables.hpp: P1 .. P3 of 27 bits, |e| < 2^-143):
//   t1 = x - N P1 is exact: N P1 has 27 + 26 bits; for N >= 1, fl(x 2048/pi)
//     > N - 1/2 gives x > (N - 1/2) (pi/2048) (1 - 2^-52) >= N P1 / 2 (as
//     P1 <= (pi/2048) (1 - 2^-50)), and likewise x < 2 N P1, so the
//     subtraction is exact by Sterbenz's lemma (symmetrically for N <= -1);
//   N P2 and N P3 are exact likewise, and two TwoSums keep
//     s + e1 = t1 - N P2 and v + e2 = s - N P3 exactly, with
//     |s| < |h| + 2^-42 < 2^-10.3 (|N P3| < 2^-42) and |v| < |h| + 2^-70;
//   e1 + e2 (|e1| < 2^-63.3, |e2| <= 2^-53 |v|) is rounded: 2^-116.3 plus
//     2^-105 |h|; N P4 (|N P4| < 2^-70) is rounded: 2^-123; subtracting it,
//     2^-116 plus 2^-105 |h|; N e is below 2^-117.6;
//   a last TwoSum normalises v + lo exactly, whatever their magnitudes.
// So |h_computed - h| < 2^-104 |h| + 2^-114.7: a relative error of 2^-104
// and an absolute one, SC_REDUCTION_ERROR = 2^-114, which the rounding test
// adds to its bound as it is (|d sin / dh|, |d cos / dh| <= 1).
inline constexpr double SC_REDUCTION_ERROR = 0x1p-114;

template <class Real>
inline StepAndRemainder<Real> cody_waite(Real x) {
    const Real n = round_to_integer(x * SC_2048_OVER_PI);
    const Real t1 = x - n * SC_PIO2048_CW[0];
    const DoubleDouble<Real> s = two_sum(t1, -(n * SC_PIO2048_CW[1]));
    const DoubleDouble<Real> v = two_sum(s.hi, -(n * SC_PIO2048_CW[2]));
    const Real lo = (s.lo + v.lo) - n * SC_PIO2048_CW[3];
    return {n, two_sum(v.hi, lo)};
}

struct ReducedArgument {
    int quadrant;  // k mod 4, in 0 .. 3
    TripleDouble r;
};

// x = k pi/2 + r for any finite x, with |r| <= pi/4; quadrant = k mod 4.
ReducedArgument reduce_payne_hanek(double x) noexcept;

}  // namespace quorbel::elementary::detail
