// The lanes of a SIMD register as number types for the elementary functions'
// fast paths (lane_scalar.hpp has the same vocabulary for one double):
// GCC/Clang vector extensions, double __attribute__((vector_size(16 or 32))),
// so that + - * / and comparisons are written as for double and the compiler
// picks the instructions of the function it is inlined into.
//   Lanes2: two doubles, SSE2 (the x86-64 baseline) or NEON (aarch64).
//   Lanes4: four doubles, for functions compiled with QTK_AVX2_ENTRY; only
//           called when the CPU has AVX2 and FMA (lane_paths.hpp).
// A mask or an index is the integer vector of the same width (what a
// comparison gives: -1 where true, 0 where false).
//
// These overloads are declared before the fast paths' templates (this header
// is included by fma_dispatch.hpp, which every fast path includes first):
// a vector type has no namespace for argument-dependent lookup to search, so
// a template finds only the overloads visible where it is defined.
//
// Compiled where GCC or Clang targets x86-64 or aarch64 (QTK_LANES); not
// for 32-bit x86, MSVC, or with QTK_NO_LANES defined. Four lanes only on
// x86-64 ELF with GCC (MinGW's GCC does not align the stack for 32-byte
// spills; Clang does not inline the baseline overloads into a flattened AVX2
// body and rejects the 32-byte calls left), not where the fused fast
// paths are compiled out (QTK_ELEMENTARY_NO_FMA), and only when optimising:
// without optimisation GCC leaves the baseline overloads out of line, and a
// 32-byte vector passed to them from an AVX2 body arrives under another
// calling convention (a debug build would read garbage and crash).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#if !defined(QTK_NO_LANES) && (defined(__GNUC__) || defined(__clang__)) && \
    (defined(__x86_64__) || defined(__aarch64__))
#define QTK_LANES 1
#if defined(__x86_64__) && !defined(_WIN32) && !defined(QTK_ELEMENTARY_NO_FMA) && \
    !defined(__clang__) && defined(__OPTIMIZE__)
#define QTK_LANES4 1
#else
#define QTK_LANES4 0
#endif
#else
#define QTK_LANES 0
#define QTK_LANES4 0
#endif

#if QTK_LANES && defined(__aarch64__)
#include <arm_neon.h>
#endif
#if QTK_LANES4
#include <immintrin.h>
#endif

#include "maths/elementary/inlining.hpp"
#include "maths/elementary/lane_scalar.hpp"

#if QTK_LANES

// GCC notes that a function taking or returning a 32-byte vector has another
// calling convention with AVX than without; the four-lane functions, the
// fast paths instantiated for them included, are only ever inlined into
// AVX2 bodies, so no such call exists. Left off for the rest of the
// translation unit (no pop): the fast paths' templates are defined in the
// headers that follow, and the note is given where a template is defined.
// This project has no other vector types.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wpsabi"
#endif

