// The joint angles of one arm: the small value type that the arm's inverse
// kinematics returns and takes as `near`.
#pragma once

namespace quorbel {

// Radians: theta_a turns input joint A, theta_b input joint B.
struct JointPair {
    double theta_a;
    double theta_b;
};

}  // namespace quorbel
