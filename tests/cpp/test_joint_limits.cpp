// Joint limits and angle-wise near in the inverse kinematics, and the
// nearest reachable direction within limits against a brute-force search.
#include <cmath>
#include <random>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/torso/look_at.hpp>

#include "check.hpp"
#include "workspace_search.hpp"

using namespace quorbel;
using namespace quorbel::search;

namespace {

bool same(std::optional<JointPair> a, std::optional<JointPair> b) {
    return a.has_value() == b.has_value() &&
           (!a || (check::same_bits(a->theta_a, b->theta_a) &&
                   check::same_bits(a->theta_b, b->theta_b)));
}

// A representative lies in the interval, a whole number of turns from the
// angle, and is the smallest (or, with a reference, the nearest) that does;
// there is none exactly when no turn within five lies inside.
void representatives_within_an_interval() {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int admitted = 0;
    for (int k = 0; k < 2000; ++k) {
        const double lower = 8.0 * unit(rng);
        const AngleInterval interval = {lower, lower + 9.0 * (unit(rng) + 1.0)};
        const double theta = 3.2 * unit(rng);
        const std::optional<double> reference =
            k % 2 ? std::optional<double>(10.0 * unit(rng)) : std::nullopt;
        const std::optional<double> r = angle_within(interval, theta, reference);
        const auto inside = [&](double t) { return t >= interval.lower && t <= interval.upper; };
        bool exists = false;
        for (int turn = -5; turn <= 5; ++turn) {
            exists |= inside(theta + turn * 2 * PI);
        }
        CHECK(r.has_value() == exists);
        if (!r) {
            continue;
        }
        ++admitted;
        const double turns = (*r - theta) / (2 * PI);
        CHECK(inside(*r) && std::fabs(turns - std::round(turns)) < 1e-12);
        for (const double other : {*r - 2 * PI, *r + 2 * PI}) {
            CHECK(!inside(other) || (reference ? std::fabs(other - *reference) >=
                                                     std::fabs(*r - *reference)
                                               : other > *r));
        }
    }
    CHECK(admitted > 500);
}

// Random arms (both branches and mirrors) and joint pairs: default options
// give the plain overloads' bits; limits drop exactly the candidates outside
// them; and near a few turns away, in angles mode, keeps the answer next to
// it. (The array package's tests check the answers against the limits.)
void inverse_kinematics_with_options() {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int tried = 0;
    for (int k = 0; k < 800; ++k) {
        const Arm arm({0.3 + 0.45 * (unit(rng) + 1.0) / 2, 0.3 + 0.6 * (unit(rng) + 1.0) / 2,
                       unit(rng) > 0 ? Branch::positive : Branch::negative, unit(rng) > 0});
        const JointPair pose = {PI * unit(rng), PI * unit(rng)};
        const FkResult fk = forward_kinematics(arm, pose.theta_a, pose.theta_b);
        if (!fk) {
            continue;
        }
        ++tried;
        const Vec3 d = fk->v_3;
        CHECK(same(ik_from_direction(arm, d, IkOptions{}), ik_from_direction(arm, d, {})));
        CHECK(same(ik(arm, fk->rotation, IkOptions{}), ik(arm, fk->rotation)));
        const IkOptions within = {{}, JointLimits{{pose.theta_a - 0.2, pose.theta_a + 0.3},
                                                  {pose.theta_b - 0.1, pose.theta_b + 0.05}}};
        const auto plain = ik_solutions(arm, d);
        const auto limited = ik_solutions(arm, d, within);
        for (int s = 0; s < 4; ++s) {
            CHECK(limited[s].has_value() == (plain[s] && joints_under(*plain[s], within)));
        }
        const JointPair near = {pose.theta_a + 4 * PI + 1e-3, pose.theta_b - 2 * PI - 1e-3};
        const std::optional<JointPair> next =
            ik_from_direction(arm, d, IkOptions{near, {}, NearMode::angles});
        CHECK(next && std::fabs(next->theta_a - near.theta_a) < 0.01 &&
              std::fabs(next->theta_b - near.theta_b) < 0.01);
    }
    CHECK(tried > 200);
}

// Brute force within limits: the nearest direction of a 0.005 rad grid of
// joint pairs within the limits, then the fan of great circles from it.
double search_within(const Arm& arm, Vec3 u, const JointLimits& limits) {
    Vec3 p{};
    double best = INFINITY;
    for (double ta = limits.theta_a.lower; ta <= limits.theta_a.upper; ta += 0.005) {
        for (double tb = limits.theta_b.lower; tb <= limits.theta_b.upper; tb += 0.005) {
            const std::optional<Vec3> d = pointing_direction(arm, ta, tb);
            if (d && search::angle_between(u, *d) < best) {
                best = search::angle_between(u, *d);
                p = *d;
            }
        }
    }
    if (!std::isfinite(best)) {
        return best;
    }
    return std::fmin(best, search::angle_between(u, fan_refine(arm, u, p, 1e-9, limits)));
}

// Random arms, limits and targets (reachable without limits or not): the
// answer lies within the limits and is no further than the search (2e-9
// rad at worst over 800 of them, where a limit line meets the closing
// limit).
void nearest_reachable_within_limits() {
    std::mt19937_64 rng(9);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int compared = 0;
    int on_a_line = 0;
    double worst = -INFINITY;
    for (int k = 0; k < 80; ++k) {
        const Arm arm({0.4 + 0.35 * (unit(rng) + 1.0) / 2, 0.4 + 0.4 * (unit(rng) + 1.0) / 2,
                       unit(rng) > 0 ? Branch::positive : Branch::negative, unit(rng) > 0});
        const JointPair centre = {PI * unit(rng), PI * unit(rng)};
        const double half_a = 0.2 + 0.6 * (unit(rng) + 1.0) / 2;
        const double half_b = 0.2 + 0.6 * (unit(rng) + 1.0) / 2;
        const JointLimits limits = {{centre.theta_a - half_a, centre.theta_a + half_a},
                                    {centre.theta_b - half_b, centre.theta_b + half_b}};
        const Vec3 u = k % 2 ? normalise({unit(rng), unit(rng), unit(rng)})
                             : *pointing_direction(arm, 0.0, 0.0);
        const IkOptions options = {{}, limits};
        const std::optional<ReachableDirection> found = nearest_reachable(arm, u, options);
        const double searched = search_within(arm, u, limits);
        CHECK(found.has_value() == std::isfinite(searched));
        if (!found) {
            continue;
        }
        ++compared;
        const JointPair j = found->joints;
        CHECK(j.theta_a >= limits.theta_a.lower && j.theta_a <= limits.theta_a.upper &&
              j.theta_b >= limits.theta_b.lower && j.theta_b <= limits.theta_b.upper);
        const std::optional<Vec3> back = pointing_direction(arm, j.theta_a, j.theta_b);
        CHECK(back && norm(*back - found->direction) < 1e-6);
        const double excess = search::angle_between(u, found->direction) - searched;
        worst = std::fmax(worst, excess);
        on_a_line += j.theta_a == limits.theta_a.lower || j.theta_a == limits.theta_a.upper ||
                     j.theta_b == limits.theta_b.lower || j.theta_b == limits.theta_b.upper;
    }
    CHECK(compared >= 30);
    CHECK(on_a_line >= 10);
    CHECK_SMALL(worst, 1e-8);
}

// The example torso's arms aimed where their limits clamp them (to the
// side, up, down, behind): the limit lines' bound prunes whole lines and the
// edge searches share their candidates, and the answer is still no further
// than the search, and within the limits.
void example_torso_clamped_within_limits() {
    const Torso torso = example_torso();
    const Vec3 targets[] = {{0.15, 0.9, 0.6},  {0.15, -0.9, 0.6}, {-1.0, 0.0, 0.3},
                            {0.2, 0.9, -0.5},  {0.5, -0.5, -0.5}, {0.3, 0.0, 2.0},
                            {0.7, 0.6, -0.45}, {0.0, -1.0, 0.0}};
    double worst = -INFINITY;
    int clamped = 0;
    for (const ArmDescription* described : {&torso.left_arm, &torso.right_arm}) {
        const Arm arm(described->geometry);
        const JointLimits& limits = *described->limits;
        for (const Vec3& target : targets) {
            const Vec3 u = *direction_from_mount(described->mount, target);
            const std::optional<ArmAim> aim = look_at(*described, target, std::nullopt);
            CHECK(aim.has_value());
            if (!aim || aim->status != AimStatus::clamped) {
                continue;
            }
            ++clamped;
            const JointPair j = aim->joints;
            CHECK(j.theta_a >= limits.theta_a.lower && j.theta_a <= limits.theta_a.upper &&
                  j.theta_b >= limits.theta_b.lower && j.theta_b <= limits.theta_b.upper);
            worst = std::fmax(worst, aim->leftover - search_within(arm, u, limits));
        }
    }
    CHECK(clamped >= 12);
    CHECK_SMALL(worst, 1e-8);
}

}  // namespace

void joint_limits_tests() {
    representatives_within_an_interval();
    inverse_kinematics_with_options();
    nearest_reachable_within_limits();
    example_torso_clamped_within_limits();
}
