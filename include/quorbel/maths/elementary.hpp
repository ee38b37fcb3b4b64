// The elementary functions the kinematics is computed with: binary64, round
// to nearest, correctly rounded for every double argument. A correctly
// rounded result is the one double nearest the exact value, so it is unique:
// any correct implementation, on any machine, in scalar code or in a SIMD
// lane, returns the same bits, and a result of this library can be
// reproduced with any correctly rounded library (CORE-MATH, LLVM's libc,
// CRlibm, MPFR rounded to 53 bits).
//
// Special values follow C99 Annex F: signed zeros are kept (sin(-0) is -0),
// sin and cos of an infinity are NaN, asin and acos outside [-1, 1] are NaN,
// atan2 covers every combination of signs, zeros and infinities. No errno,
// no floating-point environment, no global state, no allocation.
#pragma once

#include <quorbel/export.hpp>

namespace quorbel::elementary {

struct SinCos {
    double sin;
    double cos;
};

QUORBEL_API double sin(double x) noexcept;
QUORBEL_API double cos(double x) noexcept;
// Both from one range reduction; each is the correctly rounded value, the
// same bits as sin(x) and cos(x).
QUORBEL_API SinCos sincos(double x) noexcept;
QUORBEL_API double asin(double x) noexcept;
QUORBEL_API double acos(double x) noexcept;
QUORBEL_API double atan2(double y, double x) noexcept;

}  // namespace quorbel::elementary
