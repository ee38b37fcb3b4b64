// The reachable pointing direction nearest to a target: what an arm can aim
// at when its target leaves the workspace.
//
// Where the edge of the workspace lies. Let C be the joint pairs where the
// loop closes (tips at most 2 coupler_arc apart) and F(theta) = u.v_3(theta)
// for the unit target u; the nearest reachable direction maximises F over C.
// Inside C, dF = J^T u with J the direction Jacobian, whose columns span the
// tangent plane at v_3 unless an input arm lies in line with its coupler.
// So F is stationary inside C only where u = +-v_3 (u reachable, or its
// antipode), on a fold (an arm in line: the apex on a rim of that tip's ring,
// at arc arm_arc +- coupler_arc from the joint axis), or where both arms are
// in line (a corner where a rim of ring A crosses a rim of ring B). On the
// boundary of C (the closing limit: couplers on one great circle, tips
// exactly 2 coupler_arc apart, the apex their midpoint, on both branches at
// once) the optimum is a stationary point of F along that closed curve, or
// a point where a fold reaches the limit: there the apex's square-root
// motion off the limit vanishes, and F need not be stationary along it. The
// candidates are therefore:
// - on each of the four rims, the rim's point nearest u (closed form);
// - the up to eight corners where a rim of A crosses a rim of B (closed
//   form, two circles of the sphere);
// - the up to eight points where a rim meets the closing limit: joint axis,
//   tip, apex and other tip on one great circle, the other tip on its ring
//   (closed form);
// - the stationary points of F along the closing limit, traced in closed
//   form with theta_a as parameter (tip B where ring B meets the circle of
//   arc 2 coupler_arc about tip A) and solved for by sign changes of the
//   Lagrange condition dF x dg = 0 (g = v_2.v_4), sampled and refined by
//   regula falsi.
// - for an arm whose tips' rings cross (|cos arm_arc| below sqrt(1/2)), so
//   that the tips can meet: on the circle of arc coupler_arc about each of
//   the two meeting points (the apex sweeps it as the tips pass through
//   each other), its point nearest u, and the points where it crosses a rim
//   or the other circle (closed form, two circles of the sphere).
// Rim and corner candidates may lie outside the workspace (on the wrong
// branch, or outside the other tip's ring); the closing-limit ones are on it
// by construction. The candidates are tried from the nearest: the first that
// ik_from_direction accepts is the answer.
//
// Acceptance at the edge. On a rim, ik_from_direction's tip placement closes
// only just, so a rim or corner candidate is moved into the workspace by
// 1e-12 rad (then 1e-10) first; a point where a rim meets the limit is moved
// along the rim's inward normal, or that normal turned 60 degrees toward
// either sense of the rim, into the wedge the workspace makes there; either
// is tried as it stands when no move is accepted (a workspace of a single
// direction, for arm_arc 0, leaves no room to move). On the closing limit the
// loop's margin is the square of the distance from the limit, and rounding
// decides within about 1e-8 rad whether it closes; ik_from_direction accepts
// a direction whose candidate apex lies within IK_MATCH_TOLERANCE, which
// includes a band about 5e-7 rad wide beyond the limit (the other branch's
// apex, mirrored). A closing-limit candidate is therefore tried as it is and
// then moved toward the target by up to 2.5e-7 rad, until accepted.
//
// Next to a point where a rim meets the limit that band is cut off: the rim
// touches the limit there (the apex is at its furthest from, or nearest to,
// that joint's axis), and outside the limit only a sliver lies within the
// tip's ring, about 1.7 x^2 rad wide at a distance x from the point for the
// presets. Within about 1e-3 rad of the point the moves toward the target
// can therefore fail, and always do within 1e-9 rad of it: beyond the sliver
// no tip can be placed. There the loop's margin grows faster into the
// workspace instead: the tip next to its rim moves like the square root of
// the direction's distance from that rim, so the margin at a depth z inside
// the limit is about z^2 / x^2 rather than z^2 (and about z at the point
// itself). A closing-limit candidate that no move toward the target gets
// accepted is therefore moved away from it, into the workspace, by 1e-11,
// 1e-10 and 3e-10 rad, which costs at most 3e-10 rad. The two kinds of move
// overlap: over limit points of the presets and of a mirrored
// negative-branch arm up to 0.1 rad from such a point, the moves away were
// refused only beyond 1e-3 rad of it and the moves toward only within, never
// both.
#pragma once

#include <optional>

#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

struct ReachableDirection {
    Vec3 direction;   // unit; ik_from_direction accepts it (but see below)
    JointPair joints; // ik_from_direction(arm, direction, near) (but see below)
};

// The reachable direction at the smallest angle from `target`: the
// normalised target itself when ik_from_direction accepts the target;
// otherwise the point of the workspace nearest to it, never more than 1e-9
// rad further (on the closing limit possibly up to 2.5e-7 rad nearer, see
// above), and its joints as ik_from_direction chooses them with `near`. For
// an arm whose tips' rings cross, the point of a meeting circle is reached
// through the joints (the workspace next to it can be a sliver thinner than
// 1e-6 rad), and the answer may lie up to 1e-5 rad further (6e-6 measured
// over random such arms).
// The normalised target is target / |target|, as ik_from_direction
// normalises it, and its joints are those ik_from_direction gives it; but
// normalising it again can move it by an ulp, and right at the edge of
// acceptance the twice-normalised direction can be refused while the
// target is not: then the joints are ik_from_direction(arm, target, near),
// and ik_from_direction refuses the returned direction itself. Empty for a
// target shorter than MIN_DIRECTION_NORM or with a NaN or infinite
// component (a finite one of any length is normalised as
// ik_from_direction normalises it), and for an arm that reaches no
// direction.
QUORBEL_API std::optional<ReachableDirection> nearest_reachable(
    const Arm& arm, Vec3 target, std::optional<JointPair> near) noexcept;

// The same with options: the reachable set is the directions of joint pairs
// within options.limits (all of them without limits), and the joints are
// ik_from_direction(arm, direction, options)'s. Within limits the set's edge
// is made of the workspace's edge (the candidates above, those that
// ik_from_direction accepts within the limits) and of the images of the
// limit lines: theta_a at a bound with theta_b free within its interval
// where the loop closes, and the other way round, their ends included (the
// corners of the limits, and the points where a limit line meets the
// closing limit). Each limit line's image is a curve of directions; its
// point nearest the target is found on each piece where the loop closes
// (the piece's ends in closed form) by sampling the free joint and refining
// the best samples by Brent's method, in the square root of the distance
// from a piece's end next to one (there the direction moves like that
// root); a line is not searched when no point of it can be nearer than
// the best found (with one joint held, the apex stays at arc coupler_arc
// from the held tip). The answer is then within 1e-8 rad of the nearest point (2.6e-9
// at worst against a brute-force search over 800 random arms, limits and
// targets). For a target out of reach even without limits, the answer
// without limits is taken when the limits admit it; edge candidates
// further than the limit lines' point are not tried. A point on a limit line that
// ik_from_direction does not accept as it stands (rounding can put the
// recomputed joint a few ulps outside the bound) is reported with the limit
// line's joints.
namespace detail {
QUORBEL_API std::optional<ReachableDirection> nearest_reachable_with_options(
    const Arm& arm, Vec3 target, const IkOptions& options) noexcept;
}  // namespace detail

template <typename Options, IfIkOptions<Options> = 0>
std::optional<ReachableDirection> nearest_reachable(const Arm& arm, Vec3 target,
                                                    const Options& options) noexcept {
    return detail::nearest_reachable_with_options(arm, target, options);
}

}  // namespace quorbel