namespace quorbel::elementary::detail {

typedef double Lanes2 __attribute__((vector_size(16)));
typedef decltype(Lanes2{} < Lanes2{}) Index2;
#if QTK_LANES4
typedef double Lanes4 __attribute__((vector_size(32)));
typedef decltype(Lanes4{} < Lanes4{}) Index4;
// The entry points of the four-lane code: AVX2 and FMA for their body only,
// and everything they call inlined into it (the lane overloads below are
// compiled for the baseline and would otherwise pass 32-byte vectors through
// memory).
#define QTK_AVX2_ENTRY __attribute__((target("avx2,fma"), flatten))
#endif

template <class Lanes>
struct LaneWidth;
template <>
struct LaneWidth<Lanes2> {
    using Index = Index2;
    static constexpr int count = 2;
};
#if QTK_LANES4
template <>
struct LaneWidth<Lanes4> {
    using Index = Index4;
    static constexpr int count = 4;
};
#endif

template <>
struct LaneTypes<Lanes2> {
    using Mask = Index2;
    using Index = Index2;
};
#if QTK_LANES4
template <>
struct LaneTypes<Lanes4> {
    using Mask = Index4;
    using Index = Index4;
};
#endif

inline constexpr std::int64_t LANE_SIGN_BIT = static_cast<std::int64_t>(0x8000000000000000u);
inline constexpr double LANE_SHIFTER = 0x1.8p52;
inline constexpr std::int64_t LANE_SHIFTER_BITS = 0x4338000000000000;

// The overloads, once per width. A macro rather than a template: each must be
// a plain overload, found beside the double one by the fast paths.
#define QTK_LANE_VOCABULARY(V, I)                                                         \
    inline V select(I mask, V if_true, V if_false) { return mask ? if_true : if_false; }  \
    inline I select_index(I mask, I if_true, I if_false) {                                \
        return if_false ^ ((if_true ^ if_false) & mask);                                  \
    }                                                                                     \
    inline I select_index(I mask, std::int64_t if_true, std::int64_t if_false) {          \
        return select_index(mask, I{} + if_true, I{} + if_false);                         \
    }                                                                                     \
    inline V select_bits(I mask, V if_true, V if_false) {                                 \
        return (V)select_index(mask, (I)if_true, (I)if_false);                            \
    }                                                                                     \
    inline V negate_if(I mask, V x) { return (V)((I)x ^ (mask & LANE_SIGN_BIT)); }       \
    inline V abs_lane(V x) { return (V)((I)x & ~LANE_SIGN_BIT); }                         \
    inline V round_to_integer(V x) { return (x + LANE_SHIFTER) - LANE_SHIFTER; }          \
    inline I index_bits(V x) { return (I)x; }                                             \
    /* x integer-valued with |x| < 2^51: x + 1.5 2^52 is exact, and its bits */          \
    /* less those of 1.5 2^52 are x (two's complement). */                               \
    inline I to_index(V x) { return (I)(x + LANE_SHIFTER) - LANE_SHIFTER_BITS; }          \

template <>
inline Lanes2 splat<Lanes2>(double c) {
    return Lanes2{} + c;
}
#if QTK_LANES4
template <>
inline Lanes4 splat<Lanes4>(double c) {
    return Lanes4{} + c;
}
#endif

QTK_LANE_VOCABULARY(Lanes2, Index2)
#if QTK_LANES4
QTK_LANE_VOCABULARY(Lanes4, Index4)
#endif
#undef QTK_LANE_VOCABULARY

// table[i][column] per lane, one load each (AVX2's gather instruction
// measured no faster here).
template <std::size_t Columns>
inline Lanes2 gather(const double (*table)[Columns], Index2 i, std::int64_t column) {
    return Lanes2{table[i[0]][column], table[i[1]][column]};
}
#if QTK_LANES4
template <std::size_t Columns>
inline Lanes4 gather(const double (*table)[Columns], Index4 i, std::int64_t column) {
    return Lanes4{table[i[0]][column], table[i[1]][column], table[i[2]][column], table[i[3]][column]};
}
#endif

// table[i][column] and table[i][column + 1] per lane (gather_pair,
// lane_scalar.hpp): each lane's two entries in one 16-byte load, then the
// loads transposed (unpack low and high halves) into the two columns' vectors,
// instead of one load and one lane insertion per entry.
template <std::size_t Columns>
inline ColumnPair<Lanes2> gather_pair(const double (*table)[Columns], Index2 i,
                                      std::int64_t column) {
    Lanes2 r0;
    Lanes2 r1;
    std::memcpy(&r0, &table[i[0]][column], sizeof r0);
    std::memcpy(&r1, &table[i[1]][column], sizeof r1);
#if defined(__x86_64__) && defined(__clang__)
    // Clang has no unpack builtins; its shuffle compiles to the same unpacks.
    return {__builtin_shufflevector(r0, r1, 0, 2), __builtin_shufflevector(r0, r1, 1, 3)};
#elif defined(__x86_64__)
    return {__builtin_ia32_unpcklpd(r0, r1), __builtin_ia32_unpckhpd(r0, r1)};
#else
    return {(Lanes2)vzip1q_f64((float64x2_t)r0, (float64x2_t)r1),
            (Lanes2)vzip2q_f64((float64x2_t)r0, (float64x2_t)r1)};
#endif
}
#if QTK_LANES4
template <std::size_t Columns>
__attribute__((target("avx2,fma"))) inline ColumnPair<Lanes4> gather_pair(
    const double (*table)[Columns], Index4 i, std::int64_t column) {
    // Lanes 0 and 2 in one register's halves, 1 and 3 in the other's: the
    // unpacks work within each 128-bit half.
    const __m256d even = _mm256_insertf128_pd(
        _mm256_castpd128_pd256(_mm_loadu_pd(&table[i[0]][column])), _mm_loadu_pd(&table[i[2]][column]), 1);
    const __m256d odd = _mm256_insertf128_pd(
        _mm256_castpd128_pd256(_mm_loadu_pd(&table[i[1]][column])), _mm_loadu_pd(&table[i[3]][column]), 1);
    return {(Lanes4)_mm256_unpacklo_pd(even, odd), (Lanes4)_mm256_unpackhi_pd(even, odd)};
}
#endif

// gather_mirrored_rows (lane_scalar.hpp) on lanes.
inline MirroredRows<Lanes2> gather_mirrored_rows(const double (*table)[2], Index2 row,
                                                 std::int64_t mirror) {
    return {gather_pair(table, row, 0), gather_pair(table, mirror - row, 0)};
}
#if QTK_LANES4
// Rows r0 to r3 of a two-column table as its two columns.
__attribute__((target("avx2,fma"))) inline ColumnPair<Lanes4> load_row_pairs(
    const double (*table)[2], std::int64_t r0, std::int64_t r1, std::int64_t r2,
    std::int64_t r3) {
    const __m256d even = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(table[r0])),
                                              _mm_loadu_pd(table[r2]), 1);
    const __m256d odd = _mm256_insertf128_pd(_mm256_castpd128_pd256(_mm_loadu_pd(table[r1])),
                                             _mm_loadu_pd(table[r3]), 1);
    return {(Lanes4)_mm256_unpacklo_pd(even, odd), (Lanes4)_mm256_unpackhi_pd(even, odd)};
}
// Each lane's row taken into an integer register once, the mirrored row's
// index formed there.
__attribute__((target("avx2,fma"))) inline MirroredRows<Lanes4> gather_mirrored_rows(
    const double (*table)[2], Index4 row, std::int64_t mirror) {
    const std::int64_t r0 = row[0], r1 = row[1], r2 = row[2], r3 = row[3];
    return {load_row_pairs(table, r0, r1, r2, r3),
            load_row_pairs(table, mirror - r0, mirror - r1, mirror - r2, mirror - r3)};
}
#endif

