// The arm's inverse kinematics on lanes, each operation the scalar one's
// (src/arm/inverse_kinematics.cpp): the two tip placements of each joint, the
// four candidate pairs in slot order (+1,+1), (+1,-1), (-1,+1), (-1,-1), the
// loop closed between their tips, and the choice among the candidates that
// land with the scalar rule (a later one wins only when strictly better).
// A pose the lanes do not take (a direction too short, too long or not
// finite; a candidate frame that needs the reference axis) is flagged for
// the scalar function by the caller.
#pragma once

#include <limits>

#include <quorbel/arm/inverse_kinematics.hpp>

#include "arm/tip_ring.hpp"
#include "batch/arm_lanes.hpp"

#if QTK_LANES

namespace quorbel::batch::detail {

template <class V>
inline Vec3Lanes<V> splat_vec3(Vec3 v) {
    return {V{} + v.x, V{} + v.y, V{} + v.z};
}

// One joint's two tip placements, on the sides +1 then -1.
template <class V>
struct PlacementLanes {
    V theta[2];
    Vec3Lanes<V> tip[2];
    IndexLanes<V> closed[2];
};

// Joint A (joint_b false) turns about v_1 = (0, 0, 1) from the rest tip
// (m sa, 0, ca), joint B about v_5 = (m, 0, 0) from (m ca, 0, sa).
template <class V>
QTK_FORCE_INLINE PlacementLanes<V> place_tips(const LaneArm& arm, const Vec3Lanes<V>& d,
                                              bool joint_b) {
    const double sin_arm = arm.sin_arm();
    const double cos_arm = arm.cos_arm();
    const double ring = ::quorbel::detail::tip_ring_sine_squared(sin_arm, cos_arm);
    const double slack = ::quorbel::detail::tip_ring_slack(sin_arm);
    const double m = mirror_sign(arm.geometry());
    const Vec3 axis = joint_b ? Vec3{m, 0.0, 0.0} : Vec3{0.0, 0.0, 1.0};
    const Vec3 rest_tip = joint_b ? Vec3{m * cos_arm, 0.0, sin_arm} : Vec3{m * sin_arm, 0.0, cos_arm};
    const Vec3 rest = rest_tip - dot(rest_tip, axis) * axis;
    const Vec3Lanes<V> axis_lanes = splat_vec3<V>(axis);
    const Vec3Lanes<V> rest_lanes = splat_vec3<V>(rest);
    PlacementLanes<V> out;
    constexpr double SIDES[2] = {1.0, -1.0};
    V y[2];
    V x[2];
    for (int i = 0; i < 2; ++i) {
        const ApexLanes<V> p = small_circle_lanes(axis_lanes, cos_arm, ring, d,
                                                  arm.cos_coupler(), SIDES[i], slack);
        // The joint angle: atan2((rest x q).axis, rest.q) with q = p off the
        // axis; (1, 1) where no tip is placed, so that such a lane costs no
        // scalar atan2.
        const Vec3Lanes<V> q = p.apex - scaled(dot(p.apex, axis_lanes), axis_lanes);
        y[i] = select(p.closed, dot(cross(rest_lanes, q), axis_lanes), V{} + 1.0);
        x[i] = select(p.closed, dot(rest_lanes, q), V{} + 1.0);
        out.closed[i] = p.closed;
    }
    // Both sides' angles, then both tips' sines and cosines, each pair
    // together (lane_elementary.hpp).
    elementary::detail::atan2_lanes<2>(y, x, out.theta);
    elementary::detail::SinCosLanes<V> turn[2];
    elementary::detail::sincos_lanes<2>(out.theta, turn);
    for (int i = 0; i < 2; ++i) {
        out.tip[i] = joint_b ? tip_b_lanes(arm, turn[i]) : tip_a_lanes(arm, turn[i]);
    }
    return out;
}

// The four candidates' joint angles and tips, slot 2 i + j from A's side i
// and B's side j; `placed` where both tips are.
template <class V>
struct CandidateLanes {
    V theta_a[4];
    V theta_b[4];
    Vec3Lanes<V> tip_a[4];
    Vec3Lanes<V> tip_b[4];
    IndexLanes<V> placed[4];
};

template <class V>
QTK_FORCE_INLINE CandidateLanes<V> candidate_lanes(const LaneArm& arm, const Vec3Lanes<V>& d) {
    const PlacementLanes<V> a = place_tips(arm, d, false);
    const PlacementLanes<V> b = place_tips(arm, d, true);
    CandidateLanes<V> out;
    for (int i = 0; i < 2; ++i) {
        for (int j = 0; j < 2; ++j) {
            const int slot = 2 * i + j;
            out.theta_a[slot] = a.theta[i];
            out.theta_b[slot] = b.theta[j];
            out.tip_a[slot] = a.tip[i];
            out.tip_b[slot] = b.tip[j];
            out.placed[slot] = a.closed[i] & b.closed[j];
        }
    }
    return out;
}

// unit_direction for lanes whose length is finite and at least
// MIN_DIRECTION_NORM (`usual`); the others are the scalar function's.
template <class V>
struct UnitLanes {
    Vec3Lanes<V> d;
    IndexLanes<V> usual;
};

template <class V>
QTK_FORCE_INLINE UnitLanes<V> unit_direction_lanes(const Vec3Lanes<V>& direction) {
    const V n = norm(direction);
    return {divided(direction, n),
            (n >= MIN_DIRECTION_NORM) & (n <= std::numeric_limits<double>::max())};
}

// The solutions of a direction: for each slot, `lands` where the candidate's
// loop closes on a v_3 within IK_MATCH_TOLERANCE of the unit direction.
template <class V>
struct SolutionLanes {
    V theta_a[4];
    V theta_b[4];
    IndexLanes<V> lands[4];
    IndexLanes<V> scalar;  // poses for the scalar function
};

template <class V>
QTK_FORCE_INLINE SolutionLanes<V> solution_lanes(const LaneArm& arm,
                                                 const Vec3Lanes<V>& direction) {
    const UnitLanes<V> unit = unit_direction_lanes(direction);
    const CandidateLanes<V> c = candidate_lanes(arm, unit.d);
    const double side = branch_sign(arm.geometry());
    SolutionLanes<V> out;
    for (int slot = 0; slot < 4; ++slot) {
        const ApexLanes<V> v_3 =
            close_loop_lanes(c.tip_a[slot], c.tip_b[slot], arm.cos_coupler(), side);
        out.theta_a[slot] = c.theta_a[slot];
        out.theta_b[slot] = c.theta_b[slot];
        out.lands[slot] = c.placed[slot] & v_3.closed &
                          (norm(v_3.apex - unit.d) < IK_MATCH_TOLERANCE);
    }
    out.scalar = ~unit.usual;
    return out;
}

// The chosen pair and where there is one.
template <class V>
struct ChoiceLanes {
    V theta_a;
    V theta_b;
    IndexLanes<V> found;
};

// A candidate replaces the best so far when there is none yet or its score
// is strictly lower (a NaN score never replaces one).
template <class V>
QTK_FORCE_INLINE void keep_better(ChoiceLanes<V>& best, V& best_score, IndexLanes<V> candidate,
                                  V theta_a, V theta_b, V score) {
    const IndexLanes<V> take = candidate & (~best.found | (score < best_score));
    best.theta_a = select(take, theta_a, best.theta_a);
    best.theta_b = select(take, theta_b, best.theta_b);
    best_score = select(take, score, best_score);
    best.found = best.found | take;
}

// ik_from_direction: the cost (tA - nA)^2 + (tB - nB)^2, or tA^2 + tB^2
// without near.
template <class V>
QTK_FORCE_INLINE ChoiceLanes<V> ik_from_direction_lanes(const SolutionLanes<V>& s,
                                                        const V* near_a, const V* near_b) {
    ChoiceLanes<V> best = {V{}, V{}, IndexLanes<V>{}};
    V best_cost = V{};
    for (int slot = 0; slot < 4; ++slot) {
        V cost;
        if (near_a != nullptr) {
            const V da = s.theta_a[slot] - *near_a;
            const V db = s.theta_b[slot] - *near_b;
            cost = da * da + db * db;
        } else {
            cost = s.theta_a[slot] * s.theta_a[slot] + s.theta_b[slot] * s.theta_b[slot];
        }
        keep_better(best, best_cost, s.lands[slot], s.theta_a[slot], s.theta_b[slot], cost);
    }
    return best;
}

// ik: candidates from the target's third column as it stands, accepted when
// the Frobenius distance of their frame to the target (summed row by row)
// is below IK_MATCH_TOLERANCE, the smallest winning.
template <class V>
struct OrientationChoiceLanes {
    ChoiceLanes<V> choice;
    IndexLanes<V> scalar;  // poses for the scalar function
};

template <class V>
QTK_FORCE_INLINE OrientationChoiceLanes<V> ik_lanes(const LaneArm& arm, const Mat3Lanes<V>& target) {
    const Vec3Lanes<V> d = {target.m[0][2], target.m[1][2], target.m[2][2]};
    const CandidateLanes<V> c = candidate_lanes(arm, d);
    const double side = branch_sign(arm.geometry());
    ChoiceLanes<V> best = {V{}, V{}, IndexLanes<V>{}};
    V best_error = V{};
    IndexLanes<V> scalar = IndexLanes<V>{};
    for (int slot = 0; slot < 4; ++slot) {
        const FrameLanes<V> f =
            frame_from_tip_lanes(c.tip_a[slot], c.tip_b[slot], arm.cos_coupler(), side);
        V sum = V{};
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                const V diff = f.rotation.m[i][j] - target.m[i][j];
                sum = sum + diff * diff;
            }
        }
        const V error = elementary::detail::sqrt_lanes(sum);
        scalar = scalar | (c.placed[slot] & f.closed & ~f.common);
        keep_better(best, best_error, c.placed[slot] & f.closed & (error < IK_MATCH_TOLERANCE),
                    c.theta_a[slot], c.theta_b[slot], error);
    }
    return {best, scalar};
}

}  // namespace quorbel::batch::detail

#endif  // QTK_LANES
