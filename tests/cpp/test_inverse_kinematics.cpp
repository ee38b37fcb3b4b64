// Inverse kinematics from a direction and from a rotation.
#include <cmath>
#include <limits>
#include <optional>

#include "arm/inverse_kinematics.hpp"
#include "check.hpp"

using namespace quorbel;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();
const SphericalLinkGeometry LEFT = default_left_geometry();
const SphericalLinkGeometry GEOMETRIES[] = {
    {0.7, 0.5, Branch::positive, false},
    {0.7, 0.5, Branch::negative, false},
    {0.7, 0.5, Branch::positive, true},
    {0.7, 0.5, Branch::negative, true},
};

// The worked pose: left arm at (0.3, -0.2).
const FkSolution& worked_pose() {
    static const FkSolution pose = *forward_kinematics(LEFT, 0.3, -0.2);
    return pose;
}

double frobenius(const Mat3& a, const Mat3& b) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            sum += (a[i][j] - b[i][j]) * (a[i][j] - b[i][j]);
        }
    }
    return std::sqrt(sum);
}

bool same_pair(std::optional<JointPair> p, JointPair q, double tol) {
    return p && !(std::fabs(p->theta_a - q.theta_a) > tol) && !(std::fabs(p->theta_b - q.theta_b) > tol) &&
           !std::isnan(p->theta_a) && !std::isnan(p->theta_b);
}

// The candidates in the order (+1,+1), (+1,-1), (-1,+1), (-1,-1); the second
// lands on the mirror image of d; their rotations lie at the stated
// Frobenius distances from the pose; each is exactly forward_kinematics of
// its own pair.
void worked_candidates() {
    const FkSolution& pose = worked_pose();
    const CandidateList list = direction_candidates(LEFT, pose.v_3);
    struct Expected {
        double theta_a, theta_b, tol;
        bool lands;
        double frobenius;
    };
    const Expected expected[] = {
        {1.144746, -0.2, 1e-6, true, 0.813},
        {1.144746, -1.588839, 1e-6, false, 0.747},
        {0.3, -0.2, 1e-12, true, 0.0},
        {0.3, -1.588839, 1e-6, true, 1.399},
    };
    CHECK(list.count == 4);
    for (std::size_t k = 0; k < 4 && k < list.count; ++k) {
        const IkCandidate& c = list.items[k];
        const Expected& e = expected[k];
        CHECK_NEAR(c.theta_a, e.theta_a, e.tol);
        CHECK_NEAR(c.theta_b, e.theta_b, e.tol);
        CHECK((norm(c.fk_solution.v_3 - pose.v_3) < IK_MATCH_TOLERANCE) == e.lands);
        CHECK_NEAR(frobenius(c.fk_solution.rotation, pose.rotation), e.frobenius, 1e-3);
        const FkResult fk = forward_kinematics(LEFT, c.theta_a, c.theta_b);
        CHECK(fk && check::same_bits(fk->rotation, c.fk_solution.rotation));
    }
    // Both placements of tip A agree on theta_b, both placements of B on theta_a.
    if (list.count == 4) {
        CHECK(list.items[0].theta_b == list.items[2].theta_b);
        CHECK(list.items[0].theta_a == list.items[1].theta_a);
    }
}

void worked_direction_choices() {
    const Vec3 d = worked_pose().v_3;
    const double a1 = 1.144746, b2 = -1.588839;
    struct Case {
        const char* name;
        Vec3 direction;
        std::optional<JointPair> near;
        JointPair expected;
        double tol;
    };
    const Case cases[] = {
        {"smallest norm", d, std::nullopt, {0.3, -0.2}, 1e-12},
        {"near first", d, JointPair{1.1, -0.2}, {a1, -0.2}, 1e-6},
        {"near last", d, JointPair{0.3, -1.5}, {0.3, b2}, 1e-6},
        {"near NaN keeps first", d, JointPair{NaN, 0.0}, {a1, -0.2}, 1e-6},
        {"five times", 5.0 * d, std::nullopt, {0.3, -0.2}, 1e-12},
        {"five times near", 5.0 * d, JointPair{1.1, -0.2}, {a1, -0.2}, 1e-6},
        {"length 1e-12 solves", 1e-12 * d, std::nullopt, {0.3, -0.2}, 1e-12},
        {"length 1.3e154 solves", 1.3e154 * d, std::nullopt, {0.3, -0.2}, 1e-12},
    };
    for (const Case& c : cases) {
        const std::optional<JointPair> got = ik_from_direction(LEFT, c.direction, c.near);
        CHECK(same_pair(got, c.expected, c.tol));
    }
}

