// Loop closure on the unit sphere.
#include <cmath>
#include <limits>
#include <optional>

#include <quorbel/arm/close_loop.hpp>

#include "check.hpp"

using namespace quorbel;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

void worked_points() {
    struct Case {
        Vec3 a;
        double alpha;
        Vec3 b;
        double beta;
        double side;
        Vec3 expected;
    };
    const Vec3 tip_a = {std::sin(0.7), 0, std::cos(0.7)};
    const Vec3 tip_b = {std::cos(0.7), 0, std::sin(0.7)};
    const Case cases[] = {
        {tip_a, 0.5, tip_b, 0.5, +1, {0.6228142449858395, 0.4735027270095069, 0.6228142449858394}},
        {tip_a, 0.5, tip_b, 0.5, -1, {0.6228142449858395, -0.4735027270095069, 0.6228142449858394}},
        {{1, 0, 0}, 0.5, {0, 1, 0}, 1.2, +1,
         {0.8775825618903728, 0.3623577544766736, 0.31391990194403546}},
        {{1, 0, 0}, 0.5, {0, 1, 0}, 1.2, -1,
         {0.8775825618903728, 0.3623577544766736, -0.31391990194403546}},
    };
    for (const Case& c : cases) {
        const std::optional<Vec3> p = close_loop(c.a, c.alpha, c.b, c.beta, c.side);
        CHECK(p.has_value());
        if (p) {
            CHECK_NEAR(*p, c.expected, 1e-12);
            CHECK_NEAR(dot(*p, c.a), std::cos(c.alpha), 1e-15);
            CHECK_NEAR(dot(*p, c.b), std::cos(c.beta), 1e-15);
            CHECK_NEAR(norm(*p), 1.0, 1e-15);
            // Side +1 lies toward cross(a, b).
            CHECK(c.side * dot(*p, cross(c.a, c.b)) > 0.0);
        }
    }
}

void circles_apart_or_concentric_fail() {
    struct Case {
        Vec3 a;
        double alpha;
        Vec3 b;
        double beta;
        bool closes;
    };
    const Vec3 u = normalise({0.2, -0.3, 0.9});
    const Vec3 minus_u = {-u.x, -u.y, -u.z};
    const Case cases[] = {
        // A quarter turn apart: arcs of 0.7 each fall short, 0.8 each reach.
        {{1, 0, 0}, 0.7, {0, 1, 0}, 0.7, false},
        {{1, 0, 0}, 0.8, {0, 1, 0}, 0.8, true},
        // Coincident or opposite centres never close, whatever the arcs.
        {u, 0.5, u, 0.5, false},
        {u, 0.0, u, 0.0, false},
        {u, 1.0, minus_u, 2.0, false},
        {u, 1.5707963267948966, minus_u, 1.5707963267948966, false},
        {{0, 0, 1}, 0.3, {0, 0, -1}, 2.8, false},
    };
    for (const Case& c : cases) {
        for (double side : {1.0, -1.0}) {
            CHECK(close_loop(c.a, c.alpha, c.b, c.beta, side).has_value() == c.closes);
        }
    }
}

void nearly_coincident_inputs_follow_clamped_dot() {
    // Distinct unit vectors whose dot product evaluates to exactly 1 fail;
    // the smallest sine the clamped dot can give (about 1.5e-8) does not.
    const Vec3 a = {0, 0, 1};
    const Vec3 b = {1e-9, 0, 1};
    CHECK(dot(a, b) == 1.0);
    CHECK(!close_loop(a, 0.5, b, 0.5, 1.0).has_value());
    const double z = std::nextafter(1.0, 0.0);
    const Vec3 c = {std::sqrt(1.0 - z * z), 0, z};
    CHECK(dot(a, c) < 1.0);
    CHECK(close_loop(a, 0.5, c, 0.5, 1.0).has_value());
}

// Each input that is NaN or infinite, in either centre, either arc or the
// side, on circles that meet when every input is finite.
void nan_or_infinite_input_fails() {
    const Vec3 a = {1, 0, 0};
    const Vec3 b = {0, 1, 0};
    CHECK(close_loop(a, 0.8, b, 0.8, 1.0).has_value());
    for (double bad : {NaN, INF, -INF}) {
        const std::optional<Vec3> results[] = {
            close_loop({bad, 0, 0}, 0.8, b, 0.8, 1.0),
            close_loop(a, 0.8, {0, bad, 0}, 0.8, 1.0),
            close_loop({1, bad, 0}, 0.8, b, 0.8, -1.0),
            close_loop(a, bad, b, 0.8, 1.0),
            close_loop(a, 0.8, b, bad, -1.0),
            close_loop(a, 0.8, b, 0.8, bad),
        };
        for (const std::optional<Vec3>& p : results) {
            CHECK(!p.has_value());
        }
    }
}

void swapping_centres_flips_side() {
    const Vec3 pairs[][2] = {
        {{1, 0, 0}, {0, 1, 0}},
        {normalise({0.3, 0.1, 0.9}), normalise({0.8, -0.2, 0.5})},
    };
    for (const auto& pair : pairs) {
        for (double side : {1.0, -1.0}) {
            const std::optional<Vec3> p = close_loop(pair[0], 0.7, pair[1], 1.0, side);
            const std::optional<Vec3> q = close_loop(pair[1], 1.0, pair[0], 0.7, side);
            const std::optional<Vec3> r = close_loop(pair[0], 0.7, pair[1], 1.0, -side);
            CHECK(p && q && r);
            if (p && q && r) {
                CHECK_NEAR(*q, *r, 1e-15);
                CHECK(check::max_abs_diff(*p, *q) > 0.1);
            }
        }
    }
}

}  // namespace

void close_loop_tests() {
    worked_points();
    circles_apart_or_concentric_fail();
    nearly_coincident_inputs_follow_clamped_dot();
    nan_or_infinite_input_fails();
    swapping_centres_flips_side();
}
