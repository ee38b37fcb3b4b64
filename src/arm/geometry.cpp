// The arm value and the placement of the two input-arm tips.
#include <quorbel/arm/geometry.hpp>

#include <quorbel/maths/elementary.hpp>

#include "arm/arm_tips.hpp"
#include "batch/lane_choice.hpp"
#include "maths/elementary/fma_dispatch.hpp"
#include "maths/lanes/lane_pairs.hpp"

namespace quorbel {

namespace {

struct ArcTrig {
    elementary::SinCos arm;
    double cos_coupler;
};

// sin and cos of the arm's arc from one reduction (sincos gives the same bits
// as sin and cos), and cos of the coupler's; paired, the coupler's sin comes
// along unused.
template <bool paired>
ArcTrig arc_trig(const SphericalLinkGeometry& geometry) noexcept {
    if constexpr (paired) {
        const elementary::detail::SinCosPair t =
            elementary::detail::sincos_pair<true>(geometry.arm_arc, geometry.coupler_arc);
        return {t.first, t.second.cos};
    } else {
        return {elementary::sincos(geometry.arm_arc), elementary::cos(geometry.coupler_arc)};
    }
}

QTK_FMA_ENTRY ArcTrig arc_trig_fused(const SphericalLinkGeometry& geometry) noexcept {
    return arc_trig<false>(geometry);
}
QTK_FMA_ENTRY ArcTrig arc_trig_paired(const SphericalLinkGeometry& geometry) noexcept {
    return arc_trig<true>(geometry);
}

}  // namespace

Arm::Arm(const SphericalLinkGeometry& geometry) noexcept
    : geometry_(geometry), sin_arm_(0.0), cos_arm_(0.0), cos_coupler_(0.0) {
    const ArcTrig t = batch::detail::pose_variant_of(arc_trig_paired, arc_trig_fused,
                                                     arc_trig<false>)(geometry);
    sin_arm_ = t.arm.sin;
    cos_arm_ = t.arm.cos;
    cos_coupler_ = t.cos_coupler;
}

Vec3 arm_tip_a(const Arm& arm, double theta_a) noexcept {
    return detail::tip_a_from(arm, elementary::sincos(theta_a));
}

Vec3 arm_tip_b(const Arm& arm, double theta_b) noexcept {
    return detail::tip_b_from(arm, elementary::sincos(theta_b));
}

}  // namespace quorbel
