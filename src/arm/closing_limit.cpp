// The closing limit's candidates for nearest_reachable: the limit traced in
// closed form with theta_a as parameter, and the stationary points of the
// apex's distance to the target along it, found by sign changes of the
// Lagrange condition (sampled, then refined by regula falsi).
#include "arm/closing_limit.hpp"

#include <quorbel/maths/elementary.hpp>
#include <cmath>
#include <limits>
#include <optional>

#include "arm/close_loop_from_cosines.hpp"

namespace quorbel::detail {

// Named, as the core is compiled as one unit.
namespace closing_limit {
namespace {

constexpr double PI = 3.141592653589793;
// Regula falsi stops when its bracket is this narrow (radians of the
// curve's parameter) or after LIMIT_ITERATIONS steps.
constexpr double LIMIT_BRACKET = 1e-14;
constexpr int LIMIT_ITERATIONS = 60;
// A dip of |h| between three samples is searched when the parabola through
// them comes within this fraction of its middle value of zero (or crosses
// it); the search takes at most DIP_ITERATIONS golden-section steps.
constexpr double DIP_MARGIN = 0.25;
constexpr int DIP_ITERATIONS = 40;

// The closing limit, one joint pair at a time: tip A from theta_a, tip B
// where ring B meets the circle of arc 2 coupler_arc about tip A, on the side
// whose sign `offset_sign` gives.
struct LimitPoint {
    Vec3 v_2;
    Vec3 v_4;
};

// The arm's constants that trace its closing limit.
struct ClosingLimit {
    const Arm& arm;
    double cos_arm;
    double cos_double;  // cos(2 coupler_arc)
    Vec3 axis_b;
};

// The loop closure of tip B about tip A. A piece's parameter keeps theta_a
// within the range where the circles meet, so a negative margin there is
// rounding at a turning point (where the two sides meet): any margin counts
// as zero, and the single point is taken instead of nothing. The closure
// then refuses only a tip A on joint B's axis, where the circle about it
// has no side (sin of their arc is 0: no double puts it between 0 and
// VANISHING_SINE); the point is NaN there, which no sign test and no
// candidate's angle takes for a value.
constexpr double TURNING_POINT_SLACK = INFINITY;
constexpr double NOT_A_POINT = std::numeric_limits<double>::quiet_NaN();

LimitPoint limit_point(const ClosingLimit& f, double theta_a, double offset_sign) noexcept {
    const Vec3 v_2 = arm_tip_a(f.arm, theta_a);
    const std::optional<Vec3> v_4 =
        close_loop_on_small_circle(f.axis_b, f.cos_arm, 1.0 - f.cos_arm * f.cos_arm, v_2,
                                   f.cos_double, offset_sign, TURNING_POINT_SLACK);
    if (!v_4) {
        return {v_2, {NOT_A_POINT, NOT_A_POINT, NOT_A_POINT}};
    }
    return {v_2, *v_4};
}

// The Lagrange condition of u.(v_2 + v_4) on g = v_2.v_4 = cos(2 coupler_arc):
// dF/d theta_a dg/d theta_b - dF/d theta_b dg/d theta_a, zero exactly where
// the direction's distance to the target is stationary along the limit.
double lagrange_condition(const ClosingLimit& f, const LimitPoint& p, Vec3 target) noexcept {
    const Vec3 turn_a = cross(Vec3{0.0, 0.0, 1.0}, p.v_2);
    const Vec3 turn_b = cross(f.axis_b, p.v_4);
    return dot(target, turn_a) * dot(p.v_2, turn_b) - dot(target, turn_b) * dot(p.v_4, turn_a);
}

// One closed piece of the closing limit, with a parameter s in [0, 2 pi):
// theta_a = centre + half cos s with the side of sin s (a piece with two
// turning points), or theta_a = s - pi on a fixed side (a piece that goes
// all the way round joint A).
struct LimitPiece {
    double centre;
    double half;
    double side;  // 0 for a piece with turning points
};

LimitPoint piece_point(const ClosingLimit& f, const LimitPiece& piece, double s) noexcept {
    if (piece.side == 0.0) {
        const elementary::SinCos t = elementary::sincos(s);
        const double sign = t.sin < 0.0 ? -1.0 : 1.0;
        return limit_point(f, piece.centre + piece.half * t.cos, sign);
    }
    return limit_point(f, s - PI, piece.side);
}

// The root of h between s_lo and s_hi (values h_lo, h_hi of opposite signs),
// by regula falsi with the Illinois halving; h is the Lagrange condition
// times `orientation`.
double refine_root(const ClosingLimit& f, const LimitPiece& piece, Vec3 target,
                   double orientation, double s_lo, double h_lo, double s_hi,
                   double h_hi) noexcept {
    int kept_side = 0;
    for (int i = 0; i < LIMIT_ITERATIONS && s_hi - s_lo > LIMIT_BRACKET; ++i) {
        double s = (s_lo * h_hi - s_hi * h_lo) / (h_hi - h_lo);
        if (!(s > s_lo && s < s_hi)) {
            s = 0.5 * (s_lo + s_hi);
        }
        const double h = orientation * lagrange_condition(f, piece_point(f, piece, s), target);
        if (h == 0.0) {
            return s;
        }
        if ((h < 0.0) == (h_lo < 0.0)) {
            s_lo = s;
            h_lo = h;
            if (kept_side == -1) {
                h_hi *= 0.5;
            }
            kept_side = -1;
        } else {
            s_hi = s;
            h_hi = h;
            if (kept_side == 1) {
                h_lo *= 0.5;
            }
            kept_side = 1;
        }
    }
    return std::fabs(h_lo) < std::fabs(h_hi) ? s_lo : s_hi;
}

// The apex of a limit pair: midway between the tips (its antipode for a
// coupler longer than a quarter turn).
Vec3 limit_apex(const LimitPoint& p, double cos_coupler) noexcept {
    const Vec3 mid = normalise(p.v_2 + p.v_4);
    return cos_coupler < 0.0 ? -1.0 * mid : mid;
}

// +1 where the apex's cosine to the target grows along the piece's parameter
// as the Lagrange condition's sign says, -1 where it falls. The condition is
// grad f . T with T = (dg/d theta_b, -dg/d theta_a), a tangent of the limit
// that never vanishes, so its sense relative to the parameter is one for the
// whole piece: read where d theta_a / ds is known and dg/d theta_b is not
// zero (away from the turning points). f is the cosine times
// 2 cos(coupler_arc), whose sign enters too.
double orientation(const ClosingLimit& f, const LimitPiece& piece,
                   double cos_coupler) noexcept {
    // theta_a = centre + half cos s falls at s = pi / 2; theta_a = s - pi rises.
    const double s = piece.side == 0.0 ? 0.5 * PI : 0.0;
    const double theta_a_rate = piece.side == 0.0 ? -1.0 : 1.0;
    const LimitPoint p = piece_point(f, piece, s);
    const double dg_b = dot(p.v_2, cross(f.axis_b, p.v_4));
    const double sense = (theta_a_rate * dg_b < 0.0) ? -1.0 : 1.0;
    return cos_coupler < 0.0 ? -sense : sense;
}

// The local maxima of the apex's cosine to the target along one piece: where
// the oriented condition h falls through zero between two samples. A
// maximum and a minimum closer together than the samples' spacing leave no
// sign change; they show as a dip of |h| between three samples whose
// parabola reaches zero, and a golden-section search of that dip for the
// opposite sign finds them.
void add_piece_maxima(const ClosingLimit& f, const LimitPiece& piece, Vec3 target,
                          double cos_coupler, ClosingLimitMaxima& maxima) noexcept {
    const double o = orientation(f, piece, cos_coupler);
    const double step = 2.0 * PI / CLOSING_LIMIT_SAMPLES;
    const auto h_at = [&](double s) {
        return o * lagrange_condition(f, piece_point(f, piece, s), target);
    };
    const auto add_root = [&](double s_lo, double h_lo, double s_hi, double h_hi) {
        const double root = refine_root(f, piece, target, o, s_lo, h_lo, s_hi, h_hi);
        if (maxima.count < maxima.apexes.size()) {
            maxima.apexes[maxima.count++] = limit_apex(piece_point(f, piece, root), cos_coupler);
        }
    };
    std::array<double, CLOSING_LIMIT_SAMPLES> h;
    for (int k = 0; k < CLOSING_LIMIT_SAMPLES; ++k) {
        h[k] = h_at(k * step);
    }
    for (int k = 0; k < CLOSING_LIMIT_SAMPLES; ++k) {
        const double s = k * step;
        const double h_prev = h[(k + CLOSING_LIMIT_SAMPLES - 1) % CLOSING_LIMIT_SAMPLES];
        const double h_here = h[k];
        const double h_next = h[(k + 1) % CLOSING_LIMIT_SAMPLES];
        if (h_here > 0.0 && !(h_next > 0.0)) {
            add_root(s, h_here, s + step, h_next);
            continue;
        }
        const bool dip = (h_here > 0.0) == (h_prev > 0.0) && (h_here > 0.0) == (h_next > 0.0) &&
                         std::fabs(h_here) < std::fabs(h_prev) &&
                         std::fabs(h_here) <= std::fabs(h_next);
        if (!dip) {
            continue;
        }
        // The parabola through the three samples: its least |h| is
        // h_here - (h_next - h_prev)^2 / (8 (h_next - 2 h_here + h_prev)).
        const double curvature = h_next - 2.0 * h_here + h_prev;
        const double vertex = h_here - (h_next - h_prev) * (h_next - h_prev) / (8.0 * curvature);
        if ((vertex > 0.0) == (h_here > 0.0) && std::fabs(vertex) > DIP_MARGIN * std::fabs(h_here)) {
            continue;
        }
        // Golden section for the least sign(h_here) h on [s - step, s + step].
        const double sign = h_here > 0.0 ? 1.0 : -1.0;
        const double ratio = 0.5 * (std::sqrt(5.0) - 1.0);
        double lo = s - step;
        double hi = s + step;
        double x1 = hi - ratio * (hi - lo);
        double x2 = lo + ratio * (hi - lo);
        double g1 = sign * h_at(x1);
        double g2 = sign * h_at(x2);
        for (int i = 0; i < DIP_ITERATIONS && g1 > 0.0 && g2 > 0.0; ++i) {
            if (g1 < g2) {
                hi = x2;
                x2 = x1;
                g2 = g1;
                x1 = hi - ratio * (hi - lo);
                g1 = sign * h_at(x1);
            } else {
                lo = x1;
                x1 = x2;
                g1 = g2;
                x2 = lo + ratio * (hi - lo);
                g2 = sign * h_at(x2);
            }
        }
        const bool first = !(g1 > 0.0);
        if (!first && g2 > 0.0) {
            continue;  // a dip that stays on one side: no roots
        }
        const double crossing = first ? x1 : x2;
        const double h_crossing = sign * (first ? g1 : g2);
        // + - +: the maximum is where h falls, before the crossing;
        // - + -: after it.
        if (h_here > 0.0) {
            add_root(s - step, h_prev, crossing, h_crossing);
        } else {
            add_root(crossing, h_crossing, s + step, h_next);
        }
    }
}

}  // namespace
}  // namespace closing_limit

// The pieces of the closing limit. Tip B can sit 2 coupler_arc from tip A
// when c = v_5.v_2 = sin(arm_arc) cos(theta_a) lies within
// [cos a cos 2g - |sin a sin 2g|, cos a cos 2g + |sin a sin 2g|].
ClosingLimitMaxima closing_limit_maxima(const Arm& arm, Vec3 target) noexcept {
    using namespace closing_limit;
    ClosingLimitMaxima maxima;
    const double m = mirror_sign(arm.geometry());
    const double cos_coupler = arm.cos_coupler();
    const double cos_double = 2.0 * cos_coupler * cos_coupler - 1.0;
    const double sin_double = std::sqrt(std::fmax(0.0, 1.0 - cos_double * cos_double));
    const ClosingLimit f = {arm, arm.cos_arm(), cos_double, {m, 0.0, 0.0}};
    if (arm.sin_arm() == 0.0) {
        return maxima;
    }
    const double spread = std::fabs(arm.sin_arm()) * sin_double;
    double lo = (arm.cos_arm() * cos_double - spread) / arm.sin_arm();
    double hi = (arm.cos_arm() * cos_double + spread) / arm.sin_arm();
    if (lo > hi) {
        const double swap = lo;
        lo = hi;
        hi = swap;
    }
    if (lo > 1.0 || hi < -1.0) {
        return maxima;
    }
    if (lo <= -1.0 && hi >= 1.0) {
        add_piece_maxima(f, {0.0, 0.0, 1.0}, target, cos_coupler, maxima);
        add_piece_maxima(f, {0.0, 0.0, -1.0}, target, cos_coupler, maxima);
    } else if (hi >= 1.0) {
        add_piece_maxima(f, {0.0, elementary::acos(lo), 0.0}, target, cos_coupler, maxima);
    } else if (lo <= -1.0) {
        add_piece_maxima(f, {PI, PI - elementary::acos(hi), 0.0}, target, cos_coupler, maxima);
    } else {
        const double near_end = elementary::acos(hi);
        const double far_end = elementary::acos(lo);
        const double centre = 0.5 * (near_end + far_end);
        const double half = 0.5 * (far_end - near_end);
        add_piece_maxima(f, {centre, half, 0.0}, target, cos_coupler, maxima);
        add_piece_maxima(f, {-centre, half, 0.0}, target, cos_coupler, maxima);
    }
    return maxima;
}

}  // namespace quorbel::detail
