// The lane operations of the elementary functions' fast paths, for one
// double. A fast path is a template over its number type Real; what a SIMD
// lane type does with a mask (a comparison's result) and a select, a scalar
// does with a bool and a branch-free conditional. A vector type provides the
// same names with its own mask type.
#pragma once

#include <cmath>

namespace quorbel::elementary::detail {

// The type of a comparison's result: bool for a double.
template <class Real>
using LaneMask = decltype(Real{} < Real{});

// mask ? a : b, lane by lane.
inline double select(bool mask, double a, double b) { return mask ? a : b; }

// |a|: clearing the sign is exact, and a NaN stays a NaN.
inline double lane_abs(double a) { return std::fabs(a); }

// a with the sign of s (s > 0, s < 0; a zero s keeps a as it is).
inline double lane_sign_of(double a, double s) { return s < 0.0 ? -a : a; }

// Both of two masks, lane by lane.
inline bool lane_and(bool a, bool b) { return a && b; }

// The square root, correctly rounded (an IEEE operation).
inline double lane_sqrt(double a) { return std::sqrt(a); }

// The table entry at the index held, as an exact small integer, by v.
inline double lane_gather(const double* table, double v) { return table[static_cast<int>(v)]; }

}  // namespace quorbel::elementary::detail
