// Inverse kinematics: closed-form candidates from a pointing direction,
// checked by forward kinematics and chosen by direction or by rotation.
#include <quorbel/arm/inverse_kinematics.hpp>

#include <quorbel/maths/elementary.hpp>
#include <cmath>

#include "arm/close_loop_from_cosines.hpp"
#include "arm/end_effector_frame.hpp"
#include "arm/tip_ring.hpp"
#include "arm/unit_direction.hpp"
#include "maths/elementary/fma_dispatch.hpp"

namespace quorbel {
namespace {

// p - (p.u) u: p projected on the plane normal to the unit vector u.
Vec3 project_off_axis(Vec3 p, Vec3 u) noexcept { return p - dot(p, u) * u; }

// The signed angle about `axis` from `rest` (already normal to it) to the tip
// p projected off the axis: atan2((rest x q).axis, rest.q), in [-pi, pi].
double joint_angle(Vec3 axis, Vec3 rest, Vec3 p) noexcept {
    const Vec3 q = project_off_axis(p, axis);
    return elementary::atan2(dot(cross(rest, q), axis), dot(rest, q));
}

// One input joint's two tip placements for a direction d: the points at arc
// arm_arc from the joint axis and coupler_arc from d, on the sides +1 then -1,
// each read off as a joint angle and placed again from that angle, as forward
// kinematics places it.
struct TipPlacements {
    double theta[2];
    Vec3 tip[2];
    bool closed[2];
};

constexpr double SIDES[2] = {1.0, -1.0};

// With m the mirror sign, joint A turns about v_1 = (0, 0, 1) from the rest
// tip (m sa, 0, ca) and joint B about v_5 = (m, 0, 0) from (m ca, 0, sa).
// Calls visit(slot, theta_a, theta_b, tip_a, tip_b) for the candidate pairs
// (sA, sB) in the order (+1,+1), (+1,-1), (-1,+1), (-1,-1), slot 0 to 3,
// less those whose placements do not close; the B placements do not depend
// on sA and are made once. Whether forward kinematics closes the pair is for
// `visit`.
template <typename Visit>
void for_each_tip_pair(const Arm& arm, Vec3 direction, Visit&& visit) noexcept {
    const double sin_arm = arm.sin_arm();
    const double cos_arm = arm.cos_arm();
    const double cos_coupler = arm.cos_coupler();
    const double ring = detail::tip_ring_sine_squared(sin_arm, cos_arm);
    const double slack = detail::tip_ring_slack(sin_arm);
    const double m = mirror_sign(arm.geometry());
    const Vec3 v_1 = {0.0, 0.0, 1.0};
    const Vec3 v_5 = {m, 0.0, 0.0};
    const Vec3 rest_a = project_off_axis({m * sin_arm, 0.0, cos_arm}, v_1);
    const Vec3 rest_b = project_off_axis({m * cos_arm, 0.0, sin_arm}, v_5);

    TipPlacements a;
    bool any_a = false;
    for (int i = 0; i < 2; ++i) {
        const std::optional<Vec3> p =
            detail::close_loop_on_small_circle(v_1, cos_arm, ring, direction, cos_coupler,
                                              SIDES[i], slack);
        a.closed[i] = p.has_value();
        if (p) {
            any_a = true;
            a.theta[i] = joint_angle(v_1, rest_a, *p);
            a.tip[i] = arm_tip_a(arm, a.theta[i]);
        }
    }
    if (!any_a) {
        return;
    }
    TipPlacements b;
    for (int i = 0; i < 2; ++i) {
        const std::optional<Vec3> p =
            detail::close_loop_on_small_circle(v_5, cos_arm, ring, direction, cos_coupler,
                                              SIDES[i], slack);
        b.closed[i] = p.has_value();
        if (p) {
            b.theta[i] = joint_angle(v_5, rest_b, *p);
            b.tip[i] = arm_tip_b(arm, b.theta[i]);
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (!a.closed[i]) {
            continue;
        }
        for (int j = 0; j < 2; ++j) {
            if (b.closed[j]) {
                visit(2 * i + j, a.theta[i], b.theta[j], a.tip[i], b.tip[j]);
            }
        }
    }
}

// Calls visit(slot, theta_a, theta_b) for the candidates that land on the
// direction: u = direction / |direction| (none when |direction| <
// MIN_DIRECTION_NORM or not finite; unit_direction keeps a huge finite one
// from overflowing), and a candidate lands when |v_3 - u| <
// IK_MATCH_TOLERANCE (a NaN distance does not). Only v_3 of each candidate's
// forward kinematics is needed: it is the loop closure between the placed
// tips (the apex frame_from_tips starts from), so no frame is built.
template <typename Visit>
void for_each_solution(const Arm& arm, Vec3 direction, Visit&& visit) noexcept {
    const std::optional<Vec3> unit = detail::unit_direction(direction);
    if (!unit) {
        return;
    }
    const Vec3 u = *unit;
    const double cos_coupler = arm.cos_coupler();
    const double s = branch_sign(arm.geometry());
    for_each_tip_pair(arm, u, [&](int slot, double theta_a, double theta_b, Vec3 tip_a,
                                  Vec3 tip_b) {
        const std::optional<Vec3> v_3 =
            detail::close_loop_from_cosines(tip_a, cos_coupler, tip_b, cos_coupler, s);
        if (v_3 && norm(*v_3 - u) < IK_MATCH_TOLERANCE) {
            visit(slot, theta_a, theta_b);
        }
    });
}

// sqrt(sum_ij (a - b)_ij^2), summed row by row.
double frobenius_distance(const Mat3& a, const Mat3& b) noexcept {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            const double diff = a[i][j] - b[i][j];
            sum += diff * diff;
        }
    }
    return std::sqrt(sum);
}

}  // namespace

