// The fast path of atan2: atan2(y, x) in double-double arithmetic, with a
// proven error bound and Ziv's rounding test.
//
// Reduction. With ay = |y|, ax = |x|, the smaller over the larger is
// t = num / den in [0, 1], and atan2(y, x) = sign(y) theta with
//   ay <= ax, x > 0:  theta = atan(t)
//   ay <= ax, x < 0:  theta = pi - atan(t)
//   ay >  ax, x > 0:  theta = pi/2 - atan(t)
//   ay >  ax, x < 0:  theta = pi/2 + atan(t).
// With c = k / 256 the table point nearest q = fl(num / den),
//   atan(t) = atan(c) + atan(r),  r = (t - c) / (1 + t c)
//                                   = (num - c den) / (den + c num),
// the last form needing no quotient t. Since |256 q - k| <= 1/2 and
// |t - q| <= 2^-52 t, |r| <= |t - c| <= 2^-9 (1 + 2^-43).
// atan(r) = r - r^3/3 + r^5/5 - r^7/7 + r^9/9 - ..., cut after r^9: the
// rest is below r^11 / 11 < 2^-93 |r|.
//
// Error, as a multiple of theta (u = 2^-53; every bound of double_double.hpp
// holds because the inputs are kept in [2^-500, 2^500], see in_range).
// 1. c den and c num are exact (c has 9 bits, see below); N = num - c den
//    and D = den + c num are formed by two_sums with one rounding in their
//    low parts, below u times 2^-51 (num + c den), and num + c den <= 3 num
//    for k >= 1 (N is exact for k = 0), so the absolute error of N is below
//    2^-102 num, that of D below 2^-103 D. The
//    quotient adds 2^-103 |r| (see there). So |r~ - r| <= 2^-100 (|r| + t),
//    and t <= (4/pi) atan(t) for t <= 1.
// 2. The tail r^3 P(r^2) is evaluated in double from rh, within 2.01u |r|
//    of r~: that moves it by at most r^2 2.01u |r| <= 2^-70 |r|; the Horner
//    steps, the square and the product (P ~ -1/3, its other terms below
//    2^-20) have a relative error below 4.6 u, and the tail is below
//    2^-18 |r| / 3, so 1.53 2^-71 |r|; with the truncation, the tail is
//    within 2^-69.3 |r| + 2^-70 |r| of atan(r) - r.
// 3. atan(c) as hi + mid is within 2^-106 atan(c), base (0, pi/2 or pi) as
//    hi + mid within 2^-106 base. base.hi + sigma atan(c).hi and the sum of
//    that with sigma rh are exact two_sums; the low parts (the two two_sums'
//    errors, the two mids, rl) are summed first, each partial sum below
//    2^-50 (base + atan(c) + |r|), and the tail last, below 2^-19 |r| + that.
//    theta >= atan(t) in every quadrant (atan(t) <= pi/4), and theta >= pi/4
//    when base is not 0, so base + atan(c) + |r| <= 6 theta: the five
//    roundings cost below 2^-72 |r| + 2^-99 theta.
// So theta is within 2^-68.95 |r| + 2^-98 theta, where for k = 0, r = t and
// atan(t) >= t (1 - t^2 / 3), and for k >= 1, t >= 2^-9 (1 - u) and |r| <=
// 2^-9 (1 + 2^-43): in both cases |r| <= (1 + 2^-17) atan(t) <= (1 +
// 2^-17) theta. Total: |theta~ - theta| < 2^-68.9 theta.
// The rounding test uses 2^-68, which also covers the roundings of the
// test's own l +- e (below u^2 |h|).
#pragma once

#include "maths/elementary/atan_tables.hpp"
#include "maths/elementary/double_double.hpp"
#include "maths/elementary/lane_scalar.hpp"

