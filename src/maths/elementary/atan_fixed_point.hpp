// The last resort of atan2, asin and acos: the rare arguments whose
// triple-double result (atan_accurate.hpp, within 2^-142) is still too close
// to a rounding boundary. atan2 is a function of two arguments, with no
// exhaustive list of its hard cases: among 2^128 argument pairs some are
// expected to come within about 2^-181 of a midpoint, so this path carries
// about 2^-260 (asin, acos) to 2^-274 (atan2).
//
// Fixed point: an integer limb and nine 32-bit fraction limbs (288 bits),
// unsigned, with 64-bit products (no __int128). With t = num / den in
// (0, 1], written T 2^E with T in [1, 2), Euler's series
//   atan(t) = t / (1 + t^2) sum_{n>=0} p_n z^n,
//   z = t^2 / (1 + t^2) <= 1/2,  p_0 = 1,  p_n = p_(n-1) 2n / (2n + 1) <= 1,
// gives atan(t) = T W 2^E with W = sum / (1 + t^2) in [pi/4, 1], so W is
// computed with absolute (thus relative) precision whatever the size of t.
// Errors: each product or quotient truncates below 2^-286 (ten limbs of
// carries included); the reciprocals by Newton's iteration from a double
// end within 2^-284; the series stops when a term vanishes (z^n < 2^-288,
// n <= 290 terms) and sums some 900 truncations: W and T within 2^-276, so
// theta within 2^-274 of itself, relative (theta >= pi/4 when the quadrant
// adds pi/2 or pi). theta is never a midpoint (see atan_accurate.hpp), and
// it is rounded once.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

#include "maths/elementary/atan_tables.hpp"

namespace quorbel::elementary::detail {

inline constexpr int ATAN_FIXED_LIMBS = 10;

// sum_k limb[k] 2^(-32 k), limb 0 the integer part.
struct AtanFixed {
    std::uint32_t limb[ATAN_FIXED_LIMBS];
};

inline AtanFixed atan_fixed_zero() { return AtanFixed{}; }

inline bool atan_fixed_is_zero(const AtanFixed& a) {
    for (std::uint32_t l : a.limb) {
        if (l != 0) return false;
    }
    return true;
}

inline AtanFixed atan_fixed_add(const AtanFixed& a, const AtanFixed& b) {
    AtanFixed r;
    std::uint64_t carry = 0;
    for (int k = ATAN_FIXED_LIMBS - 1; k >= 0; --k) {
        const std::uint64_t s = std::uint64_t{a.limb[k]} + b.limb[k] + carry;
        r.limb[k] = static_cast<std::uint32_t>(s);
        carry = s >> 32;
    }
    return r;
}

// a - b for a >= b.
inline AtanFixed atan_fixed_sub(const AtanFixed& a, const AtanFixed& b) {
    AtanFixed r;
    std::uint64_t borrow = 0;
    for (int k = ATAN_FIXED_LIMBS - 1; k >= 0; --k) {
        const std::uint64_t d = std::uint64_t{a.limb[k]} - b.limb[k] - borrow;
        r.limb[k] = static_cast<std::uint32_t>(d);
        borrow = (d >> 63) & 1;
    }
    return r;
}

inline bool atan_fixed_less(const AtanFixed& a, const AtanFixed& b) {
    for (int k = 0; k < ATAN_FIXED_LIMBS; ++k) {
        if (a.limb[k] != b.limb[k]) return a.limb[k] < b.limb[k];
    }
    return false;
}

// a b truncated; the integer parts are small (the product below 2^32).
// Each 32 x 32-bit product is split between its column and the next more
// significant one; a column sums at most 20 halves, below 2^37.
inline AtanFixed atan_fixed_mul(const AtanFixed& a, const AtanFixed& b) {
    std::uint64_t column[2 * ATAN_FIXED_LIMBS] = {};
    for (int i = 0; i < ATAN_FIXED_LIMBS; ++i) {
        for (int j = 0; j < ATAN_FIXED_LIMBS; ++j) {
            const std::uint64_t p = std::uint64_t{a.limb[i]} * b.limb[j];
            column[i + j] += p & 0xFFFFFFFFu;
            if (i + j > 0) column[i + j - 1] += p >> 32;
        }
    }
    for (int k = 2 * ATAN_FIXED_LIMBS - 1; k > 0; --k) {
        column[k - 1] += column[k] >> 32;
        column[k] &= 0xFFFFFFFFu;
    }
    AtanFixed r;
    for (int k = 0; k < ATAN_FIXED_LIMBS; ++k) r.limb[k] = static_cast<std::uint32_t>(column[k]);
    return r;
}

inline AtanFixed atan_fixed_mul_small(const AtanFixed& a, std::uint32_t m) {
    AtanFixed r;
    std::uint64_t carry = 0;
    for (int k = ATAN_FIXED_LIMBS - 1; k >= 0; --k) {
        const std::uint64_t p = std::uint64_t{a.limb[k]} * m + carry;
        r.limb[k] = static_cast<std::uint32_t>(p);
        carry = p >> 32;
    }
    return r;
}

inline AtanFixed atan_fixed_div_small(const AtanFixed& a, std::uint32_t d) {
    AtanFixed r;
    std::uint64_t rest = 0;
    for (int k = 0; k < ATAN_FIXED_LIMBS; ++k) {
        const std::uint64_t n = (rest << 32) | a.limb[k];
        r.limb[k] = static_cast<std::uint32_t>(n / d);
        rest = n % d;
    }
    return r;
}

// a 2^-n, truncated.
inline AtanFixed atan_fixed_shift_right(const AtanFixed& a, int n) {
    AtanFixed r = atan_fixed_zero();
    if (n >= 32 * ATAN_FIXED_LIMBS) return r;
    const int limbs = n / 32;
    const int bits = n % 32;
    for (int k = ATAN_FIXED_LIMBS - 1; k >= limbs; --k) {
        const std::uint64_t high = a.limb[k - limbs];
        const std::uint64_t low = k - limbs - 1 >= 0 ? a.limb[k - limbs - 1] : 0;
        r.limb[k] = static_cast<std::uint32_t>(((low << 32 | high) >> bits) & 0xFFFFFFFFu);
    }
    return r;
}

// d in [0, 2^32), exactly when its bits are at or above 2^-288.
inline AtanFixed atan_fixed_from_double(double d) {
    AtanFixed r = atan_fixed_zero();
    std::uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    const int biased = static_cast<int>((bits >> 52) & 0x7FF);
    if (biased == 0) return r;
    const std::uint64_t m = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1} << 52);
    // d = m 2^(biased - 1075): bit b of m has weight 2^(b + biased - 1075).
    for (int b = 0; b < 53; ++b) {
        if (((m >> b) & 1) == 0) continue;
        const int weight = b + biased - 1075;
        if (weight >= 32 || weight < -32 * (ATAN_FIXED_LIMBS - 1)) continue;
        // weight w lies in limb k = ceil(-w / 32) (k = 0 for w >= 0), at bit
        // w + 32 k of that limb.
        const int k = weight >= 0 ? 0 : (-weight + 31) / 32;
        r.limb[k] |= std::uint32_t{1} << (weight + 32 * k);
    }
    return r;
}

