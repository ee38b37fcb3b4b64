// Forward kinematics of one arm.
#include <cmath>
#include <limits>
#include <optional>

#include <quorbel/arm/forward_kinematics.hpp>

#include "arm/close_loop_from_cosines.hpp"
#include "arm/end_effector_frame.hpp"
#include "check.hpp"

using namespace quorbel;

namespace {

const SphericalLinkGeometry LEFT = default_left_geometry();
const SphericalLinkGeometry RIGHT = default_right_geometry();
const SphericalLinkGeometry LEFT_NEGATIVE = {0.7, 0.5, Branch::negative, false};
const SphericalLinkGeometry RIGHT_NEGATIVE = {0.7, 0.5, Branch::negative, true};
constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

void worked_rotations() {
    struct Case {
        const char* name;
        SphericalLinkGeometry g;
        double theta_a, theta_b;
        Mat3 rotation;
    };
    const Case cases[] = {
        {"left (0, 0)", LEFT, 0.0, 0.0,
         {{{0.334816989179, 0.707106781187, 0.622814244986},
           {-0.880792352098, 0.000000000000, 0.473502727010},
           {0.334816989179, -0.707106781187, 0.622814244986}}}},
        {"left (0.3, -0.2)", LEFT, 0.3, -0.2,
         {{{0.232089330426, 0.712017034033, 0.662696224487},
           {-0.755314732805, -0.297360433724, 0.584017488490},
           {0.612890036719, -0.636088449590, 0.468782771855}}}},
        {"negative branch (0, 0)", LEFT_NEGATIVE, 0.0, 0.0,
         {{{0.334816989179, -0.707106781187, 0.622814244986},
           {0.880792352098, 0.000000000000, -0.473502727010},
           {0.334816989179, 0.707106781187, 0.622814244986}}}},
        {"mirrored (0, 0)", RIGHT, 0.0, 0.0,
         {{{-0.334816989179, -0.707106781187, -0.622814244986},
           {0.880792352098, 0.000000000000, -0.473502727010},
           {0.334816989179, -0.707106781187, 0.622814244986}}}},
    };
    for (const Case& c : cases) {
        const FkResult fk = forward_kinematics(c.g, c.theta_a, c.theta_b);
        CHECK(fk.has_value());
        if (fk) {
            CHECK_NEAR(fk->rotation, c.rotation, 1e-12);
            CHECK(check::same_bits(fk->v_3.x, fk->rotation[0][2]) &&
                  check::same_bits(fk->v_3.y, fk->rotation[1][2]) &&
                  check::same_bits(fk->v_3.z, fk->rotation[2][2]));
        }
    }
    const FkResult rest = forward_kinematics(LEFT, 0.0, 0.0);
    CHECK(rest.has_value());
    if (rest) {
        CHECK_NEAR(rest->v_2, (Vec3{0.644217687238, 0, 0.764842187284}), 1e-12);
        CHECK_NEAR(rest->v_4, (Vec3{0.764842187284, 0, 0.644217687238}), 1e-12);
    }
}

// When the apex lies on the tips' bisector, x comes from a fixed reference:
// (1, 0, 0) made perpendicular to z while |z.x| < 0.9, else (0, 1, 0).
void bisector_parallel_to_apex_uses_reference_axis() {
    // Tips at arc exactly 2 coupler_arc (this pair of arcs makes t evaluate to
    // exactly zero): the apex is their midpoint, with z.x about 0.707.
    const SphericalLinkGeometry edge = {0.4, 0.3853981633974482, Branch::positive, false};
    const FkResult fk = forward_kinematics(edge, 0.0, 0.0);
    CHECK(fk.has_value());
    if (fk) {
        const Vec3 w = normalise(fk->v_2 + fk->v_4);
        CHECK_SMALL(norm(w - dot(w, fk->v_3) * fk->v_3), detail::VANISHING_LENGTH);
        const double h = std::sqrt(0.5);
        CHECK_NEAR(column(fk->rotation, 0), (Vec3{h, 0, -h}), 1e-12);
        CHECK_NEAR(column(fk->rotation, 1), (Vec3{0, 1, 0}), 1e-12);
    }
    // Tips symmetric about +X in the XZ plane, apex kept on their great circle
    // (side 0): z is about (1, 0, 0), so x is (0, 1, 0), not a vector of the
    // XZ plane as the bisector would give.
    const double g = 0.5;
    const Vec3 a = {std::cos(g), 0.0, std::sin(g)};
    const Vec3 b = {std::cos(g), 0.0, -std::sin(g)};
    double cos_coupler = std::cos(g);
    for (int step = 0;
         step < 8 && !detail::close_loop_from_cosines(a, cos_coupler, b, cos_coupler, 0.0);
         ++step) {
        cos_coupler = std::nextafter(cos_coupler, 0.0);
    }
    const FkResult on_x = detail::frame_from_tips(a, b, cos_coupler, 0.0);
    CHECK(on_x.has_value());
    if (on_x) {
        CHECK_NEAR(on_x->v_3, (Vec3{1, 0, 0}), 1e-12);
        CHECK_NEAR(column(on_x->rotation, 0), (Vec3{0, 1, 0}), 1e-12);
        CHECK_NEAR(column(on_x->rotation, 1), (Vec3{0, 0, 1}), 1e-12);
    }
}

// pointing_direction closes the loop as forward_kinematics does, NaN included.
const double ANGLES[] = {-2.5, -1.2, -0.6, -0.2, -0.0, 0.0, 0.1, 0.3, 0.7, 1.1, M_PI, NaN};

void pointing_direction_is_the_apex_of_forward_kinematics() {
    for (const SphericalLinkGeometry& g : {LEFT, RIGHT, LEFT_NEGATIVE, RIGHT_NEGATIVE}) {
        const Arm arm(g);
        for (double ta : ANGLES) {
            for (double tb : ANGLES) {
                const FkResult fk = forward_kinematics(arm, ta, tb);
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

}  // namespace

void forward_kinematics_tests() {
    worked_rotations();
    bisector_parallel_to_apex_uses_reference_axis();
    pointing_direction_is_the_apex_of_forward_kinematics();
}
