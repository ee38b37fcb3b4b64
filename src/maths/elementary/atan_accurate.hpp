// The accurate path of atan2, asin and acos: the fast path's reduction
// (atan_fast.hpp) carried out in triple-double, for the rare arguments whose
// fast result is too close to a rounding boundary to be decided.
//
// Steps and errors, as multiples of theta (each triple-double operation
// within 2^-150 of its operands, triple_double.hpp):
// - N = num - c den and D = den + c num: c den and c num within 2^-150 of
//   themselves, so N within 2^-148 num and D within 2^-149 D.
// - r = N / D by two Newton corrections of fl(N.hi / D.hi) with remainders
//   in triple-double: the first leaves a remainder below 2^-52 N, the second
//   below 2^-104 N plus the products' 2^-148 N, and the last quotient of a
//   double by a double adds 2^-52 of that: r within 2^-146 (|r| + t).
// - atan(r) = r + r^3 sum_{k<8} a_k r^(2k), truncated below r^19 / 19 <
//   2^-166 |r|, evaluated by Horner in triple-double with the a_k as
//   hi + mid + lo (2^-158): within 2^-146 |r|.
// - atan(c) as hi + mid + lo within 2^-158; the sums within 2^-150 of their
//   operands, which are at most 2 theta (theta >= atan(t) >= |r| / (1 +
//   2^-17): r = t <= 2^-9 for k = 0, |r| <= |t - c| <= 2^-9 (1 + 2^-43) <=
//   atan(t) for k >= 1; and t <= (4/pi) atan(t)).
// So the result is within 2^-143 theta: with the inputs' own error (sqrt(1 -
// x^2) for asin and acos, within 2^-146), 2^-142. The callers test it
// (atan_accurate_decided) and go on to atan_fixed_point.hpp when it cannot
// decide. theta is never a double or a midpoint (atan2 of nonzero
// rationals, and asin and acos of nonzero doubles other than +-1, are
// transcendental, Lindemann-Weierstrass), so an exact tie cannot occur.
#pragma once

#include <cmath>

#include "maths/elementary/atan_tables.hpp"
#include "maths/elementary/triple_double.hpp"

namespace quorbel::elementary::detail {

// n / d by Newton corrections: q0 = n.hi / d.hi, then twice the remainder
// n - q d divided by d.hi.
inline TripleDouble atan_divide(TripleDouble n, TripleDouble d) {
    const double q0 = n.hi / d.hi;
    const TripleDouble r1 = sub(n, mul(d, q0));
    const double q1 = r1.hi / d.hi;
    const TripleDouble r2 = sub(r1, mul(d, q1));
    const double q2 = r2.hi / d.hi;
    return renormalise(q0, q1, q2);
}

inline TripleDouble atan_abs(TripleDouble a) { return a.hi < 0.0 ? neg(a) : a; }

// atan2(y, x) for triple-doubles, with min(|x|, |y|) and max(|x|, |y|) in
// [2^-500, 2^500] (the scalar entry points see to it), as a triple-double
// within 2^-142 of itself, relative.
inline TripleDouble atan2_accurate_theta(TripleDouble y, TripleDouble x) {
    const bool y_negative = y.hi < 0.0;
    const bool x_negative = x.hi < 0.0;
    const TripleDouble ay = atan_abs(y);
    const TripleDouble ax = atan_abs(x);
    const bool swapped = ay.hi > ax.hi;
    const TripleDouble num = swapped ? ax : ay;
    const TripleDouble den = swapped ? ay : ax;

    const double q = num.hi / den.hi;
    const double k = (q * 256.0 + 0x1.8p52) - 0x1.8p52;
    const double c = k * 0x1p-8;
    const TripleDouble n = sub(num, mul(den, c));
    const TripleDouble d = add(den, mul(num, c));
    const TripleDouble r = atan_divide(n, d);

    const TripleDouble r2 = mul(r, r);
    const int i = static_cast<int>(k);
    TripleDouble p = {ATAN_ACCURATE_COEFFS_HI[7], ATAN_ACCURATE_COEFFS_MID[7],
                      ATAN_ACCURATE_COEFFS_LO[7]};
    for (int j = 6; j >= 0; --j) {
        const TripleDouble a = {ATAN_ACCURATE_COEFFS_HI[j], ATAN_ACCURATE_COEFFS_MID[j],
                                ATAN_ACCURATE_COEFFS_LO[j]};
        p = add(mul(p, r2), a);
    }
    const TripleDouble atan_c = {ATAN_TABLE[i][0], ATAN_TABLE[i][1], ATAN_TABLE[i][2]};
    const TripleDouble atan_t = add(atan_c, add(r, mul(mul(r, r2), p)));

    TripleDouble theta = atan_t;
    if (swapped || x_negative) {
        const TripleDouble base = swapped ? TripleDouble{ATAN_HALF_PI_HI, ATAN_HALF_PI_MID,
                                                         ATAN_HALF_PI_LO}
                                          : TripleDouble{ATAN_PI_HI, ATAN_PI_MID, ATAN_PI_LO};
        theta = swapped == x_negative ? add(base, atan_t) : sub(base, atan_t);
    }
    return y_negative ? neg(theta) : theta;
}

// Whether theta, within 2^-142 |theta| of its exact value, rounds as that
// value does: Ziv's test with theta +- 2^-141 |theta| (2^-141 also covers the
// triple-double sums' own 2^-155), each rounded once by to_double.
inline bool atan_accurate_decided(TripleDouble theta) {
    const double e = 0x1p-141 * (theta.hi < 0.0 ? -theta.hi : theta.hi);
    return to_double(add(theta, e)) == to_double(sub(theta, to_triple(e)));
}

// s = sqrt(1 - x^2) to triple-double precision, for the accurate path, for
// |x| < 1: a = 1 - x^2 as the triple-double product of the exact two_sums
// 1 - |x| and 1 + |x| (2^-150, no cancellation), then two Newton
// steps from fl(sqrt(a.hi)) with remainders in triple-double. Relative
// error after the first 2^-104, after the second the square of that plus
// the remainders' 2^-149: within 2^-148.
inline TripleDouble asin_cosine_accurate(double x) {
    const double ax = std::fabs(x);
    const TripleDouble a = mul(to_triple(two_sum(1.0, -ax)), two_sum(1.0, ax));
    const double s0 = std::sqrt(a.hi);
    const double half_inverse = 0.5 / s0;
    const TripleDouble r1 = sub(a, mul(to_triple(s0), s0));
    const TripleDouble s1 = add(to_triple(s0), r1.hi * half_inverse);
    const TripleDouble r2 = sub(a, mul(s1, s1));
    return add(s1, r2.hi * half_inverse);
}

}  // namespace quorbel::elementary::detail
