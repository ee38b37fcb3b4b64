// Rotation about an axis: worked turns, the exact identity at zero, NaN
// reaching every entry, and the written-out entries against the formula
// evaluated in loops.
#include <cmath>
#include <limits>
#include <random>

#include <quorbel/maths/elementary.hpp>
#include <quorbel/maths/rotation.hpp>

#include "check.hpp"

using namespace quorbel;

namespace {

const double PI = std::acos(-1.0);
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

void rotation_turns_vectors() {
    struct Case {
        Vec3 axis;
        double angle;
        Vec3 in;
        Vec3 out;
    };
    const Case cases[] = {
        {{0, 0, 1}, PI / 2, {1, 0, 0}, {0, 1, 0}},
        {{1, 0, 0}, PI / 2, {0, 1, 0}, {0, 0, 1}},
        {{0, 1, 0}, PI / 2, {0, 0, 1}, {1, 0, 0}},
        {{0, 0, 1}, -PI / 2, {1, 0, 0}, {0, -1, 0}},
        {{0, 0, 1}, PI, {1, 0, 0}, {-1, 0, 0}},
        // A third of a turn about the cube diagonal cycles the axes.
        {{1 / std::sqrt(3.0), 1 / std::sqrt(3.0), 1 / std::sqrt(3.0)}, 2 * PI / 3, {1, 0, 0},
         {0, 1, 0}},
        // A vector along the axis stays.
        {{0.6, 0.0, 0.8}, 1.234, {0.6, 0.0, 0.8}, {0.6, 0.0, 0.8}},
    };
    for (const Case& c : cases) {
        CHECK_NEAR(rotation_about_axis(c.axis, c.angle) * c.in, c.out, 1e-15);
    }
}

void rotation_by_zero_is_exact_identity() {
    const Vec3 axes[] = {{0, 0, 1}, {3.0, -4.0, 12.0}, {0, 0, 0}, {NaN, 1.0, 2.0}};
    for (const Vec3& axis : axes) {
        for (double angle : {0.0, -0.0}) {
            const Mat3 r = rotation_about_axis(axis, angle);
            CHECK(check::same_bits(r, IDENTITY));
        }
    }
    // The smallest non-zero angle is not zero: the formula runs (-sin t lands
    // in row 0, column 1), so the result is not the identity.
    const double tiny = std::numeric_limits<double>::denorm_min();
    CHECK(rotation_about_axis({0, 0, 1}, tiny)[0][1] == -tiny);
}

void rotation_with_nan_or_infinite_angle_is_nan() {
    for (double angle : {NaN, std::numeric_limits<double>::infinity()}) {
        CHECK(check::all_nan(rotation_about_axis({0, 0, 1}, angle)));
        CHECK(check::all_nan(rotation_about_axis({1, 0, 0}, angle)));
    }
}

// R[i][j] = (c I[i][j] + s K[i][j]) + ((1 - c) k_i) k_j, K = [k]x, in loops.
Mat3 rotation_by_formula(Vec3 axis, double angle) {
    if (angle == 0.0) {
        return IDENTITY;
    }
    const double c = elementary::cos(angle);
    const double s = elementary::sin(angle);
    const double t = 1.0 - c;
    const double k[3] = {axis.x, axis.y, axis.z};
    const Mat3 skew = {{{0.0, -axis.z, axis.y}, {axis.z, 0.0, -axis.x}, {-axis.y, axis.x, 0.0}}};
    Mat3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i][j] = (c * IDENTITY[i][j] + s * skew[i][j]) + (t * k[i]) * k[j];
        }
    }
    return r;
}

void rotation_about_axis_matches_the_formula() {
    std::mt19937_64 random(6);
    std::uniform_real_distribution<double> angle(-7.0, 7.0);
    std::uniform_real_distribution<double> component(-2.0, 2.0);
    const Vec3 axes[] = {{0, 0, 1}, {0, 1, 0}, {1, 0, 0}, {-1, 0, 0}, {0.6, 0.8, 0}, {1, 2, 3}};
    const double specials[] = {0.0, -0.0, NaN, INF, -INF, 1e-300, M_PI, -M_PI / 2, 1e300};
    int differing = 0;
    auto compare = [&](Vec3 axis, double a) {
        differing += check::same_bits(rotation_about_axis(axis, a), rotation_by_formula(axis, a))
                         ? 0
                         : 1;
    };
    for (const Vec3& axis : axes) {
        for (double a : specials) {
            compare(axis, a);
        }
        for (int i = 0; i < 20000; ++i) {
            compare(axis, angle(random));
        }
    }
    for (int i = 0; i < 20000; ++i) {
        compare({component(random), component(random), component(random)}, angle(random));
    }
    CHECK(differing == 0);
}

}  // namespace

void rotation_tests() {
    rotation_turns_vectors();
    rotation_by_zero_is_exact_identity();
    rotation_with_nan_or_infinite_angle_is_nan();
    rotation_about_axis_matches_the_formula();
}
