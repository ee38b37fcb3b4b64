// asin and acos, correctly rounded. The fast paths are Taylor expansions of
// asin about table points (asin_fast.hpp): at x itself for |x| <= 1/2, at
// z = sqrt((1 - |x|) / 2) beyond. The accurate path takes them as angles of
// the point (s, x) of the unit circle,
//   asin(x) = atan2(x, s),  acos(x) = atan2(s, x),  s = sqrt(1 - x^2),
// through the triple-double atan2 of atan_accurate.hpp, with 1 - x^2 formed
// as (1 - |x|)(1 + |x|) from two exact sums, so that nothing cancels near
// |x| = 1, and when even that cannot decide, the same in the fixed point of
// atan_fixed_point.hpp.
#include <cmath>

#include <quorbel/maths/elementary.hpp>

#include "maths/elementary/asin_fast.hpp"
#include "maths/elementary/atan_accurate.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/atan_fixed_point.hpp"
#include "maths/elementary/fma_dispatch.hpp"
#include "maths/elementary/inlining.hpp"

namespace quorbel::elementary {

namespace detail {

namespace {

// asin(x) (is_asin) or acos(x) (otherwise) where the fast paths did not
// prove theirs.
// asin: asin(+-1) = +-pi/2 rounded; |x| > 1 and NaN give NaN.
// acos: for |x| < 2^-55 it rounds as pi/2 does (pi/2 is 0.225 ulp = 2^-54.2
// from the nearest midpoint, and |asin(x)| < 2^-54.9); acos(1) = +0,
// acos(-1) = pi rounded; |x| > 1 and NaN give NaN.
template <bool is_asin>
QTK_NOT_INLINED double asin_acos_slow(double x) {
    const double ax = std::fabs(x);
    if (!is_asin && ax < 0x1p-55) {
        return ATAN_HALF_PI_HI;
    }
    if (!(ax < 1.0)) {
        if (ax == 1.0) {
            if constexpr (is_asin) {
                return std::copysign(ATAN_HALF_PI_HI, x);
            }
            return x > 0.0 ? 0.0 : ATAN_PI_HI;
        }
        return (x - x) / (x - x);
    }
    const TripleDouble s = asin_cosine_accurate(x);
    const TripleDouble theta = is_asin ? atan2_accurate_theta(to_triple(x), s)
                                       : atan2_accurate_theta(s, to_triple(x));
    return atan_accurate_decided(theta) ? to_double(theta) : asin_fixed_point(x, is_asin);
}

// asin(x) = x for |x| < 2^-26: asin(x) - x lies in (0, |x|^3 / 6 (1 + x^2)),
// below 2^-54 |x| <= ulp(x) / 2 with room to spare, and x is a double, so x
// is the nearest double (subnormals and signed zeros included). The fast
// paths' products are formed by Products.
template <bool is_asin, class Products>
QTK_FORCE_INLINE double asin_acos_with(double x) {
    const double ax = std::fabs(x);
    if (is_asin && ax < 0x1p-26) {
        return x;
    }
    const FastResult<double> fast = ax <= 0.5 ? asin_series_fast<is_asin, Products>(x)
                                              : asin_upper_fast<is_asin, Products>(x);
    if (fast.proven) {
        return fast.value;
    }
    return asin_acos_slow<is_asin>(x);
}

#if QTK_FMA_VARIANTS
QTK_FMA_ENTRY double asin_fused(double x) { return asin_acos_with<true, FusedProducts>(x); }
QTK_FMA_ENTRY double acos_fused(double x) { return asin_acos_with<false, FusedProducts>(x); }
// Dekker's variants out of line where the FMA ones exist: an FMA machine
// never calls them, and inlined they would only enlarge the callers (the
// kinematics' FMA bodies take in asin_fused whole).
#define QTK_ASIN_DEKKER_ENTRY QTK_NOT_INLINED
#else
#define QTK_ASIN_DEKKER_ENTRY inline
#endif
QTK_ASIN_DEKKER_ENTRY double asin_dekker(double x) {
    return asin_acos_with<true, DekkerProducts>(x);
}
QTK_ASIN_DEKKER_ENTRY double acos_dekker(double x) {
    return asin_acos_with<false, DekkerProducts>(x);
}
#undef QTK_ASIN_DEKKER_ENTRY

}  // namespace

}  // namespace detail

double asin(double x) noexcept {
#if QTK_FMA_VARIANTS
    if (detail::use_fma()) {
        return detail::asin_fused(x);
    }
#endif
    return detail::asin_dekker(x);
}

double acos(double x) noexcept {
#if QTK_FMA_VARIANTS
    if (detail::use_fma()) {
        return detail::acos_fused(x);
    }
#endif
    return detail::acos_dekker(x);
}

}  // namespace quorbel::elementary
