// The lanes the batch functions use (quorbel/batch.hpp), decided once per
// process by the CPU and changed only by use_lanes(). The per-pose functions
// that run two elementary functions of one pose in the two lanes of one
// register (maths/lanes/lane_pairs.hpp) ask it too: with scalar lanes chosen
// they stay scalar, the core as it was before any lanes.
#pragma once

#include <atomic>

#include <quorbel/batch.hpp>

#include "maths/elementary/fma_dispatch.hpp"
#include "maths/lanes/lane_pairs.hpp"

namespace quorbel::batch::detail {

// LANES_UNDECIDED until the first chosen_lanes() or use_lanes(), then a Lanes.
inline constexpr int LANES_UNDECIDED = -1;
extern std::atomic<int> lanes_state;

Lanes chosen_lanes() noexcept;

// Whether scalar lanes were chosen: one relaxed load. Undecided is not
// scalar, as the widest lanes of a build with lanes never are.
inline bool scalar_lanes_chosen() noexcept {
    return lanes_state.load(std::memory_order_relaxed) == static_cast<int>(Lanes::scalar);
}

// How a per-pose function with elementary functions to pair computes: its
// body compiled for the baseline (no FMA on this CPU), that body compiled
// with FMA (fma_dispatch.hpp), or the FMA body with its elementary functions
// paired in lanes (lane_pairs.hpp). The same doubles whichever it is.
enum class PoseVariant { baseline, fused, paired };

inline PoseVariant pose_variant() noexcept {
    if (!elementary::detail::use_fma()) return PoseVariant::baseline;
    if (QTK_PAIRED_LANES == 0 || scalar_lanes_chosen()) return PoseVariant::fused;
    return PoseVariant::paired;
}

// Of three variants of one per-pose function, the one to call.
template <class Function>
inline Function pose_variant_of(Function paired, Function fused, Function baseline) noexcept {
    switch (pose_variant()) {
        case PoseVariant::paired:
            return paired;
        case PoseVariant::fused:
            return fused;
        case PoseVariant::baseline:
            break;
    }
    return baseline;
}

}  // namespace quorbel::batch::detail
