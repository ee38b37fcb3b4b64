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

// A 0.02 rad grid over the whole joint torus; its best point of each
// 0.5 rad cell refined by a pattern search (steps along both joints and
// both diagonals, halved down to 1e-13 rad).
double search_nearest_frame(const Arm& arm, const Mat3& r) {
    double least = INFINITY;
    for (double ca = -PI; ca < PI; ca += 0.5) {
        for (double cb = -PI; cb < PI; cb += 0.5) {
            JointPair p{};
            double value = INFINITY;
            for (double ta = ca; ta < ca + 0.5; ta += 0.02) {
                for (double tb = cb; tb < cb + 0.5; tb += 0.02) {
                    if (angle_at(arm, r, ta, tb) < value) {
                        value = angle_at(arm, r, ta, tb);
                        p = {ta, tb};
                    }
                }
            }
            for (double step = 0.02; step > 1e-13 && value < least + 0.05; step *= 0.5) {
                for (bool moved = true; moved;) {
                    moved = false;
                    for (const auto& [da, db] : {std::pair{1, 0}, {-1, 0}, {0, 1}, {0, -1},
                                                 {1, 1}, {-1, -1}, {1, -1}, {-1, 1}}) {
                        const JointPair q = {p.theta_a + step * da, p.theta_b + step * db};
                        if (angle_at(arm, r, q.theta_a, q.theta_b) < value) {
                            value = angle_at(arm, r, q.theta_a, q.theta_b);
                            p = q;
                            moved = true;
                        }
                    }
                }
            }
            least = std::fmin(least, value);
        }
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
// 0.5 rad about its own z or 1 rad about any axis, or turned upside down
// (its z reversed, mostly out of reach): the answer is never
// further than the search, and says why ik refuses it.
void no_further_than_a_search() {
    std::mt19937_64 rng(21);
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    int kinds_seen[3] = {};
    double worst = -INFINITY;
    double worst_exact = -INFINITY;
    for (int k = 0; k < 42; ++k) {
        const Arm arm({0.4 + 0.35 * (unit(rng) + 1.0) / 2, 0.4 + 0.4 * (unit(rng) + 1.0) / 2,
                       unit(rng) > 0 ? Branch::positive : Branch::negative, unit(rng) > 0});
        const JointPair pose = {PI * unit(rng), PI * unit(rng)};  // drawn in this order
        const FkResult fk = forward_kinematics(arm, pose.theta_a, pose.theta_b);
        if (!fk) {
            continue;
        }
        const Vec3 axis = normalise({unit(rng), unit(rng), unit(rng)});
        Mat3 r;
        switch (k % 7) {
            case 0: r = rotation_about_axis(axis, 1e-7) * fk->rotation; break;
            case 1: r = rounded(fk->rotation, 1e6); break;
            case 2: r = rounded(fk->rotation, 1e5); break;
            case 3: r = rounded(fk->rotation, 0.0); break;
            case 4: r = fk->rotation * rotation_about_axis({0, 0, 1}, 0.5 * unit(rng)); break;
            case 5: r = rotation_about_axis(axis, unit(rng)) * fk->rotation; break;
            default: r = fk->rotation * rotation_about_axis({1, 0, 0}, PI); break;
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

// Within limits: the joints stay inside, and the frame is no further than
// the best of a 0.002 rad grid over the limited box.
void within_limits() {
    const Arm arm(default_left_geometry());
    const IkOptions options = {{}, JointLimits{{0.1, 0.5}, {-0.4, 0.0}}};
    for (const auto& [ta, tb] : {std::pair{0.8, -0.6}, {0.0, 0.2}, {0.3, -0.7}, {-0.3, 0.3}}) {
        const FkResult fk = forward_kinematics(arm, ta, tb);
        const std::optional<NearestFrame> found =
            fk ? ik_nearest_frame(arm, fk->rotation, options) : std::nullopt;
        double grid = INFINITY;
        for (double a = 0.1; fk && a <= 0.5; a += 0.002) {
            for (double b = -0.4; b <= 0.0; b += 0.002) {
                grid = std::fmin(grid, angle_at(arm, fk->rotation, a, b));
            }
        }
        CHECK(found && found->angle <= grid + 1e-12 && found->joints.theta_a >= 0.1 &&
              found->joints.theta_a <= 0.5 && found->joints.theta_b >= -0.4 &&
              found->joints.theta_b <= 0.0);
    }
}

}  // namespace

void nearest_frame_tests() {
    no_further_than_a_search();
    within_limits();
}
