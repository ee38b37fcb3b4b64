// The closing limit's maxima: the nearest of them to a target is as near as
// the nearest point of the limit traced densely by loop closure, for arms
// whose limit is one piece with turning points, two pieces, or one piece
// round joint A (a quarter-turn arm, whose tip A passes over joint B's axis).
#include <cmath>
#include <random>

#include <quorbel/arm/geometry.hpp>
#include "arm/close_loop_from_cosines.hpp"
#include "arm/closing_limit.hpp"
#include "check.hpp"

using namespace quorbel;

namespace {

double angle_between(Vec3 a, Vec3 b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

// Tip B at arc 2 coupler_arc from tip A, the apex midway (its antipode past
// a quarter turn), for theta_a on a grid of `steps` over a turn.
double densest_limit_angle(const Arm& arm, Vec3 u, int steps) {
    const double cos_double = 2.0 * arm.cos_coupler() * arm.cos_coupler() - 1.0;
    const Vec3 axis_b = {mirror_sign(arm.geometry()), 0.0, 0.0};
    double best = INFINITY;
    for (int k = 0; k < steps; ++k) {
        const Vec3 v_2 = arm_tip_a(arm, 2.0 * 3.141592653589793 * k / steps);
        for (double side : {1.0, -1.0}) {
            const auto v_4 = detail::close_loop_from_cosines(axis_b, arm.cos_arm(), v_2, cos_double, side);
            if (v_4) {
                const Vec3 mid = normalise(v_2 + *v_4);
                best = std::fmin(best, angle_between(u, arm.cos_coupler() < 0.0 ? -1.0 * mid : mid));
            }
        }
    }
    return best;
}

void nearest_maximum_is_the_nearest_limit_point() {
    const SphericalLinkGeometry arms[] = {
        default_left_geometry(), {0.7, 0.5, Branch::negative, true},
        {1.2, 0.3, Branch::positive, false}, {1.5707963267948966, 0.9, Branch::positive, true}};
    std::mt19937_64 rng(3);
    std::normal_distribution<double> gauss;
    for (const SphericalLinkGeometry& g : arms) {
        const Arm arm(g);
        for (int i = 0; i < 40; ++i) {
            const Vec3 u = normalise(Vec3{gauss(rng), gauss(rng), gauss(rng)});
            const detail::ClosingLimitMaxima maxima = detail::closing_limit_maxima(arm, u);
            double nearest = INFINITY;
            for (std::size_t j = 0; j < maxima.count; ++j) {
                CHECK_SMALL(std::fabs(norm(maxima.apexes[j]) - 1.0), 1e-15);
                nearest = std::fmin(nearest, angle_between(u, maxima.apexes[j]));
            }
            CHECK(maxima.count >= 1);
            CHECK_SMALL(nearest - densest_limit_angle(arm, u, 20000), 1e-12);
        }
    }
}

}  // namespace

void closing_limit_tests() { nearest_maximum_is_the_nearest_limit_point(); }
