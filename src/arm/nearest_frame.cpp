// The joint pair whose frame is nearest a measured rotation (the method is
// in the header): Gauss-Newton on the rotation error from a handful of
// starts.
#include <quorbel/arm/nearest_frame.hpp>

#include <quorbel/maths/elementary.hpp>

#include <cmath>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>

#include "arm/frame_searches.hpp"

namespace quorbel {
namespace {

// Gauss-Newton steps per start, and halvings of a step that does not
// lower the angle; the iteration stops early once a step gains less than
// FRAME_GAIN rad (plus FRAME_GAIN_RATIO of the angle: far from any frame
// the iteration converges only linearly, and a step that gains that
// little leaves at most some 1e-11 rad) or moves the joints less than
// FRAME_MOVE rad.
constexpr int FRAME_STEPS = 40;
constexpr int FRAME_HALVINGS = 8;
constexpr double FRAME_GAIN = 1e-15;
constexpr double FRAME_GAIN_RATIO = 1e-12;
constexpr double FRAME_MOVE = 1e-13;
// Starts closer than this (radians, each joint) to an earlier one are the
// same start.
constexpr double FRAME_SAME_START = 1e-9;
// Starts: the four tip placements of R's z column, the nearest reachable
// direction's joints and its four.
constexpr int FRAME_STARTS = 9;
// Past this angle the best pose is walked on by a pattern search; within it,
// at a pose where the direction moves less than CLEAR_OF_LIMIT rad per rad,
// the closing limit is not searched (see ik_nearest_frame).
constexpr double POLISH_ABOVE = 1e-3;
constexpr double CLEAR_OF_LIMIT = 100.0;

// The turn that takes f to r, as a body-frame rotation vector (axis times
// angle): from d = r f^T, sin(angle) axis = vee(d - d^T) / 2 and
// cos(angle) = (tr d - 1) / 2.
struct Turn {
    Vec3 vector;
    double angle;
};

Turn turn_between(const Mat3& r, const Mat3& f) noexcept {
    Mat3 d{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            d[i][j] = (r[i][0] * f[j][0] + r[i][1] * f[j][1]) + r[i][2] * f[j][2];
        }
    }
    const Vec3 twice_sin = {d[2][1] - d[1][2], d[0][2] - d[2][0], d[1][0] - d[0][1]};
    const double sin_angle = 0.5 * norm(twice_sin);
    const double cos_angle = 0.5 * (((d[0][0] + d[1][1]) + d[2][2]) - 1.0);
    const double angle = elementary::atan2(sin_angle, cos_angle);
    if (!(sin_angle > 0.0)) {
        return {{0.0, 0.0, 0.0}, angle};
    }
    return {(angle / (2.0 * sin_angle)) * twice_sin, angle};
}

// A candidate as a start: as joints_under reports it, or, outside the
// limits, each joint's turn nearest the middle of its interval, clamped
// into it (the nearest frame within limits can lie next to a candidate
// outside them).
JointPair start_from(JointPair candidate, const IkOptions& options) noexcept {
    if (const std::optional<JointPair> j = joints_under(candidate, options)) {
        return *j;
    }
    const JointLimits& l = *options.limits;
    const JointPair middle = {0.5 * (l.theta_a.lower + l.theta_a.upper),
                              0.5 * (l.theta_b.lower + l.theta_b.upper)};
    return detail::clamped_into({angle_next_to(candidate.theta_a, middle.theta_a),
                                 angle_next_to(candidate.theta_b, middle.theta_b)},
                                options);
}

// Gauss-Newton from `start`: the step q solves (J^T J) q = J^T phi with J
// the angular Jacobian and phi the turn from the current frame to r; it is
// halved until the angle drops, and the joints are kept within the limits.
detail::FramePose refine(const Arm& arm, const Mat3& r, JointPair start,
                         const IkOptions& options) noexcept {
    detail::FramePose here = detail::frame_pose_at(arm, r, detail::clamped_into(start, options));
    for (int step = 0; step < FRAME_STEPS && std::isfinite(here.angle); ++step) {
        const FkResult fk = forward_kinematics(arm, here.joints.theta_a, here.joints.theta_b);
        const std::optional<Mat3x2> jac =
            angular_jacobian(arm, here.joints.theta_a, here.joints.theta_b);
        if (!fk || !jac) {
            break;
        }
        const Vec3 phi = turn_between(r, fk->rotation).vector;
        const Vec3 ca = column(*jac, 0);
        const Vec3 cb = column(*jac, 1);
        const double aa = dot(ca, ca);
        const double ab = dot(ca, cb);
        const double bb = dot(cb, cb);
        const double ga = dot(ca, phi);
        const double gb = dot(cb, phi);
        const double det = aa * bb - ab * ab;
        if (!(det > 0.0)) {
            break;
        }
        double qa = (bb * ga - ab * gb) / det;
        double qb = (aa * gb - ab * ga) / det;
        // A joint at a bound that the step pushes beyond it stays there, and
        // the other takes the step that is best alone (a one-column solve);
        // at a corner, the joint whose own step leads back inside moves.
        if (options.limits) {
            const JointLimits& l = *options.limits;
            const auto pushed_a = [&](double step) {
                return (here.joints.theta_a <= l.theta_a.lower && step < 0.0) ||
                       (here.joints.theta_a >= l.theta_a.upper && step > 0.0);
            };
            const auto pushed_b = [&](double step) {
                return (here.joints.theta_b <= l.theta_b.lower && step < 0.0) ||
                       (here.joints.theta_b >= l.theta_b.upper && step > 0.0);
            };
            if (pushed_a(qa) || pushed_b(qb)) {
                const double alone_a = ga / aa;
                const double alone_b = gb / bb;
                const bool b_can = !pushed_b(alone_b);
                const bool a_can = !pushed_a(alone_a);
                if (pushed_a(qa) && b_can) {
                    qa = 0.0;
                    qb = alone_b;
                } else if (a_can) {
                    qa = alone_a;
                    qb = 0.0;
                } else if (b_can) {
                    qa = 0.0;
                    qb = alone_b;
                } else {
                    break;
                }
            }
        }
        double t = 1.0;
        bool moved = false;
        for (int h = 0; h < FRAME_HALVINGS; ++h, t *= 0.5) {
            if (t * (std::fabs(qa) + std::fabs(qb)) < FRAME_MOVE) {
                break;
            }
            const JointPair stepped = {here.joints.theta_a + t * qa, here.joints.theta_b + t * qb};
            const detail::FramePose next =
                detail::frame_pose_at(arm, r, detail::clamped_into(stepped, options));
            if (next.angle < here.angle) {
                moved = here.angle - next.angle > FRAME_GAIN + FRAME_GAIN_RATIO * here.angle;
                here = next;
                break;
            }
        }
        if (!moved) {
            break;
        }
    }
    return here;
}

bool all_finite(const Mat3& r) noexcept {
    for (const auto& row : r) {
        for (double v : row) {
            if (!std::isfinite(v)) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

std::optional<NearestFrame> ik_nearest_frame(const Arm& arm, const Mat3& r_target,
                                             const IkOptions& options) noexcept {
    const Vec3 z = column(r_target, 2);
    if (!all_finite(r_target) || !(norm(z) >= MIN_DIRECTION_NORM)) {
        return std::nullopt;
    }
    if (const std::optional<JointPair> exact = ik(arm, r_target, options)) {
        const FkResult fk = forward_kinematics(arm, exact->theta_a, exact->theta_b);
        return NearestFrame{*exact, fk ? detail::frame_angle(r_target, fk->rotation) : 0.0,
                            FrameMiss::none};
    }
    JointPair starts[FRAME_STARTS];
    int count = 0;
    const auto add_candidates = [&](Vec3 d) {
        for (const IkCandidate& c : direction_candidates(arm, normalise(d))) {
            starts[count++] = start_from({c.theta_a, c.theta_b}, options);
        }
    };
    add_candidates(z);
    const std::optional<ReachableDirection> nearest = nearest_reachable(arm, z, options);
    if (nearest) {
        starts[count++] = nearest->joints;
        add_candidates(nearest->direction);
    }
    std::optional<detail::FramePose> best;
    for (int i = 0; i < count; ++i) {
        bool repeated = false;
        for (int j = 0; j < i; ++j) {
            repeated |= std::fabs(starts[i].theta_a - starts[j].theta_a) < FRAME_SAME_START &&
                        std::fabs(starts[i].theta_b - starts[j].theta_b) < FRAME_SAME_START;
        }
        if (repeated) {
            continue;
        }
        const detail::FramePose p = refine(arm, r_target, starts[i], options);
        if (std::isfinite(p.angle) && (!best || p.angle < best->angle)) {
            best = p;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    if (best->angle > POLISH_ABOVE) {
        best = detail::polish(arm, r_target, *best, options);
    }
    best = detail::along_bound(arm, r_target, *best, options);
    // A frame within POLISH_ABOVE of R at a pose away from the closing limit
    // (the direction moving at most CLEAR_OF_LIMIT rad per rad) is the
    // nearest: another as near would be a second joint pair with nearly the
    // same frame, which only the closing limit, where the two branches
    // meet, allows.
    const std::optional<SingularValues> speed =
        singular_values(arm, best->joints.theta_a, best->joints.theta_b);
    if (!(best->angle < POLISH_ABOVE && speed && speed->largest < CLEAR_OF_LIMIT)) {
        const detail::FramePose on_limit = detail::nearest_on_closing_limit(arm, r_target, options);
        if (on_limit.angle < best->angle) {
            best = on_limit;
        }
    }
    const FrameMiss miss = ik_from_direction(arm, z, options) ? FrameMiss::roll_off
                                                              : FrameMiss::direction_out_of_reach;
    // Reported as the other inverse kinematics reports joints: the turn the
    // limits admit, next to near's in angles mode.
    const std::optional<JointPair> reported = joints_under(best->joints, options);
    return NearestFrame{reported ? *reported : best->joints, best->angle, miss};
}

}  // namespace quorbel
