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

inline double select(bool mask, double if_true, double if_false) { return mask ? if_true : if_false; }
inline std::int64_t select(bool mask, std::int64_t if_true, std::int64_t if_false) {
    return mask ? if_true : if_false;
}

inline double abs_lane(double x) { return std::fabs(x); }

// x rounded to the nearest integer (ties to even), as a double, for
// |x| < 2^51: adding 1.5 * 2^52 leaves no fraction bits, so the sum is rounded
// to an integer by the addition itself, and the subtraction is exact.
inline double round_to_integer(double x) {
    constexpr double SHIFTER = 0x1.8p52;
    return (x + SHIFTER) - SHIFTER;
}

// An integer-valued double (|x| < 2^63) as an index.
inline std::int64_t to_index(double x) { return static_cast<std::int64_t>(x); }

// table[i][column], a gather on lanes.
template <std::size_t Columns>
inline double gather(const double (*table)[Columns], std::int64_t i, std::size_t column) {
    return table[i][column];
}

}  // namespace quorbel::elementary::detail
