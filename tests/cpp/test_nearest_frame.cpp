// The joint pair whose frame is nearest a measured rotation, against a
// brute-force search over a joint grid refined by a pattern search.
#include <cmath>
#include <random>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/nearest_frame.hpp>
#include <quorbel/maths/rotation.hpp>

#include "check.hpp"
#include "workspace_search.hpp"

using namespace quorbel;
using namespace quorbel::search;

namespace {

// The rotation angle between two matrices: for rotations
// |a - b|^2 = 8 sin^2(angle / 2).
double frame_angle(const Mat3& a, const Mat3& b) {
    double sum = 0.0;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            sum += (a[i][j] - b[i][j]) * (a[i][j] - b[i][j]);
        }
    }
    return 2.0 * std::asin(std::fmin(1.0, std::sqrt(sum / 8.0)));
}

double angle_at(const Arm& arm, const Mat3& r, double ta, double tb) {
    const FkResult fk = forward_kinematics(arm, ta, tb);
    return fk ? frame_angle(r, fk->rotation) : INFINITY;
}

// A 0.02 rad grid over the whole joint torus; its best five points each
// refined by a pattern search (steps along both joints and both diagonals,
// halved down to 1e-13 rad).
double search_nearest_frame(const Arm& arm, const Mat3& r) {
    constexpr int KEEP = 5;
    double best[KEEP];
    JointPair at[KEEP];
    for (int k = 0; k < KEEP; ++k) {
        best[k] = INFINITY;
    }
    for (double ta = -PI; ta < PI; ta += 0.02) {
        for (double tb = -PI; tb < PI; tb += 0.02) {
            const double a = angle_at(arm, r, ta, tb);
            int worst = 0;
            for (int k = 1; k < KEEP; ++k) {
                worst = best[k] > best[worst] ? k : worst;
            }
            if (a < best[worst]) {
                best[worst] = a;
                at[worst] = {ta, tb};
            }
        }
    }
    double least = INFINITY;
    for (int k = 0; k < KEEP; ++k) {
        JointPair p = at[k];
        double value = best[k];
        for (double step = 0.02; step > 1e-13;) {
            bool moved = false;
            for (const auto& [da, db] : {std::pair{1.0, 0.0}, std::pair{-1.0, 0.0},
                                         std::pair{0.0, 1.0}, std::pair{0.0, -1.0},
                                         std::pair{1.0, 1.0}, std::pair{-1.0, -1.0},
                                         std::pair{1.0, -1.0}, std::pair{-1.0, 1.0}}) {
                const double a = angle_at(arm, r, p.theta_a + step * da, p.theta_b + step * db);
                if (a < value) {
                    value = a;
                    p = {p.theta_a + step * da, p.theta_b + step * db};
                    moved = true;
                }
            }
            if (!moved) {
                step *= 0.5;
            }
        }
        least = std::fmin(least, value);
    }
    return least;
}

Mat3 rounded(const Mat3& r, double scale) {
    Mat3 out = r;
    for (auto& row : out) {
        for (double& v : row) {
            v = scale > 0.0 ? std::round(v * scale) / scale : double(float(v));
        }
    }
    return out;
}

