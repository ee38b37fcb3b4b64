// The accurate path of sin and cos on its own: slow (a few microseconds),
// rounded once from a 2^-147 approximation. The scalar functions call it when
// the fast path's rounding test fails; tests call it directly, since it is
// otherwise reached by about one argument in 40000.
#pragma once

#include "maths/elementary/triple_double.hpp"

namespace quorbel::elementary::detail {

// The Taylor series of sin r (to r^37) and cos r (to r^38) for |r| <= pi/4,
// in triple-double: relative error below 2^-148 (sin_cos.cpp).
TripleDouble sin_series(TripleDouble r) noexcept;
TripleDouble cos_series(TripleDouble r) noexcept;

// sin(x + quarter_turns pi/2), correctly rounded, for finite x with
// |x| > 2^-26 (smaller arguments are answered directly by the fast path).
double sin_quarter_turns_accurate(double x, int quarter_turns) noexcept;

}  // namespace quorbel::elementary::detail
