// The choice, once per process, between the two ways the elementary
// functions' fast paths form exact products: Dekker's (portable, 17
// operations) or a hardware fused multiply-add (2 operations).
//
// Why the choice cannot change a result. A fast path returns its candidate
// only when its rounding test proves it is the correctly rounded value, which
// is unique; otherwise the accurate path (no FMA) answers. Both ways of
// forming a product are exact (p + e == a b) wherever a fast path uses them,
// and with the same error bound in its rounding test each variant returns
// either the one correctly rounded double or nothing. So a machine with FMA
// and one without give the same bits; only the time differs.
//
// How the FMA is reached. The library is built with -ffp-contract=off and
// for the baseline instruction set, so no fused operation appears unless
// written: FusedProducts (double_double.hpp) calls __builtin_fma, and a
// fast path instantiated with it is compiled inside a QTK_FMA_ENTRY
// function (x86-64: target("fma"), so the builtin becomes one vfmadd;
// flatten, so that everything called from it, the builtin included, is
// inlined into that FMA-enabled body rather than left as a call to libm's
// fma). QTK_FMA_ENTRY functions may only be called when use_fma() is true.
//   - x86-64 with GCC or Clang on ELF: decided by the CPU at the first call
//     (__builtin_cpu_supports("fma")).
//   - aarch64: FMA is in the baseline; always used.
//   - anything else (MinGW and other Windows targets, whose fma and CPU
//     detection are not to be relied on; 32-bit x86; MSVC; or a build with
//     QTK_ELEMENTARY_NO_FMA defined): Dekker only, and the FMA variants are
//     not compiled.
// The kinematics' hot entry points (forward_kinematics, pointing_direction,
// ik, ik_from_direction, the neck's fk and ik) have QTK_FMA_ENTRY twins too,
// so that the fused fast paths inline into them instead of being called:
// the calls, their saved registers and the results' round trip through
// memory were most of what the correctly rounded functions added to them.
// The kinematics' own operations are not contracted in either body
// (-ffp-contract=off), so both give the same doubles
// (tests/cpp/test_fma_kinematics.cpp compares them).
// force_dekker_products() makes every later call take Dekker's products on
// an FMA machine: the tests run both variants on one machine that way. The
// library reads no environment and no configuration.
#pragma once

#include <atomic>

namespace quorbel::elementary::detail {

#if !defined(QTK_ELEMENTARY_NO_FMA) && (defined(__GNUC__) || defined(__clang__)) && \
    defined(__x86_64__) && !defined(_WIN32)
#define QTK_FMA_VARIANTS 1
#define QTK_FMA_RUNTIME_CHECK 1
#define QTK_FMA_ENTRY __attribute__((target("fma"), flatten))
#elif !defined(QTK_ELEMENTARY_NO_FMA) && (defined(__GNUC__) || defined(__clang__)) && \
    defined(__aarch64__)
#define QTK_FMA_VARIANTS 1
#define QTK_FMA_RUNTIME_CHECK 0
#define QTK_FMA_ENTRY __attribute__((flatten))
#else
#define QTK_FMA_VARIANTS 0
#define QTK_FMA_RUNTIME_CHECK 0
#define QTK_FMA_ENTRY
#endif

// Keeps a cold function (an accurate path) out of a QTK_FMA_ENTRY body.
#if defined(__GNUC__) || defined(__clang__)
#define QTK_NOT_INLINED __attribute__((noinline))
#else
#define QTK_NOT_INLINED
#endif

#if QTK_FMA_VARIANTS
// a b + c rounded once. Only inside a QTK_FMA_ENTRY function (elsewhere it
// may become a call to libm's fma).
inline double fused_multiply_add(double a, double b, double c) { return __builtin_fma(a, b, c); }
#endif

// FMA_UNDECIDED before the first decision, then FMA_NOT_USED or FMA_USED,
// written by whichever thread decides first (two first calls at once both
// write the same value). Relaxed atomic: a plain load on x86-64 and aarch64.
enum : int { FMA_UNDECIDED = 0, FMA_NOT_USED = 1, FMA_USED = 2 };
extern std::atomic<int> fma_state;

// Decides (by the CPU), records and returns the state.
int decide_fma() noexcept;

// For tests: Dekker's products from now on, whatever the CPU has.
void force_dekker_products() noexcept;

// Whether the QTK_FMA_ENTRY variants are to be called: after the first call,
// one load and a predicted branch.
inline bool use_fma() noexcept {
#if QTK_FMA_VARIANTS
    int state = fma_state.load(std::memory_order_relaxed);
    if (state == FMA_UNDECIDED) state = decide_fma();
    return state == FMA_USED;
#else
    return false;
#endif
}

}  // namespace quorbel::elementary::detail

// The SIMD lane types and their overloads of the fast paths' vocabulary,
// declared here, before any fast path is defined (lane_vectors.hpp says why).
#include "maths/lanes/lane_vectors.hpp"
