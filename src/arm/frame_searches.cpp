// The nearest-frame search's one-dimensional and pattern searches (see
// frame_searches.hpp).
#include "arm/frame_searches.hpp"

#include <quorbel/maths/elementary.hpp>

#include <cmath>

#include "arm/golden_section.hpp"

namespace quorbel::detail {
namespace {

// The pattern search (see polish).
constexpr double POLISH_FIRST = 1e-2;
constexpr double POLISH_LAST = 1e-13;
constexpr int POLISH_EVALUATIONS = 1200;
// The search along a limit line (see along_bound).
constexpr double BOUND_SPAN = 0.01;
constexpr int BOUND_ITERATIONS = 50;
// The search along the closing limit (see nearest_on_closing_limit).
constexpr int FRAME_LIMIT_SAMPLES = 40;
constexpr int FRAME_LIMIT_ITERATIONS = 45;
constexpr int FRAME_LIMIT_REFINED = 2;

double angle_of(const FramePose& pose) noexcept { return pose.angle; }

// The closing limit, where the tips are exactly 2 coupler_arc apart and the
// nearest frame can lie with no Jacobian to lead Gauss-Newton there: with
//   v_2.v_4 = sa ca cos tA + sa ca cos tB - sa^2 sin tA sin tB
//           = C + R cos(tB - psi)
// (sa, ca: sine and cosine of arm_arc), theta_b = psi +- acos(k) with
// k = (cos 2g - C) / R, for each theta_a where |k| <= 1. Moved toward psi
// (into the closing side) by up to 1e-10 rad until the loop closes.
FramePose on_closing_limit(const Arm& arm, const Mat3& r, double fixed, double root, bool by_b,
                           const IkOptions& options) noexcept {
    const double sa = arm.sin_arm();
    const double ca = arm.cos_arm();
    const double cos_double = 2.0 * arm.cos_coupler() * arm.cos_coupler() - 1.0;
    const double p = sa * ca;
    const double q = -sa * sa * elementary::sin(fixed);
    const double k = (cos_double - sa * ca * elementary::cos(fixed)) / std::sqrt(p * p + q * q);
    if (!(std::fabs(k) <= 1.0)) {
        return {{fixed, 0.0}, INFINITY};
    }
    const double other = elementary::atan2(q, p) + root * elementary::acos(k);
    for (double nudge : {0.0, 1e-15, 1e-13, 1e-12, 1e-11, 1e-10}) {
        const double moved = other - root * nudge;
        const JointPair j = by_b ? JointPair{moved, fixed} : JointPair{fixed, moved};
        const std::optional<JointPair> within = joints_under(j, IkOptions{{}, options.limits});
        if (!within) {
            return {j, INFINITY};
        }
        const FramePose pose = frame_pose_at(arm, r, *within);
        if (std::isfinite(pose.angle)) {
            return pose;
        }
    }
    return {{fixed, other}, INFINITY};
}

}  // namespace

// A pattern search about a pose: steps of both joints, alone and together,
// from POLISH_FIRST rad, halved when none lowers the angle, down to
// POLISH_LAST. Gauss-Newton converges fast where the frame can nearly be
// reached; far from any frame (R turned upside down, say) its step need not
// lower the angle and it can stop 1e-5 rad short, which this walks on.
FramePose polish(const Arm& arm, const Mat3& r, FramePose here,
                 const IkOptions& options) noexcept {
    constexpr double MOVES[8][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1},
                                    {1, 1}, {-1, -1}, {1, -1}, {-1, 1}};
    int evaluations = 0;
    for (double step = POLISH_FIRST; step > POLISH_LAST && evaluations < POLISH_EVALUATIONS;) {
        bool moved = false;
        for (const auto& move : MOVES) {
            const JointPair stepped = {here.joints.theta_a + step * move[0],
                                       here.joints.theta_b + step * move[1]};
            const FramePose next = frame_pose_at(arm, r, clamped_into(stepped, options));
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
FramePose along_bound(const Arm& arm, const Mat3& r, FramePose here,
                      const IkOptions& options) noexcept {
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
            return frame_pose_at(arm, r, free_is_b ? JointPair{here.joints.theta_a, x}
                                                   : JointPair{x, here.joints.theta_b});
        };
        const FramePose p = golden_minimum(pose_of, std::fmax(range.lower, centre - BOUND_SPAN),
                                           std::fmin(range.upper, centre + BOUND_SPAN),
                                           BOUND_ITERATIONS, angle_of)
                                .second;
        if (p.angle < here.angle) {
            here = p;
        }
    }
    return here;
}

// The nearest frame along the closing limit, traced by each joint in turn
// (the curve turns back in one joint where it is steep in the other) on
// each root: FRAME_LIMIT_SAMPLES values over a turn (or the joint's
// interval), the FRAME_LIMIT_REFINED best local minima refined by golden
// section over a spacing either side.
FramePose nearest_on_closing_limit(const Arm& arm, const Mat3& r,
                                   const IkOptions& options) noexcept {
    FramePose best = {{0.0, 0.0}, INFINITY};
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
                const FramePose refined =
                    golden_minimum(pose_of, std::fmax(lo, lo + (pick - 1) * step),
                                   std::fmin(hi, lo + (pick + 1) * step),
                                   FRAME_LIMIT_ITERATIONS, angle_of)
                        .second;
                for (const FramePose& pose : {refined, pose_of(lo + pick * step)}) {
                    if (pose.angle < best.angle) {
                        best = pose;
                    }
                }
            }
        }
    }
    return best;
}

}  // namespace quorbel::detail
