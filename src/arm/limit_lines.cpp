// The images of an arm's limit lines, searched for their point nearest a
// target: sampled along the free joint, the best samples refined by golden
// section.
#include "arm/limit_lines.hpp"

#include <cmath>

#include <quorbel/arm/forward_kinematics.hpp>

namespace quorbel::detail {
namespace {

constexpr double LINE_FULL_TURN = 2.0 * 3.141592653589793;
// Samples along each line, ends included; the samples that are local minima
// of the angle (at most LINE_REFINED of them, the lowest first) are refined
// over the two sample spacings about them by LINE_ITERATIONS golden-section
// steps, to a bracket of 0.618^75 ~ 2e-16 of its width: where a line meets
// the closing limit the direction moves like the square root of the joint's
// distance from it, and 48 steps left answers 3e-7 rad too far.
constexpr int LINE_SAMPLES = 65;
constexpr int LINE_REFINED = 3;
constexpr int LINE_ITERATIONS = 75;

struct LinePoint {
    double free;   // the free joint's angle
    double angle;  // from the target; infinite where the loop does not close
};

// One limit line: joint A (free_is_b) or B held at `fixed`, the other over
// [lower, upper].
struct Line {
    bool free_is_b;
    double fixed;
    double lower;
    double upper;
};

JointPair joints_on(const Line& line, double free) noexcept {
    return line.free_is_b ? JointPair{line.fixed, free} : JointPair{free, line.fixed};
}

double angle_on(const Arm& arm, const Line& line, double free, Vec3 u) noexcept {
    const JointPair j = joints_on(line, free);
    const std::optional<Vec3> d = pointing_direction(arm, j.theta_a, j.theta_b);
    return d ? std::atan2(norm(cross(u, *d)), dot(u, *d)) : INFINITY;
}

// Golden section for the least angle over [lo, hi]; an end where the loop
// does not close counts as infinitely far, so a minimum where the line
// meets the closing limit is approached from the side that closes.
LinePoint refine(const Arm& arm, const Line& line, Vec3 u, double lo, double hi) noexcept {
    const double ratio = 0.5 * (std::sqrt(5.0) - 1.0);
    double x1 = hi - ratio * (hi - lo);
    double x2 = lo + ratio * (hi - lo);
    double g1 = angle_on(arm, line, x1, u);
    double g2 = angle_on(arm, line, x2, u);
    for (int i = 0; i < LINE_ITERATIONS; ++i) {
        if (g1 < g2) {
            hi = x2;
            x2 = x1;
            g2 = g1;
            x1 = hi - ratio * (hi - lo);
            g1 = angle_on(arm, line, x1, u);
        } else {
            lo = x1;
            x1 = x2;
            g1 = g2;
            x2 = lo + ratio * (hi - lo);
            g2 = angle_on(arm, line, x2, u);
        }
    }
    return g1 < g2 ? LinePoint{x1, g1} : LinePoint{x2, g2};
}

// The line's point nearest u: the best sample, or better, a refined local
// minimum of the samples.
LinePoint nearest_on_line(const Arm& arm, const Line& line, Vec3 u) noexcept {
    const double step = (line.upper - line.lower) / (LINE_SAMPLES - 1);
    double angles[LINE_SAMPLES];
    for (int k = 0; k < LINE_SAMPLES; ++k) {
        const double free = k == LINE_SAMPLES - 1 ? line.upper : line.lower + k * step;
        angles[k] = angle_on(arm, line, free, u);
    }
    LinePoint best = {line.lower, INFINITY};
    for (int k = 0; k < LINE_SAMPLES; ++k) {
        if (angles[k] < best.angle) {
            best = {k == LINE_SAMPLES - 1 ? line.upper : line.lower + k * step, angles[k]};
        }
    }
    // Local minima, including those next to a sample where the loop opens.
    bool used[LINE_SAMPLES] = {};
    for (int r = 0; r < LINE_REFINED; ++r) {
        int pick = -1;
        for (int k = 0; k < LINE_SAMPLES; ++k) {
            const double before = k > 0 ? angles[k - 1] : INFINITY;
            const double after = k < LINE_SAMPLES - 1 ? angles[k + 1] : INFINITY;
            const bool minimum = std::isfinite(angles[k]) && angles[k] <= before &&
                                 angles[k] <= after;
            if (minimum && !used[k] && (pick < 0 || angles[k] < angles[pick])) {
                pick = k;
            }
        }
        if (pick < 0) {
            break;
        }
        used[pick] = true;
        const double lo = std::fmax(line.lower, line.lower + (pick - 1) * step);
        const double hi = std::fmin(line.upper, line.lower + (pick + 1) * step);
        const LinePoint refined = refine(arm, line, u, lo, hi);
        if (refined.angle < best.angle) {
            best = refined;
        }
    }
    return best;
}

// A joint's interval turns into limit lines only when it stops the joint
// short of a full turn.
bool limiting(const AngleInterval& interval) noexcept {
    return std::isfinite(interval.lower) && std::isfinite(interval.upper) &&
           interval.upper - interval.lower < LINE_FULL_TURN;
}

// The range the free joint sweeps: its interval, or one turn of it.
AngleInterval sweep(const AngleInterval& interval) noexcept {
    if (limiting(interval)) {
        return interval;
    }
    const double start = std::isfinite(interval.lower) ? interval.lower : -0.5 * LINE_FULL_TURN;
    return {start, start + LINE_FULL_TURN};
}

}  // namespace

std::optional<ReachableDirection> nearest_on_limit_lines(const Arm& arm, Vec3 u,
                                                         const IkOptions& options) noexcept {
    if (!options.limits) {
        return std::nullopt;
    }
    const JointLimits& limits = *options.limits;
    if (!(limits.theta_a.lower <= limits.theta_a.upper) ||
        !(limits.theta_b.lower <= limits.theta_b.upper)) {
        return std::nullopt;
    }
    Line lines[4];
    int count = 0;
    if (limiting(limits.theta_a)) {
        const AngleInterval b = sweep(limits.theta_b);
        lines[count++] = {true, limits.theta_a.lower, b.lower, b.upper};
        lines[count++] = {true, limits.theta_a.upper, b.lower, b.upper};
    }
    if (limiting(limits.theta_b)) {
        const AngleInterval a = sweep(limits.theta_a);
        lines[count++] = {false, limits.theta_b.lower, a.lower, a.upper};
        lines[count++] = {false, limits.theta_b.upper, a.lower, a.upper};
    }
    std::optional<ReachableDirection> best;
    double best_angle = INFINITY;
    for (int i = 0; i < count; ++i) {
        const LinePoint p = nearest_on_line(arm, lines[i], u);
        if (!(p.angle < best_angle)) {
            continue;
        }
        const JointPair on_line = joints_on(lines[i], p.free);
        const std::optional<Vec3> d = pointing_direction(arm, on_line.theta_a, on_line.theta_b);
        const std::optional<JointPair> reported = joints_under(on_line, options);
        if (!d || !reported) {
            continue;
        }
        const std::optional<JointPair> by_ik = ik_from_direction(arm, *d, options);
        best = ReachableDirection{*d, by_ik ? *by_ik : *reported};
        best_angle = p.angle;
    }
    return best;
}

}  // namespace quorbel::detail