// Random arms (both branches, mirrors) and poses; the frame measured with
// noise, rounded to 6 and 5 decimals, through float32, and turned by up to
// 0.5 rad (about its own z, or about any axis): the answer is never
// further than the search, and says why ik refuses it.
void no_further_than_a_search() {
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int kinds_seen[3] = {};
    double worst = -INFINITY;
    double worst_exact = -INFINITY;
    for (int k = 0; k < 36; ++k) {
        const Arm arm({0.4 + 0.35 * (unit(rng) + 1.0) / 2, 0.4 + 0.4 * (unit(rng) + 1.0) / 2,
                       unit(rng) > 0 ? Branch::positive : Branch::negative, unit(rng) > 0});
        const FkResult fk = forward_kinematics(arm, PI * unit(rng), PI * unit(rng));
        if (!fk) {
            continue;
        }
        const Vec3 axis = normalise({unit(rng), unit(rng), unit(rng)});
        Mat3 r;
        switch (k % 6) {
            case 0: r = rotation_about_axis(axis, 1e-7) * fk->rotation; break;
            case 1: r = rounded(fk->rotation, 1e6); break;
            case 2: r = rounded(fk->rotation, 1e5); break;
            case 3: r = rounded(fk->rotation, 0.0); break;
            case 4: r = fk->rotation * rotation_about_axis({0, 0, 1}, 0.5 * unit(rng)); break;
            default: r = rotation_about_axis(axis, 0.5 * unit(rng)) * fk->rotation; break;
        }
        const std::optional<NearestFrame> found = ik_nearest_frame(arm, r, IkOptions{});
        CHECK(found.has_value());
        if (!found) {
            continue;
        }
        CHECK_SMALL(std::fabs(found->angle - angle_at(arm, r, found->joints.theta_a,
                                                      found->joints.theta_b)), 1e-12);
        // Where ik accepts R its joints are the answer, as they are: their
        // frame is within ik's tolerance of R, not always the nearest.
        const double excess = found->angle - search_nearest_frame(arm, r);
        (found->miss == FrameMiss::none ? worst_exact : worst) =
            std::fmax(found->miss == FrameMiss::none ? worst_exact : worst, excess);
        const std::optional<JointPair> exact = ik(arm, r);
        ++kinds_seen[int(found->miss)];
        if (exact) {
            CHECK(found->miss == FrameMiss::none && found->joints.theta_a == exact->theta_a &&
                  found->joints.theta_b == exact->theta_b);
        } else {
            CHECK(found->miss == (ik_from_direction(arm, column(r, 2), {})
                                      ? FrameMiss::roll_off
                                      : FrameMiss::direction_out_of_reach));
        }
    }
    CHECK(kinds_seen[0] > 0 && kinds_seen[1] > 0 && kinds_seen[2] > 0);
    CHECK_SMALL(worst, 1e-9);
    CHECK_SMALL(worst_exact, IK_MATCH_TOLERANCE);
}

// Within limits: the joints stay inside, and no further than a search over
// the limited box (a grid of 0.01 rad, refined by the same pattern search
// clamped to the box is not needed: the grid's own best bounds it).
void within_limits() {
    const Arm arm(default_left_geometry());
    const JointLimits limits = {{0.1, 0.5}, {-0.4, 0.0}};
    std::mt19937_64 rng(4);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    for (int k = 0; k < 20; ++k) {
        const FkResult fk = forward_kinematics(arm, 0.3 + 0.6 * unit(rng), -0.2 + 0.6 * unit(rng));
        if (!fk) {
            continue;
        }
        const Mat3 r = fk->rotation;
        const std::optional<NearestFrame> found = ik_nearest_frame(arm, r, IkOptions{{}, limits});
        CHECK(found.has_value());
        if (!found) {
            continue;
        }
        const JointPair j = found->joints;
        CHECK(j.theta_a >= 0.1 && j.theta_a <= 0.5 && j.theta_b >= -0.4 && j.theta_b <= 0.0);
        double grid = INFINITY;
        for (double ta = 0.1; ta <= 0.5; ta += 0.002) {
            for (double tb = -0.4; tb <= 0.0; tb += 0.002) {
                grid = std::fmin(grid, angle_at(arm, r, ta, tb));
            }
        }
        CHECK(found->angle <= grid + 1e-12);
    }
}

void no_answer_without_a_direction() {
    const Arm arm(default_left_geometry());
    Mat3 r = IDENTITY;
    r[0][2] = 0.0;
    r[2][2] = 0.0;  // a zero third column
    CHECK(!ik_nearest_frame(arm, r, IkOptions{}));
    r = IDENTITY;
    r[1][1] = NAN;
    CHECK(!ik_nearest_frame(arm, r, IkOptions{}));
}

}  // namespace

void nearest_frame_tests() {
    no_further_than_a_search();
    within_limits();
    no_answer_without_a_direction();
}
