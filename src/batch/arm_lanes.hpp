// The arm's forward kinematics on lanes: the tips, the loop closure and the
// frame around the apex, each operation the scalar one's
// (src/arm/geometry.cpp, close_loop.cpp, forward_kinematics.cpp) on every
// lane. The branches of the scalar code become masks: `closed` where the
// loop closes, `common` where the frame is also built from the tips'
// bisector. A lane outside `common` is left to the scalar function by the
// caller (batch_kinematics.cpp), which gives the per-call result there.
#pragma once

#include <quorbel/arm/close_loop.hpp>
#include <quorbel/arm/geometry.hpp>

#include "arm/end_effector_frame.hpp"
#include "batch/lane_vec3.hpp"
#include "maths/lanes/lane_elementary.hpp"

#if QTK_LANES


namespace quorbel::batch::detail {

using elementary::detail::select;

// The arm as the lanes read it, copied into a local value at the start of a
// batch: read through the caller's Arm, its constants would be loaded, and
// the products of them formed, again after every result stored, since a
// store through a double* might have changed them.
class LaneArm {
public:
    explicit LaneArm(const Arm& arm)
        : geometry_(arm.geometry()),
          sin_arm_(arm.sin_arm()),
          cos_arm_(arm.cos_arm()),
          cos_coupler_(arm.cos_coupler()) {}
    const SphericalLinkGeometry& geometry() const { return geometry_; }
    double sin_arm() const { return sin_arm_; }
    double cos_arm() const { return cos_arm_; }
    double cos_coupler() const { return cos_coupler_; }

private:
    SphericalLinkGeometry geometry_;
    double sin_arm_;
    double cos_arm_;
    double cos_coupler_;
};

template <class V>
struct TipLanes {
    Vec3Lanes<V> a;
    Vec3Lanes<V> b;
};

// The tips from their joint angles' sines and cosines (the two computed
// together, sincos_lanes).
template <class V>
QTK_FORCE_INLINE Vec3Lanes<V> tip_a_lanes(const LaneArm& arm,
                                          const elementary::detail::SinCosLanes<V>& t) {
    const double radius = mirror_sign(arm.geometry()) * arm.sin_arm();
    return {radius * t.cos, radius * t.sin, V{} + arm.cos_arm()};
}

template <class V>
QTK_FORCE_INLINE Vec3Lanes<V> tip_b_lanes(const LaneArm& arm,
                                          const elementary::detail::SinCosLanes<V>& t) {
    const double m = mirror_sign(arm.geometry());
    return {V{} + m * arm.cos_arm(), (-m * arm.sin_arm()) * t.sin, arm.sin_arm() * t.cos};
}

template <class V>
QTK_FORCE_INLINE TipLanes<V> arm_tips(const LaneArm& arm, V theta_a, V theta_b) {
    elementary::detail::SinCosLanes<V> t[2];
    elementary::detail::sincos_lanes<2>({theta_a, theta_b}, t);
    return {tip_a_lanes(arm, t[0]), tip_b_lanes(arm, t[1])};
}

template <class V>
struct ApexLanes {
    Vec3Lanes<V> apex;
    IndexLanes<V> closed;
};

// close_loop_on_small_circle: `closed` where it returns a point.
template <class V>
QTK_FORCE_INLINE ApexLanes<V> small_circle_lanes(const Vec3Lanes<V>& a, double cos_alpha,
                                                 double sin_squared_alpha,
                                                 const Vec3Lanes<V>& b, double cos_beta,
                                                 double side, double slack) {
    V c = dot(a, b);
    c = select(c < -1.0, V{} - 1.0, c);
    c = select(c > 1.0, V{} + 1.0, c);
    const V sigma = elementary::detail::sqrt_lanes(1.0 - c * c);
    const IndexLanes<V> sine_kept = sigma >= VANISHING_SINE;
    const V r = (cos_beta - c * cos_alpha) / sigma;
    V t = sin_squared_alpha - r * r;
    const IndexLanes<V> circle_met = t >= -slack;
    t = select(t < 0.0, V{}, t);
    const Vec3Lanes<V> n = divided(cross(a, b), sigma);
    const Vec3Lanes<V> e = cross(n, a);
    const Vec3Lanes<V> apex =
        scaled(cos_alpha, a) + scaled(r, e) + scaled(side * elementary::detail::sqrt_lanes(t), n);
    return {apex, sine_kept & circle_met};
}

// close_loop_from_cosines with cos_alpha = cos_beta = cos_coupler.
template <class V>
QTK_FORCE_INLINE ApexLanes<V> close_loop_lanes(const Vec3Lanes<V>& a, const Vec3Lanes<V>& b,
                                               double cos_coupler, double side) {
    return small_circle_lanes(a, cos_coupler, 1.0 - cos_coupler * cos_coupler, b, cos_coupler,
                              side, 0.0);
}

template <class V>
QTK_FORCE_INLINE ApexLanes<V> apex_lanes(const LaneArm& arm, V theta_a, V theta_b) {
    const TipLanes<V> tips = arm_tips(arm, theta_a, theta_b);
    return close_loop_lanes(tips.a, tips.b, arm.cos_coupler(), branch_sign(arm.geometry()));
}

template <class V>
struct FrameLanes {
    Mat3Lanes<V> rotation;
    IndexLanes<V> closed;
    IndexLanes<V> common;
};

// frame_from_tips: `closed` where the loop closes, `common` where the frame
// is also built from the tips' bisector (the only branch taken here).
template <class V>
QTK_FORCE_INLINE FrameLanes<V> frame_from_tip_lanes(const Vec3Lanes<V>& tip_a,
                                                    const Vec3Lanes<V>& tip_b,
                                                    double cos_coupler, double side) {
    const ApexLanes<V> closed = close_loop_lanes(tip_a, tip_b, cos_coupler, side);
    const Vec3Lanes<V>& z = closed.apex;
    const Vec3Lanes<V> w = normalise(tip_a + tip_b);
    const Vec3Lanes<V> p = w - scaled(dot(w, z), z);
    const V rho = norm(p);
    const Vec3Lanes<V> x = divided(p, rho);
    const Vec3Lanes<V> y = cross(z, x);
    FrameLanes<V> out;
    out.rotation = {{{x.x, y.x, z.x}, {x.y, y.y, z.y}, {x.z, y.z, z.z}}};
    out.closed = closed.closed;
    out.common = closed.closed & (rho > ::quorbel::detail::VANISHING_LENGTH);
    return out;
}

template <class V>
QTK_FORCE_INLINE FrameLanes<V> fk_lanes(const LaneArm& arm, V theta_a, V theta_b) {
    const TipLanes<V> tips = arm_tips(arm, theta_a, theta_b);
    return frame_from_tip_lanes(tips.a, tips.b, arm.cos_coupler(), branch_sign(arm.geometry()));
}

}  // namespace quorbel::batch::detail


#endif  // QTK_LANES
