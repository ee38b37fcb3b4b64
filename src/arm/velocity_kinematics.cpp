// Velocity kinematics of one arm, in closed form from the loop closure (the
// derivation is in the header).
#include <quorbel/arm/velocity_kinematics.hpp>

#include <cmath>

#include "arm/close_loop_from_cosines.hpp"
#include "arm/end_effector_frame.hpp"

namespace quorbel {
namespace {

// The rates of the loop's moving vertices per unit rate of each joint, and
// the scalars of the apex's rates.
struct LoopRates {
    Vec3 tip_a;     // d v_2 / d theta_a = v_1 x v_2
    Vec3 tip_b;     // d v_4 / d theta_b = v_5 x v_4
    Vec3 apex_a;    // d v_3 / d theta_a
    Vec3 apex_b;    // d v_3 / d theta_b
    double area;    // |apex_a x apex_b| = |a_A a_B / D|
};

// dv_3 = [a_A (v_3 x v_4) d theta_a + a_B (v_2 x v_3) d theta_b] / D.
//
// Refused at the closing limit: the apex on the tips' great circle. With
// n = v_2 x v_4, the apex's distance from that circle is |D| / |n| = sqrt(t),
// t the closing margin of close_loop; it is rounding noise where t
// evaluates to exactly zero and at least the square root of the smallest
// positive t, about 4e-9, elsewhere. The test D^2 <= VANISHING_LENGTH^2 n.n
// (forward_kinematics' length for falling back to a reference axis) lies in
// that gap. A NaN passes it and gives NaN rates.
std::optional<LoopRates> loop_rates(double m, Vec3 v_2, Vec3 v_3, Vec3 v_4) noexcept {
    const Vec3 n = cross(v_2, v_4);
    const double d = dot(v_3, n);
    if (d * d <= (detail::VANISHING_LENGTH * detail::VANISHING_LENGTH) * dot(n, n)) {
        return std::nullopt;
    }
    // v_1 x v_2 and v_5 x v_4 with v_1 = (0, 0, 1) and v_5 = (m, 0, 0).
    const Vec3 tip_a = {-v_2.y, v_2.x, 0.0};
    const Vec3 tip_b = {0.0, -m * v_4.z, m * v_4.y};
    const double rate_a = dot(v_3, tip_a) / d;
    const double rate_b = dot(v_3, tip_b) / d;
    // (v_3 x v_4) x (v_2 x v_3) = D v_3, so the columns span |rate_a rate_b D|.
    return LoopRates{tip_a, tip_b, rate_a * cross(v_3, v_4), rate_b * cross(v_2, v_3),
                     std::fabs((rate_a * rate_b) * d)};
}

std::optional<LoopRates> apex_rates(const Arm& arm, double theta_a,
                                    double theta_b) noexcept {
    const double m = mirror_sign(arm.geometry());
    const Vec3 v_2 = arm_tip_a(arm, theta_a);
    const Vec3 v_4 = arm_tip_b(arm, theta_b);
    const std::optional<Vec3> v_3 = detail::close_loop_from_cosines(v_2, arm.cos_coupler(), v_4,
                                                   arm.cos_coupler(), branch_sign(arm.geometry()));
    if (!v_3) {
        return std::nullopt;
    }
    return loop_rates(m, v_2, *v_3, v_4);
}

// The frame's angular velocity for one joint, given that joint's rates of the
// tips' sum u = v_2 + v_4 (du) and of the apex z = v_3 (dz).
//
// With R = [x y z], omega = (dy.z) x + (dz.x) y + (dx.y) z, and dy.z = -dz.y.
// The frame's x is p / |p| with p = w - (w.z) z and w = u / |u|; y is normal
// to x, so dx.y = dp.y / |p|, and with y.z = 0 and y.w = 0 (w lies in the
// x-z plane)
//   dp.y = dw.y - (w.z) (dz.y) = (du.y) / |u| - (w.z) (dz.y).
struct Bisector {
    Vec3 w;           // u / |u|
    double u_length;  // |u|
    double p_length;  // |w - (w.z) z|
};

Bisector bisector(const FkSolution& fk) noexcept {
    const Vec3 u = fk.v_2 + fk.v_4;
    const double u_length = norm(u);
    const Vec3 w = u / u_length;
    return {w, u_length, norm(w - dot(w, fk.v_3) * fk.v_3)};
}

Vec3 frame_rate(const FkSolution& fk, const Bisector& b, Vec3 du, Vec3 dz) noexcept {
    const Vec3 x = column(fk.rotation, 0);
    const Vec3 y = column(fk.rotation, 1);
    const double dz_y = dot(dz, y);
    const double omega_z = (dot(du, y) / b.u_length - dot(b.w, fk.v_3) * dz_y) / b.p_length;
    return (-dz_y) * x + dot(dz, x) * y + omega_z * fk.v_3;
}

}  // namespace

std::optional<Mat3x2> direction_jacobian(const Arm& arm, double theta_a,
                                         double theta_b) noexcept {
    const std::optional<LoopRates> rates = apex_rates(arm, theta_a, theta_b);
    if (!rates) {
        return std::nullopt;
    }
    return from_columns(rates->apex_a, rates->apex_b);
}

// The frame comes from forward_kinematics itself; where it falls back to a
// reference axis for x (never outside loop_rates' refusal, up to rounding),
// the bisector's rate does not describe it and nothing is returned.
std::optional<Mat3x2> angular_jacobian(const Arm& arm, double theta_a,
                                       double theta_b) noexcept {
    const FkResult fk = forward_kinematics(arm, theta_a, theta_b);
    if (!fk) {
        return std::nullopt;
    }
    const std::optional<LoopRates> rates =
        loop_rates(mirror_sign(arm.geometry()), fk->v_2, fk->v_3, fk->v_4);
    const Bisector b = bisector(*fk);
    if (!rates || b.p_length <= detail::VANISHING_LENGTH) {
        return std::nullopt;
    }
    return from_columns(frame_rate(*fk, b, rates->tip_a, rates->apex_a),
                        frame_rate(*fk, b, rates->tip_b, rates->apex_b));
}

// With s_1 >= s_2 the singular values, s_1^2 + s_2^2 = |J_a|^2 + |J_b|^2 and
// s_1 s_2 = |J_a x J_b| (the columns' area A), so
//   s_1 + s_2 = sqrt(|J_a|^2 + |J_b|^2 + 2A),  s_1 - s_2 = sqrt(|J_a|^2 + |J_b|^2 - 2A):
// s_1 is half their sum (non-negative terms, no cancellation) and s_2 = A / s_1
// (the difference would cancel when s_2 is small).
std::optional<SingularValues> singular_values(const Arm& arm, double theta_a,
                                              double theta_b) noexcept {
    const std::optional<LoopRates> rates = apex_rates(arm, theta_a, theta_b);
    if (!rates) {
        return std::nullopt;
    }
    const double squares = dot(rates->apex_a, rates->apex_a) + dot(rates->apex_b, rates->apex_b);
    const double sum = std::sqrt(squares + 2.0 * rates->area);
    const double difference = std::sqrt(std::fmax(0.0, squares - 2.0 * rates->area));
    const double largest = 0.5 * (sum + difference);
    // At an isotropic pose area / largest may round one ulp above largest.
    const double smallest = largest > 0.0 ? std::fmin(rates->area / largest, largest) : 0.0;
    return SingularValues{largest, smallest};
}

// The normal equations (J^T J + l I) q = J^T v with l = damping^2, solved by
// Cramer's rule with n = J_a x J_b:
//   det = n.n + l (a + c) + l^2,
//   q_a = [v.(J_b x n) + l (J_a.v)] / det,  q_b = [v.(n x J_a) + l (J_b.v)] / det,
// since (J_b.J_b) J_a - (J_a.J_b) J_b = J_b x n and symmetrically for q_b.
// Every term of det is non-negative, so nothing cancels as ac - b^2 would.
// For a damping above about 1e77, l^2 overflows and det is infinite (l
// itself is, from about 1.3e154), which would leave 0 or inf / inf = NaN for
// rates that exist (about J^T v / l); both sides are then divided by l^2,
// with k = 1 / l formed without squaring the damping. An infinite damping
// has k = 0 and gives the limit, zero rates; a NaN one NaN rates. The same
// path serves a J of zero columns (an arm_arc of 0) with an infinite l, whose
// l (a + c) is 0 * inf. Below about 1.5e-162 the damping's square
// underflows to 0, which for a J of rank 1 would leave det = 0 and no rates
// though the damping makes them exist; both sides are then divided by l, as
// (x / damping) / damping.
std::optional<JointPair> joint_rates(const Arm& arm, double theta_a,
                                     double theta_b, Vec3 direction_rate,
                                     double damping) noexcept {
    const std::optional<LoopRates> rates = apex_rates(arm, theta_a, theta_b);
    if (!rates) {
        return std::nullopt;
    }
    const Vec3 j_a = rates->apex_a;
    const Vec3 j_b = rates->apex_b;
    const Vec3 n = cross(j_a, j_b);
    const double area = dot(n, n);
    const double squares = dot(j_a, j_a) + dot(j_b, j_b);
    const double l = damping * damping;
    const double det = area + l * squares + l * l;
    const double along_a = dot(direction_rate, cross(j_b, n));
    const double along_b = dot(direction_rate, cross(n, j_a));
    if (det == 0.0) {
        if (damping == 0.0) {
            return std::nullopt;
        }
        const double d = std::fabs(damping);
        const double scaled_det = (area / d) / d + squares + l;
        if (scaled_det == 0.0) {
            // J too small to square as well (zero for an arm_arc of 0):
            // rates J^T v / damping^2 below any double's resolution, NaN
            // still for a NaN wanted rate.
            return JointPair{0.0 * dot(j_a, direction_rate), 0.0 * dot(j_b, direction_rate)};
        }
        return JointPair{((along_a / d) / d + dot(j_a, direction_rate)) / scaled_det,
                         ((along_b / d) / d + dot(j_b, direction_rate)) / scaled_det};
    }
    if (!std::isfinite(det)) {
        const double k = (1.0 / std::fabs(damping)) / std::fabs(damping);
        const double scaled_det = (area * k) * k + squares * k + 1.0;
        return JointPair{((along_a * k) * k + dot(j_a, direction_rate) * k) / scaled_det,
                         ((along_b * k) * k + dot(j_b, direction_rate) * k) / scaled_det};
    }
    const double q_a = (along_a + l * dot(j_a, direction_rate)) / det;
    const double q_b = (along_b + l * dot(j_b, direction_rate)) / det;
    return JointPair{q_a, q_b};
}

}  // namespace quorbel
