// How one pose's values sit in the kernels' contiguous buffers: a vector as
// 3 doubles, a matrix as its rows one after the other, a joint pair as
// (theta_a, theta_b), neck angles as (yaw, pitch, roll); a value the core
// does not give is stored as NaN.
#pragma once

#include <cstddef>
#include <limits>
#include <optional>

#include <quorbel/arm/joint_pair.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/maths/mat3x2.hpp>
#include <quorbel/maths/vector.hpp>
#include <quorbel/neck/neck_kinematics.hpp>
#include <quorbel/neck/neck_velocity.hpp>
#include "arrays/pose_widths.hpp"

namespace quorbel::arrays {

inline constexpr double NOT_A_NUMBER = std::numeric_limits<double>::quiet_NaN();

inline Vec3 load_vec3(const double* p) { return {p[0], p[1], p[2]}; }

inline Mat3 load_mat3(const double* p) {
    Mat3 m;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            m[i][j] = p[3 * i + j];
        }
    }
    return m;
}

// An absent `near` buffer (nullptr) leaves every pose without one.
inline std::optional<JointPair> load_near(const double* near, std::size_t i) {
    if (near == nullptr) {
        return std::nullopt;
    }
    const double* pair = near + JOINT_PAIR_WIDTH * i;
    return JointPair{pair[0], pair[1]};
}

inline NeckAngles load_neck_angles(const double* p) { return {p[0], p[1], p[2]}; }

inline void store_vec3(Vec3 v, double* out) {
    out[0] = v.x;
    out[1] = v.y;
    out[2] = v.z;
}

inline void store_mat3(const Mat3& m, double* out) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            out[3 * i + j] = m[i][j];
        }
    }
}

inline void store_mat3x2(const Mat3x2& m, double* out) {
    for (std::size_t i = 0; i < 3; ++i) {
        out[2 * i] = m[i][0];
        out[2 * i + 1] = m[i][1];
    }
}

inline void store_joint_pair(const std::optional<JointPair>& pair, double* out) {
    out[0] = pair ? pair->theta_a : NOT_A_NUMBER;
    out[1] = pair ? pair->theta_b : NOT_A_NUMBER;
}

inline void fill_nan(double* out, std::size_t width) {
    for (std::size_t k = 0; k < width; ++k) {
        out[k] = NOT_A_NUMBER;
    }
}

inline void store_neck_angles(const std::optional<NeckAngles>& angles, double* out) {
    if (angles) {
        out[0] = angles->yaw;
        out[1] = angles->pitch;
        out[2] = angles->roll;
    } else {
        fill_nan(out, NECK_ANGLES_WIDTH);
    }
}

inline void store_neck_rates(const std::optional<NeckRates>& rates, double* out) {
    if (rates) {
        out[0] = rates->yaw;
        out[1] = rates->pitch;
        out[2] = rates->roll;
    } else {
        fill_nan(out, NECK_ANGLES_WIDTH);
    }
}

inline void store_reachable(const std::optional<ReachableDirection>& found, double* direction,
                            double* joints) {
    if (found) {
        store_vec3(found->direction, direction);
        store_joint_pair(found->joints, joints);
    } else {
        fill_nan(direction, VECTOR_WIDTH);
        fill_nan(joints, JOINT_PAIR_WIDTH);
    }
}

}  // namespace quorbel::arrays
