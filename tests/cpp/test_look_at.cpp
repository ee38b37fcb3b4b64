// look_at of the arms and the neck against brute-force searches over their
// joints, on the example torso and on random mounts, limits and gaze axes,
// with targets in front, behind, at a mount's origin and very far away.
#include <cmath>
#include <cstdint>
#include <limits>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/maths/rotation.hpp>
#include <quorbel/neck/neck_kinematics.hpp>
#include <quorbel/torso/look_at.hpp>

#include "check.hpp"

using namespace quorbel;

namespace {

const double PI = std::acos(-1.0);
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

// A fixed pseudo-random sequence (64-bit LCG), uniform in [lo, hi).
struct Random {
    std::uint64_t state = 0x9E3779B97F4A7C15u;
    double uniform(double lo, double hi) {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return lo + (hi - lo) * static_cast<double>(state >> 11) * 0x1.0p-53;
    }
    Vec3 unit() {
        for (;;) {
            const Vec3 v{uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)};
            const double n = norm(v);
            if (n > 0.1 && n < 1.0) return v / n;
        }
    }
    Mount mount() {
        return {rotation_about_axis(unit(), uniform(-PI, PI)),
                {uniform(-0.3, 0.3), uniform(-0.3, 0.3), uniform(-0.3, 0.3)}};
    }
};

double angle(Vec3 a, Vec3 b) { return std::atan2(norm(cross(a, b)), dot(a, b)); }

bool within(double v, const std::optional<AngleInterval>& i) {
    return !i || (v >= i->lower && v <= i->upper);
}

// ------------------------------------------------------------------ neck

// The smallest angle to u over a yaw-pitch grid of the limits (yaw in
// [-pi, pi] and pitch in [-pi/2, pi/2] without them), each of the grid's
// local minima then refined on ever finer grids about it.
double neck_search(const NeckDescription& neck, Vec3 u, double roll) {
    const AngleInterval yaw_limits = neck.limits.yaw.value_or(AngleInterval{-PI, PI});
    const AngleInterval pitch_limits = neck.limits.pitch.value_or(AngleInterval{-PI / 2, PI / 2});
    const auto gaze_angle = [&](double y, double p) {
        return angle(u, neck_forward_kinematics({y, p, roll}) * neck.gaze_axis);
    };
    const int n = 100;
    static double coarse[n + 1][n + 1];
    const auto yaw_at = [&](int i) { return yaw_limits.lower + (yaw_limits.upper - yaw_limits.lower) * i / n; };
    const auto pitch_at = [&](int j) {
        return pitch_limits.lower + (pitch_limits.upper - pitch_limits.lower) * j / n;
    };
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) coarse[i][j] = gaze_angle(yaw_at(i), pitch_at(j));
    }
    double best = INF;
    for (int i = 0; i <= n; ++i) {
        for (int j = 0; j <= n; ++j) {
            bool local_minimum = true;
            for (int di = -1; di <= 1; ++di) {
                for (int dj = -1; dj <= 1; ++dj) {
                    const int a = i + di, b = j + dj;
                    if (a >= 0 && a <= n && b >= 0 && b <= n && coarse[a][b] < coarse[i][j]) {
                        local_minimum = false;
                    }
                }
            }
            if (!local_minimum) continue;
            double y0 = yaw_at(i), p0 = pitch_at(j), value = coarse[i][j];
            double hy = (yaw_limits.upper - yaw_limits.lower) / n;
            double hp = (pitch_limits.upper - pitch_limits.lower) / n;
            for (int round = 0; round < 12; ++round) {
                const double cy = y0, cp = p0;
                for (int a = -10; a <= 10; ++a) {
                    for (int b = -10; b <= 10; ++b) {
                        const double y = std::fmin(std::fmax(cy + hy * a / 10, yaw_limits.lower),
                                                   yaw_limits.upper);
                        const double p = std::fmin(
                            std::fmax(cp + hp * b / 10, pitch_limits.lower), pitch_limits.upper);
                        const double v = gaze_angle(y, p);
                        if (v < value) value = v, y0 = y, p0 = p;
                    }
                }
                hy /= 5;
                hp /= 5;
            }
            best = std::fmin(best, value);
        }
    }
    return best;
}

std::optional<AngleInterval> random_interval(Random& r, double centre_span, double max_width) {
    if (r.uniform(0, 1) < 0.25) return std::nullopt;
    const double centre = r.uniform(-centre_span, centre_span);
    const double half = r.uniform(0.05, max_width / 2);
    return AngleInterval{centre - half, centre + half};
}