// The leading bits as a double (for starting values only).
inline double atan_fixed_to_double_approx(const AtanFixed& a) {
    return static_cast<double>(a.limb[0]) + static_cast<double>(a.limb[1]) * 0x1p-32 +
           static_cast<double>(a.limb[2]) * 0x1p-64;
}

// 1 / b for b in [1, 2], by Newton's iteration r += r (1 - b r) from a
// double (53 bits): four steps double the good bits past 288.
inline AtanFixed atan_fixed_reciprocal(const AtanFixed& b) {
    AtanFixed r = atan_fixed_from_double(1.0 / atan_fixed_to_double_approx(b));
    AtanFixed one = atan_fixed_zero();
    one.limb[0] = 1;
    for (int step = 0; step < 4; ++step) {
        const AtanFixed br = atan_fixed_mul(b, r);
        if (atan_fixed_less(br, one)) {
            r = atan_fixed_add(r, atan_fixed_mul(r, atan_fixed_sub(one, br)));
        } else {
            r = atan_fixed_sub(r, atan_fixed_mul(r, atan_fixed_sub(br, one)));
        }
    }
    return r;
}

// v in [0, 2^32) as a fixed-point number times 2^e, rounded to the nearest
// double (v nonzero, the result normal).
inline double atan_fixed_round(const AtanFixed& v, int e) {
    // Bit b (counted from the top of the integer limb) has weight 2^(31 - b);
    // lead is the leading one's.
    int lead = 0;
    while (lead < 32 * ATAN_FIXED_LIMBS && ((v.limb[lead / 32] >> (31 - lead % 32)) & 1) == 0) {
        ++lead;
    }
    // The 54 bits from the leading one (53 and the rounding bit), and sticky.
    std::uint64_t top = 0;
    bool sticky = false;
    for (int b = lead; b < 32 * ATAN_FIXED_LIMBS; ++b) {
        const std::uint64_t bit = (v.limb[b / 32] >> (31 - b % 32)) & 1;
        if (b < lead + 54) {
            top = (top << 1) | bit;
        } else if (bit != 0) {
            sticky = true;
        }
    }
    std::uint64_t mantissa = top >> 1;
    const bool round_bit = (top & 1) != 0;
    if (round_bit && (sticky || (mantissa & 1) != 0)) ++mantissa;
    // value = mantissa 2^(31 - lead - 52) 2^e.
    int exponent = 31 - lead - 52 + e;
    double result = static_cast<double>(mantissa);
    while (exponent > 0) {
        const int s = exponent > 1000 ? 1000 : exponent;
        std::uint64_t p = static_cast<std::uint64_t>(1023 + s) << 52;
        double f;
        std::memcpy(&f, &p, sizeof f);
        result *= f;
        exponent -= s;
    }
    while (exponent < 0) {
        const int s = exponent < -1000 ? 1000 : -exponent;
        std::uint64_t p = static_cast<std::uint64_t>(1023 - s) << 52;
        double f;
        std::memcpy(&f, &p, sizeof f);
        result *= f;
        exponent += s;
    }
    return result;
}

