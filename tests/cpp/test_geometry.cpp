// The placement of the input-arm tips.
#include <cmath>

#include <quorbel/arm/geometry.hpp>
#include <quorbel/maths/rotation.hpp>

#include "check.hpp"

using namespace quorbel;

namespace {

const double PI = std::acos(-1.0);
const SphericalLinkGeometry LEFT = default_left_geometry();
const SphericalLinkGeometry RIGHT = default_right_geometry();

void tips_at_rest_and_quarter_turn() {
    struct Case {
        const char* name;
        const SphericalLinkGeometry& g;
        bool tip_a;
        double angle;
        Vec3 expected;
    };
    const double s = 0.644217687237691, c = 0.7648421872844885;
    const Case cases[] = {
        {"left A at 0", LEFT, true, 0.0, {s, 0, c}},
        {"left B at 0", LEFT, false, 0.0, {c, 0, s}},
        {"right A at 0", RIGHT, true, 0.0, {-s, 0, c}},
        {"right B at 0", RIGHT, false, 0.0, {-c, 0, s}},
        {"left B at pi/2", LEFT, false, PI / 2, {c, -s, 0}},
        {"right B at pi/2", RIGHT, false, PI / 2, {-c, s, 0}},
        // Positive theta_a turns tip A from +X toward +Y.
        {"left A at pi/2", LEFT, true, PI / 2, {0, s, c}},
    };
    for (const Case& k : cases) {
        const Vec3 v = k.tip_a ? arm_tip_a(k.g, k.angle) : arm_tip_b(k.g, k.angle);
        CHECK_NEAR(v, k.expected, 1e-15);
    }
}

void tips_follow_rotation_about_joint_axes() {
    for (const SphericalLinkGeometry& g : {LEFT, RIGHT}) {
        const double m = mirror_sign(g);
        const double a = g.arm_arc;
        const Vec3 rest_a = {m * std::sin(a), 0, std::cos(a)};
        const Vec3 rest_b = {m * std::cos(a), 0, std::sin(a)};
        for (double t : {-2.5, -0.4, 0.3, 1.1, 3.0}) {
            CHECK_NEAR(arm_tip_a(g, t), rotation_about_axis({0, 0, 1}, t) * rest_a, 1e-15);
            CHECK_NEAR(arm_tip_b(g, t), rotation_about_axis({m, 0, 0}, t) * rest_b, 1e-15);
            CHECK_NEAR(dot(arm_tip_a(g, t), Vec3{0, 0, 1}), std::cos(a), 1e-15);
            CHECK_NEAR(dot(arm_tip_b(g, t), Vec3{m, 0, 0}), std::cos(a), 1e-15);
        }
    }
}

void mirrored_tips_are_half_turn_of_left() {
    for (double t : {-3.0, -1.2, -0.01, 0.0, 0.5, 2.2}) {
        const Vec3 la = arm_tip_a(LEFT, t), ra = arm_tip_a(RIGHT, t);
        const Vec3 lb = arm_tip_b(LEFT, t), rb = arm_tip_b(RIGHT, t);
        CHECK(ra.x == -la.x && ra.y == -la.y && ra.z == la.z);
        CHECK(rb.x == -lb.x && rb.y == -lb.y && rb.z == lb.z);
        // Equivalently the left tips at -t reflected in the YZ plane.
        CHECK_NEAR(ra, (Vec3{-arm_tip_a(LEFT, -t).x, arm_tip_a(LEFT, -t).y, arm_tip_a(LEFT, -t).z}),
                   1e-15);
    }
}

void tips_coincide_at_quarter_pi() {
    const SphericalLinkGeometry g = {PI / 4, 0.5, Branch::positive, false};
    CHECK_NEAR(arm_tip_a(g, 0.0), arm_tip_b(g, 0.0), 2.3e-16);
}

}  // namespace

void geometry_tests() {
    tips_at_rest_and_quarter_turn();
    tips_follow_rotation_about_joint_axes();
    mirrored_tips_are_half_turn_of_left();
    tips_coincide_at_quarter_pi();
}
