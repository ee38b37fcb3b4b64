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
#include "arm/closing_limit.hpp"
#include "arm/golden_section.hpp"
#include "arm/limit_lines.hpp"
#include "arm/unit_direction.hpp"

namespace quorbel {
namespace {

constexpr double PI = 3.141592653589793;

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
// rim meets the closing limit and the closing limit's maxima.
constexpr std::size_t MAX_CANDIDATES =
    4 + 8 + 4 + 16 + 2 + 8 + 2 * detail::CLOSING_LIMIT_SAMPLES;

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
    const detail::ClosingLimitMaxima maxima = detail::closing_limit_maxima(arm, u);
    for (std::size_t i = 0; i < maxima.count; ++i) {
        list.add(maxima.apexes[i], Vec3{0.0, 0.0, 0.0}, u, Kind::limit);
    }
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