// Every tip pair run through forward kinematics (frame_from_tips), kept when
// the loop closes.
CandidateList direction_candidates(const Arm& arm, Vec3 direction) noexcept {
    const double cos_coupler = arm.cos_coupler();
    const double s = branch_sign(arm.geometry());
    CandidateList list;
    for_each_tip_pair(arm, direction, [&](int, double theta_a, double theta_b, Vec3 tip_a,
                                          Vec3 tip_b) {
        const FkResult fk = detail::frame_from_tips(tip_a, tip_b, cos_coupler, s);
        if (fk) {
            list.items[list.count++] = IkCandidate{theta_a, theta_b, *fk};
        }
    });
    return list;
}

namespace {

// Among the solutions, the cost (tA - nA)^2 + (tB - nB)^2, or tA^2 + tB^2
// without `near`, picks one, a later solution winning only when strictly
// cheaper (a NaN cost never wins).
std::optional<JointPair> ik_from_direction_body(const Arm& arm, Vec3 direction,
                                                std::optional<JointPair> near) noexcept {
    std::optional<JointPair> best;
    double best_cost = 0.0;
    for_each_solution(arm, direction, [&](int, double theta_a, double theta_b) {
        double cost;
        if (near) {
            const double da = theta_a - near->theta_a;
            const double db = theta_b - near->theta_b;
            cost = da * da + db * db;
        } else {
            cost = theta_a * theta_a + theta_b * theta_b;
        }
        if (!best || cost < best_cost) {
            best = JointPair{theta_a, theta_b};
            best_cost = cost;
        }
    });
    return best;
}

// Candidates from r_target's third column as it stands; accepted when the
// Frobenius distance e = sqrt(sum_ij (R_c - R_t)_ij^2), summed row by row, is
// below IK_MATCH_TOLERANCE; the smallest e wins, the earlier one on ties.
std::optional<JointPair> ik_body(const Arm& arm, const Mat3& r_target) noexcept {
    const double cos_coupler = arm.cos_coupler();
    const double s = branch_sign(arm.geometry());
    std::optional<JointPair> best;
    double best_error = 0.0;
    for_each_tip_pair(arm, column(r_target, 2), [&](int, double theta_a, double theta_b,
                                                    Vec3 tip_a, Vec3 tip_b) {
        const FkResult fk = detail::frame_from_tips(tip_a, tip_b, cos_coupler, s);
        if (!fk) {
            return;
        }
        const double error = frobenius_distance(fk->rotation, r_target);
        if (!(error < IK_MATCH_TOLERANCE)) {
            return;
        }
        if (!best || error < best_error) {
            best = JointPair{theta_a, theta_b};
            best_error = error;
        }
    });
    return best;
}

// The same two functions compiled for FMA, called only when the CPU has it
// (fma_dispatch.hpp): the elementary functions' fused fast paths inline into
// them, which a body compiled for the baseline cannot take in, and the
// helpers of the candidate loop inline with them. The kinematics' own
// arithmetic is not contracted (-ffp-contract=off), so every one of its
// operations rounds as in the baseline body: the same doubles.
#if QTK_FMA_VARIANTS
QTK_FMA_ENTRY std::optional<JointPair> ik_from_direction_fused(
    const Arm& arm, Vec3 direction, std::optional<JointPair> near) noexcept {
    return ik_from_direction_body(arm, direction, near);
}
QTK_FMA_ENTRY std::optional<JointPair> ik_fused(const Arm& arm, const Mat3& r_target) noexcept {
    return ik_body(arm, r_target);
}
#endif

}  // namespace