namespace quorbel::elementary::detail {

// A fast path's answer: value is the correctly rounded result wherever
// proven is set; elsewhere the caller takes the accurate path.
template <class Real>
struct FastResult {
    Real value;
    MaskOf<Real> proven;
};

inline constexpr double ATAN_FAST_ERROR = 0x1p-68;

// Ziv's rounding test for an approximation h + l (|l| <= ulp(h) / 2) within
// e of the exact value v: h + (l + e) and h + (l - e) are
// at or beyond the ends of the interval that holds v; rounding is monotonic,
// so when both round to the same double, v rounds to it too.
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

// atan2(y, x). Not proven (the caller handles them): a zero, infinite or
// NaN argument, and min(|x|, |y|) < 2^-500 or max(|x|, |y|) > 2^500,
// outside which the error bound needs no underflow or overflow analysis.
template <class Real>
FastResult<Real> atan2_fast(Real y, Real x) {
    const MaskOf<Real> y_negative = y < 0.0;
    const MaskOf<Real> x_negative = x < 0.0;
    const Real ay = abs_lane(y);
    const Real ax = abs_lane(x);
    const MaskOf<Real> swapped = ay > ax;
    const Real num = select(swapped, ax, ay);
    const Real den = select(swapped, ay, ax);
    const MaskOf<Real> in_range = (den <= 0x1p500) && (num >= 0x1p-500);

    // k = round(256 q); a NaN or out-of-range lane reads entry 0.
    const Real q = num / den;
    const Real k = select(in_range, round_to_integer(q * 256.0), splat<Real>(0.0));
    const Real c = k * 0x1p-8;

    // N = num - c den, D = den + c num. c has at most 9 significant bits,
    // so c times either half of a Veltkamp split (26 and 27 bits) is exact:
    // c v = c v1 + c v2 with no two_prod.
    const DoubleDouble<Real> den_split = split(den);
    const DoubleDouble<Real> num_split = split(num);
    const DoubleDouble<Real> n0 = two_sum(num, -(c * den_split.hi));
    const DoubleDouble<Real> n = two_sum(n0.hi, n0.lo - c * den_split.lo);
    const DoubleDouble<Real> d0 = two_sum(den, c * num_split.hi);
    const DoubleDouble<Real> d = fast_two_sum(d0.hi, d0.lo + c * num_split.lo);

    // r = N / D with one division: rh = fl(N.hi w), w = fl(1 / D.hi), is
    // within 2.01u of N.hi / D.hi; the remainder N - rh D, whose leading part
    // N.hi - rh D.hi is exact (two_prod), times w gives rl within 2.01u of
    // its own value, below 2.01u |r|: rh + rl within 2^-103 |r| of N / D.
    const Real w = 1.0 / d.hi;
    const Real rh = n.hi * w;
    const DoubleDouble<Real> rd = two_prod(rh, d.hi);
    const Real rl = ((((n.hi - rd.hi) - rd.lo) + n.lo) - rh * d.lo) * w;

    const Real s = rh * rh;
    const Real p = ((ATAN_FAST_COEFFS[3] * s + ATAN_FAST_COEFFS[2]) * s + ATAN_FAST_COEFFS[1]) * s +
                   ATAN_FAST_COEFFS[0];
    const Real tail = rh * (s * p);

    // theta = base + sigma (atan(c) + r + tail), sigma = -1 where minus is
    // set and +1 elsewhere (a sign flip). The sum of the leading parts
    // base.hi + sigma atan(c).hi does not wait for r; rh joins it in a second
    // sum and everything else is a low part, summed in double with the tail
    // last. Both leading sums are exact fast_two_sums:
    // base is 0 (a zero first operand) or at least pi/2 >= 2 atan(c), and
    // base + sigma atan(c) is 0 (k = 0, base 0) or at least atan(2^-8) >
    // 2^-9 (1 + 2^-43) >= |r|.
    const MaskOf<Real> minus = swapped != x_negative;
    const Real base_hi = select(swapped, splat<Real>(ATAN_HALF_PI_HI),
                                select(x_negative, splat<Real>(ATAN_PI_HI), splat<Real>(0.0)));
    const Real base_mid = select(swapped, splat<Real>(ATAN_HALF_PI_MID),
                                 select(x_negative, splat<Real>(ATAN_PI_MID), splat<Real>(0.0)));
    const IndexOf<Real> i = to_index(k);
    const Real atan_c_hi = negate_if(minus, gather(ATAN_TABLE, i, 0));
    const Real atan_c_mid = negate_if(minus, gather(ATAN_TABLE, i, 1));
    const DoubleDouble<Real> lead = fast_two_sum(base_hi, atan_c_hi);
    const DoubleDouble<Real> top = fast_two_sum(lead.hi, negate_if(minus, rh));
    const Real low = (((lead.lo + base_mid) + atan_c_mid) + top.lo) + negate_if(minus, rl + tail);
    const DoubleDouble<Real> theta = fast_two_sum(top.hi, low);

    const FastResult<Real> rounded_theta = atan_rounding_test(theta, ATAN_FAST_ERROR);
    return {negate_if(y_negative, rounded_theta.value), in_range && rounded_theta.proven};
}

}  // namespace quorbel::elementary::detail
