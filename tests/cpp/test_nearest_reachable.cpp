// The nearest reachable direction: the target itself when reachable; else
// no further than a search that knows nothing of the workspace's edge, and
// never nearer than the band ik_from_direction admits beyond it.
#include <cmath>
#include <limits>
#include <random>

#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>
#include "check.hpp"
#include "workspace_search.hpp"

using namespace quorbel;
using namespace quorbel::search;

namespace {

const Arm LEFT(default_left_geometry());
const Arm RIGHT_NEGATIVE({0.7, 0.5, Branch::negative, true});

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
    return std::fmin(best, angle_between(u, fan_refine(arm, u, p, 1e-9)));
}

// Targets whose nearest directions lie on a rim, at a corner of two rims, on
// the closing limit and where a rim meets the closing limit (these arms'
// workspaces have all four on their edge), and targets along a joint axis,
// where every point of a rim is as near as any other.
void no_further_than_a_search() {
    struct Case {
        const Arm* arm;
        Vec3 target;
    };
    const Case cases[] = {
        {&LEFT, {0.0, 0.0, 1.0}},           {&LEFT, {1.0, 0.0, 0.0}},
        {&LEFT, {0.0, -1.0, 0.2}},          {&LEFT, {0.3, -0.9, 0.6}},
        {&LEFT, {0.9, 0.3, -0.2}},          {&LEFT, {-1.0, 0.2, -0.5}},
        {&RIGHT_NEGATIVE, {0.0, 1.0, 0.2}}, {&RIGHT_NEGATIVE, {-0.3, 0.9, 0.6}},
        {&RIGHT_NEGATIVE, {0.0, 0.0, -1.0}},
        // At and next to where B's outer rim meets the closing limit.
        {&LEFT, {0.37646804, -0.31078547, -0.87274521}},
        {&LEFT, {0.18756538715200108, -0.6256479942830201, 0.7572211122203039}},
        {&RIGHT_NEGATIVE, {-0.21232338, -0.17633786, -0.96115750}},
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
        CHECK_SMALL(excess, 1e-9);
        CHECK_SMALL(-excess, 2.5e-7);
        const std::optional<SingularValues> s =
            singular_values(*c.arm, found->joints.theta_a, found->joints.theta_b);
        on_limit += !s || s->largest > 1e3;
    }
    CHECK(on_limit >= 2);
}

