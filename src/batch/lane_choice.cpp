// The once-per-process choice of lane_choice.hpp.
#include "batch/lane_choice.hpp"

#include <atomic>

#include "maths/lanes/lane_vectors.hpp"

namespace quorbel::batch {

std::atomic<int> detail::lanes_state{detail::LANES_UNDECIDED};

namespace {

// The widest lanes this build and CPU run. On x86-64 ELF the CPU is asked
// (four lanes need AVX2 for the arithmetic and FMA for the fused fast
// paths); SSE2 and NEON are in their architectures' baselines.
Lanes widest_lanes() noexcept {
#if QTK_LANES4
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma")) return Lanes::avx2;
    return Lanes::sse2;
#elif QTK_LANES && defined(__x86_64__)
    return Lanes::sse2;
#elif QTK_LANES && defined(__aarch64__)
    return Lanes::neon;
#else
    return Lanes::scalar;
#endif
}

}  // namespace

bool lanes_available(Lanes lanes) noexcept {
    const Lanes widest = widest_lanes();
    switch (lanes) {
        case Lanes::scalar:
            return true;
        case Lanes::sse2:
            return widest == Lanes::sse2 || widest == Lanes::avx2;
        case Lanes::avx2:
            return widest == Lanes::avx2;
        case Lanes::neon:
            return widest == Lanes::neon;
    }
    return false;
}

Lanes current_lanes() noexcept { return detail::chosen_lanes(); }

bool use_lanes(Lanes lanes) noexcept {
    if (!lanes_available(lanes)) return false;
    detail::lanes_state.store(static_cast<int>(lanes), std::memory_order_relaxed);
    return true;
}

namespace detail {

Lanes chosen_lanes() noexcept {
    int state = lanes_state.load(std::memory_order_relaxed);
    if (state == LANES_UNDECIDED) {
        state = static_cast<int>(widest_lanes());
        lanes_state.store(state, std::memory_order_relaxed);
    }
    return static_cast<Lanes>(state);
}

}  // namespace detail

}  // namespace quorbel::batch
