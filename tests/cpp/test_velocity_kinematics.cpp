// Velocity kinematics of the arm: the Jacobians against central differences
// of forward kinematics, the singular values against the extremes of |J q|,
// and the joint rates against the normal equations of their least squares.
#include <cmath>
#include <limits>
#include <random>

#include <quorbel/arm/velocity_kinematics.hpp>
#include "check.hpp"

using namespace quorbel;

namespace {

const double PI = std::acos(-1.0);
const double NaN = std::numeric_limits<double>::quiet_NaN();
const SphericalLinkGeometry ARMS[] = {
    default_left_geometry(),
    default_right_geometry(),
    {0.7, 0.5, Branch::negative, false},
    {0.7, 0.5, Branch::negative, true},
};
constexpr double STEP = 1e-6;

// Calls visit(theta_a, theta_b, J) for `count` random joint pairs where the
// loop closes, away from in-line arms (smallest singular value below 0.05)
// and from the closing limit (largest above 20), where the differences'
// truncation error grows.
template <typename Visit>
void for_each_regular_pose(const Arm& arm, int count, Visit&& visit) {
    std::mt19937_64 rng(14);
    std::uniform_real_distribution<double> angle(-PI, PI);
    for (int found = 0; found < count;) {
        const double theta_a = angle(rng);
        const double theta_b = angle(rng);
        const std::optional<SingularValues> s = singular_values(arm, theta_a, theta_b);
        if (!s || s->smallest < 0.05 || s->largest > 20.0) {
            continue;
        }
        visit(theta_a, theta_b, *direction_jacobian(arm, theta_a, theta_b));
        ++found;
    }
}

// |a - b| / |b|, both by their largest entry.
double relative_error(const Mat3x2& a, const Mat3x2& b) {
    double diff = 0.0;
    double size = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 2; ++j) {
            diff = std::fmax(diff, std::fabs(a[i][j] - b[i][j]));
            size = std::fmax(size, std::fabs(b[i][j]));
        }
    }
    return diff / size;
}

// omega from the central difference of R along one joint: the axial vector
// of the skew part of dR R^T.
Vec3 angular_difference(const Mat3& plus, const Mat3& minus, const Mat3& r) {
    Mat3 w{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                w[i][j] += (plus[i][k] - minus[i][k]) / (2 * STEP) * r[j][k];
            }
        }
    }
    return {0.5 * (w[2][1] - w[1][2]), 0.5 * (w[0][2] - w[2][0]), 0.5 * (w[1][0] - w[0][1])};
}

void jacobians_match_central_differences() {
    for (const SphericalLinkGeometry& g : ARMS) {
        const Arm arm(g);
        double worst_direction = 0.0;
        double worst_angular = 0.0;
        for_each_regular_pose(arm, 300, [&](double ta, double tb, const Mat3x2& j) {
            const FkSolution fk = *forward_kinematics(arm, ta, tb);
            const FkSolution a_plus = *forward_kinematics(arm, ta + STEP, tb);
            const FkSolution a_minus = *forward_kinematics(arm, ta - STEP, tb);
            const FkSolution b_plus = *forward_kinematics(arm, ta, tb + STEP);
            const FkSolution b_minus = *forward_kinematics(arm, ta, tb - STEP);
            const Mat3x2 direction_differences =
                from_columns((a_plus.v_3 - a_minus.v_3) / (2 * STEP),
                             (b_plus.v_3 - b_minus.v_3) / (2 * STEP));
            const Mat3x2 angular_differences =
                from_columns(angular_difference(a_plus.rotation, a_minus.rotation, fk.rotation),
                             angular_difference(b_plus.rotation, b_minus.rotation, fk.rotation));
            worst_direction = std::fmax(worst_direction, relative_error(j, direction_differences));
            worst_angular = std::fmax(
                worst_angular,
                relative_error(*angular_jacobian(arm, ta, tb), angular_differences));
        });
        CHECK_SMALL(worst_direction, 1e-7);
        CHECK_SMALL(worst_angular, 1e-7);
    }
}

// The singular values are the largest and smallest |J q| over unit q. A sweep
// of q in steps of 0.05 degree finds their squares to within 2e-7 of the
// larger square (|J q|^2 is flat to second order at both extremes).
void singular_values_are_the_extremes_of_the_gain() {
    const Arm arm(ARMS[0]);
    for_each_regular_pose(arm, 50, [&](double ta, double tb, const Mat3x2& j) {
        const SingularValues s = *singular_values(arm, ta, tb);
        double most = 0.0;
        double least = INFINITY;
        for (int k = 0; k < 3600; ++k) {
            const double phi = PI * k / 3600;
            const Vec3 jq = apply(j, std::cos(phi), std::sin(phi));
            most = std::fmax(most, dot(jq, jq));
            least = std::fmin(least, dot(jq, jq));
        }
        CHECK_SMALL(std::fabs(s.largest * s.largest - most) / most, 2e-7);
        CHECK_SMALL(std::fabs(s.smallest * s.smallest - least) / most, 2e-7);
    });
}