// Next to a point where a rim meets the closing limit, a target turned off
// the limit is never further from the answer than from the limit's point it
// was turned from (which is in the workspace). The rim and the limit touch
// there with only a sliver between them, so a limit point that the inverse
// kinematics refuses cannot be moved toward the target; before such points
// were moved into the workspace instead, the meeting point itself came
// back, up to 3e-4 rad further.
void next_to_a_rim_limit_point_the_limit_is_reached() {
    const Arm right(default_right_geometry());
    for (const Arm* arm : {&LEFT, &right, &RIGHT_NEGATIVE}) {
        int tried = 0;
        double worst = -INFINITY;
        for (const bool by_b : {false, true}) {
            // The traced joint's arm lines up with its coupler where that
            // joint's axis crosses the tips' great circle.
            const Vec3 axis = by_b ? Vec3{mirror_sign(arm->geometry()), 0.0, 0.0}
                                   : Vec3{0.0, 0.0, 1.0};
            for (const double root : {1.0, -1.0}) {
                const LimitTrace trace{by_b, root};
                const auto side = [&](double theta) {
                    const std::optional<JointPair> j = limit_joints(*arm, trace, theta);
                    return j ? dot(axis, cross(arm_tip_a(*arm, j->theta_a),
                                               arm_tip_b(*arm, j->theta_b)))
                             : NAN;
                };
                constexpr int SAMPLES = 2000;
                for (int k = 0; k < SAMPLES; ++k) {
                    double lo = -PI + 2 * PI * k / SAMPLES;
                    double hi = lo + 2 * PI / SAMPLES;
                    if (!(side(lo) * side(hi) < 0.0)) {
                        continue;
                    }
                    for (int i = 0; i < 60; ++i) {
                        const double mid = 0.5 * (lo + hi);
                        (side(mid) * side(lo) > 0.0 ? lo : hi) = mid;
                    }
                    for (const double offset : {1e-6, 1e-5, 1e-4, 3e-4, 1e-3}) {
                        for (const double theta : {lo - offset, lo + offset}) {
                            const std::optional<Vec3> q = limit_direction(*arm, trace, theta);
                            const std::optional<Vec3> ahead =
                                limit_direction(*arm, trace, theta + 1e-7);
                            const std::optional<Vec3> behind =
                                limit_direction(*arm, trace, theta - 1e-7);
                            if (!q || !ahead || !behind) {
                                continue;
                            }
                            const Vec3 normal = normalise(cross(*q, *ahead - *behind));
                            for (const double turn : {1e-6, 1e-3, 1e-2, 0.1, -1e-6, -1e-3,
                                                      -1e-2, -0.1}) {
                                const Vec3 u = along(*q, normal, turn);
                                if (ik_from_direction(*arm, u, {})) {
                                    continue;
                                }
                                ++tried;
                                const std::optional<ReachableDirection> found =
                                    nearest_reachable(*arm, u, {});
                                CHECK(found &&
                                      ik_from_direction(*arm, found->direction, {}).has_value());
                                if (found) {
                                    worst = std::fmax(worst, angle_between(u, found->direction) -
                                                                 std::fabs(turn));
                                }
                            }
                        }
                    }
                }
            }
        }
        CHECK(tried >= 100);
        CHECK_SMALL(worst, 1e-9);
    }
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
    // An arm whose tips never leave the joint axes (arm_arc 0) reaches one
    // direction, for any joints; it is the answer for every target. It was
    // refused, since every point moved into the workspace left it.
    for (const bool mirror : {false, true}) {
        const Arm fixed({0.0, 1.0, Branch::positive, mirror});
        const std::optional<Vec3> only = pointing_direction(fixed, 0.3, -0.2);
        CHECK(only.has_value());
        for (const Vec3 target : {Vec3{0.3, 0.2, 0.9}, Vec3{-1.0, 0.0, 0.0}}) {
            const std::optional<ReachableDirection> found = nearest_reachable(fixed, target, {});
            CHECK(found && only && angle_between(found->direction, *only) < 1e-12);
        }
    }
}

// Arms whose tips' rings cross (|arm_arc| between pi/4 and 3 pi/4), random
// over both branches, mirrors and signs of arm_arc, with random targets: the target itself
// when reachable, else a direction ik_from_direction accepts and no further
// than the search. The edge search used to answer up to 0.05 rad further
// for them (the circle about the tips' meeting point was missing), and was
// then refused; a negative arm_arc once put the meeting point's joints half
// a turn off, and answered 0.03 rad too far.
void arms_whose_tip_rings_cross() {
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int out_of_reach = 0;
    double worst = -INFINITY;
    for (int k = 0; k < 60; ++k) {
        const double sign = unit(rng) > 0.0 ? 1.0 : -1.0;
        const double arm_arc = sign * (0.8 + 0.75 * (unit(rng) + 1.0));
        const double coupler_arc = 0.2 + 0.5 * (unit(rng) + 1.0);
        const Arm arm({arm_arc, coupler_arc, unit(rng) > 0.0 ? Branch::positive : Branch::negative,
                       unit(rng) > 0.0});
        const Vec3 u = normalise({unit(rng), unit(rng), unit(rng)});
        const std::optional<ReachableDirection> found = nearest_reachable(arm, u, {});
        CHECK(found && ik_from_direction(arm, found->direction, {}).has_value());
        if (!found) {
            continue;
        }
        if (ik_from_direction(arm, u, {})) {
            CHECK(angle_between(u, found->direction) < 1e-15);
            continue;
        }
        ++out_of_reach;
        worst = std::fmax(worst, angle_between(u, found->direction) - search_nearest_angle(arm, u));
    }
    CHECK(out_of_reach >= 20);
    CHECK_SMALL(worst, 1e-5);
}

}  // namespace

void nearest_reachable_tests() {
    no_further_than_a_search();
    next_to_a_rim_limit_point_the_limit_is_reached();
    joints_are_those_of_ik_from_direction();
    no_answer_without_a_direction();
    arms_whose_tip_rings_cross();
}
