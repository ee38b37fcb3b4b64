// sin, cos, sincos, asin, acos and atan2 on lanes, each lane the same double
// as the scalar function (quorbel/maths/elementary.hpp) on that lane's
// argument. The fast paths run on all lanes at once; a lane whose rounding
// test fails (or whose argument the fast path leaves alone: NaN, infinities,
// huge or tiny arguments) is recomputed by the scalar function. A proven
// candidate is the correctly rounded value, which is unique, so the lanes
// and the scalar function agree whichever way each lane is finished, and
// whether the products are Dekker's or fused (fma_dispatch.hpp).
//
// Four lanes (Lanes4) are only used inside QTK_AVX2_ENTRY bodies, with the
// fused fast paths; two lanes take Dekker's on x86-64 (SSE2 has no FMA) and
// the fused ones on aarch64 (FMA is in its baseline).
#pragma once

#include <quorbel/maths/elementary.hpp>

#include "maths/elementary/asin_fast.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/fma_dispatch.hpp"
#include "maths/elementary/inlining.hpp"
#include "maths/elementary/sin_cos_fast.hpp"
#include "maths/elementary/sin_cos_fused.hpp"
#include "maths/lanes/lane_vectors.hpp"

#if QTK_LANES


namespace quorbel::elementary::detail {

// Whether a lane type's fast paths use fused products.
template <class V>
struct LaneProducts {
#if defined(__aarch64__)
    static constexpr bool fused = QTK_FMA_VARIANTS != 0;
#else
    static constexpr bool fused = !std::is_same_v<V, Lanes2>;
#endif
};

template <class V>
inline constexpr int LANE_COUNT = LaneWidth<V>::count;

// The scalar functions for the lanes the fast paths leave, out of line: a
// flattened lane body would otherwise take in each one's whole fast path at
// every call.
[[gnu::noinline]] inline double scalar_sin(double x) { return elementary::sin(x); }
[[gnu::noinline]] inline double scalar_cos(double x) { return elementary::cos(x); }
[[gnu::noinline]] inline double scalar_asin(double x) { return elementary::asin(x); }
[[gnu::noinline]] inline double scalar_acos(double x) { return elementary::acos(x); }
[[gnu::noinline]] inline double scalar_atan2(double y, double x) {
    return elementary::atan2(y, x);
}

template <class V>
struct SinCosLanes {
    V sin;
    V cos;
};

// The lanes a fast path left, one by one, out of line: indexing a vector's
// lanes in the lane body would give its registers a home in memory, stored
// on every call, where this needs them in memory only when a lane fails.
// The vectors go by value, in registers (the four-lane one compiled for AVX
// like its callers, so that both sides pass them the same way).
template <class V, class Index, class Function>
QTK_FORCE_INLINE V finish_each_lane(V value, Index proven, V x, Function f) {
    for (int k = 0; k < LANE_COUNT<V>; ++k) {
        if (proven[k] == 0) value[k] = f(x[k]);
    }
    return value;
}
template <class Function>
[[gnu::noinline]] Lanes2 finish_failed_lanes(Lanes2 value, Index2 proven, Lanes2 x,
                                                        Function f) {
    return finish_each_lane(value, proven, x, f);
}
#if QTK_LANES4
template <class Function>
[[gnu::noinline]] __attribute__((target("avx2,fma"))) Lanes4 finish_failed_lanes(
    Lanes4 value, Index4 proven, Lanes4 x, Function f) {
    return finish_each_lane(value, proven, x, f);
}
#endif

// The same for a function of two arguments (atan2).
template <class V, class Index, class Function>
QTK_FORCE_INLINE V finish_each_lane(V value, Index proven, V y, V x, Function f) {
    for (int k = 0; k < LANE_COUNT<V>; ++k) {
        if (proven[k] == 0) value[k] = f(y[k], x[k]);
    }
    return value;
}
template <class Function>
[[gnu::noinline]] Lanes2 finish_failed_lanes(Lanes2 value, Index2 proven, Lanes2 y, Lanes2 x,
                                             Function f) {
    return finish_each_lane(value, proven, y, x, f);
}
#if QTK_LANES4
template <class Function>
[[gnu::noinline]] __attribute__((target("avx2,fma"))) Lanes4 finish_failed_lanes(
    Lanes4 value, Index4 proven, Lanes4 y, Lanes4 x, Function f) {
    return finish_each_lane(value, proven, y, x, f);
}
#endif

// value where proven, the scalar function of x elsewhere.
template <class V, class Function>
QTK_FORCE_INLINE V finish_lanes(V value, typename LaneWidth<V>::Index proven, V x, Function f) {
    if (__builtin_expect(!all_lanes(proven), 0)) value = finish_failed_lanes(value, proven, x, f);
    return value;
}

// The lanes of a sine and a cosine that their fast path left, out of line.
template <class V, class Index>
QTK_FORCE_INLINE SinCosLanes<V> finish_each_sincos(SinCosLanes<V> value, Index sin_proven,
                                                   Index cos_proven, V x) {
    for (int k = 0; k < LANE_COUNT<V>; ++k) {
        if (sin_proven[k] == 0) value.sin[k] = scalar_sin(x[k]);
        if (cos_proven[k] == 0) value.cos[k] = scalar_cos(x[k]);
    }
    return value;
}
[[gnu::noinline]] inline SinCosLanes<Lanes2> finish_failed_sincos(SinCosLanes<Lanes2> value,
                                                                  Index2 sin_proven,
                                                                  Index2 cos_proven, Lanes2 x) {
    return finish_each_sincos(value, sin_proven, cos_proven, x);
}
#if QTK_LANES4
[[gnu::noinline]] __attribute__((target("avx2,fma"))) inline SinCosLanes<Lanes4>
finish_failed_sincos(SinCosLanes<Lanes4> value, Index4 sin_proven, Index4 cos_proven, Lanes4 x) {
    return finish_each_sincos(value, sin_proven, cos_proven, x);
}
#endif

// sin_cos_fused's or sin_cos_fast's candidates, proven on the kernel's
// lanes only: |x| below the reduction's limit and above 2^-26, under which
// sin x rounds to x and cos x to 1 (SIN_IS_X_BELOW, COS_IS_ONE_BELOW), the
// values the scalar functions give there; such a lane is finished by them
// with the kernel's failures, so that the common case takes no blend, and
// one test covers both results. For N angles at once, each step of the
// fast path (the reduction, the table rows, the kernels) is taken for all
// of them before the next (atan2_candidate below says why). fused: the fast
// path with fused products, for bodies compiled with FMA (the default for V)
// or, for two lanes on x86-64, QTK_FMA_ENTRY bodies (lane_pairs.hpp).
template <int N, class V, bool fused = LaneProducts<V>::fused>
QTK_FORCE_INLINE void sincos_lanes(const V (&x)[N], SinCosLanes<V> (&out)[N]) {
    using Index = typename LaneWidth<V>::Index;
    static_assert(SIN_IS_X_BELOW >= COS_IS_ONE_BELOW);
    Index kernel[N];
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) {
        const V ax = abs_lane(x[k]);
        kernel[k] = (ax < CODY_WAITE_LIMIT) & (ax > SIN_IS_X_BELOW);
    }
    Candidate<V> s[N];
    Candidate<V> c[N];
#if QTK_FMA_VARIANTS
    if constexpr (fused) {
        FusedPoint<V> point[N];
        FusedRows<V> rows[N];
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) point[k] = reduced_fused_point(x[k], kernel[k]);
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) rows[k] = fused_rows(point[k]);
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) {
            s[k] = fused_sin_of(point[k], rows[k]);
            c[k] = fused_cos_of(point[k], rows[k]);
        }
    } else
