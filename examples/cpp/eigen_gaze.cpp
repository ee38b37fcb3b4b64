// The kinematics in a program that does its own linear algebra with Eigen: a
// target point in the world frame is turned into the left arm's body frame
// with Eigen, the arm is aimed at it, and the result is read back through
// <quorbel/eigen.hpp>'s views, with no copy of the library's values. Exits
// non-zero if a check fails.
#include <cmath>
#include <cstdio>
#include <optional>

#include <Eigen/Geometry>
#include <Eigen/SVD>

#include <quorbel/eigen.hpp>
#include <quorbel/torso_kinematics.hpp>

int main() {
    bool ok = true;
    const quorbel::Arm left = quorbel::default_left_geometry();

    // The arm's body frame is the world frame turned by 0.2 rad about z.
    const Eigen::Matrix3d world_to_body =
        Eigen::AngleAxisd(-0.2, Eigen::Vector3d::UnitZ()).toRotationMatrix();
    const Eigen::Vector3d target_world(0.9, 0.8, 0.7);
    const Eigen::Vector3d target = world_to_body * target_world;

    // Eigen to the library: a copy into a Vec3.
    const auto joints = quorbel::ik_from_direction(left, quorbel::to_vec3(target), std::nullopt);
    if (!joints) {
        std::printf("the target is out of reach\n");
        return 1;
    }
    const quorbel::FkResult fk =
        quorbel::forward_kinematics(left, joints->theta_a, joints->theta_b);
    if (!fk) {
        return 1;
    }

    // The library to Eigen: views of the result's own doubles.
    const auto rotation = quorbel::as_eigen(fk->rotation);
    const auto v_3 = quorbel::as_eigen(fk->v_3);
    ok = ok && rotation.data() == fk->rotation[0].data() && v_3.data() == &fk->v_3.x;
    const double miss = std::atan2(v_3.cross(target).norm(), v_3.dot(target));
    std::printf("joints (%+.6f, %+.6f) aim %.2e rad from the target\n", joints->theta_a,
                joints->theta_b, miss);
    ok = ok && miss < 1e-9;
    // Row-major view: the frame's z axis is its third column, v_3.
    ok = ok && (rotation.col(2) - v_3).norm() < 1e-15 &&
         (rotation.transpose() * rotation - Eigen::Matrix3d::Identity()).norm() < 1e-12;

    // The direction Jacobian through Eigen's SVD agrees with the library's
    // own singular values.
    const auto jacobian = quorbel::direction_jacobian(left, joints->theta_a, joints->theta_b);
    const auto sigma = quorbel::singular_values(left, joints->theta_a, joints->theta_b);
    if (!jacobian || !sigma) {
        return 1;
    }
    const Eigen::Vector2d eigen_sigma =
        Eigen::JacobiSVD<quorbel::EigenMat3x2>(quorbel::as_eigen(*jacobian)).singularValues();
    std::printf("singular values: library (%.9f, %.9f), Eigen (%.9f, %.9f)\n", sigma->largest,
                sigma->smallest, eigen_sigma(0), eigen_sigma(1));
    ok = ok && std::fabs(eigen_sigma(0) - sigma->largest) < 1e-12 &&
         std::fabs(eigen_sigma(1) - sigma->smallest) < 1e-12;

    // And back: an Eigen rotation (column-major) copied into a Mat3 is the
    // same rotation the library computes.
    const quorbel::Mat3 turned = quorbel::to_mat3(
        Eigen::AngleAxisd(0.4, Eigen::Vector3d(1.0, 2.0, 2.0) / 3.0).toRotationMatrix());
    const quorbel::Mat3 library = quorbel::rotation_about_axis({1.0 / 3, 2.0 / 3, 2.0 / 3}, 0.4);
    ok = ok && (quorbel::as_eigen(turned) - quorbel::as_eigen(library)).norm() < 1e-15;

    std::printf(ok ? "eigen: ok\n" : "eigen: FAILED\n");
    return ok ? 0 : 1;
}
