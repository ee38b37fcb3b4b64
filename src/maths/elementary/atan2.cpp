// atan2, correctly rounded: the fast path of atan_fast.hpp, and for what it
// leaves, the special values, a rescaling into its range, the tiny ratios,
// the accurate path of atan_accurate.hpp and, when even that cannot decide,
// the fixed point of atan_fixed_point.hpp.
#include <cmath>
#include <cstdint>
#include <cstring>

#include <quorbel/maths/elementary.hpp>

#include "maths/elementary/atan_accurate.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/atan_fixed_point.hpp"
#include "maths/elementary/fma_dispatch.hpp"
#include "maths/elementary/inlining.hpp"

namespace quorbel::elementary {

namespace detail {

namespace {

// v = m 2^e with m odd (v finite, positive).
struct AtanOddSignificand {
    std::uint64_t m;
    int e;
};

AtanOddSignificand atan_odd_significand(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const int biased = static_cast<int>(bits >> 52);
    std::uint64_t m = bits & ((std::uint64_t{1} << 52) - 1);
    int e = -1074;
    if (biased != 0) {
        m |= std::uint64_t{1} << 52;
        e = biased - 1075;
    }
    while ((m & 1) == 0) {
        m >>= 1;
        ++e;
    }
    return {m, e};
}

// atan(t) rounded to nearest for t = num / den (both positive and finite)
// below 2^-54, where atan(t) = t - t^3/3 + ... lies below t by less than
// t^3 / 3 < 2^-109 t.
// - q = fl(t) normal and above 2^-1022: t then lies in the normal range,
//   where the midpoints m are M 2^f with M odd of 54 bits. num - m den =
//   Nm 2^a - M Dm 2^(b+f) (Nm, Dm the odd significands) is nonzero, M Dm
//   being odd with more bits than Nm, and a multiple of 2^min(a, b+f), so
//   |t - m| >= 2^min(a, b+f) / den >= 2^-107 t (1 - 2^-52): more than
//   t^3 / 3. No midpoint lies between atan(t) and t, which round alike: q.
// - q <= 2^-1022: the midpoints are (2j + 1) 2^-1075. The same count gives
//   |t - m| >= 2^min(a, b - 1075) / den, which is at least 2^-1128 or
//   2^-53 t, both far above t^3 / 3 < 2^-3066: atan(t) rounds as t does,
//   unless t is a midpoint itself, where atan(t), just below it, rounds
//   down. t = M 2^-1075 with M odd exactly when Nm = M Dm and a - b = -1075;
//   then the result is (M - 1) 2^-1075, the neighbour toward zero, where
//   fl(t) would round the tie to even.
double atan_of_tiny_ratio(double num, double den) {
    const double q = num / den;
    if (q > 0x1p-1022) {
        return q;
    }
    const AtanOddSignificand n = atan_odd_significand(num);
    const AtanOddSignificand d = atan_odd_significand(den);
    if (n.e - d.e == -1075 && n.m % d.m == 0) {
        const std::uint64_t m = n.m / d.m;
        return static_cast<double>((m - 1) / 2) * 0x1p-1074;
    }
    return q;
}

// 2^-e for the exponent e of v (finite, positive, normal): v 2^-e in [1, 2).
double atan_inverse_binade(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    const int e = static_cast<int>(bits >> 52) - 1023;
    // 2^-e for e in [-1022, 1023]: 2^-1023 is subnormal, built from 2^-1022.
    if (e == 1023) {
        return 0x1p-1022 * 0.5;
    }
    const std::uint64_t scale_bits = static_cast<std::uint64_t>(1023 - e) << 52;
    double scale;
    std::memcpy(&scale, &scale_bits, sizeof scale);
    return scale;
}

// atan2(y, x) for the arguments the fast path did not prove.
QTK_NOT_INLINED double atan2_slow(double y, double x) {
    if (std::isnan(y) || std::isnan(x)) {
        return y + x;
    }
    const double pi = ATAN_PI_HI;
    const double half_pi = ATAN_HALF_PI_HI;
    if (y == 0.0) {
        // atan2(+-0, +0 or x > 0) = +-0, atan2(+-0, -0 or x < 0) = +-pi.
        return std::signbit(x) ? std::copysign(pi, y) : y;
    }
    if (std::isinf(y)) {
        const double corner = x > 0.0 ? 0.25 * pi : ATAN_THREE_QUARTER_PI;
        const double theta = std::isinf(x) ? corner : half_pi;
        return std::copysign(theta, y);
    }
    if (std::isinf(x)) {
        return x > 0.0 ? std::copysign(0.0, y) : std::copysign(pi, y);
    }
    if (x == 0.0) {
        return std::copysign(half_pi, y);
    }

    // Both finite and nonzero. The ratio t = min / max of the magnitudes
    // decides; x > 0 with t < 2^-54 is the tiny ratio, any quadrant's
    // result then rounds like t (atan_of_tiny_ratio).
    const double ay = std::fabs(y);
    const double ax = std::fabs(x);
    const bool swapped = ay > ax;
    const double num = swapped ? ax : ay;
    const double den = swapped ? ay : ax;
    if (!swapped && x > 0.0 && num / den < 0x1p-54) {
        return std::copysign(atan_of_tiny_ratio(num, den), y);
    }
    // Scaling both by one power of two keeps atan2 and is exact unless num
    // underflows; den goes to [1, 2) (a subnormal one after 2^54 first).
    // (Two factors, applied one after the other: their product may overflow.)
    const double pre = den < 0x1p-1022 ? 0x1p54 : 1.0;
    const double scale = atan_inverse_binade(den * pre);
    const double scaled_num = (num * pre) * scale;
    if (scaled_num < 0x1p-500) {
        // t < 2^-499, x < 0 or swapped: theta = pi - atan(t) or pi/2 +- atan(t).
        // pi / 2 and pi lie 0.275 ulp above their nearest doubles, 0.225 ulp
        // (2^-54.2 and 2^-53.2) from a midpoint, far beyond t: theta rounds
        // as they do.
        return std::copysign(swapped ? half_pi : pi, y);
    }
    const double sy = (y * pre) * scale;
    const double sx = (x * pre) * scale;
    const FastResult<double> fast = atan2_fast<DekkerProducts>(sy, sx);
    if (fast.proven) {
        return fast.value;
    }
    const TripleDouble theta = atan2_accurate_theta(to_triple(sy), to_triple(sx));
    if (atan_accurate_decided(theta)) {
        return to_double(theta);
    }
    return atan2_fixed_point(sy, sx);
}

// atan2 with the fast path's products formed by Products.
template <class Products>
QTK_FORCE_INLINE double atan2_with(double y, double x) {
    const FastResult<double> fast = atan2_fast<Products>(y, x);
    if (fast.proven) {
        return fast.value;
    }
    return atan2_slow(y, x);
}

#if QTK_FMA_VARIANTS
QTK_FMA_ENTRY double atan2_fused(double y, double x) { return atan2_with<FusedProducts>(y, x); }
// Dekker's variant out of line where the FMA one exists: an FMA machine never
// calls it, and inlined it would only enlarge the callers (the kinematics'
// FMA bodies take in atan2_fused whole).
QTK_NOT_INLINED double atan2_dekker(double y, double x) {
    return atan2_with<DekkerProducts>(y, x);
}
#else
inline double atan2_dekker(double y, double x) { return atan2_with<DekkerProducts>(y, x); }
#endif

}  // namespace

}  // namespace detail

double atan2(double y, double x) noexcept {
#if QTK_FMA_VARIANTS
    if (detail::use_fma()) {
        return detail::atan2_fused(y, x);
    }
#endif
    return detail::atan2_dekker(y, x);
}

}  // namespace quorbel::elementary