#endif
    {
#pragma GCC unroll 4
        for (int k = 0; k < N; ++k) {
            const TablePoint<V> point = reduced_table_point(x[k], kernel[k]);
            s[k] = sin_quadrant(point, 0);
            c[k] = sin_quadrant(point, 1);
        }
    }
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) {
        const Index sin_proven = s[k].proven & kernel[k];
        const Index cos_proven = c[k].proven & kernel[k];
        out[k] = {s[k].value, c[k].value};
        if (__builtin_expect(!all_lanes(sin_proven & cos_proven), 0)) {
            out[k] = finish_failed_sincos(out[k], sin_proven, cos_proven, x[k]);
        }
    }
}

template <class V, bool fused = LaneProducts<V>::fused>
QTK_FORCE_INLINE SinCosLanes<V> sincos_lanes(V x) {
    SinCosLanes<V> out[1];
    sincos_lanes<1, V, fused>({x}, out);
    return out[0];
}

// atan2's fast path on lanes, and its finishing test. Where several
// independent functions are wanted (atan2_lanes and sincos_lanes of N
// arguments, atan2_asin_lanes), each step of their fast paths is taken for
// all of them before the next, and the finishing tests come last: one fast
// path is a long chain of dependent steps, and a whole one between two
// others in program order fills the out-of-order core's window before it
// reaches the next; interleaved, the chains overlap.
template <class V, bool fused = LaneProducts<V>::fused>
QTK_FORCE_INLINE FastResult<V> atan2_candidate(V y, V x) {
#if QTK_FMA_VARIANTS
    if constexpr (fused) return atan2_fast<FusedProducts>(y, x);
#endif
    return atan2_fast<DekkerProducts>(y, x);
}

