// Inlining of the elementary functions: QTK_FORCE_INLINE puts a fast path's
// helpers into their caller whatever the compiler's size heuristics say
// (they are called from several places, asin, acos, atan2 and their slow
// paths, and a call in the middle of a fast path costs argument shuffling
// and saved registers on its dependency chain); QTK_NOINLINE keeps a slow
// path out of its entry point, whose fast path then needs no stack frame.
#pragma once

#if defined(__GNUC__) || defined(__clang__)
#define QTK_FORCE_INLINE inline __attribute__((always_inline))
#define QTK_NOINLINE __attribute__((noinline))
#elif defined(_MSC_VER)
#define QTK_FORCE_INLINE __forceinline
#define QTK_NOINLINE __declspec(noinline)
#else
#define QTK_FORCE_INLINE inline
#define QTK_NOINLINE
#endif
