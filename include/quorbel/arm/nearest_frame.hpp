// Inverse kinematics from a measured rotation: the joint pair whose
// end-effector frame is nearest to a given rotation, for rotations that are
// noisy, rounded or not exactly reachable.
//
// How the nearest frame is found. For a rotation R and the frame F(theta) of
// forward kinematics, the angle between them is
//   angle = acos((tr(R^T F(theta)) - 1) / 2),
// so the nearest frame maximises the trace over the joint pairs where the
// loop closes (within the limits, if any). The search starts from the
// inverse-kinematics candidates of R's third column (all four tip
// placements where the loop closes, clamped into the limits) and from the
// nearest reachable direction to that column with its candidates; from
// each it runs a Gauss-Newton iteration on the rotation error: with
// phi the rotation vector of R F^T (the body-frame turn that takes F to R)
// and J the angular Jacobian (d omega = J d theta), the step solves
// J^T J d theta = J^T phi, halved until the trace grows, and clamped into the
// limits. Every start is refined and the best kept; a best frame further
// than 1e-3 rad from R is then walked on by a pattern search (steps of the
// joints alone and together, halved down to 1e-13 rad), since far from every
// frame a Gauss-Newton step need not lower the angle. The nearest frame can
// also lie on the closing limit (the tips 2 coupler_arc apart), where no
// Jacobian exists and Gauss-Newton only creeps toward it: the closing limit
// is traced in closed form (one joint from the other, on both roots, traced
// by each joint in turn), sampled and refined by golden section, and its best
// frame taken when nearer. That search is skipped when the best frame is
// within 1e-3 rad of R at a pose clear of the closing limit (the direction
// moving less than 100 rad per rad): a second pose as near would need two
// joint pairs with nearly one frame, which only the closing limit allows. A
// best pose with a joint at a bound of its limits is refined along that
// limit line by golden section in the other joint. Checked against a
// brute-force joint grid refined by a pattern search: 350 random arms with
// measured, turned and upside-down rotations, and 923 random limit boxes,
// none further than 1e-9 rad.
#pragma once

#include <optional>

#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/arm/joint_limits.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

// Why ik does not accept a rotation that ik_nearest_frame still answers.
enum class FrameMiss {
    none,                    // ik accepts it: the joints are ik's
    direction_out_of_reach,  // no joint pair within the limits points along R's z column
    roll_off,                // the direction is reachable but the frame is turned about it
};

struct NearestFrame {
    JointPair joints;
    // Radians, in [0, pi]: from R to the frame F of `joints`, computed as
    // 2 asin(|R - F|_Frobenius / sqrt 8), equal for rotations to the acos
    // above and precise for small angles too.
    double angle;
    FrameMiss miss;
};

// The joint pair within options' limits whose forward-kinematics frame is
// nearest R (least rotation angle), the angle, and why ik refuses R if it
// does. R need not be exactly orthonormal (a rounded matrix is measured by
// the same trace). Empty when R has a non-finite entry or a third column
// shorter than MIN_DIRECTION_NORM, or when no start closes the loop within
// the limits. Joints are reported as ik_from_direction reports them under
// options (near mode, limits).
QUORBEL_API std::optional<NearestFrame> ik_nearest_frame(const Arm& arm, const Mat3& r_target,
                                                         const IkOptions& options) noexcept;

}  // namespace quorbel
