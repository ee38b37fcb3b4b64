// A slow, independent search of the arm's workspace edge, for checking
// nearest_reachable: the C++ tests and the benchmark's validation program
// both measure it against this.
#pragma once

#include <cmath>
#include <optional>

#include <quorbel/arm/inverse_kinematics.hpp>

namespace quorbel::search {

inline const double PI = std::acos(-1.0);

inline double angle_between(Vec3 a, Vec3 b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

// Whether forward kinematics reaches d itself: some inverse-kinematics
// candidate's apex within 1e-9 of it (ik_from_direction's own test accepts
// 1e-6, which admits directions up to 5e-7 rad beyond the closing limit),
// with joints within the limits, if any.
inline bool in_workspace(const Arm& arm, Vec3 d, const std::optional<JointLimits>& limits = {}) {
    for (const IkCandidate& c : direction_candidates(arm, d)) {
        if (limits && !joints_under({c.theta_a, c.theta_b}, IkOptions{{}, limits}).has_value()) {
            continue;
        }
        if (norm(c.fk_solution.v_3 - d) < 1e-9) {
            return true;
        }
    }
    return false;
}

// The point at arc r from p along the unit tangent t.
inline Vec3 along(Vec3 p, Vec3 t, double r) { return std::cos(r) * p + std::sin(r) * t; }

// The last direction in the workspace on the great circle from p (in it)
// along the tangent t: marched in steps of 0.02 rad up to pi/2, then bisected
// to 1e-12 rad.
inline Vec3 last_inside(const Arm& arm, Vec3 p, Vec3 t,
                        const std::optional<JointLimits>& limits = {}) {
    double inside = 0.0;
    double outside = -1.0;
    for (double r = 0.02; r <= PI / 2; r += 0.02) {
        if (!in_workspace(arm, along(p, t, r), limits)) {
            outside = r;
            break;
        }
        inside = r;
    }
    if (outside < 0.0) {
        return along(p, t, inside);
    }
    while (outside - inside > 1e-12) {
        const double mid = 0.5 * (inside + outside);
        (in_workspace(arm, along(p, t, mid), limits) ? inside : outside) = mid;
    }
    return along(p, t, inside);
}

// From a direction p in the workspace, the last workspace direction nearest
// to u along a fan of great circles: 121 over the whole turn, then 41 at a
// time about the best, the fan narrowing to three of its spacings each round
// until the spacing is below `final_spacing` rad.
inline Vec3 fan_refine(const Arm& arm, Vec3 u, Vec3 p, double final_spacing,
                       const std::optional<JointLimits>& limits = {}) {
    const Vec3 e1 = normalise(u - dot(u, p) * p);
    const Vec3 e2 = cross(p, e1);
    double centre = 0.0;
    double half_width = PI;
    int rays = 121;
    Vec3 best = p;
    double best_angle = search::angle_between(u, p);
    for (;;) {
        const double spacing = 2 * half_width / (rays - 1);
        double best_psi = centre;
        for (int k = 0; k < rays; ++k) {
            const double psi = centre - half_width + k * spacing;
            const Vec3 d = last_inside(arm, p, std::cos(psi) * e1 + std::sin(psi) * e2, limits);
            const double angle = search::angle_between(u, d);
            if (angle < best_angle) {
                best_angle = angle;
                best = d;
                best_psi = psi;
            }
        }
        if (spacing < final_spacing) {
            return best;
        }
        centre = best_psi;
        half_width = 3 * spacing;
        rays = 41;
    }
}

// The closing limit is where the tips lie exactly 2 coupler_arc apart:
//   v_2.v_4 = sa ca cos tA + sa (ca cos tB - sa sin tA sin tB) = cos 2g
// (sa, ca: sine and cosine of arm_arc; the mirror sign squares away). For a
// given tA that is R cos(tB + phi) = K with R cos phi = ca, R sin phi =
// sa sin tA and K = (cos 2g - sa ca cos tA) / sa; the same holds with the
// joints exchanged. A point of the limit is a parameter (one joint) and a
// root (the sign of the arc-cosine giving the other).
struct LimitTrace {
    bool by_b;    // the parameter is theta_b (else theta_a)
    double root;  // +1 or -1
};

inline std::optional<JointPair> limit_joints(const Arm& arm, LimitTrace trace, double theta) {
    const double sa = arm.sin_arm();
    const double ca = arm.cos_arm();
    const double cos_double = std::cos(2 * arm.geometry().coupler_arc);
    const double k = (cos_double - sa * ca * std::cos(theta)) / sa;
    const double r = std::hypot(ca, sa * std::sin(theta));
    if (!(std::fabs(k) <= r)) {
        return std::nullopt;
    }
    const double other = -std::atan2(sa * std::sin(theta), ca) + trace.root * std::acos(k / r);
    return trace.by_b ? JointPair{other, theta} : JointPair{theta, other};
}

// The apex on the limit: the tips' midpoint, on both branches at once (its
// antipode for a coupler longer than a quarter turn).
inline std::optional<Vec3> limit_direction(const Arm& arm, LimitTrace trace, double theta) {
    const std::optional<JointPair> joints = limit_joints(arm, trace, theta);
    if (!joints) {
        return std::nullopt;
    }
    const Vec3 mid = normalise(arm_tip_a(arm, joints->theta_a) + arm_tip_b(arm, joints->theta_b));
    return arm.cos_coupler() < 0.0 ? -1.0 * mid : mid;
}

}  // namespace quorbel::search