void unreachable_directions() {
    const Vec3 d = worked_pose().v_3;
    const Vec3 cases[] = {
        {0, 0, 0},
        9e-13 * d,
        1.4e154 * d,
        {0, 0, 1},
        {0, 0, -1},
        {1, 0, 0},
        {-1, 0, 0},
        {NaN, 0.5, 0.5},
        {std::numeric_limits<double>::infinity(), 0.5, 0.5},
        // The opposite of a reachable direction is not reachable here.
        -1.0 * d,
    };
    for (const Vec3& v : cases) {
        CHECK(!ik_from_direction(LEFT, v, std::nullopt).has_value());
        CHECK(!ik_from_direction(LEFT, v, JointPair{0.3, -0.2}).has_value());
    }
    // Along a joint axis the tip placement has concentric circles: no candidate.
    CHECK(direction_candidates(LEFT, {0, 0, 1}).count == 0);
    CHECK(direction_candidates(LEFT, {1, 0, 0}).count == 0);
}

// Equal costs keep the earlier candidate. With near between candidates 1 and
// 3 (same theta_b) at a point where their costs evaluate equal, the first
// wins; a step toward the third makes the third win.
void equal_cost_keeps_earlier() {
    const CandidateList list = direction_candidates(LEFT, worked_pose().v_3);
    CHECK(list.count == 4);
    if (list.count != 4) {
        return;
    }
    const double a1 = list.items[0].theta_a, a3 = list.items[2].theta_a, b = list.items[0].theta_b;
    auto cost = [](double t, double n) { return (t - n) * (t - n); };
    double n = 0.5 * (a1 + a3);
    for (int step = 0; step < 64 && cost(a1, n) != cost(a3, n); ++step) {
        n = std::nextafter(n, cost(a1, n) > cost(a3, n) ? a1 : a3);
    }
    CHECK(cost(a1, n) == cost(a3, n));
    CHECK(same_pair(ik_from_direction(LEFT, worked_pose().v_3, JointPair{n, b}), {a1, b}, 0.0));
    CHECK(same_pair(ik_from_direction(LEFT, worked_pose().v_3, JointPair{n - 1e-9, b}), {a3, b},
                    0.0));
}

void rotation_ik_worked() {
    const Mat3& r = worked_pose().rotation;
    CHECK(same_pair(ik(LEFT, r), {0.3, -0.2}, 1e-12));

    Mat3 turned = r;  // turned about its own third column by 0.01 rad
    const double c = std::cos(0.01), s = std::sin(0.01);
    for (int i = 0; i < 3; ++i) {
        turned[i][0] = c * r[i][0] + s * r[i][1];
        turned[i][1] = -s * r[i][0] + c * r[i][1];
    }
    Mat3 doubled = r, transposed = r, with_nan = r, small_change = r, large_change = r;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            doubled[i][j] = 2.0 * r[i][j];
            transposed[i][j] = r[j][i];
        }
    }
    with_nan[1][1] = NaN;
    small_change[0][1] += 1e-7;
    large_change[0][1] += 1e-5;

    struct Case {
        const char* name;
        Mat3 target;
        bool solved;
    };
    const Case cases[] = {
        {"turned about v_3", turned, false},
        {"doubled", doubled, false},
        {"transposed", transposed, false},
        {"NaN entry", with_nan, false},
        {"identity", IDENTITY3, false},
        {"entry + 1e-7", small_change, true},
        {"entry + 1e-5", large_change, false},
    };
    for (const Case& k : cases) {
        const std::optional<JointPair> got = ik(LEFT, k.target);
        CHECK(got.has_value() == k.solved);
        if (k.solved) {
            CHECK(same_pair(got, {0.3, -0.2}, 1e-12));
        }
    }
    // The turned rotation keeps a reachable direction.
    CHECK(ik_from_direction(LEFT, column(turned, 2), std::nullopt).has_value());
}

