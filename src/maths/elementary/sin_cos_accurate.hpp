// The accurate path of sin and cos on its own: slow (a few microseconds),
// rounded once from a 2^-147 approximation. The scalar functions call it when
// the fast path's rounding test fails; tests call it directly, since it is
// otherwise reached by about one argument in 40000.
#pragma once

namespace quorbel::elementary::detail {

// sin(x + quarter_turns pi/2), correctly rounded, for finite x with
// |x| > 2^-26 (smaller arguments are answered directly by the fast path).
double sin_quarter_turns_accurate(double x, int quarter_turns) noexcept;

}  // namespace quorbel::elementary::detail
