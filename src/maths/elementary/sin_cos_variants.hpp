// sin, cos and sincos with the fast path chosen by the caller: the FMA one
// (sin_cos_fused.hpp) when fused is true and it is compiled, Dekker's
// (sin_cos_fast.hpp) otherwise; the accurate path when the fast one cannot
// prove its rounding. The public functions pass use_fma() (fma_dispatch.hpp);
// the tests pass both, to compare the two on one machine.
#pragma once

#include <quorbel/maths/elementary.hpp>

namespace quorbel::elementary::detail {

double sin_variant(double x, bool fused) noexcept;
double cos_variant(double x, bool fused) noexcept;
SinCos sincos_variant(double x, bool fused) noexcept;

}  // namespace quorbel::elementary::detail