template <class V>
QTK_FORCE_INLINE V finish_atan2(FastResult<V> r, V y, V x) {
    if (__builtin_expect(!all_lanes(r.proven), 0)) {
        r.value = finish_failed_lanes(r.value, r.proven, y, x, scalar_atan2);
    }
    return r.value;
}

template <class V, bool fused = LaneProducts<V>::fused>
QTK_FORCE_INLINE V atan2_lanes(V y, V x) {
    return finish_atan2(atan2_candidate<V, fused>(y, x), y, x);
}

// N atan2 at once, each step for all of them before the next.
template <class Products, int N, class V>
QTK_FORCE_INLINE void atan2_steps(const V (&y)[N], const V (&x)[N], FastResult<V> (&out)[N]) {
    Atan2Reduction<V> r[N];
    SeriesTerms<V> t[N];
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) r[k] = atan2_reduction<Products>(y[k], x[k]);
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) t[k] = atan2_terms<Products>(r[k]);
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) out[k] = atan2_sum(r[k], t[k]);
}

template <int N, class V>
QTK_FORCE_INLINE void atan2_lanes(const V (&y)[N], const V (&x)[N], V (&out)[N]) {
    FastResult<V> r[N];
#if QTK_FMA_VARIANTS
    if constexpr (LaneProducts<V>::fused) {
        atan2_steps<FusedProducts>(y, x, r);
    } else
#endif
    {
        atan2_steps<DekkerProducts>(y, x, r);
    }
#pragma GCC unroll 4
    for (int k = 0; k < N; ++k) out[k] = finish_atan2(r[k], y[k], x[k]);
}

// asin (is_asin) or acos on lanes, one series evaluation per lane: each lane
// computes what the scalar function's own fast path for its range computes
// (asin_fast.hpp), the two ranges told apart by blends rather than by
// evaluating both. Lane by lane:
//   |x| <= 1/2: the series at z = |x| (z.lo = 0, so the low part's extra
//     term h_lo (...) adds an exact zero and the terms are asin_series_fast's),
//     summed around base 0 with f = 1 for asin (asin_sum_around then gives
//     asin_series_fast's pair exactly: lead = (a_0, 0) and base.mid = 0) and
//     around pi/2 with f = -+1 for acos, and tested with asin_series_fast's
//     bound 2^-67.5 |head|;
//   1/2 < |x| < 1: asin_upper_fast's z, base, f and bound.
// So every proven lane holds the value and passed the test that one of the
// two scalar fast paths proves, with that path's error bound: the correctly
// rounded result. |x| >= 1 and NaN are never proven (ax < 1 fails), as in
// both paths. The table rows come from one gather per coefficient instead
// of two. In three steps, as atan2_fast (atan_fast.hpp): the series'
// argument z, its terms, and their sum with the rounding test.
template <class V>
struct AsinReductionLanes {
    V x;
    V ax;
    typename LaneWidth<V>::Index negative;
    typename LaneWidth<V>::Index lower;
    DoubleDouble<V> z;
};