// (J^T J + damping^2 I) q = J^T v for any v; and with damping 0, a v that J
// reaches up to a part along v_3 (normal to every column) gives back the
// rates that reach it.
void joint_rates_solve_the_least_squares() {
    for (const SphericalLinkGeometry& g : ARMS) {
        const Arm arm(g);
        std::mt19937_64 rng(7);
        std::normal_distribution<double> normal;
        for_each_regular_pose(arm, 100, [&](double ta, double tb, const Mat3x2& j) {
            const Vec3 j_a = column(j, 0);
            const Vec3 j_b = column(j, 1);
            const Vec3 v = {normal(rng), normal(rng), normal(rng)};
            for (double damping : {0.0, 0.05, 0.8}) {
                const JointPair q = *joint_rates(arm, ta, tb, v, damping);
                const Vec3 residual = apply(j, q.theta_a, q.theta_b) - v;
                const double l = damping * damping;
                const double scale = norm(v) * (dot(j_a, j_a) + dot(j_b, j_b) + l);
                CHECK_SMALL(std::fabs(dot(j_a, residual) + l * q.theta_a) / scale, 1e-13);
                CHECK_SMALL(std::fabs(dot(j_b, residual) + l * q.theta_b) / scale, 1e-13);
            }
            const double q_a = normal(rng);
            const double q_b = normal(rng);
            const Vec3 v_3 = *pointing_direction(arm, ta, tb);
            const Vec3 reachable = apply(j, q_a, q_b) + normal(rng) * v_3;
            const JointPair q = *joint_rates(arm, ta, tb, reachable, 0.0);
            CHECK_SMALL(std::fabs(q.theta_a - q_a) + std::fabs(q.theta_b - q_b), 1e-12);
        });
    }
}

// A damping far above the singular values gives J^T v / damping^2 (relative
// error about (s / damping)^2), also where damping^2 or damping^4 overflows;
// beyond the smallest double's reach, and for an infinite damping, zero.
// These once came back as NaN from about damping 1.3e154, and as zero from
// about 1e77.
void joint_rates_under_a_huge_damping() {
    const Arm arm(ARMS[0]);
    const Vec3 v = {0.3, -0.5, 0.2};
    for_each_regular_pose(arm, 20, [&](double ta, double tb, const Mat3x2& j) {
        const Vec3 j_t_v = {dot(column(j, 0), v), dot(column(j, 1), v), 0.0};
        for (double damping : {1e60, 1e80, 1e120, 1e150, 1e152}) {
            const JointPair q = *joint_rates(arm, ta, tb, v, damping);
            const Vec3 scaled = {(q.theta_a * damping) * damping, (q.theta_b * damping) * damping,
                                 0.0};
            CHECK_SMALL(check::max_abs_diff(scaled, j_t_v) / norm(j_t_v), 1e-13);
        }
        for (double damping : {1e170, 1e300, double(INFINITY), -double(INFINITY)}) {
            const JointPair q = *joint_rates(arm, ta, tb, v, damping);
            CHECK(q.theta_a == 0.0 && q.theta_b == 0.0);
        }
    });
}

// Empty where the loop does not close or just closes (the apex on the tips'
// great circle), and none for NaN angles, whose loop does not close either.
void no_value_where_the_loop_does_not_close() {
    // Tips exactly 2 coupler_arc apart: the closing margin evaluates to zero.
    const Arm edge({0.4, 0.3853981633974482, Branch::positive, false});
    const Arm left(ARMS[0]);
    struct Case {
        const Arm* arm;
        double theta_a, theta_b;
    };
    for (const Case& c : {Case{&left, 3.14, 0.0}, Case{&edge, 0.0, 0.0}, Case{&left, NaN, 0.2},
                          Case{&left, 0.2, NaN}}) {
        CHECK(!direction_jacobian(*c.arm, c.theta_a, c.theta_b));
        CHECK(!angular_jacobian(*c.arm, c.theta_a, c.theta_b));
        CHECK(!singular_values(*c.arm, c.theta_a, c.theta_b));
        CHECK(!joint_rates(*c.arm, c.theta_a, c.theta_b, {0.0, 1.0, 0.0}, 0.1));
    }
}

}  // namespace

void velocity_kinematics_tests() {
    jacobians_match_central_differences();
    singular_values_are_the_extremes_of_the_gain();
    joint_rates_solve_the_least_squares();
    joint_rates_under_a_huge_damping();
    no_value_where_the_loop_does_not_close();
}