void neck_look_at_matches_the_search() {
    Random r;
    for (int k = 0; k < 150; ++k) {
        NeckDescription neck{k < 50 ? IDENTITY_MOUNT : r.mount(),
                             k % 3 == 0 ? DEFAULT_GAZE_AXIS : r.unit(),
                             {random_interval(r, 1.0, 3.0), random_interval(r, 0.5, 2.0),
                              random_interval(r, 0.5, 1.0)}};
        // Targets all around, behind the torso included, and some far off.
        Vec3 target = r.uniform(0.1, 2.0) * r.unit();
        if (k % 10 == 0) target = 1e300 * r.unit();
        const std::optional<NeckAngles> previous =
            k % 2 ? std::optional<NeckAngles>(NeckAngles{r.uniform(-1, 1), r.uniform(-1, 1),
                                                         r.uniform(-1, 1)})
                  : std::nullopt;
        const std::optional<NeckAim> aim = look_at(neck, target, previous);
        CHECK(aim.has_value());
        if (!aim) continue;
        const Vec3 u = *direction_from_mount(neck.mount, target);
        const NeckAngles& a = aim->angles;
        CHECK(within(a.yaw, neck.limits.yaw) && within(a.pitch, neck.limits.pitch) &&
              within(a.roll, neck.limits.roll));
        const double roll = previous ? previous->roll : 0.0;
        const double expected_roll =
            neck.limits.roll ? std::fmin(std::fmax(roll, neck.limits.roll->lower),
                                         neck.limits.roll->upper)
                             : roll;
        CHECK(a.roll == expected_roll);
        const Vec3 gaze = neck_forward_kinematics(a) * neck.gaze_axis;
        CHECK_NEAR(aim->gaze, gaze, 1e-15);
        CHECK_NEAR(aim->leftover, angle(u, gaze), 1e-15);
        // A pose within the limits whose recomputed gaze is the reported one,
        // never further from the target than the search finds (which can
        // be the nearer: next to a fold of the gaze map its valleys narrow
        // like a square root and a grid misses them).
        const double searched = neck_search(neck, u, a.roll);
        CHECK_SMALL(aim->leftover - searched, 1e-12);
        CHECK((aim->status == AimStatus::reached) == (aim->leftover < 1e-9));
    }
}

void neck_without_limits_follows_the_previous_yaw() {
    const NeckDescription neck{IDENTITY_MOUNT, DEFAULT_GAZE_AXIS, {}};
    // Behind the torso: yaw near pi, kept next to a previous yaw past pi.
    const Vec3 behind{-1.0, -0.01, 0.2};
    const std::optional<NeckAim> fresh = look_at(neck, behind, std::nullopt);
    const std::optional<NeckAim> wound = look_at(neck, behind, NeckAngles{3.1, 0.0, 0.0});
    CHECK(fresh && wound);
    if (fresh && wound) {
        CHECK(std::fabs(fresh->angles.yaw) <= PI && std::fabs(fresh->angles.pitch) <= PI / 2);
        CHECK_NEAR(wound->angles.yaw, fresh->angles.yaw + 2 * PI, 1e-12);
        CHECK(wound->status == AimStatus::reached && wound->leftover < 1e-15);
    }
}

// ------------------------------------------------------------------ arms

// The smallest angle to u over a joint grid (0.01 rad) of the limits, or of
// a whole turn of each joint without them.
double arm_search(const ArmDescription& arm_description, Vec3 u) {
    const Arm arm(arm_description.geometry);
    const JointLimits whole{{-PI, PI}, {-PI, PI}};
    const JointLimits& l = arm_description.limits ? *arm_description.limits : whole;
    double best = INF;
    for (double a = l.theta_a.lower; a <= l.theta_a.upper; a += 0.01) {
        for (double b = l.theta_b.lower; b <= l.theta_b.upper; b += 0.01) {
            if (const std::optional<Vec3> v = pointing_direction(arm, a, b)) {
                best = std::fmin(best, angle(u, *v));
            }
        }
    }
    return best;
}

