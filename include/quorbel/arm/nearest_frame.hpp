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
// placements, kept where the loop closes and the limits hold) and from the
// nearest reachable direction to that column with its candidates; from
// each it runs a Gauss-Newton iteration on the rotation error: with
// phi the rotation vector of R F^T (the body-frame turn that takes F to R)
// and J the angular Jacobian (d omega = J d theta), the step solves
// J^T J d theta = J^T phi, halved until the trace grows, and clamped into the
// limits. Every start is refined and the best kept. Where ik accepts R the
// answer is ik's joints, unchanged: their frame lies within
// IK_MATCH_TOLERANCE of R, and up to about that much further than the
// nearest frame (2e-7 rad in the tests, for a frame rounded to 6 decimals).
#pragma once

#include <optional>

#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/arm/joint_limits.hpp>

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
std::optional<NearestFrame> ik_nearest_frame(const Arm& arm, const Mat3& r_target,
                                             const IkOptions& options) noexcept;

}  // namespace quorbel
