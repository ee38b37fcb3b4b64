// The two input-arm tips of one pose, from the sines and cosines of the
// joint angles: arm_tip_a and arm_tip_b (geometry.cpp) one at a time, or both
// with the two sincos paired in lanes (maths/lanes/lane_pairs.hpp).
#pragma once

#include <quorbel/arm/geometry.hpp>
#include <quorbel/maths/elementary.hpp>
#include <quorbel/maths/vector.hpp>

#include "maths/lanes/lane_pairs.hpp"

namespace quorbel::detail {

// v_2 = (m sin a cos tA, m sin a sin tA, cos a).
inline Vec3 tip_a_from(const Arm& arm, elementary::SinCos t) noexcept {
    const double radius = mirror_sign(arm.geometry()) * arm.sin_arm();
    return {radius * t.cos, radius * t.sin, arm.cos_arm()};
}

// v_4 = (m cos a, -m sin a sin tB, sin a cos tB).
inline Vec3 tip_b_from(const Arm& arm, elementary::SinCos t) noexcept {
    const double m = mirror_sign(arm.geometry());
    return {m * arm.cos_arm(), (-m * arm.sin_arm()) * t.sin, arm.sin_arm() * t.cos};
}

struct ArmTips {
    Vec3 a;
    Vec3 b;
};

// paired: only in a QTK_FMA_ENTRY body (lane_pairs.hpp).
template <bool paired>
inline ArmTips arm_tips(const Arm& arm, double theta_a, double theta_b) noexcept {
    const elementary::detail::SinCosPair t =
        elementary::detail::sincos_pair<paired>(theta_a, theta_b);
    return {tip_a_from(arm, t.first), tip_b_from(arm, t.second)};
}

}  // namespace quorbel::detail
