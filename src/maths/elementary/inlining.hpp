// QTK_FORCE_INLINE puts a fast path's helpers into their caller whatever
// the compiler's size heuristics say: they are called from several places
// (asin, acos, atan2 and their slow paths), and a call in the middle of a
// fast path costs argument shuffling and saved registers on its dependency
// chain. (Inside a QTK_FMA_ENTRY function, fma_dispatch.hpp, flatten does
// the same; this is for the Dekker variant.)
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QTK_FORCE_INLINE inline __attribute__((always_inline))
#elif defined(_MSC_VER)
#define QTK_FORCE_INLINE __forceinline
#else
#define QTK_FORCE_INLINE inline
#endif
