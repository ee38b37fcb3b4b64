// nearest_reachable_validation: nearest_reachable against a search that
// knows nothing of the workspace's edge; fails on any result further than
// the search's by more than 1e-9 rad, missing, or refused by
// ik_from_direction. About five minutes of CPU time: ctest's label `slow`.
//
//   nearest_reachable_validation [--targets N] [--grid STEP]
//
// For each of three arms (both presets and a mirrored negative-branch arm):
// - forward kinematics on a joint grid of STEP rad (0.002 by default) over
//   the whole torus, computed once and reused for every target;
// - N random unreachable targets spread over the sphere, N just outside the
//   workspace (a reachable direction turned 1e-7..0.05 rad away, kept when
//   unreachable), N just outside where answers land (the answer to a
//   spread target turned 1e-7..0.05 rad toward it), and N next to the points
//   where a rim meets the closing limit (a point of the limit within 2e-3
//   rad of one, turned 1e-7..0.05 rad off the limit to either side, kept
//   when unreachable: answers there lie on the limit, on the rim or at the
//   point itself);
// - per target, the best grid direction of each joint cell of 0.1 rad; the
//   four best cells refined by ever finer local joint grids (21 x 21 points,
//   the step halving down to 1e-13 rad), and the best of all refined in
//   direction space: the last direction that forward kinematics reaches
//   along a fan of great circles from it, the fan narrowing about its best
//   ray (this follows the closing limit, where the joint-space refinement
//   stalls: the direction moves there like the square root of the joints);
//   for the targets next to a rim-limit point, also the closing limit itself,
//   traced in closed form on a parameter grid of 1e-6 rad about each such
//   point and refined about its best point;
// - the excess angle of nearest_reachable's direction over that search's
//   (positive: nearest_reachable is further from the target), whether
//   ik_from_direction accepts every result, and how far the direction of the
//   returned joints (forward kinematics) lies from the target beyond the
//   search's.
// Then the median CPU time per call of nearest_reachable over the targets.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <string_view>
#include <vector>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>

#include "workspace_search.hpp"

namespace {

using namespace quorbel;
using namespace quorbel::search;

struct NamedArm {
    const char* name;
    SphericalLinkGeometry geometry;
};

const NamedArm ARMS[] = {
    {"left preset", default_left_geometry()},
    {"right preset", default_right_geometry()},
    {"mirrored, negative branch", {0.7, 0.5, Branch::negative, true}},
};

// Hides a value from the optimiser (as bench/core_driver.cpp does).
template <typename T>
void opaque(T& value) {
    asm volatile("" : : "r"(&value) : "memory");
}

double thread_seconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}


// ---- the joint grid -------------------------------------------------------

struct GridPoint {
    Vec3 direction;
    int i;  // theta_a = -pi + i step
    int j;  // theta_b = -pi + j step
};

struct JointGrid {
    double step;
    int size;  // points per joint
    std::vector<GridPoint> points;
};

JointGrid make_grid(const Arm& arm, double step) {
    JointGrid grid{step, static_cast<int>(std::ceil(2 * PI / step)), {}};
    for (int i = 0; i < grid.size; ++i) {
        for (int j = 0; j < grid.size; ++j) {
            if (const auto d = pointing_direction(arm, -PI + i * step, -PI + j * step)) {
                grid.points.push_back({*d, i, j});
            }
        }
    }
    return grid;
}

// ---- the reference search -------------------------------------------------

struct Found {
    double angle;
    double theta_a;
    double theta_b;
};

// Local grids of 21 x 21 points around the best so far, the step shrinking
// fivefold each round; directions where the loop does not close are skipped.
Found refine(const Arm& arm, Vec3 u, Found best, double step) {
    for (double h = step / 2; h > 1e-13; h /= 2) {
        const Found centre = best;
        for (int a = -10; a <= 10; ++a) {
            for (int b = -10; b <= 10; ++b) {
                const double ta = centre.theta_a + a * h;
                const double tb = centre.theta_b + b * h;
                if (const auto d = pointing_direction(arm, ta, tb)) {
                    const double angle = angle_between(u, *d);
                    if (angle < best.angle) {
                        best = {angle, ta, tb};
                    }
                }
            }
        }
    }
    return best;
}

constexpr int CELLS = 64;     // joint cells per joint, about 0.1 rad each
constexpr int REFINED = 4;    // cells refined per target