// m 2^e with m in [1, 2), for a finite positive normal v.
inline double atan_fixed_significand(double v, int& e) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    e = static_cast<int>((bits >> 52) & 0x7FF) - 1023;
    bits = (bits & ((std::uint64_t{1} << 52) - 1)) | (std::uint64_t{1023} << 52);
    double m;
    std::memcpy(&m, &bits, sizeof m);
    return m;
}

inline AtanFixed atan_fixed_one() {
    AtanFixed one = atan_fixed_zero();
    one.limb[0] = 1;
    return one;
}

// v 2^n (v 2^n below 2^32).
inline AtanFixed atan_fixed_shift_left(const AtanFixed& v, int n) {
    AtanFixed r = atan_fixed_zero();
    const int limbs = n / 32;
    const int bits = n % 32;
    for (int k = 0; k + limbs < ATAN_FIXED_LIMBS; ++k) {
        const std::uint64_t high = v.limb[k + limbs];
        const std::uint64_t low = k + limbs + 1 < ATAN_FIXED_LIMBS ? v.limb[k + limbs + 1] : 0;
        r.limb[k] = static_cast<std::uint32_t>(((high << 32 | low) << bits) >> 32);
    }
    return r;
}

// v = V 2^e with V in [1, 2), for v nonzero.
inline AtanFixed atan_fixed_normalise(const AtanFixed& v, int& e) {
    int lead = 0;  // bit lead from the top of limb 0 has weight 2^(31 - lead)
    while (((v.limb[lead / 32] >> (31 - lead % 32)) & 1) == 0) {
        ++lead;
    }
    e = 31 - lead;
    return e >= 0 ? atan_fixed_shift_right(v, e) : atan_fixed_shift_left(v, -e);
}

// theta = atan2 of a point in the quadrant given by swapped (|y| > |x|) and
// x_negative, from t = min / max = T 2^e, T in [1, 2), e <= 0; rounded to
// nearest, positive.
inline double atan_fixed_theta(AtanFixed t, int e, bool swapped, bool x_negative) {
    const AtanFixed one = atan_fixed_one();
    const AtanFixed t2 = atan_fixed_shift_right(atan_fixed_mul(t, t), -2 * e);
    const AtanFixed inverse = atan_fixed_reciprocal(atan_fixed_add(one, t2));
    const AtanFixed z = atan_fixed_mul(t2, inverse);
    AtanFixed sum = one;
    AtanFixed term = one;
    for (std::uint32_t n = 1; n < 400; ++n) {
        term = atan_fixed_mul_small(atan_fixed_mul(term, z), 2 * n);
        term = atan_fixed_div_small(term, 2 * n + 1);
        if (atan_fixed_is_zero(term)) break;
        sum = atan_fixed_add(sum, term);
    }
    const AtanFixed atan_t = atan_fixed_mul(t, atan_fixed_mul(inverse, sum));  // times 2^e
    if (!swapped && !x_negative) {
        return atan_fixed_round(atan_t, e);
    }
    AtanFixed base;
    std::memcpy(base.limb, swapped ? ATAN_HALF_PI_LIMBS : ATAN_PI_LIMBS, sizeof base.limb);
    const AtanFixed part = atan_fixed_shift_right(atan_t, -e);
    const bool plus = swapped == x_negative;
    return atan_fixed_round(plus ? atan_fixed_add(base, part) : atan_fixed_sub(base, part), 0);
}