// Whether every lane, or any lane, of a mask is set: the sign bits gathered
// into an integer (movmskpd) on x86-64, a loop over the lanes elsewhere.
#if defined(__x86_64__)
inline int lane_signs(Index2 mask) { return __builtin_ia32_movmskpd((Lanes2)mask); }
#if QTK_LANES4
__attribute__((target("avx2,fma"))) inline int lane_signs(Index4 mask) {
    return __builtin_ia32_movmskpd256((Lanes4)mask);
}
#endif
#else
inline int lane_signs(Index2 mask) {
    return static_cast<int>((mask[0] < 0) | ((mask[1] < 0) << 1));
}
#endif
inline bool all_lanes(Index2 mask) { return lane_signs(mask) == 0x3; }
inline bool any_lane(Index2 mask) { return lane_signs(mask) != 0; }
#if QTK_LANES4
__attribute__((target("avx2,fma"))) inline bool all_lanes(Index4 mask) {
    return lane_signs(mask) == 0xF;
}
__attribute__((target("avx2,fma"))) inline bool any_lane(Index4 mask) {
    return lane_signs(mask) != 0;
}
#endif

template <class V>
struct RoundedLanes {
    V k;
    typename LaneWidth<V>::Index index;
};

// x clamped to [low, high]; a NaN x gives low on x86-64 (the maximum and
// minimum instructions return their second operand when either is NaN) and
// NaN elsewhere. Two instructions where a compare and a blend take four
// micro-operations.
#if defined(__x86_64__)
inline Lanes2 clamp_lanes(Lanes2 x, double low, double high) {
    return __builtin_ia32_minpd(__builtin_ia32_maxpd(x, Lanes2{} + low), Lanes2{} + high);
}
#if QTK_LANES4
__attribute__((target("avx2,fma"))) inline Lanes4 clamp_lanes(Lanes4 x, double low,
                                                               double high) {
    return __builtin_ia32_minpd256(__builtin_ia32_maxpd256(x, Lanes4{} + low), Lanes4{} + high);
}
#endif
#else
inline Lanes2 clamp_lanes(Lanes2 x, double low, double high) {
    return (Lanes2)vminq_f64(vmaxq_f64((float64x2_t)x, vdupq_n_f64(low)), vdupq_n_f64(high));
}
#endif

