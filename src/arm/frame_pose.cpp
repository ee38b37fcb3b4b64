// A pose measured against a target rotation (see frame_pose.hpp).
#include "arm/frame_pose.hpp"

#include <quorbel/maths/elementary.hpp>

#include <cmath>

#include <quorbel/arm/forward_kinematics.hpp>

namespace quorbel::detail {

double frame_angle(const Mat3& r, const Mat3& f) noexcept {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double diff = r[i][j] - f[i][j];
            sum += diff * diff;
        }
    }
    return 2.0 * elementary::asin(std::fmin(1.0, std::sqrt(sum / 8.0)));
}

FramePose frame_pose_at(const Arm& arm, const Mat3& r, JointPair j) noexcept {
    const FkResult fk = forward_kinematics(arm, j.theta_a, j.theta_b);
    return {j, fk ? frame_angle(r, fk->rotation) : INFINITY};
}

JointPair clamped_into(JointPair j, const IkOptions& options) noexcept {
    if (!options.limits) {
        return j;
    }
    const JointLimits& l = *options.limits;
    return {std::fmin(std::fmax(j.theta_a, l.theta_a.lower), l.theta_a.upper),
            std::fmin(std::fmax(j.theta_b, l.theta_b.lower), l.theta_b.upper)};
}

}  // namespace quorbel::detail