template <class Products, class V>
QTK_FORCE_INLINE AsinReductionLanes<V> asin_acos_reduction(V x) {
    using Index = typename LaneWidth<V>::Index;
    const V ax = abs_lane(x);
    const Index negative = x < 0.0;
    const Index lower = ax <= 0.5;
    const V z2 = (1.0 - ax) * 0.5;
    // z2 clamped to [0, 1/4]: where it was outside, the lane is not proven
    // (|x| < 1/2 takes ax, |x| >= 1 and NaN fail ax < 1 below), so only the
    // square root's argument must be valid.
    const V zh = asin_sqrt(clamp_lanes(z2, 0.0, 0.25));
    const V zl = minus_product<Products>(z2, zh, zh) / (zh + zh);
    return {x, ax, negative, lower,
            DoubleDouble<V>{select(lower, ax, zh), select(lower, splat<V>(0.0), zl)}};
}

template <class Products, class V>
QTK_FORCE_INLINE SeriesTerms<V> asin_acos_terms(const AsinReductionLanes<V>& r) {
    return asin_series_terms<true, Products>(r.z);
}

template <bool is_asin, class V>
QTK_FORCE_INLINE FastResult<V> asin_acos_sum(const AsinReductionLanes<V>& r,
                                             const SeriesTerms<V>& t) {
    using Index = typename LaneWidth<V>::Index;
    const V x = r.x;
    const V ax = r.ax;
    const Index negative = r.negative;
    const Index lower = r.lower;
    V base_hi, base_mid, f, extra;
    if constexpr (is_asin) {
        base_hi = select(lower, splat<V>(0.0), splat<V>(ATAN_HALF_PI_HI));
        base_mid = select(lower, splat<V>(0.0), splat<V>(ATAN_HALF_PI_MID));
        f = select(lower, splat<V>(1.0), splat<V>(-2.0));
        extra = splat<V>(0x1p-97);
    } else {
        const V upper_base_hi = select(negative, splat<V>(ATAN_PI_HI), splat<V>(0.0));
        const V upper_base_mid = select(negative, splat<V>(ATAN_PI_MID), splat<V>(0.0));
        base_hi = select(lower, splat<V>(ATAN_HALF_PI_HI), upper_base_hi);
        base_mid = select(lower, splat<V>(ATAN_HALF_PI_MID), upper_base_mid);
        f = select(lower, select(negative, splat<V>(1.0), splat<V>(-1.0)),
                   select(negative, splat<V>(-2.0), splat<V>(2.0)));
        extra = select(negative, splat<V>(0x1p-97), splat<V>(0.0));
    }
    const DoubleDouble<V> value = asin_sum_around(t, base_hi, base_mid, f);
    const V bound = select(lower, ASIN_SERIES_ERROR * abs_lane(value.hi),
                           ASIN_SERIES_ERROR * (2.0 * (t.a0 + t.linear)) + extra);
    const FastResult<V> tested = rounding_test_within(value, bound);
    const Index proven = (ax < 1.0) & tested.proven;
    if constexpr (!is_asin) return {tested.value, proven};
    // asin x rounds to x below 2^-26, which keeps the sign of -0 (the series
    // would give +0): answered directly, as the scalar function does.
    const Index tiny = ax < 0x1p-26;
    return {select(tiny, x, negate_if(negative, tested.value)), proven | tiny};
}

