// The nearest reachable direction: candidates on the edge of the workspace,
// tried from the nearest (the method is in the header).
#include <quorbel/arm/nearest_reachable.hpp>

#include <quorbel/maths/elementary.hpp>
#include <array>
#include <cmath>
#include <cstddef>
#include <utility>

#include <quorbel/arm/forward_kinematics.hpp>

#include "arm/close_loop_from_cosines.hpp"
#include "arm/golden_section.hpp"
#include "arm/limit_lines.hpp"
#include "arm/unit_direction.hpp"

namespace quorbel {
namespace {

constexpr double PI = 3.141592653589793;

// Samples per closed piece of the closing limit. Its Lagrange condition has
// at most 16 roots in all (it and the limit are trigonometric polynomials
// of bidegree (2,2) and (1,1) in the joints); two roots closer than the
// samples' spacing are caught as a dip (see add_limit_candidates).
constexpr int LIMIT_SAMPLES = 32;
// Regula falsi stops when its bracket is this narrow (radians of the
// curve's parameter) or after LIMIT_ITERATIONS steps.
constexpr double LIMIT_BRACKET = 1e-14;
constexpr int LIMIT_ITERATIONS = 60;
// A dip of |h| between three samples is searched when the parabola through
// them comes within this fraction of its middle value of zero (or crosses
// it); the search takes at most DIP_ITERATIONS golden-section steps.
constexpr double DIP_MARGIN = 0.25;
constexpr int DIP_ITERATIONS = 40;
// How far a rim or corner candidate is moved into the workspace before
// ik_from_direction is asked, one after the other.
constexpr double RIM_STEPS[] = {1e-12, 1e-10};
// Slack of the test that a rim's point lies within the other tip's ring, in
// the cosine of its arc from that ring's axis.
constexpr double RING_MARGIN = 1e-9;
// How far a closing-limit candidate that ik_from_direction refuses as it is
// is moved toward the target, one after the other, until it is accepted
// (the last is half of IK_MATCH_TOLERANCE: the mirrored apex is twice as
// far); then how far away from the target, into the workspace, for the
// limit next to a point where a rim meets it (see the header). The inward
// steps stay well within the 1e-9 rad that a result may lie further.
constexpr double LIMIT_OUTWARD_STEPS[] = {1e-9, 4e-9, 1.6e-8, 6.4e-8, 2.5e-7};
constexpr double LIMIT_INWARD_STEPS[] = {1e-11, 1e-10, 3e-10};

// Where a candidate lies: on a rim of a tip's ring (a corner of two rims
// included), on the closing limit, or where a rim meets the closing limit.
// A crossing is where a circle about a meeting point of the tips crosses a
// rim or the other such circle; the workspace there is a wedge on a side
// not worked out, tried in CROSSING_TURNS directions. A meeting candidate is
// the point of such a circle nearest the target, reached through the
// joints (see accept_meeting).
enum class Kind { rim, limit, rim_limit, crossing, meeting };

struct Candidate {
    Vec3 direction;
    Vec3 inward;   // rim and corner: unit tangent into the workspace;
                   // meeting: the tips' meeting point
    double angle;  // from the target
    Kind kind;
};

// How a candidate where a rim meets the closing limit is turned into the
// workspace: along the rim's inward normal, and that normal turned this far
// toward either sense of the rim (the workspace there is a wedge between
// the rim and the limit, on the rim's inner side).
constexpr double RIM_LIMIT_TURN = PI / 3;
constexpr int CROSSING_TURNS = 12;
// How much further than a known answer an edge candidate may lie and still
// be tried: its moves toward the target reach 2.5e-7 rad.
constexpr double EDGE_MARGIN = 1e-6;
// How a meeting candidate is reached through the joints (accept_meeting).
constexpr double MEETING_RADII[] = {1e-3, 1e-4, 1e-5, 1e-6, 1e-7};
constexpr int MEETING_BEARINGS = 48;
constexpr int MEETING_ITERATIONS = 40;

// Room for every candidate: 4 rims, 8 corners of two rims, 4 on the circles
// about the tips' meeting points, 16 where they cross a rim and 2 where they
// cross each other, 8 points where a
// rim meets the closing limit and the closing limit's maxima (at most one
// per sample interval of each of at most two pieces).
constexpr std::size_t MAX_CANDIDATES = 4 + 8 + 4 + 16 + 2 + 8 + 2 * LIMIT_SAMPLES;

struct EdgeCandidates {
    std::array<Candidate, MAX_CANDIDATES> items;
    std::size_t count = 0;

