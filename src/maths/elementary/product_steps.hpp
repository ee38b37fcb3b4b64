// Two steps of the fast paths whose cost depends on how exact products are
// formed (double_double.hpp's Products: DekkerProducts or FusedProducts).
//
// minus_product(c, a, b) = c - a b rounded once, where c - fl(a b) is exact
// (c within a factor 2 of a b, Sterbenz's lemma) and a b does not underflow
// (|a b| above 2^-969): Dekker's two_prod gives a b = p + e exactly, c - p
// is exact, and (c - p) - e is c - a b rounded once; a fused multiply-add
// rounds the same exact value once. The two are the same double.
//
// multiply_add(a, b, c) = a b + c: the product rounded and then the sum
// with Dekker's products (the fast paths' plain double arithmetic), one
// rounding with a fused multiply-add. The fused value is the unfused
// expression with the product's rounding error set to zero; an error bound
// that holds for every rounding error up to u in each operation holds for
// it too, so a bound proven for the unfused steps covers both. (The two may
// differ in the last bit, so their candidates may too, but a candidate is
// returned only when proven correctly rounded, which makes it unique.)
#pragma once

#include <type_traits>

#include "maths/elementary/double_double.hpp"
#include "maths/elementary/fma_dispatch.hpp"

namespace quorbel::elementary::detail {

template <class Products, class Real>
inline Real minus_product(Real c, Real a, Real b) {
#if QTK_FMA_VARIANTS
    if constexpr (std::is_same_v<Products, FusedProducts>) {
        return fused_multiply_add(-a, b, c);
    }
#endif
    const DoubleDouble<Real> p = two_prod<Products>(a, b);
    return (c - p.hi) - p.lo;
}

template <class Products, class Real>
inline Real multiply_add(Real a, Real b, Real c) {
#if QTK_FMA_VARIANTS
    if constexpr (std::is_same_v<Products, FusedProducts>) {
        return fused_multiply_add(a, b, c);
    }
#endif
    return a * b + c;
}

}  // namespace quorbel::elementary::detail
