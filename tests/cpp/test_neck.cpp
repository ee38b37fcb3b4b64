// Neck forward and inverse kinematics.
#include <cmath>
#include <limits>

#include <quorbel/maths/elementary.hpp>
#include <quorbel/neck/neck_kinematics.hpp>

#include "check.hpp"

using namespace quorbel;

namespace {

const double PI = std::acos(-1.0);
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

// The closed form of (Rz Ry) Rx for finite angles, grouped as the products
// evaluate it.
Mat3 closed_form(double yaw, double pitch, double roll) {
    const double cy = quorbel::elementary::cos(yaw), sy = quorbel::elementary::sin(yaw);
    const double cp = quorbel::elementary::cos(pitch), sp = quorbel::elementary::sin(pitch);
    const double cr = quorbel::elementary::cos(roll), sr = quorbel::elementary::sin(roll);
    return {{{cy * cp, (-sy) * cr + (cy * sp) * sr, (-sy) * (-sr) + (cy * sp) * cr},
             {sy * cp, cy * cr + (sy * sp) * sr, cy * (-sr) + (sy * sp) * cr},
             {-sp, cp * sr, cp * cr}}};
}

void forward_worked_values() {
    for (double zero : {0.0, -0.0}) {
        const Mat3 r = neck_forward_kinematics({zero, zero, zero});
        CHECK(check::same_bits(r, IDENTITY));  // +0.0 off the diagonal
    }
    const Mat3 quarter = {{{6.123233995736766e-17, 0.0, 1.0}, {0.0, 1.0, 0.0},
                           {-1.0, 0.0, 6.123233995736766e-17}}};
    CHECK_NEAR(neck_forward_kinematics({0.0, PI / 2, 0.0}), quarter, 0.0);

    const Mat3 worked = {{{0.7306816499355124, -0.6825356334181358, -0.01579352911863996},
                          {0.22602632124962302, 0.2636694534871923, -0.9377582425124973},
                          {0.644217687237691, 0.681632986593423, 0.34692944965489897}}};
    CHECK(check::same_bits(neck_forward_kinematics({0.3, -0.7, 1.1}), worked));
}

void forward_matches_closed_form_bit_for_bit() {
    const double angles[] = {-3.0, -1.1, -0.7, 0.3, 0.9, 1.4, 3.1};
    for (double y : angles) {
        for (double p : angles) {
            for (double r : angles) {
                CHECK(check::same_bits(neck_forward_kinematics({y, p, r}), closed_form(y, p, r)));
            }
        }
    }
}

void inverse_worked_values() {
    const std::optional<NeckAngles> identity = neck_inverse_kinematics(IDENTITY);
    CHECK(identity && identity->yaw == 0.0 && identity->roll == 0.0 && identity->pitch == 0.0 &&
          std::signbit(identity->pitch) && !std::signbit(identity->yaw));

    for (const NeckAngles& q :
         {NeckAngles{0.3, -0.7, 1.1}, NeckAngles{3.0, 0.2, -3.0}, NeckAngles{-2.0, 1.5, 0.5}}) {
        const std::optional<NeckAngles> a = neck_inverse_kinematics(neck_forward_kinematics(q));
        CHECK(a.has_value());
        if (a) {
            CHECK_NEAR((Vec3{a->yaw, a->pitch, a->roll}), (Vec3{q.yaw, q.pitch, q.roll}), 1e-12);
        }
    }
}

void inverse_gimbal_lock() {
    const double edge = 0.999999;
    const double past = std::nextafter(edge, 1.0);
    struct Case {
        double x;
        bool solved;
    };
    const Case cases[] = {
        {edge, true}, {-edge, true}, {past, false}, {-past, false},
        {1.0, false}, {1.5, false},  {-1.5, false}, {NaN, true},
    };
    for (const Case& c : cases) {
        Mat3 r = IDENTITY;
        r[2][0] = c.x;
        CHECK(neck_inverse_kinematics(r).has_value() == c.solved);
    }
    Mat3 r = IDENTITY;
    r[2][0] = edge;
    const std::optional<NeckAngles> a = neck_inverse_kinematics(r);
    CHECK(a && a->pitch == -1.5693821131146521);
    r[2][0] = NaN;
    const std::optional<NeckAngles> n = neck_inverse_kinematics(r);
    CHECK(n && std::isnan(n->pitch) && n->yaw == 0.0 && n->roll == 0.0);
}

}  // namespace

void neck_tests() {
    forward_worked_values();
    forward_matches_closed_form_bit_for_bit();
    inverse_worked_values();
    inverse_gimbal_lock();
}