void check_arm_aim(const ArmDescription& arm, Vec3 target, std::optional<JointPair> previous) {
    const std::optional<ArmAim> aim = look_at(arm, target, previous);
    CHECK(aim.has_value());
    if (!aim) return;
    const Vec3 u = *direction_from_mount(arm.mount, target);
    if (arm.limits) {
        // Limits hold for some representative of each joint.
        const auto admitted = [](double v, AngleInterval i) {
            return v >= i.lower - 1e-12 && v <= i.upper + 1e-12;
        };
        CHECK(admitted(aim->joints.theta_a, arm.limits->theta_a) &&
              admitted(aim->joints.theta_b, arm.limits->theta_b));
    }
    const std::optional<Vec3> v = pointing_direction(arm.geometry, aim->joints.theta_a,
                                                     aim->joints.theta_b);
    CHECK(v.has_value());
    if (v) CHECK_SMALL(norm(*v - aim->direction), 1e-6);
    CHECK_NEAR(aim->leftover, angle(u, aim->direction), 1e-15);
    CHECK((aim->status == AimStatus::reached) == (aim->leftover == 0.0));
    CHECK_SMALL(aim->leftover - arm_search(arm, u), 1e-9);
    if (previous) {
        // Compared as angles, the joints stay next to the previous ones.
        CHECK(std::fabs(aim->joints.theta_a - previous->theta_a) <= PI + 1e-12 ||
              arm.limits.has_value());
    }
}

void arm_look_at_matches_the_search() {
    Random r;
    const Torso torso = example_torso();
    // In front, behind, above, and far off: on the example torso.
    const Vec3 targets[] = {{0.6, 0.0, 0.1}, {0.8, 0.4, -0.2}, {0.3, -0.5, 0.3}, {-0.5, 0.1, 0.0},
                            {0.0, 0.0, 1.0},  {1e300, 1e299, 0.0}};
    for (const Vec3& t : targets) {
        check_arm_aim(torso.left_arm, t, std::nullopt);
        check_arm_aim(torso.right_arm, t, JointPair{0.3, -0.2});
    }
    // Random mounts, with and without limits.
    for (int k = 0; k < 16; ++k) {
        ArmDescription arm{k % 2 ? default_right_geometry() : default_left_geometry(), r.mount(),
                           std::nullopt};
        if (k % 4 >= 2) {
            arm.limits = JointLimits{{r.uniform(-1.5, 0.0), r.uniform(0.3, 2.0)},
                                     {r.uniform(-2.0, -0.3), r.uniform(0.0, 1.5)}};
        }
        check_arm_aim(arm, r.uniform(0.1, 3.0) * r.unit(), JointPair{r.uniform(-1, 1), 0.0});
    }
}

void no_direction_gives_empty() {
    const Torso torso = example_torso();
    const Vec3 refused[] = {{NaN, 0.0, 0.0}, {0.0, INF, 0.0}, {-INF, 0.0, 1.0}};
    for (const Vec3& t : refused) {
        const TorsoAim aim = look_at(torso, t, std::nullopt);
        CHECK(!aim.left_arm && !aim.right_arm && !aim.neck);
    }
    // Each mount's own origin gives that mechanism no direction, the others one.
    CHECK(!look_at(torso.left_arm, torso.left_arm.mount.offset, std::nullopt));
    CHECK(!look_at(torso.right_arm, torso.right_arm.mount.offset, std::nullopt));
    CHECK(!look_at(torso.neck, torso.neck.mount.offset, std::nullopt));
    const TorsoAim at_neck = look_at(torso, torso.neck.mount.offset, std::nullopt);
    CHECK(at_neck.left_arm && at_neck.right_arm && !at_neck.neck);
    // The largest doubles still have a direction, the same as a near copy's.
    const std::optional<Vec3> far = direction_from_mount(torso.neck.mount, {-1.7e308, 1.7e308, 0.0});
    CHECK(far.has_value());
    if (far) CHECK_NEAR(*far, (Vec3{-std::sqrt(0.5), std::sqrt(0.5), 0.0}), 1e-15);
}

void example_torso_reaches_the_front() {
    const Torso torso = example_torso();
    for (double y = -0.2; y <= 0.2; y += 0.1) {
        for (double z = -0.1; z <= 0.3; z += 0.1) {
            const TorsoAim aim = look_at(torso, {0.7, y, z}, std::nullopt);
            CHECK(aim.left_arm && aim.left_arm->status == AimStatus::reached);
            CHECK(aim.right_arm && aim.right_arm->status == AimStatus::reached);
            CHECK(aim.neck && aim.neck->status == AimStatus::reached);
        }
    }
}

}  // namespace

void look_at_tests() {
    neck_look_at_matches_the_search();
    neck_without_limits_follows_the_previous_yaw();
    arm_look_at_matches_the_search();
    no_direction_gives_empty();
    example_torso_reaches_the_front();
}
