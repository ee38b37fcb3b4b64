// A table point's number and its row index from one addition. The sum
// t = x + 1.5 2^52 has no fraction bits for 0 <= x < 2^51, so the addition
// rounds x to the nearest integer k (ties to even), t - 1.5 2^52 = k exactly,
// and k is also the low bits of t's significand: the index is read from
// the bits of t (a bit mask, an AND on lanes), not converted back from k,
// which takes a float-to-integer conversion after the subtraction on the
// way to the table. Any other x (a NaN, whose payload lands in the low
// bits, a negative x or one out of range) gives a meaningless k that the
// caller does not use, and the index is clamped to the last row, so that
// nothing is read outside the table. (A clamp rather than a select of row 0
// on a validity mask: the compiler turned that select into a branch with a
// copy of the whole series specialised for row 0.)
#pragma once

#include <cstdint>

#include "maths/elementary/lane_scalar.hpp"

namespace quorbel::elementary::detail {

struct RoundedPoint {
    double k;
    std::int64_t index;
};

inline RoundedPoint round_to_point(double x, std::int64_t last_row) {
    constexpr double SHIFTER = 0x1.8p52;
    const double t = x + SHIFTER;
    const auto low = static_cast<std::int64_t>(lane_bits(t) & 0xFFFFFFFFu);
    return {t - SHIFTER, low < last_row ? low : last_row};
}

}  // namespace quorbel::elementary::detail
