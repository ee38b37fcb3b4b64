// One pose's result written as the batch functions write it, from the
// per-pose functions: the scalar path, the tail of a batch shorter than the
// lanes, and a lane that took a rare branch.
#pragma once

#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>
#include <quorbel/neck/neck_kinematics.hpp>
#include <quorbel/neck/neck_velocity.hpp>

namespace quorbel::batch::detail {

// Out of line: a lane body calls these only for rare lanes, and taking them
// in would copy the per-pose kinematics into every body.
#if defined(__GNUC__) || defined(__clang__)
#define QTK_POSE_ENTRY [[gnu::noinline]] inline
#else
#define QTK_POSE_ENTRY inline
#endif

inline void fill_not_a_number(double* out, int width) {
    for (int k = 0; k < width; ++k) out[k] = std::numeric_limits<double>::quiet_NaN();
}

inline void store_rotation(const Mat3& m, double* out) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) out[3 * i + j] = m[i][j];
    }
}

inline Mat3 load_rotation(const double* p) {
    Mat3 m;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) m[i][j] = p[3 * i + j];
    }
    return m;
}

QTK_POSE_ENTRY void fk_pose(const Arm& arm, double theta_a, double theta_b, double* rotation) {
    const FkResult fk = forward_kinematics(arm, theta_a, theta_b);
    if (fk) {
        store_rotation(fk->rotation, rotation);
    } else {
        fill_not_a_number(rotation, 9);
    }
}

QTK_POSE_ENTRY void direction_pose(const Arm& arm, double theta_a, double theta_b, double* direction) {
    const std::optional<Vec3> v_3 = pointing_direction(arm, theta_a, theta_b);
    if (v_3) {
        direction[0] = v_3->x;
        direction[1] = v_3->y;
        direction[2] = v_3->z;
    } else {
        fill_not_a_number(direction, 3);
    }
}

QTK_POSE_ENTRY bool reachable_joints_pose(const Arm& arm, double theta_a, double theta_b) {
    return pointing_direction(arm, theta_a, theta_b).has_value();
}

QTK_POSE_ENTRY void neck_fk_pose(const double* joints, double* rotation) {
    store_rotation(neck_forward_kinematics({joints[0], joints[1], joints[2]}), rotation);
}

QTK_POSE_ENTRY void neck_ik_pose(const double* rotation, double* angles) {
    const std::optional<NeckAngles> found = neck_inverse_kinematics(load_rotation(rotation));
    if (found) {
        angles[0] = found->yaw;
        angles[1] = found->pitch;
        angles[2] = found->roll;
    } else {
        fill_not_a_number(angles, 3);
    }
}

QTK_POSE_ENTRY bool neck_reachable_pose(const double* rotation) {
    const std::optional<NeckAngles> a = neck_inverse_kinematics(load_rotation(rotation));
    return a && !std::isnan(a->yaw) && !std::isnan(a->pitch) && !std::isnan(a->roll);
}

inline void store_pair(const std::optional<JointPair>& pair, double* out) {
    out[0] = pair ? pair->theta_a : std::numeric_limits<double>::quiet_NaN();
    out[1] = pair ? pair->theta_b : std::numeric_limits<double>::quiet_NaN();
}

inline std::optional<JointPair> near_of(const double* near, std::size_t i) {
    if (near == nullptr) return std::nullopt;
    return JointPair{near[2 * i], near[2 * i + 1]};
}

QTK_POSE_ENTRY void ik_from_direction_pose(const Arm& arm, const double* direction,
                                           std::optional<JointPair> near, double* joints) {
    store_pair(ik_from_direction(arm, {direction[0], direction[1], direction[2]}, near), joints);
}

QTK_POSE_ENTRY bool reachable_direction_pose(const Arm& arm, const double* direction) {
    return ik_from_direction(arm, {direction[0], direction[1], direction[2]}, std::nullopt)
        .has_value();
}

QTK_POSE_ENTRY void ik_solutions_pose(const Arm& arm, const double* direction, double* joints) {
    const auto solutions = ik_solutions(arm, {direction[0], direction[1], direction[2]});
    for (std::size_t k = 0; k < solutions.size(); ++k) store_pair(solutions[k], joints + 2 * k);
}

QTK_POSE_ENTRY void ik_pose(const Arm& arm, const double* rotation, double* joints) {
    store_pair(ik(arm, load_rotation(rotation)), joints);
}

QTK_POSE_ENTRY bool reachable_orientation_pose(const Arm& arm, const double* rotation) {
    return ik(arm, load_rotation(rotation)).has_value();
}

QTK_POSE_ENTRY void direction_jacobian_pose(const Arm& arm, double theta_a, double theta_b,
                                            double* jacobian) {
    const std::optional<Mat3x2> j = direction_jacobian(arm, theta_a, theta_b);
    if (!j) {
        fill_not_a_number(jacobian, 6);
        return;
    }
    for (std::size_t i = 0; i < 3; ++i) {
        jacobian[2 * i] = (*j)[i][0];
        jacobian[2 * i + 1] = (*j)[i][1];
    }
}

QTK_POSE_ENTRY void singular_values_pose(const Arm& arm, double theta_a, double theta_b,
                                         double* values) {
    const std::optional<SingularValues> s = singular_values(arm, theta_a, theta_b);
    values[0] = s ? s->largest : std::numeric_limits<double>::quiet_NaN();
    values[1] = s ? s->smallest : std::numeric_limits<double>::quiet_NaN();
}

QTK_POSE_ENTRY void joint_rates_pose(const Arm& arm, double theta_a, double theta_b,
                                     const double* direction_rate, double damping,
                                     double* rates) {
    store_pair(joint_rates(arm, theta_a, theta_b,
                           {direction_rate[0], direction_rate[1], direction_rate[2]}, damping),
               rates);
}

QTK_POSE_ENTRY void neck_jacobian_pose(const double* joints, double* jacobian) {
    store_rotation(::quorbel::neck_angular_jacobian({joints[0], joints[1], joints[2]}), jacobian);
}

QTK_POSE_ENTRY void neck_rates_pose(const double* joints, const double* omega, double* rates) {
    const std::optional<NeckRates> r =
        ::quorbel::neck_joint_rates({joints[0], joints[1], joints[2]}, {omega[0], omega[1], omega[2]});
    if (r) {
        rates[0] = r->yaw;
        rates[1] = r->pitch;
        rates[2] = r->roll;
    } else {
        fill_not_a_number(rates, 3);
    }
}

}  // namespace quorbel::batch::detail
