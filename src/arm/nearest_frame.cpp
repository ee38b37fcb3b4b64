// The joint pair whose frame is nearest a measured rotation (the method is
// in the header): Gauss-Newton on the rotation error from a handful of
// starts.
#include <quorbel/arm/nearest_frame.hpp>

#include <cmath>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>

namespace quorbel {
namespace {

// Gauss-Newton steps per start, and halvings of a step that does not
// lower the angle; the iteration stops early once a step gains less than
// FRAME_GAIN rad.
constexpr int FRAME_STEPS = 40;
constexpr int FRAME_HALVINGS = 30;
constexpr double FRAME_GAIN = 1e-16;
// Starts: the four tip placements of R's z column, the nearest reachable
// direction's joints and its four.
constexpr int FRAME_STARTS = 9;

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
    const double angle = std::atan2(sin_angle, cos_angle);
    if (!(sin_angle > 0.0)) {
        return {{0.0, 0.0, 0.0}, angle};
    }
    return {(angle / (2.0 * sin_angle)) * twice_sin, angle};
}

// The joints clamped into the limits (left as they are without).
JointPair clamped(JointPair j, const IkOptions& options) noexcept {
    if (!options.limits) {
        return j;
    }
    const JointLimits& l = *options.limits;
    return {std::fmin(std::fmax(j.theta_a, l.theta_a.lower), l.theta_a.upper),
            std::fmin(std::fmax(j.theta_b, l.theta_b.lower), l.theta_b.upper)};
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
    return clamped({angle_next_to(candidate.theta_a, 0.5 * (l.theta_a.lower + l.theta_a.upper)),
                    angle_next_to(candidate.theta_b, 0.5 * (l.theta_b.lower + l.theta_b.upper))},
                   options);
}

struct Pose {
    JointPair joints;
    double angle;  // infinite where the loop does not close
};

// The angle between r and f from their Frobenius distance: for rotations
// |r - f|^2 = 6 - 2 tr(r^T f) = 8 sin^2(angle / 2), so the angle is
// 2 asin(|r - f| / sqrt 8), which keeps its precision for small angles
// (where acos of the trace loses it). For an r that is not exactly a
// rotation it measures the same distance, which the trace orders alike.
double frame_angle(const Mat3& r, const Mat3& f) noexcept {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double diff = r[i][j] - f[i][j];
            sum += diff * diff;
        }
    }
    return 2.0 * std::asin(std::fmin(1.0, std::sqrt(sum / 8.0)));
}

Pose pose_at(const Arm& arm, const Mat3& r, JointPair j) noexcept {
    const FkResult fk = forward_kinematics(arm, j.theta_a, j.theta_b);
    return {j, fk ? frame_angle(r, fk->rotation) : INFINITY};
}

// Gauss-Newton from `start`: the step q solves (J^T J) q = J^T phi with J
// the angular Jacobian and phi the turn from the current frame to r; it is
// halved until the angle drops, and the joints are kept within the limits.
Pose refine(const Arm& arm, const Mat3& r, JointPair start, const IkOptions& options) noexcept {
    Pose here = pose_at(arm, r, clamped(start, options));
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
        // the other takes the step that is best alone (a one-column solve).
        if (options.limits) {
            const JointLimits& l = *options.limits;
            const bool pin_a = (here.joints.theta_a <= l.theta_a.lower && qa < 0.0) ||
                               (here.joints.theta_a >= l.theta_a.upper && qa > 0.0);
            const bool pin_b = (here.joints.theta_b <= l.theta_b.lower && qb < 0.0) ||
                               (here.joints.theta_b >= l.theta_b.upper && qb > 0.0);
            if (pin_a && pin_b) {
                break;
            }
            if (pin_a) {
                qa = 0.0;
                qb = gb / bb;
            } else if (pin_b) {
                qb = 0.0;
                qa = ga / aa;
            }
        }
        double t = 1.0;
        bool moved = false;
        for (int h = 0; h < FRAME_HALVINGS; ++h, t *= 0.5) {
            const Pose next = pose_at(
                arm, r,
                clamped({here.joints.theta_a + t * qa, here.joints.theta_b + t * qb}, options));
            if (next.angle < here.angle) {
                moved = here.angle - next.angle > FRAME_GAIN;
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
        return NearestFrame{*exact, fk ? frame_angle(r_target, fk->rotation) : 0.0,
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
    std::optional<Pose> best;
    for (int i = 0; i < count; ++i) {
        const Pose p = refine(arm, r_target, starts[i], options);
        if (std::isfinite(p.angle) && (!best || p.angle < best->angle)) {
            best = p;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    const FrameMiss miss = ik_from_direction(arm, z, options) ? FrameMiss::roll_off
                                                              : FrameMiss::direction_out_of_reach;
    return NearestFrame{best->joints, best->angle, miss};
}

}  // namespace quorbel
