// The shortcuts the arm objects take give the same doubles as the full
// computations: the written-out rotation about an axis against the formula
// evaluated entry by entry, pointing_direction against forward kinematics'
// v_3, and the candidate selection of ik_from_direction and ik (which visit
// the candidates without storing them) against a selection over the stored
// list of direction_candidates.
#include <cmath>
#include <limits>
#include <optional>
#include <random>

#include "arm/forward_kinematics.hpp"
#include "arm/inverse_kinematics.hpp"
#include "check.hpp"

using namespace quorbel;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double INF = std::numeric_limits<double>::infinity();

const SphericalLinkGeometry GEOMETRIES[] = {
    default_left_geometry(),
    default_right_geometry(),
    {0.7, 0.5, Branch::negative, false},
    {0.7, 0.5, Branch::negative, true},
    {0.9, 0.55, Branch::positive, false},
};

// R[i][j] = (c I[i][j] + s K[i][j]) + ((1 - c) k_i) k_j, K = [k]x, in loops.
Mat3 rotation_by_formula(Vec3 axis, double angle) {
    if (angle == 0.0) {
        return IDENTITY3;
    }
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    const double t = 1.0 - c;
    const double k[3] = {axis.x, axis.y, axis.z};
    const Mat3 skew = {{{0.0, -axis.z, axis.y}, {axis.z, 0.0, -axis.x}, {-axis.y, axis.x, 0.0}}};
    Mat3 r{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            r[i][j] = (c * IDENTITY3[i][j] + s * skew[i][j]) + (t * k[i]) * k[j];
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

const double ANGLES[] = {-2.5, -1.2, -0.6, -0.2, -0.0, 0.0, 0.1, 0.3, 0.7, 1.1, M_PI, NaN};

void pointing_direction_is_the_apex_of_forward_kinematics() {
    for (const SphericalLinkGeometry& g : GEOMETRIES) {
        const PreparedGeometry arm(g);
        for (double ta : ANGLES) {
            for (double tb : ANGLES) {
                const FkResult fk = forward_kinematics(g, ta, tb);
                const std::optional<Vec3> v_3 = pointing_direction(arm, ta, tb);
                CHECK(fk.has_value() == v_3.has_value());
                if (fk && v_3) {
                    CHECK(check::same_bits(fk->v_3.x, v_3->x) &&
                          check::same_bits(fk->v_3.y, v_3->y) &&
                          check::same_bits(fk->v_3.z, v_3->z));
                }
            }
        }
    }
}

bool same_pair(std::optional<JointPair> a, std::optional<JointPair> b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return check::same_bits(a->theta_a, b->theta_a) && check::same_bits(a->theta_b, b->theta_b);
}

// The selection rules applied to the stored candidate list.
std::optional<JointPair> select_by_direction(const SphericalLinkGeometry& g, Vec3 direction,
                                             std::optional<JointPair> near) {
    const double n = norm(direction);
    if (n < MIN_DIRECTION_NORM) {
        return std::nullopt;
    }
    const Vec3 d = direction / n;
    std::optional<JointPair> best;
    double best_cost = 0.0;
    for (const IkCandidate& c : direction_candidates(g, d)) {
        if (!(norm(c.fk_solution.v_3 - d) < IK_MATCH_TOLERANCE)) {
            continue;
        }
        const double da = near ? c.theta_a - near->theta_a : c.theta_a;
        const double db = near ? c.theta_b - near->theta_b : c.theta_b;
        const double cost = da * da + db * db;
        if (!best || cost < best_cost) {
            best = JointPair{c.theta_a, c.theta_b};
            best_cost = cost;
        }
    }
    return best;
}

std::optional<JointPair> select_by_rotation(const SphericalLinkGeometry& g, const Mat3& r) {
    std::optional<JointPair> best;
    double best_error = 0.0;
    for (const IkCandidate& c : direction_candidates(g, column(r, 2))) {
        double sum = 0.0;
        for (int i = 0; i < 3; ++i) {
            for (int j = 0; j < 3; ++j) {
                const double diff = c.fk_solution.rotation[i][j] - r[i][j];
                sum += diff * diff;
            }
        }
        const double error = std::sqrt(sum);
        if (error < IK_MATCH_TOLERANCE && (!best || error < best_error)) {
            best = JointPair{c.theta_a, c.theta_b};
            best_error = error;
        }
    }
    return best;
}

void inverse_kinematics_select_as_over_the_candidate_list() {
    const std::optional<JointPair> nears[] = {std::nullopt, JointPair{0.3, -0.2},
                                              JointPair{1.1, -0.2}, JointPair{NaN, 0.0}};
    int solved = 0;
    for (const SphericalLinkGeometry& g : GEOMETRIES) {
        const PreparedGeometry arm(g);
        for (double ta : ANGLES) {
            for (double tb : ANGLES) {
                const FkResult fk = forward_kinematics(g, ta, tb);
                if (!fk) {
                    continue;
                }
                const Vec3 d = 3.0 * fk->v_3;
                for (const std::optional<JointPair>& near : nears) {
                    const std::optional<JointPair> got = ik_from_direction(arm, d, near);
                    CHECK(same_pair(got, select_by_direction(g, d, near)));
                    solved += got ? 1 : 0;
                }
                Mat3 nudged = fk->rotation;
                nudged[0][0] += 1e-7;
                for (const Mat3& r : {fk->rotation, nudged}) {
                    CHECK(same_pair(ik(arm, r), select_by_rotation(g, r)));
                }
            }
        }
    }
    CHECK(solved > 100);  // the comparison ran on solved cases, not only on failures
}

}  // namespace

void prepared_geometry_tests() {
    rotation_about_axis_matches_the_formula();
    pointing_direction_is_the_apex_of_forward_kinematics();
    inverse_kinematics_select_as_over_the_candidate_list();
}
