// Velocity kinematics of the neck: the angular Jacobian against central
// differences of forward kinematics, and the joint rates as its inverse.
#include <cmath>
#include <limits>
#include <random>

#include "check.hpp"
#include <quorbel/neck/neck_velocity.hpp>

using namespace quorbel;

namespace {

const double PI = std::acos(-1.0);
constexpr double STEP = 1e-6;

// Random joints with |pitch| at most 1.4, away from gimbal lock.
template <typename Visit>
void for_each_pose(int count, Visit&& visit) {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> angle(-PI, PI);
    std::uniform_real_distribution<double> pitch(-1.4, 1.4);
    for (int k = 0; k < count; ++k) {
        visit(NeckAngles{angle(rng), pitch(rng), angle(rng)});
    }
}

Mat3 rotation(const NeckAngles& q) { return neck_forward_kinematics(q); }

// omega of a central difference of R: the axial vector of dR R^T's skew part.
Vec3 angular_difference(const NeckAngles& minus, const NeckAngles& plus, const Mat3& r) {
    const Mat3 p = rotation(plus);
    const Mat3 m = rotation(minus);
    Mat3 w{};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            for (int k = 0; k < 3; ++k) {
                w[i][j] += (p[i][k] - m[i][k]) / (2 * STEP) * r[j][k];
            }
        }
    }
    return {0.5 * (w[2][1] - w[1][2]), 0.5 * (w[0][2] - w[2][0]), 0.5 * (w[1][0] - w[0][1])};
}

void jacobian_matches_central_differences() {
    double worst = 0.0;
    for_each_pose(300, [&](const NeckAngles& q) {
        const Mat3 j = neck_angular_jacobian(q);
        const Mat3 r = rotation(q);
        const Vec3 columns[3] = {
            angular_difference({q.yaw - STEP, q.pitch, q.roll}, {q.yaw + STEP, q.pitch, q.roll}, r),
            angular_difference({q.yaw, q.pitch - STEP, q.roll}, {q.yaw, q.pitch + STEP, q.roll}, r),
            angular_difference({q.yaw, q.pitch, q.roll - STEP}, {q.yaw, q.pitch, q.roll + STEP}, r),
        };
        for (int c = 0; c < 3; ++c) {
            worst = std::fmax(worst, check::max_abs_diff(column(j, c), columns[c]));
        }
    });
    CHECK_SMALL(worst, 1e-8);
}

void joint_rates_invert_the_jacobian() {
    std::mt19937_64 rng(5);
    std::normal_distribution<double> normal;
    for_each_pose(300, [&](const NeckAngles& q) {
        const Vec3 rates = {normal(rng), normal(rng), normal(rng)};
        const Vec3 omega = neck_angular_jacobian(q) * rates;
        const std::optional<NeckRates> back = neck_joint_rates(q, omega);
        CHECK(back.has_value());
        if (back) {
            CHECK_NEAR((Vec3{back->yaw, back->pitch, back->roll}), rates, 1e-12 * (1 + norm(rates)) * 8);
        }
    });
}

// Refused where 1 - |sin pitch| < 1e-6, as neck_inverse_kinematics refuses
// R[2][0] = -sin pitch; a NaN pitch is not refused.
void joint_rates_refused_at_gimbal_lock() {
    struct Case {
        double sin_pitch;
        bool solved;
    };
    for (const Case& c : {Case{0.9999985, true}, Case{-0.9999985, true}, Case{0.9999995, false},
                          Case{-0.9999995, false}, Case{1.0, false}}) {
        const NeckAngles q = {0.4, std::asin(c.sin_pitch), -0.2};
        CHECK(neck_joint_rates(q, {0.1, 0.2, 0.3}).has_value() == c.solved);
    }
    const std::optional<NeckRates> n =
        neck_joint_rates({0.4, std::numeric_limits<double>::quiet_NaN(), 0.0}, {0.1, 0.2, 0.3});
    CHECK(n && std::isnan(n->yaw) && std::isnan(n->roll));
}

}  // namespace

void neck_velocity_tests() {
    jacobian_matches_central_differences();
    joint_rates_invert_the_jacobian();
    joint_rates_refused_at_gimbal_lock();
}