    void add(Vec3 direction, Vec3 inward, Vec3 target, Kind kind) noexcept {
        if (count == items.size()) {
            return;
        }
        const double angle = elementary::atan2(norm(cross(target, direction)), dot(target, direction));
        items[count++] = Candidate{direction, inward, angle, kind};
    }
};

// The unit tangent at d toward k (k not parallel to d).
Vec3 toward(Vec3 d, Vec3 k) noexcept { return normalise(k - dot(k, d) * d); }

// A rim of a tip's ring: the directions d with d.axis = cos_radius.
struct Rim {
    Vec3 axis;
    double cos_radius;
    bool near_side;  // the rim nearer the axis: the workspace lies away from it
};

Vec3 inward_from(const Rim& rim, Vec3 d) noexcept {
    const Vec3 t = toward(d, rim.axis);
    return rim.near_side ? -1.0 * t : t;
}

// The point of the rim nearest the target: the rim's point in the plane of
// the axis and the target. A target along the axis has every point of the
// rim at one distance; the point toward `fallback` is taken.
Vec3 nearest_on_rim(const Rim& rim, Vec3 target, Vec3 fallback) noexcept {
    Vec3 across = target - dot(target, rim.axis) * rim.axis;
    if (!(norm(across) > 0.0)) {
        across = fallback - dot(fallback, rim.axis) * rim.axis;
    }
    const double sin_radius = std::sqrt(std::fmax(0.0, 1.0 - rim.cos_radius * rim.cos_radius));
    return rim.cos_radius * rim.axis + sin_radius * normalise(across);
}

// The closing limit, one joint pair at a time: tip A from theta_a, tip B
// where ring B meets the circle of arc 2 coupler_arc about tip A, on the side
// whose sign `offset_sign` gives. The loop's margin there is clamped at zero,
// so that a parameter at a turning point (where the two sides meet) yields
// the single point instead of nothing.
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

LimitPoint limit_point(const ClosingLimit& f, double theta_a, double offset_sign) noexcept {
    const Vec3 v_2 = arm_tip_a(f.arm, theta_a);
    double c = dot(f.axis_b, v_2);
    c = std::fmax(-1.0, std::fmin(1.0, c));
    const double sigma = std::sqrt(1.0 - c * c);
    const double r = (f.cos_double - c * f.cos_arm) / sigma;
    const double t = std::fmax(0.0, (1.0 - f.cos_arm * f.cos_arm) - r * r);
    const Vec3 n = cross(f.axis_b, v_2) / sigma;
    const Vec3 e = cross(n, f.axis_b);
    return {v_2, f.cos_arm * f.axis_b + r * e + (offset_sign * std::sqrt(t)) * n};
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
void add_limit_candidates(const ClosingLimit& f, const LimitPiece& piece, Vec3 target,
                          double cos_coupler, EdgeCandidates& list) noexcept {
    const double o = orientation(f, piece, cos_coupler);
    const double step = 2.0 * PI / LIMIT_SAMPLES;
    const auto h_at = [&](double s) {
        return o * lagrange_condition(f, piece_point(f, piece, s), target);
    };
    const auto add_root = [&](double s_lo, double h_lo, double s_hi, double h_hi) {
        const double root = refine_root(f, piece, target, o, s_lo, h_lo, s_hi, h_hi);
        list.add(limit_apex(piece_point(f, piece, root), cos_coupler), Vec3{0.0, 0.0, 0.0},
                 target, Kind::limit);
    };
    std::array<double, LIMIT_SAMPLES> h;
    for (int k = 0; k < LIMIT_SAMPLES; ++k) {
        h[k] = h_at(k * step);
    }
    for (int k = 0; k < LIMIT_SAMPLES; ++k) {
        const double s = k * step;
        const double h_prev = h[(k + LIMIT_SAMPLES - 1) % LIMIT_SAMPLES];
        const double h_here = h[k];
        const double h_next = h[(k + 1) % LIMIT_SAMPLES];
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

// The pieces of the closing limit. Tip B can sit 2 coupler_arc from tip A
// when c = v_5.v_2 = sin(arm_arc) cos(theta_a) lies within
// [cos a cos 2g - |sin a sin 2g|, cos a cos 2g + |sin a sin 2g|].
void add_closing_limit(const Arm& arm, Vec3 target, EdgeCandidates& list) noexcept {
    const double m = mirror_sign(arm.geometry());
    const double cos_coupler = arm.cos_coupler();
    const double cos_double = 2.0 * cos_coupler * cos_coupler - 1.0;
    const double sin_double = std::sqrt(std::fmax(0.0, 1.0 - cos_double * cos_double));
    const ClosingLimit f = {arm, arm.cos_arm(), cos_double, {m, 0.0, 0.0}};
    if (arm.sin_arm() == 0.0) {
        return;
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
        return;
    }
    if (lo <= -1.0 && hi >= 1.0) {
        add_limit_candidates(f, {0.0, 0.0, 1.0}, target, cos_coupler, list);
        add_limit_candidates(f, {0.0, 0.0, -1.0}, target, cos_coupler, list);
    } else if (hi >= 1.0) {
        add_limit_candidates(f, {0.0, elementary::acos(lo), 0.0}, target, cos_coupler, list);
    } else if (lo <= -1.0) {
        add_limit_candidates(f, {PI, PI - elementary::acos(hi), 0.0}, target, cos_coupler, list);
    } else {
        const double near_end = elementary::acos(hi);
        const double far_end = elementary::acos(lo);
        const double centre = 0.5 * (near_end + far_end);
        const double half = 0.5 * (far_end - near_end);
        add_limit_candidates(f, {centre, half, 0.0}, target, cos_coupler, list);
        add_limit_candidates(f, {-centre, half, 0.0}, target, cos_coupler, list);
    }
}

// The rims of both rings: tip placements exist for d.axis within
// [cos a cos g - |sin a sin g|, cos a cos g + |sin a sin g|] (a = arm_arc,
// g = coupler_arc); the nearest point of each rim, and the corners where a
// rim of A crosses a rim of B.
void add_rims_and_corners(const Arm& arm, Vec3 target,
                          EdgeCandidates& list) noexcept {
    const double m = mirror_sign(arm.geometry());
    const double cos_coupler = arm.cos_coupler();
    const double sin_coupler = std::sqrt(std::fmax(0.0, 1.0 - cos_coupler * cos_coupler));
    const double middle = arm.cos_arm() * cos_coupler;
    const double spread = std::fabs(arm.sin_arm()) * sin_coupler;
    const Vec3 axis_a = {0.0, 0.0, 1.0};
    const Vec3 axis_b = {m, 0.0, 0.0};
    const Rim rims_a[2] = {{axis_a, middle + spread, true}, {axis_a, middle - spread, false}};
    const Rim rims_b[2] = {{axis_b, middle + spread, true}, {axis_b, middle - spread, false}};
    // A rim's point is kept only within the other ring (with a margin for
    // rounding): elsewhere the other tip cannot be placed.
    const auto within_ring = [&](Vec3 d, Vec3 axis) {
        const double c = dot(d, axis);
        return c >= middle - spread - RING_MARGIN && c <= middle + spread + RING_MARGIN;
    };
    for (int i = 0; i < 2; ++i) {
        const Vec3 on_a = nearest_on_rim(rims_a[i], target, axis_b);
        if (within_ring(on_a, axis_b)) {
            list.add(on_a, inward_from(rims_a[i], on_a), target, Kind::rim);
        }
        const Vec3 on_b = nearest_on_rim(rims_b[i], target, axis_a);
        if (within_ring(on_b, axis_a)) {
            list.add(on_b, inward_from(rims_b[i], on_b), target, Kind::rim);
        }
    }
    for (const Rim& a : rims_a) {
        for (const Rim& b : rims_b) {
            for (double side : {1.0, -1.0}) {
                const std::optional<Vec3> corner =
                    detail::close_loop_from_cosines(axis_a, a.cos_radius, axis_b, b.cos_radius, side);
                if (corner) {
                    const Vec3 inward = normalise(inward_from(a, *corner) + inward_from(b, *corner));
                    list.add(*corner, inward, target, Kind::rim);
                }
            }
        }
    }
}

// Where a rim meets the closing limit: an input arm in line with its coupler
// and both couplers on one great circle, so that joint axis P, the tip, the
// apex and the other tip all lie on one great circle, at signed arcs a,
// a + g and a + 2 g from P along it (a - g and a - 2 g for the rim nearer
// the axis; a = arm_arc, g = coupler_arc). The other tip must lie on its own
// ring, at arc a from its axis Q. With P and Q perpendicular and the circle
// leaving P along cos(phi) Q + sin(phi) (P x Q), that is
//   sin(a +- 2 g) cos(phi) = cos(a),
// two circles (phi and -phi) per rim. At such a point the Lagrange condition
// along the limit need not hold: the apex's square-root motion off the
// limit vanishes there, so neither the rims nor the limit's stationary
// points include it.
void add_rim_limit_meetings(const Arm& arm, Vec3 target, EdgeCandidates& list) noexcept {
    const double m = mirror_sign(arm.geometry());
    const Vec3 axis_a = {0.0, 0.0, 1.0};
    const Vec3 axis_b = {m, 0.0, 0.0};
    const double a = arm.geometry().arm_arc;
    const double g = arm.geometry().coupler_arc;
    for (const auto& [axis, other] : {std::pair{axis_a, axis_b}, std::pair{axis_b, axis_a}}) {
        const Vec3 across = cross(axis, other);
        for (double rim_sense : {1.0, -1.0}) {
            const double sin_far = elementary::sin(a + 2.0 * rim_sense * g);
            const double cos_phi = arm.cos_arm() / sin_far;
            if (!(std::fabs(cos_phi) <= 1.0)) {
                continue;
            }
            const double sin_phi = std::sqrt(1.0 - cos_phi * cos_phi);
            const double apex_arc = a + rim_sense * g;
            const Rim rim = {axis, elementary::cos(apex_arc), rim_sense < 0.0};
            for (double side : {1.0, -1.0}) {
                const Vec3 leaving = cos_phi * other + (side * sin_phi) * across;
                const Vec3 apex = elementary::cos(apex_arc) * axis + elementary::sin(apex_arc) * leaving;
                list.add(apex, inward_from(rim, apex), target, Kind::rim_limit);
            }
        }
    }
}

// d turned by `angle` toward the unit tangent t.
Vec3 turned(Vec3 d, Vec3 t, double angle) noexcept {
    if (angle == 0.0) {
        return d;
    }
    return normalise(elementary::cos(angle) * d + elementary::sin(angle) * t);
}

// The candidate moved as the header describes, until ik_from_direction
// accepts it; empty when it never does. A rim or corner point that no move
// gets accepted is tried as it stands: where the workspace has no room for
// a move (a single direction, for an arm_arc of 0, whose tips never
// leave the joint axes), the point itself is the answer.
// Next to a point of a meeting circle the workspace can be a sliver that no
// move of the direction by up to 1e-6 rad enters: the circle is only the
// limit of apexes as the tips close in on each other along one bearing.
// So the joints are moved instead, a distance r from the pair that puts
// both tips at the meeting point (theta_a, theta_b read off it as forward
// kinematics places the tips), along the bearing whose direction is nearest
// the target (MEETING_BEARINGS samples, then golden section); r shrinks
// through MEETING_RADII, and the nearest direction ik_from_direction
// accepts wins. It lies at most about 1e-6 rad further than the circle's
// point (the sliver's width at the smallest radius, and the rounding of
// tips that close together).
// `Choice` is what ik_from_direction takes besides the direction: the
// optional `near` of the plain overload, or IkOptions.
template <typename Choice>
std::optional<ReachableDirection> accept_meeting(const Arm& arm, const Candidate& c,
                                                 Vec3 target, const Choice& near) noexcept {
    // v_2 = (m sa cos tA, m sa sin tA, ca) and v_4 = (m ca, -m sa sin tB,
    // sa cos tB) at the meeting point p; sa may be negative.
    const double m = arm.sin_arm() < 0.0 ? -mirror_sign(arm.geometry())
                                         : mirror_sign(arm.geometry());
    const double s = arm.sin_arm() < 0.0 ? -1.0 : 1.0;
    const Vec3 p = c.inward;
    const double centre_a = elementary::atan2(m * p.y, m * p.x);
    const double centre_b = elementary::atan2(-m * p.y, s * p.z);
    std::optional<ReachableDirection> best;
    double best_angle = INFINITY;
    for (double r : MEETING_RADII) {
        const auto angle_at = [&](double bearing) {
            const std::optional<Vec3> d = pointing_direction(
                arm, centre_a + r * elementary::cos(bearing), centre_b + r * elementary::sin(bearing));
            return d ? elementary::atan2(norm(cross(target, *d)), dot(target, *d)) : INFINITY;
        };
        const double spacing = 2.0 * PI / MEETING_BEARINGS;
        double bearing = 0.0;
        double least = INFINITY;
        for (int k = 0; k < MEETING_BEARINGS; ++k) {
            const double angle = angle_at(k * spacing);
            if (angle < least) {
                least = angle;
                bearing = k * spacing;
            }
        }
        const double refined = detail::golden_minimum(angle_at, bearing - spacing,
                                                      bearing + spacing, MEETING_ITERATIONS,
                                                      [](double v) { return v; })
                                   .first;
        for (double b : {bearing, refined}) {
            const std::optional<Vec3> d = pointing_direction(
                arm, centre_a + r * elementary::cos(b), centre_b + r * elementary::sin(b));
            if (!d) {
                continue;
            }
            const double angle = elementary::atan2(norm(cross(target, *d)), dot(target, *d));
            if (angle < best_angle) {
                if (const std::optional<JointPair> joints = ik_from_direction(arm, *d, near)) {
                    best = ReachableDirection{*d, *joints};
                    best_angle = angle;
                }
            }
        }
    }
    return best;
}

template <typename Choice>
std::optional<ReachableDirection> accept(const Arm& arm, const Candidate& c,
                                         Vec3 target, const Choice& near) noexcept {
    if (c.kind == Kind::meeting) {
        return accept_meeting(arm, c, target, near);
    }
    const auto accepted = [&](Vec3 d) -> std::optional<ReachableDirection> {
        if (const std::optional<JointPair> joints = ik_from_direction(arm, d, near)) {
            return ReachableDirection{d, *joints};
        }
        return std::nullopt;
    };
    if (c.kind == Kind::rim) {
        for (double step : RIM_STEPS) {
            if (auto found = accepted(turned(c.direction, c.inward, step))) {
                return found;
            }
        }
        return accepted(c.direction);
    }
    if (c.kind == Kind::crossing) {
        const Vec3 e1 = normalise(cross(c.direction, std::fabs(c.direction.z) < 0.9
                                                         ? Vec3{0.0, 0.0, 1.0}
                                                         : Vec3{1.0, 0.0, 0.0}));
        const Vec3 e2 = cross(c.direction, e1);
        for (double step : RIM_STEPS) {
            for (int k = 0; k < CROSSING_TURNS; ++k) {
                const double psi = 2.0 * PI * k / CROSSING_TURNS;
                if (auto found = accepted(turned(c.direction,
                                                 elementary::cos(psi) * e1 + elementary::sin(psi) * e2, step))) {
                    return found;
                }
            }
        }
        return accepted(c.direction);
    }
    if (c.kind == Kind::rim_limit) {
        const Vec3 along = normalise(cross(c.direction, c.inward));
        const Vec3 turns[3] = {
            c.inward,
            elementary::cos(RIM_LIMIT_TURN) * c.inward + elementary::sin(RIM_LIMIT_TURN) * along,
            elementary::cos(RIM_LIMIT_TURN) * c.inward - elementary::sin(RIM_LIMIT_TURN) * along};
        for (double step : RIM_STEPS) {
            for (const Vec3& t : turns) {
                if (auto found = accepted(turned(c.direction, t, step))) {
                    return found;
                }
            }
        }
        return accepted(c.direction);
    }
    if (auto found = accepted(c.direction)) {
        return found;
    }
    const Vec3 across = target - dot(target, c.direction) * c.direction;
    if (!(norm(across) > 0.0)) {
        return std::nullopt;
    }
    const Vec3 toward_target = normalise(across);
    for (double step : LIMIT_OUTWARD_STEPS) {
        if (step >= c.angle) {
            break;
        }
        if (auto found = accepted(turned(c.direction, toward_target, step))) {
            return found;
        }
    }
    for (double step : LIMIT_INWARD_STEPS) {
        if (auto found = accepted(turned(c.direction, -1.0 * toward_target, step))) {
            return found;
        }
    }
    return std::nullopt;
}

// Where the tips' rings cross (|cos arm_arc| below sqrt(1/2)) the tips can
// meet, at one of the two points at arc arm_arc from both joint axes. As
// they pass through each other the apex, at arc coupler_arc from both on
// the perpendicular bisector of the tips, sweeps the whole circle of arc
// coupler_arc about the meeting point and jumps across it; that circle is
// part of the workspace's edge. Its point nearest the target is a
// candidate; so are the points where the circle crosses a rim or the other circle,
// where the arc of it on the edge can end.
void add_meeting_circles(const Arm& arm, Vec3 target, EdgeCandidates& list) noexcept {
    const double m = mirror_sign(arm.geometry());
    const Vec3 axis_a = {0.0, 0.0, 1.0};
    const Vec3 axis_b = {m, 0.0, 0.0};
    const double cos_coupler = arm.cos_coupler();
    const double sin_coupler = std::sqrt(std::fmax(0.0, 1.0 - cos_coupler * cos_coupler));
    const double middle = arm.cos_arm() * cos_coupler;
    const double spread = std::fabs(arm.sin_arm()) * sin_coupler;
    const Rim rims[4] = {{axis_a, middle + spread, true}, {axis_a, middle - spread, false},
                         {axis_b, middle + spread, true}, {axis_b, middle - spread, false}};
    Vec3 centres[2];
    int count = 0;
    for (double side : {1.0, -1.0}) {
        const std::optional<Vec3> meeting = detail::close_loop_from_cosines(
            axis_a, arm.cos_arm(), axis_b, arm.cos_arm(), side);
        if (!meeting) {
            continue;
        }
        centres[count++] = *meeting;
        const Rim circle = {*meeting, cos_coupler, true};
        const Vec3 d = nearest_on_rim(circle, target, axis_a);
        list.add(d, *meeting, target, Kind::meeting);
        for (const Rim& rim : rims) {
            for (double turn : {1.0, -1.0}) {
                const std::optional<Vec3> crossing = detail::close_loop_from_cosines(
                    *meeting, cos_coupler, rim.axis, rim.cos_radius, turn);
                if (crossing) {
                    list.add(*crossing, Vec3{0.0, 0.0, 0.0}, target, Kind::crossing);
                }
            }
        }
    }
    if (count == 2) {
        for (double turn : {1.0, -1.0}) {
            const std::optional<Vec3> crossing = detail::close_loop_from_cosines(
                centres[0], cos_coupler, centres[1], cos_coupler, turn);
            if (crossing) {
                list.add(*crossing, Vec3{0.0, 0.0, 0.0}, target, Kind::crossing);
            }
        }
    }
}

// Every candidate on the edge of the workspace for the unit target u. They
// depend on the arm and the target only, not on which joints are chosen, so
// one list serves the searches without and within limits.
void collect_edge_candidates(const Arm& arm, Vec3 u, EdgeCandidates& list) noexcept {
    add_rims_and_corners(arm, u, list);
    add_meeting_circles(arm, u, list);
    add_rim_limit_meetings(arm, u, list);
    add_closing_limit(arm, u, list);
}

// The candidates tried from the nearest, from the `next`-th nearest on:
// the first that ik_from_direction accepts with `near` is the answer, and
// `next` is left at its place in the list (at the list's end when none is
// accepted). Candidates further than `give_up` rad are not tried (an answer
// is known that near). The list is sorted as far as it is tried, so a
// search can go on where another left off.
template <typename Choice>
std::optional<ReachableDirection> first_accepted(const Arm& arm, Vec3 u, EdgeCandidates& list,
                                                 std::size_t& next, const Choice& near,
                                                 double give_up = INFINITY) noexcept {
    // Nearest first: a selection sort over a short list, stopping at the
    // first candidate that is accepted.
    for (; next < list.count; ++next) {
        std::size_t best = next;
        for (std::size_t j = next + 1; j < list.count; ++j) {
            if (list.items[j].angle < list.items[best].angle) {
                best = j;
            }
        }
        const Candidate c = list.items[best];
        list.items[best] = list.items[next];
        list.items[next] = c;
        if (c.angle > give_up) {
            break;
        }
        if (std::optional<ReachableDirection> found = accept(arm, c, u, near)) {
            return found;
        }
    }
    return std::nullopt;
}

template <typename Choice>
std::optional<ReachableDirection> nearest_on_edge(const Arm& arm, Vec3 u,
                                                  const Choice& near) noexcept {
    EdgeCandidates list;
    collect_edge_candidates(arm, u, list);
    std::size_t next = 0;
    return first_accepted(arm, u, list, next, near);
}

// The joints ik_from_direction gives the target as given, where normalising
// its unit direction u once more would move u (by an ulp): right at the edge
// of acceptance that second normalisation can be refused while the target
// is not. Empty where normalising u keeps it, or where the target is refused.
template <typename Choice>
std::optional<JointPair> joints_of_target_as_given(const Arm& arm, Vec3 target, Vec3 u,
                                                   const Choice& choice) noexcept {
    const Vec3 again = u / norm(u);
    if (again.x == u.x && again.y == u.y && again.z == u.z) {
        return std::nullopt;
    }
    return ik_from_direction(arm, target, choice);
}

}  // namespace

std::optional<ReachableDirection> nearest_reachable(const Arm& arm, Vec3 target,
                                                    std::optional<JointPair> near) noexcept {
    const std::optional<Vec3> unit = detail::unit_direction(target);
    if (!unit) {
        return std::nullopt;
    }
    const Vec3 u = *unit;
    if (const std::optional<JointPair> joints = ik_from_direction(arm, u, near)) {
        return ReachableDirection{u, *joints};
    }
    // ik_from_direction normalises u again, which may move it by an ulp: off
    // a target at the very edge of acceptance that u itself meets. Then the
    // target as given is asked, which ik_from_direction normalises to u.
    if (const std::optional<JointPair> joints = joints_of_target_as_given(arm, target, u, near)) {
        return ReachableDirection{u, *joints};
    }
    return nearest_on_edge(arm, u, near);
}

// Within limits: for a target out of reach even without limits, the answer
// without limits is the answer when it is reachable within them (the set
// within limits is a part of the whole).
// Otherwise the limit lines' nearest point and the edge's answer within
// the limits, the nearer (the edge's on a tie); edge candidates further
// than the limit lines' point (with a margin for the moves that accept
// them) are not tried.
std::optional<ReachableDirection> detail::nearest_reachable_with_options(
    const Arm& arm, Vec3 target, const IkOptions& options) noexcept {
    const std::optional<Vec3> unit = detail::unit_direction(target);
    if (!unit) {
        return std::nullopt;
    }
    const Vec3 u = *unit;
    if (const std::optional<JointPair> joints = ik_from_direction(arm, u, options)) {
        return ReachableDirection{u, *joints};
    }
    if (const std::optional<JointPair> joints =
            joints_of_target_as_given(arm, target, u, options)) {
        return ReachableDirection{u, *joints};
    }
    if (!options.limits) {
        return nearest_on_edge(arm, u, options);
    }
    // The edge's candidates are collected once, for the search without
    // limits and the one within them. ik_from_direction within limits
    // accepts a part of what it accepts without them, so the search within
    // limits goes on from the candidate that the one without them accepted:
    // the nearer ones were refused already.
    EdgeCandidates candidates;
    collect_edge_candidates(arm, u, candidates);
    std::size_t next = 0;
    if (!ik_from_direction(arm, u, options.near)) {
        if (const std::optional<ReachableDirection> free =
                first_accepted(arm, u, candidates, next, options.near)) {
            if (const std::optional<JointPair> joints =
                    ik_from_direction(arm, free->direction, options)) {
                return ReachableDirection{free->direction, *joints};
            }
        }
    }
    const auto angle = [&](Vec3 d) { return elementary::atan2(norm(cross(u, d)), dot(u, d)); };
    std::optional<ReachableDirection> found = detail::nearest_on_limit_lines(arm, u, options);
    const double give_up = found ? angle(found->direction) + EDGE_MARGIN : INFINITY;
    const std::optional<ReachableDirection> on_edge =
        first_accepted(arm, u, candidates, next, options, give_up);
    if (on_edge && (!found || !(angle(found->direction) < angle(on_edge->direction)))) {
        found = on_edge;
    }
    return found;
}

}  // namespace quorbel