double reference_search(const Arm& arm, const JointGrid& grid, Vec3 u) {
    // The best grid point of each cell, by cosine to the target.
    std::vector<double> best_cosine(CELLS * CELLS, -INFINITY);
    std::vector<const GridPoint*> best_point(CELLS * CELLS, nullptr);
    const double cell = static_cast<double>(grid.size) / CELLS;
    for (const GridPoint& p : grid.points) {
        const double cosine = dot(u, p.direction);
        const int k = static_cast<int>(p.i / cell) * CELLS + static_cast<int>(p.j / cell);
        if (cosine > best_cosine[k]) {
            best_cosine[k] = cosine;
            best_point[k] = &p;
        }
    }
    std::vector<Found> cells;
    for (const GridPoint* p : best_point) {
        if (p != nullptr) {
            cells.push_back({angle_between(u, p->direction), -PI + p->i * grid.step,
                             -PI + p->j * grid.step});
        }
    }
    const std::size_t refined = std::min<std::size_t>(REFINED, cells.size());
    std::partial_sort(cells.begin(), cells.begin() + refined, cells.end(),
                      [](const Found& a, const Found& b) { return a.angle < b.angle; });
    double best = INFINITY;
    for (std::size_t k = 0; k < refined; ++k) {
        best = std::min(best, refine(arm, u, cells[k], grid.step).angle);
    }
    if (refined > 0) {
        const Vec3 start = *pointing_direction(arm, cells[0].theta_a, cells[0].theta_b);
        best = std::min(best, angle_between(u, fan_refine(arm, u, start, 1e-10)));
    }
    return best;
}

// ---- targets --------------------------------------------------------------

Vec3 random_unit(std::mt19937_64& rng) {
    std::normal_distribution<double> normal;
    return normalise(Vec3{normal(rng), normal(rng), normal(rng)});
}

std::vector<Vec3> spread_targets(const Arm& arm, int count, std::mt19937_64& rng) {
    std::vector<Vec3> targets;
    while (static_cast<int>(targets.size()) < count) {
        const Vec3 u = random_unit(rng);
        if (!ik_from_direction(arm, u, std::nullopt)) {
            targets.push_back(u);
        }
    }
    return targets;
}

// A reachable direction turned away by an angle log-uniform in [1e-7, 0.05],
// kept when unreachable.
std::vector<Vec3> edge_targets(const Arm& arm, int count, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> joint(-PI, PI);
    std::uniform_real_distribution<double> exponent(std::log(1e-7), std::log(0.05));
    std::vector<Vec3> targets;
    while (static_cast<int>(targets.size()) < count) {
        const auto d = pointing_direction(arm, joint(rng), joint(rng));
        if (!d) {
            continue;
        }
        const Vec3 r = random_unit(rng);
        const Vec3 t = normalise(r - dot(r, *d) * *d);
        const double angle = std::exp(exponent(rng));
        const Vec3 u = std::cos(angle) * *d + std::sin(angle) * t;
        if (!ik_from_direction(arm, u, std::nullopt)) {
            targets.push_back(u);
        }
    }
    return targets;
}

// The answer to a target spread over the sphere, turned back toward that
// target by an angle log-uniform in [1e-7, 0.05]: just outside the edge where
// answers land (the rims, their corners and the closing limit). The answer
// nearest_reachable gives for such a target must be the same direction.
std::vector<Vec3> answer_targets(const Arm& arm, int count, std::mt19937_64& rng) {
    std::uniform_real_distribution<double> exponent(std::log(1e-7), std::log(0.05));
    std::vector<Vec3> targets;
    for (const Vec3& far : spread_targets(arm, count, rng)) {
        const Vec3 d = nearest_reachable(arm, far, std::nullopt)->direction;
        const Vec3 t = normalise(far - dot(far, d) * d);
        const double angle = std::min(std::exp(exponent(rng)), 0.5 * angle_between(far, d));
        targets.push_back(std::cos(angle) * d + std::sin(angle) * t);
    }
    return targets;
}

// ---- the closing limit, traced in closed form ------------------------------

// A point where a rim meets the closing limit: a joint axis lies on the
// great circle of the two tips (that arm in line with its coupler). Found
// along the limit traced by the other arm's joint, where such a point is not
// a turning point of the trace.
struct RimLimitPoint {
    LimitTrace trace;
    double theta;
};

