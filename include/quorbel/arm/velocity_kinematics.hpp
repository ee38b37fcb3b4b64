// Velocity kinematics of one arm: how the pointing direction and the
// end-effector frame move with the joints, how far a pose is from a singular
// one, and the joint rates for a wanted motion of the direction.
//
// All of it comes in closed form from the loop closure. With the tips
// v_2(theta_a), v_4(theta_b) and the apex v_3, the loop keeps
//   v_3.v_2 = cos(coupler_arc),  v_3.v_4 = cos(coupler_arc),  v_3.v_3 = 1,
// while each tip turns about its joint axis:
//   dv_2 = (v_1 x v_2) d theta_a,  dv_4 = (v_5 x v_4) d theta_b.
// Differentiating the three constraints gives a linear system for dv_3 whose
// rows are v_2, v_4 and v_3; its solution (Cramer's rule) is
//   dv_3 = [a_A (v_3 x v_4) d theta_a + a_B (v_2 x v_3) d theta_b] / D,
//   a_A = v_3.(v_1 x v_2),  a_B = v_3.(v_5 x v_4),  D = v_3.(v_2 x v_4).
// Each column lies in the tangent plane at v_3, and the theta_a column is
// normal to v_4 (turning joint A keeps the apex at its arc from tip B).
//
// The two kinds of singular pose:
// - a_A = 0 (or a_B = 0): input arm A (B) lies in line with its coupler, on
//   one great circle through the joint axis, the tip and the apex. Turning
//   that joint moves the apex only to second order, so its column vanishes
//   and the direction can move only along the other column. The apex is
//   then at arc arm_arc + coupler_arc or |arm_arc - coupler_arc| from the
//   joint axis: the outer or inner rim of that tip's ring, where two
//   inverse-kinematics solutions merge.
// - D = 0: the two couplers lie on one great circle (the tips are
//   2 coupler_arc apart with the apex midway). This is the loop's closing
//   limit, where the two branches meet; the apex moves like the square root
//   of the joints' distance from that limit, and both columns grow without
//   bound. No Jacobian exists there.
#pragma once

#include <optional>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/export.hpp>
#include <quorbel/maths/mat3x2.hpp>

namespace quorbel {

// d v_3 = J [d theta_a, d theta_b], by the formula above. Empty when the loop
// does not close, or closes only just: the apex within 1e-12 of the tips'
// great circle, where D is zero up to rounding (the apex's
// distance from that circle is either rounding noise or above 4e-9). A NaN
// or infinite angle is a loop that does not close.
QUORBEL_API std::optional<Mat3x2> direction_jacobian(const Arm& arm, double theta_a,
                                                     double theta_b) noexcept;

// The angular velocity of forward_kinematics' frame R = [x y z], expressed in
// the body frame (the frame R maps into): dR = [omega]x R with
// omega = J [d theta_a, d theta_b]. Empty where direction_jacobian is.
QUORBEL_API std::optional<Mat3x2> angular_jacobian(const Arm& arm, double theta_a,
                                                   double theta_b) noexcept;

struct SingularValues {
    double largest;
    double smallest;  // zero at an in-line arm, up to rounding; never above largest
};

// The singular values of direction_jacobian: how fast the direction moves,
// in radians per radian, along the fastest and the slowest combination of
// unit joint rates. Empty where direction_jacobian is.
QUORBEL_API std::optional<SingularValues> singular_values(const Arm& arm, double theta_a,
                                                          double theta_b) noexcept;

// The joint rates q that minimise |J q - direction_rate|^2 + damping^2 |q|^2,
// with J = direction_jacobian(arm, theta_a, theta_b): the least-squares
// rates for damping 0, and for damping > 0 rates that trade a residual for a
// bounded size near singular poses (each singular value s is inverted as
// s / (s^2 + damping^2); damping is in the units of s, radians per radian).
// Only damping^2 enters; a damping too large to square still gives its
// rates (about J^T direction_rate / damping^2), an infinite one zero rates
// (the limit, for a J of zero columns too) and a NaN one NaN rates; one too
// small to square (below about 1.5e-162) still acts as a damping above 0. The component of direction_rate along
// v_3 cannot be produced and is left as residual. Empty where direction_jacobian is, and
// when damping is 0 and the computed J has rank below 2 (its columns exactly
// parallel), where the least-squares rates are not unique. At an in-line
// arm that is rare: rounding leaves J's smallest singular value about 1e-16
// of its largest (up to 1e-8 next to the closing limit), and with damping 0
// the rates come out as large as the inverse of that (2e14 for the left
// preset at theta_b = -0.2): near in-line arms, use a damping above 0.
QUORBEL_API std::optional<JointPair> joint_rates(const Arm& arm, double theta_a,
                                                 double theta_b, Vec3 direction_rate,
                                                 double damping) noexcept;

}  // namespace quorbel
