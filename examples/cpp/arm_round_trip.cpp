// Forward and inverse kinematics of the left preset arm and of the neck,
// round trip, from C++. Exits non-zero if a round trip does not come back.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string_view>
#include <variant>

#include <quorbel/torso_kinematics.hpp>

namespace {

// Round trips agree to rounding; this is far looser and far below any
// other candidate's distance.
constexpr double ROUND_TRIP_TOLERANCE = 1e-9;

bool close_to(double a, double b) {
    const double error = std::fabs(a - b);
    return !std::isnan(error) && error <= ROUND_TRIP_TOLERANCE;
}

void print_rotation(const quorbel::Mat3& r) {
    for (const auto& row : r) {
        std::printf("    [%+.6f %+.6f %+.6f]\n", row[0], row[1], row[2]);
    }
}

}  // namespace

int main() {
    bool ok = true;

    // The same geometry as QuorbelArmKinematics.default_left(), read from
    // arms.json text as a controller's configuration would give it.
    constexpr std::string_view left_json = R"({"arm_arc": 0.7, "coupler_arc": 0.5})";
    const auto read = quorbel::read_arm_geometry_json(left_json);
    if (const auto* error = std::get_if<quorbel::JsonError>(&read)) {
        std::printf("%s\n", quorbel::error_message(*error).c_str());
        return 1;
    }
    // Made once: the sines and cosines of the arcs are evaluated here, not in
    // every call.
    const quorbel::Arm left = std::get<quorbel::SphericalLinkGeometry>(read);

    const quorbel::JointPair joints{0.3, -0.2};
    const quorbel::FkResult fk = quorbel::forward_kinematics(left, joints.theta_a, joints.theta_b);
    if (!fk) {
        std::printf("the loop does not close at (%g, %g)\n", joints.theta_a, joints.theta_b);
        return 1;
    }
    std::printf("left arm fk(%+.6f, %+.6f):\n", joints.theta_a, joints.theta_b);
    print_rotation(fk->rotation);
    std::printf("  pointing direction v_3 = (%+.6f, %+.6f, %+.6f)\n", fk->v_3.x, fk->v_3.y,
                fk->v_3.z);

    const std::optional<quorbel::JointPair> from_rotation = quorbel::ik(left, fk->rotation);
    if (from_rotation) {
        std::printf("  ik(fk)                 -> (%+.6f, %+.6f)\n", from_rotation->theta_a,
                    from_rotation->theta_b);
    }
    ok = ok && from_rotation && close_to(from_rotation->theta_a, joints.theta_a) &&
         close_to(from_rotation->theta_b, joints.theta_b);

    // The direction alone has several solutions; `near` picks one.
    std::printf("  candidates for v_3:\n");
    for (const quorbel::IkCandidate& c : quorbel::direction_candidates(left, fk->v_3)) {
        // norm and operator- are found by argument-dependent lookup.
        const double miss = norm(c.fk_solution.v_3 - fk->v_3);
        std::printf("    (%+.6f, %+.6f)  %s\n", c.theta_a, c.theta_b,
                    miss < quorbel::IK_MATCH_TOLERANCE ? "lands on v_3" : "mirror image, rejected");
    }
    const auto smallest = quorbel::ik_from_direction(left, fk->v_3, std::nullopt);
    const auto near_other =
        quorbel::ik_from_direction(left, fk->v_3, quorbel::JointPair{1.1, -0.2});
    if (smallest && near_other) {
        std::printf("  ik_from_direction(v_3)                 -> (%+.6f, %+.6f)\n",
                    smallest->theta_a, smallest->theta_b);
        std::printf("  ik_from_direction(v_3, near=(1.1,-0.2)) -> (%+.6f, %+.6f)\n",
                    near_other->theta_a, near_other->theta_b);
    }
    ok = ok && smallest && close_to(smallest->theta_a, joints.theta_a) &&
         close_to(smallest->theta_b, joints.theta_b) && near_other &&
         !close_to(near_other->theta_a, joints.theta_a);

    const quorbel::Mat3 head = quorbel::neck_forward_kinematics({0.3, -0.7, 1.1});
    const std::optional<quorbel::NeckAngles> angles = quorbel::neck_inverse_kinematics(head);
    if (angles) {
        std::printf("neck ik(fk(+0.3, -0.7, +1.1)) -> (%+.6f, %+.6f, %+.6f)\n", angles->yaw,
                    angles->pitch, angles->roll);
    }
    ok = ok && angles && close_to(angles->yaw, 0.3) && close_to(angles->pitch, -0.7) &&
         close_to(angles->roll, 1.1);

    std::printf(ok ? "round trips: ok\n" : "round trips: FAILED\n");
    return ok ? 0 : 1;
}
