// Triple-double arithmetic, the working precision of the elementary
// functions' accurate paths (about 159 bits).
//
// A triple-double is an unevaluated sum hi + mid + lo. The operations below
// return it normalised: hi = fl(hi + mid + lo) up to the last rounding,
// |mid| <= ulp(hi) / 2 and |lo| <= ulp(mid) / 2, so that |mid| <= 2^-53 |hi|
// and |lo| <= 2^-106 |hi|; they take operands that are normalised in that
// sense or nearly (components overlapping by a few bits are fine, only the
// bounds' constants grow). The accurate paths are scalar, so the type is over
// plain double; everything is built from the error-free transformations of
// double_double.hpp, without fused multiply-add.
//
// With u = 2^-53, the bounds hold without underflow or overflow (products
// above 2^-969 in magnitude, operands below 2^996); each is proved beside its
// operation by counting the terms that are rounded or dropped.
#pragma once

#include <cstdint>
#include <cstring>

#include "maths/elementary/double_double.hpp"

namespace quorbel::elementary::detail {

struct TripleDouble {
    double hi;
    double mid;
    double lo;
};

inline TripleDouble to_triple(double x) { return {x, 0.0, 0.0}; }
inline TripleDouble to_triple(DoubleDouble<double> x) { return {x.hi, x.lo, 0.0}; }

inline TripleDouble neg(TripleDouble x) { return {-x.hi, -x.mid, -x.lo}; }

// The same value, normalised. Every step is a TwoSum, so the sum is kept
// exactly whatever the operands' order and overlap; two sweeps from the
// bottom up and one from the top down separate the components (Priest's
// renormalisation, with TwoSum in place of FastTwoSum so that no ordering of
// magnitudes has to be assumed).
inline TripleDouble renormalise(double x0, double x1, double x2) {
    DoubleDouble<double> s = two_sum(x1, x2);
    DoubleDouble<double> t = two_sum(x0, s.hi);
    // t.hi + t.lo + s.lo == x0 + x1 + x2
    DoubleDouble<double> u = two_sum(t.lo, s.lo);
    DoubleDouble<double> v = two_sum(t.hi, u.hi);
    DoubleDouble<double> w = two_sum(v.lo, u.lo);
    // v.hi + w.hi + w.lo, v.hi = fl(v.hi + w.hi) up to one more sweep
    DoubleDouble<double> top = two_sum(v.hi, w.hi);
    DoubleDouble<double> bottom = two_sum(top.lo, w.lo);
    return {top.hi, bottom.hi, bottom.lo};
}

// a + b. The two high parts and the two middle parts are summed exactly
// (TwoSum); the low parts, and what is left at the 2^-106 level, are added in
// double. The terms so rounded are each below 2^-104 (|a| + |b|) and there are
// three roundings, so |error| <= 3 u 2^-104 (|a| + |b|) < 2^-155 (|a| + |b|):
// a relative error of 2^-155 when a and b have the same sign, and an absolute
// one, relative to the operands, under cancellation.
inline TripleDouble add(TripleDouble a, TripleDouble b) {
    const DoubleDouble<double> h = two_sum(a.hi, b.hi);
    const DoubleDouble<double> m = two_sum(a.mid, b.mid);
    const DoubleDouble<double> hm = two_sum(h.lo, m.hi);
    const double low = hm.lo + (m.lo + (a.lo + b.lo));
    return renormalise(h.hi, hm.hi, low);
}

inline TripleDouble add(TripleDouble a, DoubleDouble<double> b) { return add(a, to_triple(b)); }
inline TripleDouble add(TripleDouble a, double b) { return add(a, to_triple(b)); }
inline TripleDouble sub(TripleDouble a, TripleDouble b) { return add(a, neg(b)); }

// a * b. The three products at the 1 and 2^-53 levels are exact (Dekker's
// product), and summed exactly at the 2^-53 level; the six terms at the
// 2^-106 level (the three products' errors and a.hi b.lo, a.mid b.mid,
// a.lo b.hi) and the two at 2^-159 (a.mid b.lo, a.lo b.mid) are added in
// double, a.lo b.lo (below 2^-212 |ab|) is dropped. With normalised
// operands the 2^-106-level terms sum to at most 6 * 2^-104 |ab| (allowing for
// the products' own roundings), so the eight roundings cost at most
// 8 u 6 2^-104 |ab| < 2^-151 |ab|; with the dropped term and the 2^-159 ones
// rounded, |error| <= 2^-150 |ab|.
inline TripleDouble mul(TripleDouble a, TripleDouble b) {
    const DoubleDouble<double> p00 = two_prod(a.hi, b.hi);
    const DoubleDouble<double> p01 = two_prod(a.hi, b.mid);
    const DoubleDouble<double> p10 = two_prod(a.mid, b.hi);
    const DoubleDouble<double> m1 = two_sum(p01.hi, p10.hi);
    const DoubleDouble<double> m2 = two_sum(m1.hi, p00.lo);
    const double level2 = (a.hi * b.lo + a.mid * b.mid) + a.lo * b.hi;
    const double level3 = a.mid * b.lo + a.lo * b.mid;
    const double low = ((m1.lo + m2.lo) + (p01.lo + p10.lo)) + (level2 + level3);
    return renormalise(p00.hi, m2.hi, low);
}

// a * b for a double-double or double b: the same products, fewer of them,
// and the same bound.
inline TripleDouble mul(TripleDouble a, DoubleDouble<double> b) {
    const DoubleDouble<double> p00 = two_prod(a.hi, b.hi);
    const DoubleDouble<double> p01 = two_prod(a.hi, b.lo);
    const DoubleDouble<double> p10 = two_prod(a.mid, b.hi);
    const DoubleDouble<double> m1 = two_sum(p01.hi, p10.hi);
    const DoubleDouble<double> m2 = two_sum(m1.hi, p00.lo);
    const double level2 = a.mid * b.lo + a.lo * b.hi;
    const double low = ((m1.lo + m2.lo) + (p01.lo + p10.lo)) + (level2 + a.lo * b.lo);
    return renormalise(p00.hi, m2.hi, low);
}

inline TripleDouble mul(TripleDouble a, double b) {
    const DoubleDouble<double> p0 = two_prod(a.hi, b);
    const DoubleDouble<double> p1 = two_prod(a.mid, b);
    const DoubleDouble<double> m = two_sum(p1.hi, p0.lo);
    const double low = (m.lo + p1.lo) + a.lo * b;
    return renormalise(p0.hi, m.hi, low);
}

// The double next to x (finite, nonzero) in the direction of the sign of
// `toward`, by stepping the representation: exact and libm-free.
inline double next_double_toward(double x, double toward) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    const bool away_from_zero = (x > 0) == (toward > 0);
    bits = away_from_zero ? bits + 1 : bits - 1;
    double y;
    std::memcpy(&y, &bits, sizeof y);
    return y;
}

// hi + mid + lo rounded to the nearest double, exactly as if the sum were
// rounded once. After renormalisation hi = fl(hi + mid), so hi is the
// correctly rounded sum unless hi + mid is exactly halfway between hi and its
// neighbour n in the direction of mid (mid == (n - hi) / 2, which is exact,
// the neighbours of a double being a power of two apart); then lo decides:
// lo of the sign of mid takes the sum past the midpoint, to n; lo of the
// other sign keeps it on hi's side; lo == 0 is a true tie, already resolved
// to even by the TwoSum that made hi. A second renormalisation makes sure
// that mid + lo, not only mid, is within half an ulp of hi.
inline double to_double(TripleDouble x) {
    const TripleDouble once = renormalise(x.hi, x.mid, x.lo);
    const TripleDouble n = renormalise(once.hi, once.mid, once.lo);
    if (n.mid == 0.0 || n.lo == 0.0) return n.hi;
    const double neighbour = next_double_toward(n.hi, n.mid);
    if (n.mid == 0.5 * (neighbour - n.hi) && (n.lo > 0) == (n.mid > 0)) return neighbour;
    return n.hi;
}

}  // namespace quorbel::elementary::detail