std::vector<RimLimitPoint> rim_limit_points(const Arm& arm) {
    const double m = mirror_sign(arm.geometry());
    std::vector<RimLimitPoint> points;
    for (const bool by_b : {false, true}) {
        const Vec3 axis = by_b ? Vec3{m, 0.0, 0.0} : Vec3{0.0, 0.0, 1.0};
        for (const double root : {1.0, -1.0}) {
            const LimitTrace p{by_b, root};
            // The axis's side of the tips' great circle, NaN off the limit.
            const auto side = [&](double theta) {
                const std::optional<JointPair> j = limit_joints(arm, p, theta);
                return j ? dot(axis, cross(arm_tip_a(arm, j->theta_a), arm_tip_b(arm, j->theta_b)))
                         : NAN;
            };
            constexpr int SAMPLES = 20000;
            for (int k = 0; k < SAMPLES; ++k) {
                double lo = -PI + 2 * PI * k / SAMPLES;
                double hi = -PI + 2 * PI * (k + 1) / SAMPLES;
                double side_lo = side(lo);
                const double side_hi = side(hi);
                if (!(side_lo * side_hi < 0.0)) {
                    continue;
                }
                while (hi - lo > 1e-15) {
                    const double mid = 0.5 * (lo + hi);
                    const double side_mid = side(mid);
                    if (std::isnan(side_mid)) {
                        break;
                    }
                    if ((side_mid < 0.0) == (side_lo < 0.0)) {
                        lo = mid;
                        side_lo = side_mid;
                    } else {
                        hi = mid;
                    }
                }
                points.push_back({p, 0.5 * (lo + hi)});
            }
        }
    }
    return points;
}

// The smallest angle from u over the limit within 3e-3 rad of the parameter
// of each rim-limit point: a grid of 1e-6 rad, then steps halving about the
// best down to 1e-16 rad.
double limit_search(const Arm& arm, const std::vector<RimLimitPoint>& points, Vec3 u) {
    double best = INFINITY;
    for (const RimLimitPoint& point : points) {
        const auto angle_at = [&](double theta) {
            const std::optional<Vec3> d = limit_direction(arm, point.trace, theta);
            return d ? angle_between(u, *d) : INFINITY;
        };
        double best_theta = point.theta;
        double best_here = angle_at(best_theta);
        for (int k = -3000; k <= 3000; ++k) {
            const double theta = point.theta + k * 1e-6;
            const double angle = angle_at(theta);
            if (angle < best_here) {
                best_here = angle;
                best_theta = theta;
            }
        }
        for (double h = 1e-6; h > 1e-16; h /= 2) {
            for (const double theta : {best_theta - h, best_theta + h}) {
                const double angle = angle_at(theta);
                if (angle < best_here) {
                    best_here = angle;
                    best_theta = theta;
                }
            }
        }
        best = std::min(best, best_here);
    }
    return best;
}

// A point of the limit within 2e-3 rad (in its parameter, log-uniform from
// 1e-8) of a rim-limit point, turned off the limit to either side by an
// angle log-uniform in [1e-7, 0.05], kept when unreachable.
std::vector<Vec3> rim_limit_targets(const Arm& arm, const std::vector<RimLimitPoint>& points,
                                    int count, std::mt19937_64& rng) {
    std::vector<Vec3> targets;
    if (points.empty()) {
        return targets;
    }
    std::uniform_int_distribution<std::size_t> which(0, points.size() - 1);
    std::uniform_real_distribution<double> offset(std::log(1e-8), std::log(2e-3));
    std::uniform_real_distribution<double> turn(std::log(1e-7), std::log(0.05));
    std::bernoulli_distribution flip;
    while (static_cast<int>(targets.size()) < count) {
        const RimLimitPoint& point = points[which(rng)];
        const double theta = point.theta + (flip(rng) ? 1.0 : -1.0) * std::exp(offset(rng));
        const std::optional<Vec3> d = limit_direction(arm, point.trace, theta);
        const std::optional<Vec3> ahead = limit_direction(arm, point.trace, theta + 1e-7);
        const std::optional<Vec3> behind = limit_direction(arm, point.trace, theta - 1e-7);
        if (!d || !ahead || !behind) {
            continue;
        }
        const Vec3 normal = (flip(rng) ? 1.0 : -1.0) * normalise(cross(*d, *ahead - *behind));
        const double angle = std::exp(turn(rng));
        const Vec3 u = std::cos(angle) * *d + std::sin(angle) * normal;
        if (!ik_from_direction(arm, u, std::nullopt)) {
            targets.push_back(u);
        }
    }
    return targets;
}

// ---- the comparison -------------------------------------------------------

struct Summary {
    int count = 0;
    int missing = 0;         // nearest_reachable returned nothing
    int refused = 0;         // ik_from_direction refused the returned direction
    int worse = 0;           // excess above 1e-9 rad
    int on_limit = 0;        // results at the closing limit (largest singular value > 1e3)
    double worst_excess = -INFINITY;
    double best_excess = INFINITY;
    double worst_joint_excess = -INFINITY;  // of forward_kinematics(joints)
    double nanoseconds = 0.0;               // median per call
};

