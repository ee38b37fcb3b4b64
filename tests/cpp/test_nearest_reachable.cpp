// The nearest reachable direction: the target itself when reachable; else
// no further than a search that knows nothing of the workspace's edge, and
// never nearer than the band ik_from_direction admits beyond it.
#include <cmath>
#include <limits>

#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>
#include "check.hpp"

using namespace quorbel;

namespace {

const double PI = std::acos(-1.0);
const Arm LEFT(default_left_geometry());
const Arm RIGHT_NEGATIVE({0.7, 0.5, Branch::negative, true});

double angle_between(Vec3 a, Vec3 b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

// Forward kinematics reaches d: some candidate's apex within 1e-9 of it.
bool in_workspace(const Arm& arm, Vec3 d) {
    for (const IkCandidate& c : direction_candidates(arm, d)) {
        if (norm(c.fk_solution.v_3 - d) < 1e-9) {
            return true;
        }
    }
    return false;
}

Vec3 along(Vec3 p, Vec3 t, double r) { return std::cos(r) * p + std::sin(r) * t; }

// The last workspace direction on the great circle from p along t: marched in
// steps of 0.02 rad, then bisected to 1e-12 rad.
Vec3 last_inside(const Arm& arm, Vec3 p, Vec3 t) {
    double inside = 0.0;
    double outside = PI;
    for (double r = 0.02; r < PI / 2; r += 0.02) {
        if (!in_workspace(arm, along(p, t, r))) {
            outside = r;
            break;
        }
        inside = r;
    }
    while (outside - inside > 1e-12) {
        const double mid = 0.5 * (inside + outside);
        (in_workspace(arm, along(p, t, mid)) ? inside : outside) = mid;
    }
    return along(p, t, inside);
}

// Brute force: the joint pair of a 0.01 rad grid whose direction is nearest,
// then the last workspace direction along a fan of great circles from it,
// narrowed about the best until the fan's spacing is below 1e-9 rad.
double search_nearest_angle(const Arm& arm, Vec3 u) {
    Vec3 p{};
    double best = INFINITY;
    for (double ta = -PI; ta < PI; ta += 0.01) {
        for (double tb = -PI; tb < PI; tb += 0.01) {
            const std::optional<Vec3> d = pointing_direction(arm, ta, tb);
            if (d && angle_between(u, *d) < best) {
                best = angle_between(u, *d);
                p = *d;
            }
        }
    }
    const Vec3 e1 = normalise(u - dot(u, p) * p);
    const Vec3 e2 = cross(p, e1);
    double centre = 0.0;
    double half_width = PI;
    for (int rays = 121;; rays = 41) {
        const double spacing = 2 * half_width / (rays - 1);
        double best_psi = centre;
        for (int k = 0; k < rays; ++k) {
            const double psi = centre - half_width + k * spacing;
            const double angle =
                angle_between(u, last_inside(arm, p, std::cos(psi) * e1 + std::sin(psi) * e2));
            if (angle < best) {
                best = angle;
                best_psi = psi;
            }
        }
        if (spacing < 1e-9) {
            return best;
        }
        centre = best_psi;
        half_width = 3 * spacing;
    }
}

// Targets whose nearest directions lie on a rim, at a corner of two rims, on
// the closing limit and where a rim meets the closing limit (these arms'
// workspaces have all four on their edge), and targets along a joint axis,
// where every point of a rim is as near as any other.
void no_further_than_a_search() {
    struct Case {
        const Arm* arm;
        Vec3 target;
        double excess;  // allowed over the search
    };
    // Within about 1e-3 rad of where a rim meets the closing limit, a maximum
    // along the limit is missed by its samples, and the meeting point itself
    // is returned: up to about 5e-7 rad further.
    constexpr double NEAR_A_MEETING = 1e-6;
    const Case cases[] = {
        {&LEFT, {0.0, 0.0, 1.0}, 1e-9},           {&LEFT, {1.0, 0.0, 0.0}, 1e-9},
        {&LEFT, {0.0, -1.0, 0.2}, 1e-9},          {&LEFT, {0.3, -0.9, 0.6}, 1e-9},
        {&LEFT, {0.9, 0.3, -0.2}, 1e-9},          {&LEFT, {-1.0, 0.2, -0.5}, 1e-9},
        {&RIGHT_NEGATIVE, {0.0, 1.0, 0.2}, 1e-9}, {&RIGHT_NEGATIVE, {-0.3, 0.9, 0.6}, 1e-9},
        {&RIGHT_NEGATIVE, {0.0, 0.0, -1.0}, 1e-9},
        // At and next to where B's outer rim meets the closing limit.
        {&LEFT, {0.37646804, -0.31078547, -0.87274521}, 1e-9},
        {&LEFT, {0.18756538715200108, -0.6256479942830201, 0.7572211122203039}, NEAR_A_MEETING},
        {&RIGHT_NEGATIVE, {-0.21232338, -0.17633786, -0.96115750}, NEAR_A_MEETING},
    };
    int on_limit = 0;
    for (const Case& c : cases) {
        const Vec3 u = normalise(c.target);
        const std::optional<ReachableDirection> found = nearest_reachable(*c.arm, c.target, {});
        CHECK(found.has_value());
        if (!found) {
            continue;
        }
        CHECK(ik_from_direction(*c.arm, found->direction, {}).has_value());
        const double excess = angle_between(u, found->direction) - search_nearest_angle(*c.arm, u);
        CHECK_SMALL(excess, c.excess);
        CHECK_SMALL(-excess, 2.5e-7);
        const std::optional<SingularValues> s =
            singular_values(*c.arm, found->joints.theta_a, found->joints.theta_b);
        on_limit += !s || s->largest > 1e3;
    }
    CHECK(on_limit >= 2);
}

// A reachable target comes back normalised, with the joints
// ik_from_direction gives it; an unreachable one with the joints
// ik_from_direction gives its answer, `near` included.
void joints_are_those_of_ik_from_direction() {
    const Vec3 reachable = 2.5 * *pointing_direction(LEFT, 0.3, -0.2);
    for (const std::optional<JointPair> near : {std::optional<JointPair>{},
                                                std::optional<JointPair>{{1.5, 0.5}}}) {
        const std::optional<ReachableDirection> same = nearest_reachable(LEFT, reachable, near);
        const std::optional<JointPair> joints = ik_from_direction(LEFT, reachable, near);
        CHECK(same && joints);
        if (same && joints) {
            CHECK(check::same_bits(same->direction.x, reachable.x / norm(reachable)));
            CHECK(same->joints.theta_a == joints->theta_a && same->joints.theta_b == joints->theta_b);
        }
        const std::optional<ReachableDirection> edge = nearest_reachable(LEFT, {0.2, 0.9, 0.1}, near);
        CHECK(edge.has_value());
        if (edge) {
            const std::optional<JointPair> edge_joints = ik_from_direction(LEFT, edge->direction, near);
            CHECK(edge_joints && edge_joints->theta_a == edge->joints.theta_a &&
                  edge_joints->theta_b == edge->joints.theta_b);
        }
    }
}

void no_answer_without_a_direction() {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (const Vec3 target : {Vec3{0.0, 0.0, 0.0}, Vec3{0.0, 0.0, 0.9e-12},
                              Vec3{nan, 0.0, 1.0}, Vec3{inf, 0.0, 1.0}}) {
        CHECK(!nearest_reachable(LEFT, target, {}));
    }
    // An arm whose loop never closes reaches nothing.
    CHECK(!nearest_reachable(Arm({0.7, 0.01, Branch::positive, false}), {0.0, 0.0, 1.0},
                             {}));
}

}  // namespace

void nearest_reachable_tests() {
    no_further_than_a_search();
    joints_are_those_of_ik_from_direction();
    no_answer_without_a_direction();
}
