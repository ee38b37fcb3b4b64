// Inverse kinematics from a direction and from a rotation.
#include <cmath>
#include <limits>
#include <optional>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/inverse_kinematics.hpp>

#include "check.hpp"

using namespace quorbel;

namespace {

const SphericalLinkGeometry LEFT = default_left_geometry();
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
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

// Every branch, not only the one returned: over a grid of closing pairs on
// each geometry, the pair itself is among the candidates that land on its
// v_3, and each candidate carries exactly forward_kinematics of its own pair.
void every_branch_round_trips() {
    int solved = 0;
    for (const SphericalLinkGeometry& g : GEOMETRIES) {
        for (double ta = -1.2; ta <= 1.2; ta += 0.1) {
            for (double tb = -1.2; tb <= 1.2; tb += 0.1) {
                const FkResult fk = forward_kinematics(g, ta, tb);
                if (!fk) {
                    continue;
                }
                ++solved;
                bool found = false;
                for (const IkCandidate& c : direction_candidates(g, fk->v_3)) {
                    const FkResult own = forward_kinematics(g, c.theta_a, c.theta_b);
                    CHECK(own && check::same_bits(own->rotation, c.fk_solution.rotation));
                    found = found || (norm(c.fk_solution.v_3 - fk->v_3) < IK_MATCH_TOLERANCE &&
                                      same_pair(JointPair{c.theta_a, c.theta_b}, {ta, tb}, 1e-9));
                }
                CHECK(found);
            }
        }
    }
    CHECK(solved > 4 * 400);
}

// Both empty, or both holding the same doubles.
bool same_result(std::optional<JointPair> a, std::optional<JointPair> b) {
    if (!a || !b) {
        return a.has_value() == b.has_value();
    }
    return check::same_bits(a->theta_a, b->theta_a) && check::same_bits(a->theta_b, b->theta_b);
}

// ik_from_direction and ik visit the candidates without storing them; the
// selection rules applied to the stored list of direction_candidates must
// pick the same pair.
std::optional<JointPair> select_by_direction(const Arm& arm, Vec3 direction,
                                             std::optional<JointPair> near) {
    const double n = norm(direction);
    if (n < MIN_DIRECTION_NORM) {
        return std::nullopt;
    }
    const Vec3 d = direction / n;
    std::optional<JointPair> best;
    double best_cost = 0.0;
    for (const IkCandidate& c : direction_candidates(arm, d)) {
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

std::optional<JointPair> select_by_rotation(const Arm& arm, const Mat3& r) {
    std::optional<JointPair> best;
    double best_error = 0.0;
    for (const IkCandidate& c : direction_candidates(arm, column(r, 2))) {
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
    const double angles[] = {-2.5, -1.2, -0.6, -0.2, -0.0, 0.0, 0.1, 0.3, 0.7, 1.1, M_PI, NaN};
    for (const SphericalLinkGeometry& g : GEOMETRIES) {
        const Arm arm(g);
        for (double ta : angles) {
            for (double tb : angles) {
                const FkResult fk = forward_kinematics(arm, ta, tb);
                if (!fk) {
                    continue;
                }
                const Vec3 d = 3.0 * fk->v_3;
                for (const std::optional<JointPair>& near : nears) {
                    const std::optional<JointPair> got = ik_from_direction(arm, d, near);
                    CHECK(same_result(got, select_by_direction(arm, d, near)));
                    solved += got ? 1 : 0;
                }
                Mat3 nudged = fk->rotation;
                nudged[0][0] += 1e-7;
                for (const Mat3& r : {fk->rotation, nudged}) {
                    CHECK(same_result(ik(arm, r), select_by_rotation(arm, r)));
                }
            }
        }
    }
    CHECK(solved > 100);  // the comparison ran on solved cases, not only on failures
}

// ik_solutions keeps each landing candidate in its own slot: the worked
// pose fills slots 0, 2 and 3 with the candidates' own doubles and leaves
// slot 1 (the mirror image) empty; a direction too short to normalise, or
// NaN, leaves all four empty.
void solutions_by_slot() {
    const Arm arm(LEFT);
    const CandidateList list = direction_candidates(LEFT, worked_pose().v_3);
    const auto solutions = ik_solutions(arm, worked_pose().v_3);
    const bool filled[] = {true, false, true, true};
    for (std::size_t k = 0; k < 4 && list.count == 4; ++k) {
        CHECK(solutions[k].has_value() == filled[k]);
        if (solutions[k]) {
            CHECK(check::same_bits(solutions[k]->theta_a, list.items[k].theta_a));
            CHECK(check::same_bits(solutions[k]->theta_b, list.items[k].theta_b));
        }
    }
    for (const Vec3 refused : {Vec3{0.0, 0.0, 0.0}, Vec3{1e-13, 0.0, 0.0},
                               Vec3{std::nan(""), 0.0, 1.0}}) {
        for (const auto& slot : ik_solutions(arm, refused)) {
            CHECK(!slot);
        }
    }
}

// Over a grid of directions (reachable or not) on every geometry, the filled
// slots are, in order, the candidates that land on the direction, and
// ik_from_direction picks among exactly those: the smallest squared norm,
// the earlier one on ties.
void solutions_agree_with_ik_from_direction() {
    int filled = 0;
    for (const SphericalLinkGeometry& g : GEOMETRIES) {
        const Arm arm(g);
        for (double x = -1.0; x <= 1.0; x += 0.125) {
            for (double y = -1.0; y <= 1.0; y += 0.125) {
                const Vec3 v = {x, y, 0.8};
                const Vec3 d = v / norm(v);
                const auto solutions = ik_solutions(arm, v);
                std::optional<JointPair> smallest;
                std::size_t next = 0;
                const CandidateList list = direction_candidates(g, d);
                for (const auto& slot : solutions) {
                    if (!slot) {
                        continue;
                    }
                    ++filled;
                    while (next < list.count &&
                           !(norm(list.items[next].fk_solution.v_3 - d) < IK_MATCH_TOLERANCE)) {
                        ++next;
                    }
                    CHECK(next < list.count && same_pair(slot, {list.items[next].theta_a,
                                                                list.items[next].theta_b}, 0.0));
                    ++next;
                    const double cost = slot->theta_a * slot->theta_a + slot->theta_b * slot->theta_b;
                    if (!smallest || cost < smallest->theta_a * smallest->theta_a +
                                                smallest->theta_b * smallest->theta_b) {
                        smallest = slot;
                    }
                }
                const std::optional<JointPair> chosen = ik_from_direction(arm, v, std::nullopt);
                CHECK(chosen.has_value() == smallest.has_value());
                if (chosen && smallest) {
                    CHECK(same_pair(chosen, *smallest, 0.0));
                }
            }
        }
    }
    CHECK(filled > 100);
}

}  // namespace

void inverse_kinematics_tests() {
    worked_candidates();
    equal_cost_keeps_earlier();
    every_branch_round_trips();
    inverse_kinematics_select_as_over_the_candidate_list();
    solutions_by_slot();
    solutions_agree_with_ik_from_direction();
}