// `reference(u)` is the search's smallest angle from u.
template <typename Reference>
Summary compare(const Arm& arm, const std::vector<Vec3>& targets, Reference reference_angle) {
    Summary s;
    for (const Vec3& u : targets) {
        ++s.count;
        const double reference = reference_angle(u);
        const std::optional<ReachableDirection> found = nearest_reachable(arm, u, std::nullopt);
        if (!found) {
            ++s.missing;
            continue;
        }
        if (!ik_from_direction(arm, found->direction, std::nullopt)) {
            ++s.refused;
        }
        const double excess = angle_between(u, found->direction) - reference;
        s.worst_excess = std::max(s.worst_excess, excess);
        s.best_excess = std::min(s.best_excess, excess);
        if (excess > 1e-9) {
            ++s.worse;
            std::printf("    worse by %.3g rad: target (%.17g, %.17g, %.17g)\n", excess, u.x, u.y,
                        u.z);
        }
        const auto gain = singular_values(arm, found->joints.theta_a, found->joints.theta_b);
        if (!gain || gain->largest > 1e3) {
            ++s.on_limit;
        }
        if (const auto v_3 = pointing_direction(arm, found->joints.theta_a, found->joints.theta_b)) {
            s.worst_joint_excess =
                std::max(s.worst_joint_excess, angle_between(u, *v_3) - reference);
        }
    }
    // Time: every target once per round, the median round.
    std::vector<double> rounds;
    for (int round = 0; round < 15; ++round) {
        const double start = thread_seconds();
        for (Vec3 u : targets) {
            opaque(u);
            auto r = nearest_reachable(arm, u, std::nullopt);
            opaque(r);
        }
        rounds.push_back((thread_seconds() - start) * 1e9 / static_cast<double>(targets.size()));
    }
    std::nth_element(rounds.begin(), rounds.begin() + rounds.size() / 2, rounds.end());
    s.nanoseconds = rounds[rounds.size() / 2];
    return s;
}

void print(const char* set, const Summary& s) {
    std::printf("  %-18s %5d targets (%d answered on the closing limit): worst excess %+.3g rad "
                "(best %+.3g), %d worse than 1e-9, %d missing, %d refused by "
                "ik_from_direction; forward kinematics of the joints: worst excess %+.3g rad; "
                "%.0f ns/call\n",
                set, s.count, s.on_limit, s.worst_excess, s.best_excess, s.worse, s.missing,
                s.refused, s.worst_joint_excess, s.nanoseconds);
}

}  // namespace

int main(int argc, char** argv) {
    int targets = 1000;
    double step = 0.002;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view arg = argv[i];
        if (arg == "--targets") {
            targets = std::atoi(argv[i + 1]);
        } else if (arg == "--grid") {
            step = std::atof(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: %s [--targets N] [--grid STEP]\n", argv[0]);
            return 2;
        }
    }
    bool all_good = true;
    for (const NamedArm& named : ARMS) {
        const Arm arm(named.geometry);
        const JointGrid grid = make_grid(arm, step);
        std::printf("%s: %zu of %d^2 grid joint pairs close the loop (step %g rad)\n", named.name,
                    grid.points.size(), grid.size, step);
        std::mt19937_64 rng(2024);
        const auto search = [&](Vec3 u) { return reference_search(arm, grid, u); };
        const Summary spread = compare(arm, spread_targets(arm, targets, rng), search);
        print("spread over sphere", spread);
        const Summary edge = compare(arm, edge_targets(arm, targets, rng), search);
        print("near the edge", edge);
        const Summary answers = compare(arm, answer_targets(arm, targets, rng), search);
        print("near answers", answers);
        const std::vector<RimLimitPoint> points = rim_limit_points(arm);
        std::printf("  %zu points where a rim meets the closing limit\n", points.size());
        const Summary meetings =
            compare(arm, rim_limit_targets(arm, points, targets, rng), [&](Vec3 u) {
                return std::min(search(u), limit_search(arm, points, u));
            });
        print("near rim-limit pts", meetings);
        for (const Summary& s : {spread, edge, answers, meetings}) {
            all_good = all_good && s.worse == 0 && s.missing == 0 && s.refused == 0;
        }
    }
    std::printf("%s\n", all_good ? "nearest_reachable: no result worse than the search, all "
                                   "reachable"
                                 : "nearest_reachable: FAILURES above");
    return all_good ? 0 : 1;
}