// num / den = T 2^e with T in [1, 2), for 0 < num <= den.
inline AtanFixed atan_fixed_ratio(const AtanFixed& num, const AtanFixed& den, int& e) {
    int num_e;
    int den_e;
    const AtanFixed n = atan_fixed_normalise(num, num_e);
    const AtanFixed d = atan_fixed_normalise(den, den_e);
    AtanFixed t = atan_fixed_mul(n, atan_fixed_reciprocal(d));
    e = num_e - den_e;
    if (t.limb[0] == 0) {
        t = atan_fixed_mul_small(t, 2);
        e -= 1;
    }
    return t;
}

// atan2(y, x) for finite, nonzero y and x in [2^-500, 2^500] in magnitude,
// correctly rounded but for a distance to a midpoint below 2^-274 (never
// met). Both are scaled by one power of two, which keeps the angle.
inline double atan2_fixed_point(double y, double x) {
    const bool y_negative = y < 0.0;
    const bool x_negative = x < 0.0;
    const double ay = y_negative ? -y : y;
    const double ax = x_negative ? -x : x;
    const bool swapped = ay > ax;
    int num_e;
    int den_e;
    const double num_m = atan_fixed_significand(swapped ? ax : ay, num_e);
    const double den_m = atan_fixed_significand(swapped ? ay : ax, den_e);
    int e;
    const AtanFixed t =
        atan_fixed_ratio(atan_fixed_from_double(num_m), atan_fixed_from_double(den_m), e);
    const double theta = atan_fixed_theta(t, e + num_e - den_e, swapped, x_negative);
    return y_negative ? -theta : theta;
}

// s = sqrt(1 - x^2) for 2^-26 <= |x| < 1: a = 1 - x^2 is exact in fixed
// point (x^2 has 106 bits, down to 2^-158), and at least 2^-53; 1 / sqrt(a)
// by Newton's iteration r += r (1 - a r^2) / 2 from a double, s = a r. The
// products' truncations (2^-288 on a r >= 2^-26.5) leave s within 2^-261 of
// itself, relative.
inline AtanFixed asin_fixed_cosine(double ax) {
    const AtanFixed x = atan_fixed_from_double(ax);
    const AtanFixed a = atan_fixed_sub(atan_fixed_one(), atan_fixed_mul(x, x));
    const double approximate = (1.0 - ax) * (1.0 + ax);
    AtanFixed r = atan_fixed_from_double(1.0 / std::sqrt(approximate));
    const AtanFixed one = atan_fixed_one();
    for (int step = 0; step < 5; ++step) {
        // (a r) r, not a (r r): r reaches 2^26.5, its square overflows.
        const AtanFixed ar2 = atan_fixed_mul(atan_fixed_mul(a, r), r);
        const bool below = atan_fixed_less(ar2, one);
        const AtanFixed gap = below ? atan_fixed_sub(one, ar2) : atan_fixed_sub(ar2, one);
        const AtanFixed step_size = atan_fixed_div_small(atan_fixed_mul(r, gap), 2);
        r = below ? atan_fixed_add(r, step_size) : atan_fixed_sub(r, step_size);
    }
    return atan_fixed_mul(a, r);
}

// asin(x) (is_asin) or acos(x) for 2^-26 <= |x| < 1, as atan2(x, s) or
// atan2(s, x) in fixed point, correctly rounded but for a distance to a
// midpoint below 2^-260 (never met).
inline double asin_fixed_point(double x, bool is_asin) {
    const bool negative = x < 0.0;
    const double ax = negative ? -x : x;
    const AtanFixed s = asin_fixed_cosine(ax);
    const AtanFixed a = atan_fixed_from_double(ax);
    const bool a_larger = atan_fixed_less(s, a);
    int e;
    const AtanFixed t = a_larger ? atan_fixed_ratio(s, a, e) : atan_fixed_ratio(a, s, e);
    if (is_asin) {
        // atan2(|x|, s), then the sign of x.
        const double theta = atan_fixed_theta(t, e, a_larger, false);
        return negative ? -theta : theta;
    }
    // atan2(s, x): |y| = s.
    return atan_fixed_theta(t, e, !a_larger, negative);
}

}  // namespace quorbel::elementary::detail