std::optional<JointPair> ik_from_direction(const Arm& arm, Vec3 direction,
                                           std::optional<JointPair> near) noexcept {
#if QTK_FMA_VARIANTS
    if (elementary::detail::use_fma()) return ik_from_direction_fused(arm, direction, near);
#endif
    return ik_from_direction_body(arm, direction, near);
}

std::array<std::optional<JointPair>, 4> ik_solutions(const Arm& arm, Vec3 direction) noexcept {
    std::array<std::optional<JointPair>, 4> solutions;
    for_each_solution(arm, direction, [&](int slot, double theta_a, double theta_b) {
        solutions[slot] = JointPair{theta_a, theta_b};
    });
    return solutions;
}

std::optional<JointPair> ik(const Arm& arm, const Mat3& r_target) noexcept {
#if QTK_FMA_VARIANTS
    if (elementary::detail::use_fma()) return ik_fused(arm, r_target);
#endif
    return ik_body(arm, r_target);
}

// The overloads with options: the same candidates, each reported as
// joints_under gives it and dropped outside the limits.
namespace detail {

std::optional<JointPair> ik_from_direction_with_options(const Arm& arm, Vec3 direction,
                                                        const IkOptions& options) noexcept {
    std::optional<JointPair> best;
    double best_cost = 0.0;
    const JointPair origin = options.near ? *options.near : JointPair{0.0, 0.0};
    for_each_solution(arm, direction, [&](int, double theta_a, double theta_b) {
        const std::optional<JointPair> joints = joints_under({theta_a, theta_b}, options);
        if (!joints) {
            return;
        }
        const double da = joints->theta_a - origin.theta_a;
        const double db = joints->theta_b - origin.theta_b;
        const double cost = da * da + db * db;
        if (!best || cost < best_cost) {
            best = *joints;
            best_cost = cost;
        }
    });
    return best;
}

std::array<std::optional<JointPair>, 4> ik_solutions_with_options(
    const Arm& arm, Vec3 direction, const IkOptions& options) noexcept {
    std::array<std::optional<JointPair>, 4> solutions;
    for_each_solution(arm, direction, [&](int slot, double theta_a, double theta_b) {
        solutions[slot] = joints_under({theta_a, theta_b}, options);
    });
    return solutions;
}

std::optional<JointPair> ik_with_options(const Arm& arm, const Mat3& r_target,
                                         const IkOptions& options) noexcept {
    const double cos_coupler = arm.cos_coupler();
    const double s = branch_sign(arm.geometry());
    std::optional<JointPair> best;
    double best_error = 0.0;
    for_each_tip_pair(arm, column(r_target, 2), [&](int, double theta_a, double theta_b,
                                                    Vec3 tip_a, Vec3 tip_b) {
        const std::optional<JointPair> joints = joints_under({theta_a, theta_b}, options);
        if (!joints) {
            return;
        }
        const FkResult fk = detail::frame_from_tips(tip_a, tip_b, cos_coupler, s);
        if (!fk) {
            return;
        }
        const double error = frobenius_distance(fk->rotation, r_target);
        if (!(error < IK_MATCH_TOLERANCE)) {
            return;
        }
        if (!best || error < best_error) {
            best = *joints;
            best_error = error;
        }
    });
    return best;
}

}  // namespace detail

}  // namespace quorbel