// Just off theta_a = -theta_b a second candidate's frame lies within the
// tolerance too, and earlier in the list; the strictly nearer one wins.
void nearest_acceptable_rotation_wins() {
    for (double eps : {1e-8, -1e-8, 1e-7}) {
        const FkSolution pose = *forward_kinematics(LEFT, 1.0, -1.0 + eps);
        int acceptable = 0;
        bool nearer_comes_later = false;
        for (const IkCandidate& c : direction_candidates(LEFT, pose.v_3)) {
            if (frobenius(c.fk_solution.rotation, pose.rotation) < IK_MATCH_TOLERANCE) {
                ++acceptable;
                nearer_comes_later = acceptable == 2 && std::fabs(c.theta_a - 1.0) < 1e-12;
            }
        }
        CHECK(acceptable == 2 && nearer_comes_later);
        CHECK(same_pair(ik(LEFT, pose.rotation), {1.0, -1.0 + eps}, 1e-12));
    }
}

// Every branch round-trips: for each geometry and a grid of pairs where the
// loop closes, ik(fk(q)) reproduces the rotation and, off the line
// theta_a = -theta_b, returns q itself; ik_from_direction(v_3, near = q) == q;
// and every candidate kept for v_3 really lands on it. On theta_a = -theta_b
// the loop is symmetric under a reflection that keeps v_3, and a second pair
// on that line gives the same frame: ik may return either.
void round_trips(double& worst) {
    int solved = 0;
    int symmetric = 0;
    for (const SphericalLinkGeometry& g : GEOMETRIES) {
        for (double ta = -1.2; ta <= 1.2; ta += 0.1) {
            for (double tb = -1.2; tb <= 1.2; tb += 0.1) {
                const FkResult fk = forward_kinematics(g, ta, tb);
                if (!fk) {
                    continue;
                }
                ++solved;
                const std::optional<JointPair> by_rotation = ik(g, fk->rotation);
                const std::optional<JointPair> by_direction =
                    ik_from_direction(g, fk->v_3, JointPair{ta, tb});
                CHECK(by_rotation.has_value());
                if (by_rotation) {
                    const FkResult again = forward_kinematics(g, by_rotation->theta_a, by_rotation->theta_b);
                    CHECK(again && !(frobenius(again->rotation, fk->rotation) > 1e-12));
                }
                if (std::fabs(ta + tb) > 1e-9) {
                    CHECK(same_pair(by_rotation, {ta, tb}, 1e-9));
                } else {
                    ++symmetric;
                }
                CHECK(same_pair(by_direction, {ta, tb}, 1e-9));
                auto track = [&](const std::optional<JointPair>& p) {
                    if (p) {
                        const double err = std::fabs(p->theta_a - ta) + std::fabs(p->theta_b - tb);
                        worst = err > worst ? err : worst;
                    }
                };
                track(by_direction);
                if (std::fabs(ta + tb) > 1e-9) {
                    track(by_rotation);
                }
                int landing = 0;
                for (const IkCandidate& c : direction_candidates(g, fk->v_3)) {
                    if (norm(c.fk_solution.v_3 - fk->v_3) < IK_MATCH_TOLERANCE) {
                        ++landing;
                        const FkResult again = forward_kinematics(g, c.theta_a, c.theta_b);
                        CHECK(again && norm(again->v_3 - fk->v_3) < 1e-12);
                    }
                }
                CHECK(landing >= 1);
            }
        }
    }
    CHECK(solved > 4 * 400);
    CHECK(symmetric > 0);
}

}  // namespace

void inverse_kinematics_tests() {
    worked_candidates();
    worked_direction_choices();
    unreachable_directions();
    equal_cost_keeps_earlier();
    rotation_ik_worked();
    nearest_acceptable_rotation_wins();
    double worst = 0.0;
    round_trips(worst);
    std::printf("largest IK round-trip error (|dA| + |dB|): %.3g\n", worst);
}
