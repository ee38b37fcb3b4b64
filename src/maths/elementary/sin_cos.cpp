// sin, cos and sincos, correctly rounded: the fast path when its rounding
// test passes (sin_cos_fused.hpp where the CPU has FMA, sin_cos_fast.hpp
// elsewhere, chosen once by fma_dispatch.hpp), else the accurate path below.
//
// Tiny arguments, answered directly (in the fast path, lane by lane):
//   sin: for 0 < |x| <= 2^-26, sin x = x - d with 0 < d <= |x|^3 / 6
//     (the series alternates with decreasing terms), so
//     d / |x| <= 2^-52 / 6 < 2^-54. The doubles next to x are at least
//     2^-53 |x| away above and, when |x| is a power of two, 2^-54 |x| below,
//     so the midpoints are at least 2^-54 |x| from x and sin x rounds to x
//     (subnormals included, whose spacing is coarser still). sin(+-0) = +-0.
//   cos: for |x| < 2^-27, 1 - x^2/2 <= cos x <= 1 with x^2/2 < 2^-55, while
//     the midpoint below 1 is 1 - 2^-54: cos x rounds to 1. Between 2^-27
//     and the table the fast path is used as for any argument; near
//     |x| = 2^-26.5, where cos x crosses that midpoint, its rounding test
//     fails and the accurate path decides.
//
// The accurate path. x = k pi/2 + r by Payne and Hanek (r a triple-double,
// relative error below 2^-149.9; r = x exactly when |x| < 0.785 < pi/4), then
// the Taylor series of sin r to r^37 and of cos r to r^38 by Horner's rule on
// r^2 in triple-double. For |r| <= pi/4 the first terms left out are below
// 2^-167 |sin r| and 2^-172 |cos r|. Every Horner step multiplies by
// r^2 <= 0.62 and adds a coefficient at least ten times the product, so each
// step's errors (2^-150 for the product, 2^-155 for the sum) are not
// magnified; with r^2 and the final product by r (2^-150 each) the sum is
// below 2^-148 relative, and with the reduction's below 2^-147. The hardest
// to round double arguments of sin and cos (Lefevre and Muller's exhaustive
// search) need about 2^-119 relative, so rounding this result once is
// correct for every double.
#include <quorbel/maths/elementary.hpp>

#include <cmath>
#include <cstdint>

#include "maths/elementary/fma_dispatch.hpp"
#include "maths/elementary/range_reduction.hpp"
#include "maths/elementary/sin_cos_accurate.hpp"
#include "maths/elementary/sin_cos_fast.hpp"
#include "maths/elementary/sin_cos_fused.hpp"
#include "maths/elementary/sin_cos_variants.hpp"
#include "maths/elementary/sin_cos_tables.hpp"
#include "maths/elementary/triple_double.hpp"

