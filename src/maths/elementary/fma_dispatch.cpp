// The once-per-process decision of fma_dispatch.hpp.
#include "maths/elementary/fma_dispatch.hpp"

namespace quorbel::elementary::detail {

std::atomic<int> fma_state{FMA_UNDECIDED};

QTK_NOT_INLINED int decide_fma() noexcept {
    bool available = QTK_FMA_VARIANTS != 0;
#if QTK_FMA_RUNTIME_CHECK
    __builtin_cpu_init();  // in case the first call comes from a static initialiser
    available = __builtin_cpu_supports("fma") != 0;
#endif
    const int state = available ? FMA_USED : FMA_NOT_USED;
    fma_state.store(state, std::memory_order_relaxed);
    return state;
}

void force_dekker_products() noexcept {
    fma_state.store(FMA_NOT_USED, std::memory_order_relaxed);
}

}  // namespace quorbel::elementary::detail
