// Runs every group of core tests and closes with "N passed, M failed".
#include <cstdio>

#include "check.hpp"

void rotation_tests();
void geometry_tests();
void close_loop_tests();
void forward_kinematics_tests();
void inverse_kinematics_tests();
void neck_tests();
void velocity_kinematics_tests();
void neck_velocity_tests();
void nearest_reachable_tests();
void closing_limit_tests();
void joint_limits_tests();
void nearest_frame_tests();
void look_at_tests();
void brent_minimum_tests();
void torso_json_tests();

int main() {
    rotation_tests();
    geometry_tests();
    close_loop_tests();
    forward_kinematics_tests();
    inverse_kinematics_tests();
    neck_tests();
    velocity_kinematics_tests();
    neck_velocity_tests();
    nearest_reachable_tests();
    closing_limit_tests();
    joint_limits_tests();
    nearest_frame_tests();
    look_at_tests();
    brent_minimum_tests();
    torso_json_tests();
    std::printf("%d passed, %d failed\n", check::passed(), check::failed());
    return check::failed() == 0 ? 0 : 1;
}