namespace quorbel::elementary {

namespace detail {

namespace {

TripleDouble sc_inverse_factorial(int n) {
    return {SC_INVERSE_FACTORIAL[n][0], SC_INVERSE_FACTORIAL[n][1], SC_INVERSE_FACTORIAL[n][2]};
}

// sum over j = 0 .. last of (-1)^j r2^j / (2 j + offset)!, by Horner's rule.
TripleDouble sc_alternating_series(TripleDouble r2, int last, int offset) {
    TripleDouble acc = sc_inverse_factorial(2 * last + offset);
    if (last % 2 != 0) acc = neg(acc);
    for (int j = last - 1; j >= 0; --j) {
        const TripleDouble c = sc_inverse_factorial(2 * j + offset);
        acc = add(mul(acc, r2), j % 2 != 0 ? neg(c) : c);
    }
    return acc;
}

constexpr int SC_SIN_LAST = 18;  // r^37 / 37!
constexpr int SC_COS_LAST = 19;  // r^38 / 38!

}  // namespace

TripleDouble sin_series(TripleDouble r) noexcept {
    return mul(sc_alternating_series(mul(r, r), SC_SIN_LAST, 1), r);
}

TripleDouble cos_series(TripleDouble r) noexcept {
    return sc_alternating_series(mul(r, r), SC_COS_LAST, 0);
}

namespace {

// sin(quadrant pi/2 + r) to 2^-147, rounded once.
double sc_accurate(int quadrant, TripleDouble r) {
    const TripleDouble v = (quadrant & 1) != 0 ? cos_series(r) : sin_series(r);
    return to_double((quadrant & 2) != 0 ? neg(v) : v);
}

ReducedArgument sc_reduce(double x) {
    if (std::fabs(x) < 0.785) return {0, {x, 0.0, 0.0}};
    return reduce_payne_hanek(x);
}

// Out of line where the FMA variants are compiled, whose flattened entry
// points would otherwise take in this cold path whole.
#if QTK_FMA_VARIANTS
#define SC_SLOW_ENTRY QTK_NOT_INLINED
#else
#define SC_SLOW_ENTRY
#endif

// sin(x + offset pi/2) for an x whose fast path was not proven: NaN and
// infinities, arguments beyond 2^16, results near a rounding boundary.
// Beyond 2^16 the fast path is tried first on Payne and Hanek's r, reduced
// once more modulo pi/2048: r = N' pi/2048 + h' with |N'| <= 512 and
// h = h' + r.mid (r.lo, below 2^-106 |r|, left out). For N' = 0, h' = r.hi
// exactly and the TwoSum is exact; otherwise rounding h'.lo + r.mid costs
// 2^-106.3, counted in sin_cos_fast.hpp's bound.
SC_SLOW_ENTRY double sc_slow(double x, int offset) {
    if (!(std::fabs(x) <= 0x1.fffffffffffffp1023)) return x - x;  // NaN for NaN and +-inf
    const ReducedArgument red = sc_reduce(x);
    if (std::fabs(x) >= CODY_WAITE_LIMIT) {
        const StepAndRemainder<double> step = cody_waite(red.r.hi);
        const DoubleDouble<double> h = two_sum(step.h.hi, step.h.lo + red.r.mid);
        const std::int64_t n = 1024 * std::int64_t{red.quadrant} + to_index(step.n);
        const Candidate<double> c = sin_quadrant(table_point<double>(n, h), offset);
        if (c.proven) return c.value;
    }
    return sc_accurate((red.quadrant + offset) & 3, red.r);
}

// The functions with Dekker's fast path. Where an FMA variant exists they
// are out of line: on an FMA machine they are not called, and inlined they
// would only enlarge the callers. Where it does not, they are the only path
// and stay inlinable.
#if QTK_FMA_VARIANTS
#define SC_DEKKER_ENTRY QTK_NOT_INLINED
#else
#define SC_DEKKER_ENTRY inline
#endif
SC_DEKKER_ENTRY double sc_sin_dekker(double x) {
    const Candidate<double> c = sin_fast(x);
    return c.proven ? c.value : sc_slow(x, 0);
}
SC_DEKKER_ENTRY double sc_cos_dekker(double x) {
    const Candidate<double> c = cos_fast(x);
    return c.proven ? c.value : sc_slow(x, 1);
}
SC_DEKKER_ENTRY SinCos sc_sin_cos_dekker(double x) {
    const SinCosCandidate<double> c = sin_cos_fast(x);
    return {c.sin.proven ? c.sin.value : sc_slow(x, 0),
            c.cos.proven ? c.cos.value : sc_slow(x, 1)};
}
#undef SC_DEKKER_ENTRY
#undef SC_SLOW_ENTRY

#if QTK_FMA_VARIANTS
// The functions with the fast path compiled with FMA (fma_dispatch.hpp),
// called only when the CPU has it. Whole functions rather than candidates,
// so that what crosses the call is the result, in registers.
QTK_FMA_ENTRY double sc_sin_fused(double x) {
    const Candidate<double> c = sin_fused(x);
    return c.proven ? c.value : sc_slow(x, 0);
}
QTK_FMA_ENTRY double sc_cos_fused(double x) {
    const Candidate<double> c = cos_fused(x);
    return c.proven ? c.value : sc_slow(x, 1);
}
QTK_FMA_ENTRY SinCos sc_sin_cos_fused(double x) {
    const SinCosCandidate<double> c = sin_cos_fused(x);
    return {c.sin.proven ? c.sin.value : sc_slow(x, 0),
            c.cos.proven ? c.cos.value : sc_slow(x, 1)};
}
#endif

}  // namespace

double sin_quarter_turns_accurate(double x, int quarter_turns) noexcept {
    const ReducedArgument red = sc_reduce(x);
    return sc_accurate((red.quadrant + quarter_turns) & 3, red.r);
}

double sin_variant(double x, bool fused) noexcept {
#if QTK_FMA_VARIANTS
    if (fused) return sc_sin_fused(x);
#else
    (void)fused;
#endif
    return sc_sin_dekker(x);
}

double cos_variant(double x, bool fused) noexcept {
#if QTK_FMA_VARIANTS
    if (fused) return sc_cos_fused(x);
#else
    (void)fused;
#endif
    return sc_cos_dekker(x);
}

SinCos sincos_variant(double x, bool fused) noexcept {
#if QTK_FMA_VARIANTS
    if (fused) return sc_sin_cos_fused(x);
#else
    (void)fused;
#endif
    return sc_sin_cos_dekker(x);
}

}  // namespace detail

double sin(double x) noexcept { return detail::sin_variant(x, detail::use_fma()); }

double cos(double x) noexcept { return detail::cos_variant(x, detail::use_fma()); }

SinCos sincos(double x) noexcept { return detail::sincos_variant(x, detail::use_fma()); }

}  // namespace quorbel::elementary
