// The images of an arm's limit lines, searched for their point nearest a
// target: sampled along the free joint, the best samples refined by
// Brent's method.
#include "arm/limit_lines.hpp"

#include <quorbel/maths/elementary.hpp>

#include <cmath>

#include <quorbel/arm/forward_kinematics.hpp>

#include "arm/close_loop_from_cosines.hpp"
#include "arm/brent_minimum.hpp"

namespace quorbel::detail {
namespace {

constexpr double LINE_FULL_TURN = 2.0 * 3.141592653589793;
// Samples along each closing piece of a line, ends included; the samples
// that are local minima of the distance (at most LINE_REFINED of them, the
// lowest first) are refined over the two sample spacings about them by
// Brent's method, to within about LINE_TOLERANCE of the bracket's width in
// w (see refine), in at most LINE_EVALUATIONS evaluations. The distance is
// flat to second order at an interior minimum, but next to an end of a
// piece it falls linearly in w, so the tolerance is close to the smallest
// step that still changes it: over random arms, limits and targets this
// answers up to 3e-8 rad nearer than 32 golden-section steps did, and in
// fewer evaluations. The ends, where the loop stops closing, are placed in
// closed form.
constexpr int LINE_SAMPLES = 17;
constexpr int LINE_REFINED = 2;
constexpr double LINE_TOLERANCE = 1.5e-8;
constexpr int LINE_EVALUATIONS = 60;
// An end of a closing piece is found in closed form; rounding can leave the
// loop just open there, so it is moved inward by these steps (radians of
// the free joint) until it closes.
constexpr double LINE_END_STEPS[] = {0.0, 1e-15, 1e-14, 1e-13, 1e-12, 1e-11, 1e-10};
// How far a line's bound (line_bound, a squared chord) may overstate its
// nearest point through rounding: far more than the few ulps it can.
constexpr double LINE_BOUND_SLACK = 1e-12;

struct LinePoint {
    double free;   // the free joint's angle
    double gap;    // squared chord to the target (as the angle from it grows,
                   // and as accurate next to it); infinite where the loop does
                   // not close
};

// One limit line: joint A (free_is_b) or B held at `fixed`, the other over
// [lower, upper]; `held_tip` is the held joint's tip, placed once for the
// whole line.
struct Line {
    bool free_is_b;
    double fixed;
    double lower;
    double upper;
    Vec3 held_tip;
};

Line make_line(const Arm& arm, bool free_is_b, double fixed, double lower, double upper) noexcept {
    const Vec3 tip = free_is_b ? arm_tip_a(arm, fixed) : arm_tip_b(arm, fixed);
    return {free_is_b, fixed, lower, upper, tip};
}

JointPair joints_on(const Line& line, double free) noexcept {
    return line.free_is_b ? JointPair{line.fixed, free} : JointPair{free, line.fixed};
}

// The direction at `free` on the line, closed as pointing_direction closes
// it (the same doubles), with only the free joint's tip placed anew.
std::optional<Vec3> direction_on(const Arm& arm, const Line& line, double free) noexcept {
    const Vec3 tip_a = line.free_is_b ? line.held_tip : arm_tip_a(arm, free);
    const Vec3 tip_b = line.free_is_b ? arm_tip_b(arm, free) : line.held_tip;
    return close_loop_from_cosines(tip_a, arm.cos_coupler(), tip_b, arm.cos_coupler(),
                                   branch_sign(arm.geometry()));
}

double gap_on(const Arm& arm, const Line& line, double free, Vec3 u) noexcept {
    const std::optional<Vec3> d = direction_on(arm, line, free);
    if (!d) {
        return INFINITY;
    }
    const Vec3 chord = *d - u;
    return dot(chord, chord);
}

// Brent's method for the least gap over the bracket from `end` to `other`,
// in w with the free joint at end + (other - end) w^2, w in [0, 1]: next to
// an end of a piece, where the loop stops closing, the direction moves like
// the square root of the joint's distance from it, and so smoothly in w
// (with the joint itself as the variable, a search ends 3e-7 rad too far).
LinePoint refine(const Arm& arm, const Line& line, Vec3 u, double end, double other) noexcept {
    const auto gap_at = [&](double w) {
        return gap_on(arm, line, end + (other - end) * (w * w), u);
    };
    const auto [w, gap] = brent_minimum(gap_at, 0.0, 1.0, LINE_TOLERANCE, LINE_TOLERANCE,
                                        LINE_EVALUATIONS);
    return {end + (other - end) * (w * w), gap};
}

// An end of a closing piece, moved toward `inside` until the loop closes.
LinePoint piece_end(const Arm& arm, const Line& line, Vec3 u, double end,
                    double inside) noexcept {
    const double sense = inside > end ? 1.0 : -1.0;
    for (double step : LINE_END_STEPS) {
        const double free = end + sense * step * std::fmax(1.0, std::fabs(end));
        const double gap = gap_on(arm, line, free, u);
        if (std::isfinite(gap)) {
            return {free, gap};
        }
    }
    return {end, INFINITY};
}

// The piece [lo, hi] of a line where the loop closes: its ends, and its
// samples' local minima refined.
LinePoint nearest_on_piece(const Arm& arm, const Line& line, Vec3 u, double lo,
                           double hi) noexcept {
    LinePoint best = piece_end(arm, line, u, lo, hi);
    const LinePoint other_end = piece_end(arm, line, u, hi, lo);
    if (other_end.gap < best.gap) {
        best = other_end;
    }
    const double step = (hi - lo) / (LINE_SAMPLES - 1);
    double gaps[LINE_SAMPLES];
    for (int k = 0; k < LINE_SAMPLES; ++k) {
        gaps[k] = k == 0 ? gap_on(arm, line, lo, u)
                           : gap_on(arm, line, k == LINE_SAMPLES - 1 ? hi : lo + k * step, u);
    }
    bool used[LINE_SAMPLES] = {};
    for (int r = 0; r < LINE_REFINED; ++r) {
        int pick = -1;
        for (int k = 0; k < LINE_SAMPLES; ++k) {
            const double before = k > 0 ? gaps[k - 1] : INFINITY;
            const double after = k < LINE_SAMPLES - 1 ? gaps[k + 1] : INFINITY;
            const bool minimum = std::isfinite(gaps[k]) && gaps[k] <= before &&
                                 gaps[k] <= after;
            if (minimum && !used[k] && (pick < 0 || gaps[k] < gaps[pick])) {
                pick = k;
            }
        }
        if (pick < 0) {
            break;
        }
        used[pick] = true;
        // A bracket that reaches an end of the piece is measured from it.
        const double from = std::fmax(lo, lo + (pick - 1) * step);
        const double to = std::fmin(hi, lo + (pick + 1) * step);
        const LinePoint refined = pick >= LINE_SAMPLES - 2 ? refine(arm, line, u, to, from)
                                                           : refine(arm, line, u, from, to);
        if (refined.gap < best.gap) {
            best = refined;
        }
    }
    return best;
}

// The line's point nearest u. With the fixed joint at t and the free one at
// s, the tips' cosine is
//   v_2.v_4 = sa ca cos t + sa ca cos s - sa^2 sin t sin s
// (the same with the joints exchanged; sa, ca: sine and cosine of arm_arc),
// = C + R cos(s - psi); the loop closes (tips at most 2 coupler_arc apart)
// for cos(s - psi) >= k = (cos 2g - C) / R: an arc of s about psi, which
// is cut to the line's interval, turn by turn.
LinePoint nearest_on_line(const Arm& arm, const Line& line, Vec3 u) noexcept {
    const double sa = arm.sin_arm();
    const double ca = arm.cos_arm();
    const double cos_double = 2.0 * arm.cos_coupler() * arm.cos_coupler() - 1.0;
    const double p = sa * ca;
    const double q = -sa * sa * elementary::sin(line.fixed);
    const double r = std::sqrt(p * p + q * q);
    const double k = (cos_double - sa * ca * elementary::cos(line.fixed)) / r;
    double centre = elementary::atan2(q, p);
    double half = 0.5 * LINE_FULL_TURN;
    if (arm.geometry().coupler_arc < 0.25 * LINE_FULL_TURN && r > 0.0) {
        if (!(k <= 1.0)) {
            return {line.lower, INFINITY};
        }
        if (k > -1.0) {
            half = elementary::acos(k);
        }
    }
    LinePoint best = {line.lower, INFINITY};
    // The turns of the arc that can meet [lower, upper].
    centre += LINE_FULL_TURN * std::ceil((line.lower - half - centre) / LINE_FULL_TURN);
    for (int turn = 0; turn < 3 && centre - half <= line.upper; ++turn) {
        const double lo = std::fmax(line.lower, centre - half);
        const double hi = std::fmin(line.upper, centre + half);
        if (lo <= hi) {
            const LinePoint p_best = nearest_on_piece(arm, line, u, lo, hi);
            if (p_best.gap < best.gap) {
                best = p_best;
            }
        }
        centre += LINE_FULL_TURN;
    }
    return best;
}

// No point of a line's image lies nearer u than this squared chord: with
// one joint held, its tip is fixed, and the apex stays at arc coupler_arc
// from that tip, so its angle from u is at least |angle(u, tip) -
// coupler_arc| (the triangle inequality on the sphere).
double line_bound(const Arm& arm, const Line& line, Vec3 u) noexcept {
    const Vec3 tip = line.held_tip;
    const double to_tip = elementary::atan2(norm(cross(u, tip)), dot(u, tip));
    const double arc = std::fmin(std::fabs(to_tip - arm.geometry().coupler_arc), 3.141592653589793);
    const double chord = 2.0 * elementary::sin(0.5 * arc);
    return chord * chord;
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
        lines[count++] = make_line(arm, true, limits.theta_a.lower, b.lower, b.upper);
        lines[count++] = make_line(arm, true, limits.theta_a.upper, b.lower, b.upper);
    }
    if (limiting(limits.theta_b)) {
        const AngleInterval a = sweep(limits.theta_a);
        lines[count++] = make_line(arm, false, limits.theta_b.lower, a.lower, a.upper);
        lines[count++] = make_line(arm, false, limits.theta_b.upper, a.lower, a.upper);
    }
    // Lines whose bound leaves them no chance are not searched; the nearest
    // bound goes first, so that the first line found tends to rule out the
    // rest. Between equally near points the line listed first wins, as it
    // would in the order listed.
    double bounds[4];
    int order[4];
    for (int i = 0; i < count; ++i) {
        bounds[i] = line_bound(arm, lines[i], u);
        int at = i;
        while (at > 0 && bounds[order[at - 1]] > bounds[i]) {
            order[at] = order[at - 1];
            --at;
        }
        order[at] = i;
    }
    int best_line = -1;
    LinePoint best = {0.0, INFINITY};
    for (int k = 0; k < count; ++k) {
        const int i = order[k];
        if (bounds[i] - LINE_BOUND_SLACK > best.gap) {
            break;
        }
        const LinePoint p = nearest_on_line(arm, lines[i], u);
        if (!(p.gap < best.gap || (p.gap == best.gap && i < best_line))) {
            continue;
        }
        if (!direction_on(arm, lines[i], p.free) ||
            !joints_under(joints_on(lines[i], p.free), options)) {
            continue;
        }
        best = p;
        best_line = i;
    }
    if (best_line < 0) {
        return std::nullopt;
    }
    const JointPair on_line = joints_on(lines[best_line], best.free);
    const Vec3 d = *direction_on(arm, lines[best_line], best.free);
    const std::optional<JointPair> by_ik = ik_from_direction(arm, d, options);
    return ReachableDirection{d, by_ik ? *by_ik : *joints_under(on_line, options)};
}

}  // namespace quorbel::detail
