// The joint pair whose frame is nearest a measured rotation (the method is
// in the header): Gauss-Newton on the rotation error from a handful of
// starts.
#include <quorbel/arm/nearest_frame.hpp>

#include <cmath>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>

#include "arm/golden_section.hpp"

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
// The pattern search (see polish), for a best angle above POLISH_ABOVE.
constexpr double POLISH_ABOVE = 1e-3;
constexpr double POLISH_FIRST = 1e-2;
constexpr double POLISH_LAST = 1e-13;
constexpr int POLISH_EVALUATIONS = 1200;
constexpr double CLEAR_OF_LIMIT = 100.0;
// The search along a limit line (see along_bound).
constexpr double BOUND_SPAN = 0.01;
constexpr int BOUND_ITERATIONS = 50;
// The search along the closing limit (see nearest_on_closing_limit).
constexpr int FRAME_LIMIT_SAMPLES = 40;
constexpr int FRAME_LIMIT_ITERATIONS = 45;
constexpr int FRAME_LIMIT_REFINED = 2;
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

double angle_of(const Pose& pose) noexcept { return pose.angle; }

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
            const Pose next = pose_at(
                arm, r,
                clamped({here.joints.theta_a + t * qa, here.joints.theta_b + t * qb}, options));
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

// A pattern search about a pose: steps of both joints, alone and together,
// from POLISH_FIRST rad, halved when none lowers the angle, down to
// POLISH_LAST. Gauss-Newton converges fast where the frame can nearly be
// reached; far from any frame (R turned upside down, say) its step need not
// lower the angle and it can stop 1e-5 rad short, which this walks on.
Pose polish(const Arm& arm, const Mat3& r, Pose here, const IkOptions& options) noexcept {
    constexpr double MOVES[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1},
                                    {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    int evaluations = 0;
    for (double step = POLISH_FIRST; step > POLISH_LAST && evaluations < POLISH_EVALUATIONS;) {
        bool moved = false;
        for (const auto& move : MOVES) {
            const Pose next = pose_at(arm, r,
                                      clamped({here.joints.theta_a + step * move[0],
                                               here.joints.theta_b + step * move[1]},
                                              options));
            ++evaluations;
            if (next.angle < here.angle) {
                here = next;
                moved = true;
            }
        }
        if (!moved) {
            step *= 0.5;
        }
    }
    return here;
}

// A pose with a joint at a bound, refined along that limit line: golden
// section for the other joint over BOUND_SPAN either side (within its
// limits). Gauss-Newton reaches such a pose by steps pinned and unpinned in
// turn, which can stop short by up to 2e-7 rad.
Pose along_bound(const Arm& arm, const Mat3& r, Pose here, const IkOptions& options) noexcept {
    if (!options.limits) {
        return here;
    }
    const JointLimits& l = *options.limits;
    const JointPair j = here.joints;
    const bool a_fixed = j.theta_a <= l.theta_a.lower || j.theta_a >= l.theta_a.upper;
    const bool b_fixed = j.theta_b <= l.theta_b.lower || j.theta_b >= l.theta_b.upper;
    for (int pass = 0; pass < 2; ++pass) {
        const bool free_is_b = pass == 0;
        if (!(free_is_b ? a_fixed : b_fixed)) {
            continue;
        }
        const AngleInterval& range = free_is_b ? l.theta_b : l.theta_a;
        const double centre = free_is_b ? here.joints.theta_b : here.joints.theta_a;
        const auto pose_of = [&](double x) {
            return pose_at(arm, r, free_is_b ? JointPair{here.joints.theta_a, x}
                                             : JointPair{x, here.joints.theta_b});
        };
        const Pose p = detail::golden_minimum(pose_of,
                                              std::fmax(range.lower, centre - BOUND_SPAN),
                                              std::fmin(range.upper, centre + BOUND_SPAN),
                                              BOUND_ITERATIONS, angle_of)
                           .second;
        if (p.angle < here.angle) {
            here = p;
        }
    }
    return here;
}

// The closing limit, where the tips are exactly 2 coupler_arc apart and the
// nearest frame can lie with no Jacobian to lead Gauss-Newton there: with
//   v_2.v_4 = sa ca cos tA + sa ca cos tB - sa^2 sin tA sin tB
//           = C + R cos(tB - psi)
// (sa, ca: sine and cosine of arm_arc), theta_b = psi +- acos(k) with
// k = (cos 2g - C) / R, for each theta_a where |k| <= 1. Moved toward psi
// (into the closing side) by up to 1e-10 rad until the loop closes.
Pose on_closing_limit(const Arm& arm, const Mat3& r, double fixed, double root, bool by_b,
                      const IkOptions& options) noexcept {
    const double sa = arm.sin_arm();
    const double ca = arm.cos_arm();
    const double cos_double = 2.0 * arm.cos_coupler() * arm.cos_coupler() - 1.0;
    const double p = sa * ca;
    const double q = -sa * sa * std::sin(fixed);
    const double k = (cos_double - sa * ca * std::cos(fixed)) / std::hypot(p, q);
    if (!(std::fabs(k) <= 1.0)) {
        return {{fixed, 0.0}, INFINITY};
    }
    const double other = std::atan2(q, p) + root * std::acos(k);
    for (double nudge : {0.0, 1e-15, 1e-13, 1e-12, 1e-11, 1e-10}) {
        const double moved = other - root * nudge;
        const JointPair j = by_b ? JointPair{moved, fixed} : JointPair{fixed, moved};
        const std::optional<JointPair> within = joints_under(j, IkOptions{{}, options.limits});
        if (!within) {
            return {j, INFINITY};
        }
        const Pose pose = pose_at(arm, r, *within);
        if (std::isfinite(pose.angle)) {
            return pose;
        }
    }
    return {{fixed, other}, INFINITY};
}

// The nearest frame along the closing limit, traced by each joint in turn
// (the curve turns back in one joint where it is steep in the other) on
// each root: FRAME_LIMIT_SAMPLES values over a turn (or the joint's
// interval), the FRAME_LIMIT_REFINED best local minima refined by golden
// section over a spacing either side.
Pose nearest_on_closing_limit(const Arm& arm, const Mat3& r, const IkOptions& options) noexcept {
    Pose best = {{0.0, 0.0}, INFINITY};
    for (bool by_b : {false, true}) {
        double lo = -3.141592653589793;
        double hi = 3.141592653589793;
        if (options.limits) {
            const AngleInterval& interval =
                by_b ? options.limits->theta_b : options.limits->theta_a;
            if (interval.upper - interval.lower < hi - lo) {
                lo = interval.lower;
                hi = interval.upper;
            }
        }
        const double step = (hi - lo) / (FRAME_LIMIT_SAMPLES - 1);
        for (double root : {1.0, -1.0}) {
            const auto pose_of = [&](double fixed) {
                return on_closing_limit(arm, r, fixed, root, by_b, options);
            };
            double angles[FRAME_LIMIT_SAMPLES];
            for (int k = 0; k < FRAME_LIMIT_SAMPLES; ++k) {
                angles[k] = pose_of(k == FRAME_LIMIT_SAMPLES - 1 ? hi : lo + k * step).angle;
            }
            bool used[FRAME_LIMIT_SAMPLES] = {};
            for (int pass = 0; pass < FRAME_LIMIT_REFINED; ++pass) {
                int pick = -1;
                for (int k = 0; k < FRAME_LIMIT_SAMPLES; ++k) {
                    const double before = k > 0 ? angles[k - 1] : INFINITY;
                    const double after = k < FRAME_LIMIT_SAMPLES - 1 ? angles[k + 1] : INFINITY;
                    if (std::isfinite(angles[k]) && angles[k] <= before && angles[k] <= after &&
                        !used[k] && (pick < 0 || angles[k] < angles[pick])) {
                        pick = k;
                    }
                }
                if (pick < 0) {
                    break;
                }
                used[pick] = true;
                const Pose refined =
                    detail::golden_minimum(pose_of, std::fmax(lo, lo + (pick - 1) * step),
                                           std::fmin(hi, lo + (pick + 1) * step),
                                           FRAME_LIMIT_ITERATIONS, angle_of)
                        .second;
                for (const Pose& pose : {refined, pose_of(lo + pick * step)}) {
                    if (pose.angle < best.angle) {
                        best = pose;
                    }
                }
            }
        }
    }
    return best;
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
        bool repeated = false;
        for (int j = 0; j < i; ++j) {
            repeated |= std::fabs(starts[i].theta_a - starts[j].theta_a) < FRAME_SAME_START &&
                        std::fabs(starts[i].theta_b - starts[j].theta_b) < FRAME_SAME_START;
        }
        if (repeated) {
            continue;
        }
        const Pose p = refine(arm, r_target, starts[i], options);
        if (std::isfinite(p.angle) && (!best || p.angle < best->angle)) {
            best = p;
        }
    }
    if (!best) {
        return std::nullopt;
    }
    if (best->angle > POLISH_ABOVE) {
        best = polish(arm, r_target, *best, options);
    }
    best = along_bound(arm, r_target, *best, options);
    // A frame within POLISH_ABOVE of R at a pose away from the closing limit
    // (the direction moving at most CLEAR_OF_LIMIT rad per rad) is the
    // nearest: another as near would be a second joint pair with nearly the
    // same frame, which only the closing limit, where the two branches
    // meet, allows.
    const std::optional<SingularValues> speed =
        singular_values(arm, best->joints.theta_a, best->joints.theta_b);
    if (!(best->angle < POLISH_ABOVE && speed && speed->largest < CLEAR_OF_LIMIT)) {
        const Pose on_limit = nearest_on_closing_limit(arm, r_target, options);
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