// round_to_point (table_index.hpp) on lanes: k and the row index, clamped
// to last_row, from one addition. On x86-64 the clamp is taken on x, into
// [0, last_row] (clamp_lanes), instead of on the index by a compare and a
// blend; k is x rounded wherever 0 <= x <= last_row, and the index stays
// within the table for every x.
#if defined(__x86_64__)
inline RoundedLanes<Lanes2> round_to_point(Lanes2 x, std::int64_t last_row) {
    const Lanes2 t = clamp_lanes(x, 0.0, static_cast<double>(last_row)) + LANE_SHIFTER;
    return {t - LANE_SHIFTER, (Index2)t & 0xFFFFFFFF};
}
#else
inline RoundedLanes<Lanes2> round_to_point(Lanes2 x, std::int64_t last_row) {
    const Lanes2 t = x + LANE_SHIFTER;
    const Index2 low = (Index2)t & 0xFFFFFFFF;
    return {t - LANE_SHIFTER, select_index(low < last_row, low, Index2{} + last_row)};
}
#endif
#if QTK_LANES4
__attribute__((target("avx2,fma"))) inline RoundedLanes<Lanes4> round_to_point(
    Lanes4 x, std::int64_t last_row) {
    const Lanes4 t = clamp_lanes(x, 0.0, static_cast<double>(last_row)) + LANE_SHIFTER;
    return {t - LANE_SHIFTER, (Index4)t & 0xFFFFFFFF};
}
#endif

// Correctly rounded square roots (IEEE's sqrt, one instruction per register).
#if defined(__x86_64__)
inline Lanes2 sqrt_lanes(Lanes2 x) { return __builtin_ia32_sqrtpd(x); }
// a b + c rounded once on two lanes (c = a b + c by vfmadd231pd), for
// bodies that run only on a CPU with FMA (QTK_FMA_ENTRY: the pairs of
// lane_pairs.hpp). The instruction itself rather than the builtin: the
// builtin needs a target("fma") function, which GCC does not inline through
// the fast paths' templates (compiled for the baseline) into a flattened
// FMA body, and an out-of-line call per product would undo the pairing.
QTK_FORCE_INLINE Lanes2 fused_multiply_add(Lanes2 a, Lanes2 b, Lanes2 c) {
    __asm__("vfmadd231pd %2, %1, %0" : "+x"(c) : "x"(a), "x"(b));
    return c;
}
#if QTK_LANES4
__attribute__((target("avx2,fma"))) inline Lanes4 sqrt_lanes(Lanes4 x) {
    return __builtin_ia32_sqrtpd256(x);
}
// a b + c rounded once; for QTK_AVX2_ENTRY bodies only.
__attribute__((target("avx2,fma"))) inline Lanes4 fused_multiply_add(Lanes4 a,
                                                                                    Lanes4 b,
                                                                                    Lanes4 c) {
    return __builtin_ia32_vfmaddpd256(a, b, c);
}
#endif
#else
inline Lanes2 sqrt_lanes(Lanes2 x) { return (Lanes2)vsqrtq_f64((float64x2_t)x); }
inline Lanes2 fused_multiply_add(Lanes2 a, Lanes2 b, Lanes2 c) {
    return (Lanes2)vfmaq_f64((float64x2_t)c, (float64x2_t)a, (float64x2_t)b);
}
#endif
inline Lanes2 asin_sqrt(Lanes2 x) { return sqrt_lanes(x); }
#if QTK_LANES4
__attribute__((target("avx2,fma"))) inline Lanes4 asin_sqrt(Lanes4 x) {
    return sqrt_lanes(x);
}
#endif

}  // namespace quorbel::elementary::detail



#endif  // QTK_LANES
