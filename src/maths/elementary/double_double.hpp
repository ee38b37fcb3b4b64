// Error-free transformations and double-double arithmetic, the working
// precision of the elementary functions' fast paths.
//
// A double-double is an unevaluated sum hi + lo with |lo| <= ulp(hi) / 2, about
// 106 bits. Everything is written over a number type Real with + - *, so that
// the same code runs on one double and on the lanes of a SIMD register. The
// library is built with -ffp-contract=off; a fused multiply-add appears only
// where written, in FusedProducts, which a fast path uses only when the CPU
// has one (fma_dispatch.hpp). The products that need it take the way exact
// products are formed as a template parameter, Dekker's by default; both ways
// give the same exact product, so every bound below holds for either.
//
// With u = 2^-53 the unit roundoff, the bounds below are those of Joldes,
// Muller and Popescu, "Tight and rigorous error bounds for basic building
// blocks of double-word arithmetic" (ACM TOMS 44(2), 2017), valid without
// underflow or overflow.
#pragma once

#include "maths/elementary/fma_dispatch.hpp"

namespace quorbel::elementary::detail {

template <class Real>
struct DoubleDouble {
    Real hi;
    Real lo;
};

// Knuth's TwoSum: s + e == a + b exactly, whatever the magnitudes.
template <class Real>
inline DoubleDouble<Real> two_sum(Real a, Real b) {
    const Real s = a + b;
    const Real b_virtual = s - a;
    const Real a_virtual = s - b_virtual;
    return {s, (a - a_virtual) + (b - b_virtual)};
}

// Dekker's FastTwoSum: exact when a == 0 or the exponent of a is at least
// that of b (in particular when |a| >= |b|).
template <class Real>
inline DoubleDouble<Real> fast_two_sum(Real a, Real b) {
    const Real s = a + b;
    return {s, b - (s - a)};
}

// Veltkamp's split of a into hi + lo, each of at most 26 significant bits
// (hi 26, lo 26 with its sign), exact for |a| < 2^996.
template <class Real>
inline DoubleDouble<Real> split(Real a) {
    const Real c = 134217729.0 * a;  // 2^27 + 1
    const Real hi = c - (c - a);
    return {hi, a - hi};
}

// Dekker's product: p + e == a * b exactly, unless a product underflows
// (|a b| above 2^-969 is enough) or an operand is beyond 2^996.
struct DekkerProducts {
    template <class Real>
    static DoubleDouble<Real> two_prod(Real a, Real b) {
        const Real p = a * b;
        const DoubleDouble<Real> as = split(a);
        const DoubleDouble<Real> bs = split(b);
        const Real e = ((as.hi * bs.hi - p) + as.hi * bs.lo + as.lo * bs.hi) + as.lo * bs.lo;
        return {p, e};
    }
};

#if QTK_FMA_VARIANTS
// The same product with a fused multiply-add: a b - p is a double when
// a b does not underflow (|a b| above 2^-969 is enough) and the FMA computes
// it exactly, so p + e == a * b with the same p and the same e as Dekker's.
// Only inside a QTK_FMA_ENTRY function.
struct FusedProducts {
    template <class Real>
    static DoubleDouble<Real> two_prod(Real a, Real b) {
        const Real p = a * b;
        return {p, fused_multiply_add(a, b, -p)};
    }
};
#endif

// p + e == a * b exactly, formed the way Products forms it.
template <class Products = DekkerProducts, class Real>
inline DoubleDouble<Real> two_prod(Real a, Real b) {
    return Products::template two_prod<Real>(a, b);
}

// x + y, double-double plus double (DWPlusFP): relative error at most 2u^2.
template <class Real>
inline DoubleDouble<Real> add(DoubleDouble<Real> x, Real y) {
    const DoubleDouble<Real> s = two_sum(x.hi, y);
    return fast_two_sum(s.hi, s.lo + x.lo);
}

// x + y, both double-double (AccurateDWPlusDW): relative error at most
// 3u^2 / (1 - 4u).
template <class Real>
inline DoubleDouble<Real> add(DoubleDouble<Real> x, DoubleDouble<Real> y) {
    const DoubleDouble<Real> s = two_sum(x.hi, y.hi);
    const DoubleDouble<Real> t = two_sum(x.lo, y.lo);
    const DoubleDouble<Real> v = fast_two_sum(s.hi, s.lo + t.hi);
    return fast_two_sum(v.hi, t.lo + v.lo);
}

// x * y, double-double times double (DWTimesFP1): relative
// error at most 3u^2 / 2 + 4u^3.
template <class Products = DekkerProducts, class Real>
inline DoubleDouble<Real> mul(DoubleDouble<Real> x, Real y) {
    const DoubleDouble<Real> p = two_prod<Products>(x.hi, y);
    return fast_two_sum(p.hi, p.lo + x.lo * y);
}

// x * y, both double-double (DWTimesDW1): relative error at most 7u^2.
template <class Products = DekkerProducts, class Real>
inline DoubleDouble<Real> mul(DoubleDouble<Real> x, DoubleDouble<Real> y) {
    const DoubleDouble<Real> p = two_prod<Products>(x.hi, y.hi);
    const Real cross = x.hi * y.lo + x.lo * y.hi;
    return fast_two_sum(p.hi, p.lo + cross);
}

}  // namespace quorbel::elementary::detail