template <bool is_asin, class Products, class V>
QTK_FORCE_INLINE FastResult<V> asin_acos_fast_lanes(V x) {
    const AsinReductionLanes<V> r = asin_acos_reduction<Products>(x);
    return asin_acos_sum<is_asin>(r, asin_acos_terms<Products>(r));
}

template <bool is_asin, class V>
QTK_FORCE_INLINE FastResult<V> asin_acos_candidate(V x) {
#if QTK_FMA_VARIANTS
    if constexpr (LaneProducts<V>::fused) return asin_acos_fast_lanes<is_asin, FusedProducts>(x);
#endif
    return asin_acos_fast_lanes<is_asin, DekkerProducts>(x);
}

template <bool is_asin, class V>
QTK_FORCE_INLINE V finish_asin_acos(FastResult<V> r, V x) {
    return finish_lanes(r.value, r.proven, x, is_asin ? scalar_asin : scalar_acos);
}

// A atan2(y[k], x[k]) and S asin(s[k]) at once (the neck's inverse), each
// step of the fast paths taken for all of them before the next.
template <class Products, int A, int S, class V>
QTK_FORCE_INLINE void atan2_asin_steps(const V (&y)[A], const V (&x)[A], const V (&s)[S],
                                       FastResult<V> (&atan2_out)[A],
                                       FastResult<V> (&asin_out)[S]) {
    Atan2Reduction<V> r[A];
    AsinReductionLanes<V> ra[S];
    SeriesTerms<V> t[A];
    SeriesTerms<V> ta[S];
#pragma GCC unroll 8
    for (int k = 0; k < A; ++k) r[k] = atan2_reduction<Products>(y[k], x[k]);
#pragma GCC unroll 8
    for (int k = 0; k < S; ++k) ra[k] = asin_acos_reduction<Products>(s[k]);
#pragma GCC unroll 8
    for (int k = 0; k < A; ++k) t[k] = atan2_terms<Products>(r[k]);
#pragma GCC unroll 8
    for (int k = 0; k < S; ++k) ta[k] = asin_acos_terms<Products>(ra[k]);
#pragma GCC unroll 8
    for (int k = 0; k < A; ++k) atan2_out[k] = atan2_sum(r[k], t[k]);
#pragma GCC unroll 8
    for (int k = 0; k < S; ++k) asin_out[k] = asin_acos_sum<true>(ra[k], ta[k]);
}

template <int A, int S, class V>
QTK_FORCE_INLINE void atan2_asin_lanes(const V (&y)[A], const V (&x)[A], const V (&s)[S],
                                       V (&atan2_out)[A], V (&asin_out)[S]) {
    FastResult<V> r[A];
    FastResult<V> ra[S];
#if QTK_FMA_VARIANTS
    if constexpr (LaneProducts<V>::fused) {
        atan2_asin_steps<FusedProducts>(y, x, s, r, ra);
    } else
#endif
    {
        atan2_asin_steps<DekkerProducts>(y, x, s, r, ra);
    }
#pragma GCC unroll 8
    for (int k = 0; k < A; ++k) atan2_out[k] = finish_atan2(r[k], y[k], x[k]);
#pragma GCC unroll 8
    for (int k = 0; k < S; ++k) asin_out[k] = finish_asin_acos<true>(ra[k], s[k]);
}

template <bool is_asin, class V>
QTK_FORCE_INLINE V asin_acos_lanes(V x) {
    return finish_asin_acos<is_asin>(asin_acos_candidate<is_asin>(x), x);
}

template <class V>
QTK_FORCE_INLINE V asin_lanes(V x) {
    return asin_acos_lanes<true>(x);
}

template <class V>
QTK_FORCE_INLINE V acos_lanes(V x) {
    return asin_acos_lanes<false>(x);
}

}  // namespace quorbel::elementary::detail


#endif  // QTK_LANES
