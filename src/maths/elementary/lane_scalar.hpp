// The lane operations of the elementary functions' fast paths, for one
// double. The fast paths are templates over a number type Real; what they
// cannot write with + - * and comparisons goes through these free functions,
// which a SIMD type overloads (select becomes a blend, table indexing a
// gather, a mask test a movemask). For double, a mask is a bool and an index
// an int64.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <emmintrin.h>
#define QTK_LANE_SSE_BITS 1
#else
#define QTK_LANE_SSE_BITS 0
#endif

namespace quorbel::elementary::detail {

template <class Real>
struct LaneTypes;

template <>
struct LaneTypes<double> {
    using Mask = bool;
    using Index = std::int64_t;
};

template <class Real>
using MaskOf = typename LaneTypes<Real>::Mask;
template <class Real>
using IndexOf = typename LaneTypes<Real>::Index;

// The constant c in every lane (GCC's vector types take a scalar operand
// and broadcast it; c is never -0 here, which 0 + c would turn into +0).
template <class Real>
inline Real splat(double c) {
    return Real{} + c;
}

// A select, for masks that are the same from one call to the next in
// practice (the argument's range): a branch the processor predicts.
inline double select(bool mask, double if_true, double if_false) {
    return mask ? if_true : if_false;
}

// Sign flips by bit operations, for masks that are random from one call to
// the next (the quadrant, the sign of the reduced argument), where a
// mispredicted branch costs more than the arithmetic.
inline std::uint64_t lane_bits(double x) {
    std::uint64_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}
inline double lane_from_bits(std::uint64_t b) {
    double x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// if_true where mask is set, if_false elsewhere, for a random mask.
inline std::int64_t select_index(bool mask, std::int64_t if_true, std::int64_t if_false) {
    return if_false ^ ((if_true ^ if_false) & -static_cast<std::int64_t>(mask));
}

// -x where mask is set, x elsewhere (exact: the sign bit only). On x86-64
// the flip is an XOR in the vector register that holds x, with the sign bit
// moved there from the mask: written on the integer side, x would make a
// round trip through an integer register, two transfers on its dependency
// chain, where the mask's transfer runs beside it. x is broadcast
// (_mm_set1_pd, one shuffle) rather than zero-extended (_mm_set_sd): GCC
// writes the latter as a register-to-register vmovq, which valgrind 3.19
// cannot decode, and the benchmarks count instructions under callgrind.
inline double negate_if(bool mask, double x) {
#if QTK_LANE_SSE_BITS
    const __m128d sign = _mm_castsi128_pd(
        _mm_cvtsi64_si128(static_cast<long long>(static_cast<std::uint64_t>(mask) << 63)));
    return _mm_cvtsd_f64(_mm_xor_pd(_mm_set1_pd(x), sign));
#else
    return lane_from_bits(lane_bits(x) ^ (static_cast<std::uint64_t>(mask) << 63));
#endif
}

inline double abs_lane(double x) { return std::fabs(x); }

// x rounded to the nearest integer (ties to even), as a double, for
// |x| < 2^51: adding 1.5 * 2^52 leaves no fraction bits, so the sum is rounded
// to an integer by the addition itself, and the subtraction is exact.
inline double round_to_integer(double x) {
    constexpr double SHIFTER = 0x1.8p52;
    return (x + SHIFTER) - SHIFTER;
}

// The bits of a double as an index: for round_to_integer's x + 1.5 * 2^52,
// 2^51 + the integer in the low bits (so its residue modulo 4096 is the
// integer's), read without a conversion.
inline std::int64_t index_bits(double x) { return static_cast<std::int64_t>(lane_bits(x)); }

// An integer-valued double (|x| < 2^63) as an index.
inline std::int64_t to_index(double x) { return static_cast<std::int64_t>(x); }

// table[i][column], a gather on lanes (the column may differ between lanes).
template <std::size_t Columns>
inline double gather(const double (*table)[Columns], std::int64_t i, std::int64_t column) {
    return table[i][column];
}

// table[i][column] and table[i][column + 1]: two neighbouring entries of a
// row, which lanes read as one 16-byte load per lane and a transpose.
template <class Real>
struct ColumnPair {
    Real first;
    Real second;
};
template <std::size_t Columns>
inline ColumnPair<double> gather_pair(const double (*table)[Columns], std::int64_t i,
                                      std::int64_t column) {
    return {table[i][column], table[i][column + 1]};
}

// table[row] and table[mirror - row], two-column rows (the sine and cosine
// entries of one table angle): two gather_pairs for one double; lanes take
// each lane's row out of the vector register once for both.
template <class Real>
struct MirroredRows {
    ColumnPair<Real> row;
    ColumnPair<Real> mirrored;
};
inline MirroredRows<double> gather_mirrored_rows(const double (*table)[2], std::int64_t row,
                                                 std::int64_t mirror) {
    return {gather_pair(table, row, 0), gather_pair(table, mirror - row, 0)};
}

}  // namespace quorbel::elementary::detail
