// The kinematics over many poses at once: pointer and count, poses stored one
// after the other (a rotation as 9 doubles row by row, a direction as 3,
// joint angles as pairs or (yaw, pitch, roll) triples), results written to
// caller-owned buffers; no allocation, nothing thrown. Each pose's result is
// the per-pose function's, bit for bit (NaN everywhere where it returns an
// empty optional): several poses are computed at once in the lanes of a
// SIMD register, and a pose on a rare branch (a rounding too close to call,
// an unclosed loop, a degenerate frame) is finished by the per-pose function.
//
// Lanes: the register width used, chosen once per process by what the CPU
// has (AVX2 and FMA: four lanes; otherwise SSE2 or NEON: two; scalar where
// the build has no vector code, as on 32-bit x86 or MSVC), or forced by
// use_lanes(). Every choice gives the same doubles; only the time differs.
// With scalar lanes chosen the per-pose functions stay scalar too; otherwise,
// where the CPU has FMA, forward_kinematics, pointing_direction, the neck's
// kinematics and the Arm constructor run two elementary functions of their
// pose in the two lanes of one register.
#pragma once

#include <cstddef>

#include <quorbel/arm/geometry.hpp>
#include <quorbel/export.hpp>

namespace quorbel::batch {

enum class Lanes : int { scalar = 0, sse2 = 1, avx2 = 2, neon = 3 };

// Whether this build and CPU can run the given lanes (scalar always can).
QUORBEL_API bool lanes_available(Lanes lanes) noexcept;
// The lanes in use.
QUORBEL_API Lanes current_lanes() noexcept;
// Uses the given lanes from now on, for every thread; false (and no change)
// when they are not available.
QUORBEL_API bool use_lanes(Lanes lanes) noexcept;

// forward_kinematics: rotations[9 i .. 9 i + 8].
QUORBEL_API void arm_fk(const Arm& arm, const double* theta_a, const double* theta_b,
                        std::size_t count, double* rotations) noexcept;
// pointing_direction: directions[3 i .. 3 i + 2].
QUORBEL_API void arm_direction(const Arm& arm, const double* theta_a, const double* theta_b,
                               std::size_t count, double* directions) noexcept;
// pointing_direction(...).has_value().
QUORBEL_API void arm_reachable_joints(const Arm& arm, const double* theta_a,
                                      const double* theta_b, std::size_t count,
                                      bool* reachable) noexcept;
// direction_jacobian: the 3 x 2 matrix of pose i row by row at
// jacobians[6 i .. 6 i + 5].
QUORBEL_API void arm_direction_jacobian(const Arm& arm, const double* theta_a,
                                        const double* theta_b, std::size_t count,
                                        double* jacobians) noexcept;
// singular_values: (largest, smallest) at values[2 i ..].
QUORBEL_API void arm_singular_values(const Arm& arm, const double* theta_a,
                                     const double* theta_b, std::size_t count,
                                     double* values) noexcept;
// joint_rates with direction_rates[3 i ..] and one damping for all poses:
// rates[2 i ..].
QUORBEL_API void arm_joint_rates(const Arm& arm, const double* theta_a, const double* theta_b,
                                 const double* direction_rates, double damping,
                                 std::size_t count, double* rates) noexcept;
// ik_from_direction of directions[3 i ..], near the pairs near[2 i ..]
// (near may be null: no preference): joints[2 i ..].
QUORBEL_API void arm_ik_from_direction(const Arm& arm, const double* directions,
                                       const double* near, std::size_t count,
                                       double* joints) noexcept;
// ik_from_direction(...).has_value().
QUORBEL_API void arm_reachable_direction(const Arm& arm, const double* directions,
                                         std::size_t count, bool* reachable) noexcept;
// ik_solutions: the four slots of pose i at joints[8 i .. 8 i + 7].
QUORBEL_API void arm_ik_solutions(const Arm& arm, const double* directions, std::size_t count,
                                  double* joints) noexcept;
// ik of rotations[9 i ..]: joints[2 i ..].
QUORBEL_API void arm_ik(const Arm& arm, const double* rotations, std::size_t count,
                        double* joints) noexcept;
// ik(...).has_value().
QUORBEL_API void arm_reachable_orientation(const Arm& arm, const double* rotations,
                                           std::size_t count, bool* reachable) noexcept;
// neck_forward_kinematics of (yaw, pitch, roll) triples.
QUORBEL_API void neck_fk(const double* joints, std::size_t count, double* rotations) noexcept;
// neck_inverse_kinematics: (yaw, pitch, roll) triples.
QUORBEL_API void neck_ik(const double* rotations, std::size_t count, double* angles) noexcept;
// Whether neck_inverse_kinematics gives three angles, none NaN.
QUORBEL_API void neck_reachable(const double* rotations, std::size_t count,
                                bool* reachable) noexcept;

// neck_angular_jacobian of (yaw, pitch, roll) triples: jacobians[9 i ..].
QUORBEL_API void neck_angular_jacobian(const double* joints, std::size_t count,
                                       double* jacobians) noexcept;
// neck_joint_rates of joints[3 i ..] for omega[3 i ..]: (yaw, pitch, roll)
// rates at rates[3 i ..], NaN at gimbal lock.
QUORBEL_API void neck_joint_rates(const double* joints, const double* omega, std::size_t count,
                                  double* rates) noexcept;

}  // namespace quorbel::batch
