// Joint limits and angle-wise near in the inverse kinematics, and the
// nearest reachable direction within limits against a brute-force search.
#include <cmath>
#include <random>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/nearest_reachable.hpp>

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
// angle, and is the smallest (or, with a reference, the nearest) that does.
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
        // Whether some turn lies inside, counted independently.
        bool exists = false;
        for (int turn = -5; turn <= 5; ++turn) {
            const double t = theta + turn * 2 * PI;
            exists |= t >= interval.lower && t <= interval.upper;
        }
        CHECK(r.has_value() == exists);
        if (!r) {
            continue;
        }
        ++admitted;
        const double turns = (*r - theta) / (2 * PI);
        CHECK(*r >= interval.lower && *r <= interval.upper);
        CHECK_SMALL(std::fabs(turns - std::round(turns)), 1e-12);
        for (const double other : {*r - 2 * PI, *r + 2 * PI}) {
            if (other < interval.lower || other > interval.upper) {
                continue;
            }
            if (reference) {
                CHECK(std::fabs(other - *reference) >= std::fabs(*r - *reference));
            } else {
                CHECK(other > *r);
            }
        }
    }
    CHECK(admitted > 500);
    // angles mode without limits: within half a turn of near.
    for (int k = 0; k < 200; ++k) {
        const JointPair near = {20.0 * unit(rng), 20.0 * unit(rng)};
        const JointPair c = {PI * unit(rng), PI * unit(rng)};
        const std::optional<JointPair> r = joints_under(c, {near, {}, NearMode::angles});
        CHECK(r && std::fabs(r->theta_a - near.theta_a) <= PI + 1e-12 &&
              std::fabs(r->theta_b - near.theta_b) <= PI + 1e-12);
    }
}

// Random arms (both branches and mirrors) and random joint pairs, limits
// about them: the direction comes back within the limits, with the joints'
// direction; candidates outside the limits are dropped, the rest unchanged
// up to whole turns; near in angles mode follows a pose moved by turns; and
// the default options give the plain overloads' bits.
void inverse_kinematics_within_limits() {
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int tried = 0;
    for (int k = 0; k < 800; ++k) {
        const Arm arm({0.3 + 0.45 * (unit(rng) + 1.0) / 2, 0.3 + 0.6 * (unit(rng) + 1.0) / 2,
                       unit(rng) > 0 ? Branch::positive : Branch::negative, unit(rng) > 0});
        const JointPair pose = {PI * unit(rng), PI * unit(rng)};
        const std::optional<Vec3> d = pointing_direction(arm, pose.theta_a, pose.theta_b);
        if (!d) {
            continue;
        }
        ++tried;
        // Default options: the plain overloads' results, bit for bit.
        const Mat3 r = forward_kinematics(arm, pose.theta_a, pose.theta_b)->rotation;
        CHECK(same(ik_from_direction(arm, *d, IkOptions{}), ik_from_direction(arm, *d, {})));
        CHECK(same(ik(arm, r, IkOptions{}), ik(arm, r)));
        const auto plain = ik_solutions(arm, *d);
        // Limits a turn away from the pose, a little wider than it.
        const double shift = 2 * PI * std::round(2 * unit(rng));
        const JointLimits limits = {{pose.theta_a + shift - 0.2, pose.theta_a + shift + 0.3},
                                    {pose.theta_b - shift - 0.1, pose.theta_b - shift + 0.05}};
        const IkOptions within = {{}, limits};
        const std::optional<JointPair> j = ik_from_direction(arm, *d, within);
        CHECK(j.has_value());
        if (j) {
            CHECK(j->theta_a >= limits.theta_a.lower && j->theta_a <= limits.theta_a.upper);
            CHECK(j->theta_b >= limits.theta_b.lower && j->theta_b <= limits.theta_b.upper);
            const std::optional<Vec3> back = pointing_direction(arm, j->theta_a, j->theta_b);
            CHECK(back && norm(*back - *d) < 1e-6);
        }
        const auto limited = ik_solutions(arm, *d, within);
        for (int s = 0; s < 4; ++s) {
            const bool inside = plain[s] && joints_under(*plain[s], within);
            CHECK(limited[s].has_value() == inside);
            if (limited[s] && plain[s]) {
                CHECK_SMALL(std::fabs(limited[s]->theta_a - plain[s]->theta_a -
                                      2 * PI * std::round((limited[s]->theta_a -
                                                           plain[s]->theta_a) / (2 * PI))),
                            1e-12);
            }
        }
        const std::optional<JointPair> by_rotation = ik(arm, r, within);
        CHECK(by_rotation && by_rotation->theta_a >= limits.theta_a.lower &&
              by_rotation->theta_a <= limits.theta_a.upper);
        // Near a few turns away, in angles mode: the answer stays next to it.
        const JointPair near = {pose.theta_a + 4 * PI + 1e-3, pose.theta_b - 2 * PI - 1e-3};
        const std::optional<JointPair> next =
            ik_from_direction(arm, *d, IkOptions{near, {}, NearMode::angles});
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
            if (d && angle_between(u, *d) < best) {
                best = angle_between(u, *d);
                p = *d;
            }
        }
    }
    if (!std::isfinite(best)) {
        return best;
    }
    return std::fmin(best, angle_between(u, fan_refine(arm, u, p, 1e-9, limits)));
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
        const double excess = angle_between(u, found->direction) - searched;
        worst = std::fmax(worst, excess);
        on_a_line += j.theta_a == limits.theta_a.lower || j.theta_a == limits.theta_a.upper ||
                     j.theta_b == limits.theta_b.lower || j.theta_b == limits.theta_b.upper;
    }
    CHECK(compared >= 30);
    CHECK(on_a_line >= 10);
    CHECK_SMALL(worst, 1e-8);
}

}  // namespace

void joint_limits_tests() {
    representatives_within_an_interval();
    inverse_kinematics_within_limits();
    nearest_reachable_within_limits();
}
