// Velocity kinematics of one arm, in closed form from the loop closure (the
// derivation is in the header).
#include "arm/velocity_kinematics.hpp"

#include <cmath>

#include "arm/arc_trig.hpp"
#include "arm/close_loop.hpp"

namespace quorbel {
namespace {

const Vec3 AXIS_A = {0.0, 0.0, 1.0};

// The rates of the loop's moving vertices per unit rate of each joint.
struct LoopRates {
    Vec3 tip_a;   // d v_2 / d theta_a = v_1 x v_2
    Vec3 tip_b;   // d v_4 / d theta_b = v_5 x v_4
    Vec3 apex_a;  // d v_3 / d theta_a
    Vec3 apex_b;  // d v_3 / d theta_b
};

// dv_3 = [a_A (v_3 x v_4) d theta_a + a_B (v_2 x v_3) d theta_b] / D.
//
// Refused at the closing limit, recognised as forward_kinematics recognises
// it: the tips' unit bisector w, made perpendicular to v_3, no longer than
// VANISHING_LENGTH. Since v_3 = alpha w + beta (v_2 x v_4) / |v_2 x v_4| with
// beta = +-sqrt(t) (t the closing margin of close_loop), that length is
// |beta|; it falls that low only where t evaluates to exactly zero, and
// there D = beta |v_2 x v_4| is rounding noise. Elsewhere |beta| is at least
// the square root of the smallest positive t, about 4e-9, and D is far from
// zero. A NaN passes the test and gives NaN rates.
std::optional<LoopRates> loop_rates(double m, Vec3 v_2, Vec3 v_3, Vec3 v_4) noexcept {
    const Vec3 w = normalise(v_2 + v_4);
    if (norm(w - dot(w, v_3) * v_3) <= VANISHING_LENGTH) {
        return std::nullopt;
    }
    const Vec3 axis_b = {m, 0.0, 0.0};
    const Vec3 tip_a = cross(AXIS_A, v_2);
    const Vec3 tip_b = cross(axis_b, v_4);
    const double d = dot(v_3, cross(v_2, v_4));
    const double a_a = dot(v_3, tip_a);
    const double a_b = dot(v_3, tip_b);
    return LoopRates{tip_a, tip_b, (a_a / d) * cross(v_3, v_4), (a_b / d) * cross(v_2, v_3)};
}

struct Tips {
    Vec3 v_2;
    Vec3 v_4;
};

Tips place_tips(const PreparedGeometry& arm, double m, double theta_a, double theta_b) noexcept {
    return {detail::place_tip_a(arm.sin_arm(), arm.cos_arm(), m, theta_a),
            detail::place_tip_b(arm.sin_arm(), arm.cos_arm(), m, theta_b)};
}

// The frame's angular velocity for one joint, given that joint's rates of the
// tips' sum u = v_2 + v_4 (du) and of the apex z = v_3 (dz).
//
// With R = [x y z], omega = (dy.z) x + (dz.x) y + (dx.y) z, and dy.z = -dz.y.
// The frame's x is p / |p| with p = w - (w.z) z and w = u / |u|; y is normal
// to x, so dx.y = dp.y / |p|, and with y.z = 0 and y.w = 0 (w lies in the
// x-z plane)
//   dp.y = dw.y - (w.z) (dz.y) = (du.y) / |u| - (w.z) (dz.y).
// loop_rates has refused the poses where forward_kinematics falls back to a
// reference axis, so x here always comes from the bisector.
Vec3 frame_rate(const FkSolution& fk, Vec3 du, Vec3 dz) noexcept {
    const Vec3 x = column(fk.rotation, 0);
    const Vec3 y = column(fk.rotation, 1);
    const Vec3 z = fk.v_3;
    const Vec3 u = fk.v_2 + fk.v_4;
    const double u_length = norm(u);
    const Vec3 w = u / u_length;
    const double p_length = norm(w - dot(w, z) * z);
    const double dz_y = dot(dz, y);
    const double omega_z = (dot(du, y) / u_length - dot(w, z) * dz_y) / p_length;
    return (-dz_y) * x + dot(dz, x) * y + omega_z * z;
}

}  // namespace

std::optional<Mat3x2> direction_jacobian(const PreparedGeometry& arm, double theta_a,
                                         double theta_b) noexcept {
    const double m = mirror_sign(arm.geometry());
    const Tips tips = place_tips(arm, m, theta_a, theta_b);
    const std::optional<Vec3> v_3 = close_loop_cos(tips.v_2, arm.cos_coupler(), tips.v_4,
                                                   arm.cos_coupler(), branch_sign(arm.geometry()));
    if (!v_3) {
        return std::nullopt;
    }
    const std::optional<LoopRates> rates = loop_rates(m, tips.v_2, *v_3, tips.v_4);
    if (!rates) {
        return std::nullopt;
    }
    return from_columns(rates->apex_a, rates->apex_b);
}

std::optional<Mat3x2> angular_jacobian(const PreparedGeometry& arm, double theta_a,
                                       double theta_b) noexcept {
    const FkResult fk = forward_kinematics(arm, theta_a, theta_b);
    if (!fk) {
        return std::nullopt;
    }
    const std::optional<LoopRates> rates =
        loop_rates(mirror_sign(arm.geometry()), fk->v_2, fk->v_3, fk->v_4);
    if (!rates) {
        return std::nullopt;
    }
    return from_columns(frame_rate(*fk, rates->tip_a, rates->apex_a),
                        frame_rate(*fk, rates->tip_b, rates->apex_b));
}

// With G = J^T J = [[a, b], [b, c]], the squares of the singular values are
// (a + c) / 2 +- sqrt(((a - c) / 2)^2 + b^2). The larger one is a sum of
// non-negative terms; the smaller comes from the product of the two,
// |J_a x J_b|, which does not cancel as the difference would.
std::optional<SingularValues> singular_values(const PreparedGeometry& arm, double theta_a,
                                              double theta_b) noexcept {
    const std::optional<Mat3x2> j = direction_jacobian(arm, theta_a, theta_b);
    if (!j) {
        return std::nullopt;
    }
    const Vec3 j_a = column(*j, 0);
    const Vec3 j_b = column(*j, 1);
    const double a = dot(j_a, j_a);
    const double b = dot(j_a, j_b);
    const double c = dot(j_b, j_b);
    const double half_difference = 0.5 * (a - c);
    const double largest =
        std::sqrt(0.5 * (a + c) + std::sqrt(half_difference * half_difference + b * b));
    const double area = norm(cross(j_a, j_b));
    return SingularValues{largest, largest > 0.0 ? area / largest : 0.0};
}

// The normal equations (J^T J + l I) q = J^T v with l = damping^2, solved by
// Cramer's rule with n = J_a x J_b:
//   det = n.n + l (a + c) + l^2,
//   q_a = [v.(J_b x n) + l (J_a.v)] / det,  q_b = [v.(n x J_a) + l (J_b.v)] / det,
// since (J_b.J_b) J_a - (J_a.J_b) J_b = J_b x n and symmetrically for q_b.
// Every term of det is non-negative, so nothing cancels as ac - b^2 would.
std::optional<JointPair> joint_rates(const PreparedGeometry& arm, double theta_a,
                                     double theta_b, Vec3 direction_rate,
                                     double damping) noexcept {
    const std::optional<Mat3x2> j = direction_jacobian(arm, theta_a, theta_b);
    if (!j) {
        return std::nullopt;
    }
    const Vec3 j_a = column(*j, 0);
    const Vec3 j_b = column(*j, 1);
    const Vec3 n = cross(j_a, j_b);
    const double l = damping * damping;
    const double det = dot(n, n) + l * (dot(j_a, j_a) + dot(j_b, j_b)) + l * l;
    if (det == 0.0) {
        return std::nullopt;
    }
    const double q_a = (dot(direction_rate, cross(j_b, n)) + l * dot(j_a, direction_rate)) / det;
    const double q_b = (dot(direction_rate, cross(n, j_a)) + l * dot(j_b, direction_rate)) / det;
    return JointPair{q_a, q_b};
}

}  // namespace quorbel
