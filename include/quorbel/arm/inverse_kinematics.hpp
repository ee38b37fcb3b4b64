// Inverse kinematics of one arm: a pointing direction or a full rotation ->
// joint pair. Both search the same closed-form candidates; no heap storage.
#pragma once

#include <array>
#include <cstddef>
#include <optional>

#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/geometry.hpp>
#include <quorbel/arm/joint_limits.hpp>
#include <quorbel/arm/joint_pair.hpp>
#include <quorbel/export.hpp>
#include <quorbel/maths/vector.hpp>

namespace quorbel {

// Smallest accepted length of a requested direction (strict bound).
inline constexpr double MIN_DIRECTION_NORM = 1e-12;
// A candidate is accepted when its v_3 (direction IK) or its rotation
// (Frobenius norm, rotation IK) lies strictly closer than this to the target.
inline constexpr double IK_MATCH_TOLERANCE = 1e-6;

struct IkCandidate {
    double theta_a;
    double theta_b;
    FkSolution fk_solution;
};

// At most four candidates, in the order (sA, sB) = (+1,+1), (+1,-1), (-1,+1),
// (-1,-1) of the tip placements, less those whose loop does not close.
struct CandidateList {
    std::array<IkCandidate, 4> items;
    std::size_t count = 0;

    const IkCandidate* begin() const { return items.data(); }
    const IkCandidate* end() const { return items.data() + count; }
};

// Places each tip at arc `arm_arc` from its joint axis and `coupler_arc` from
// `direction`, reads the joint angles off the tips with atan2 and runs
// forward kinematics on every combination. The direction is used as given
// (not normalised). Where |sin arm_arc|
// < 1e-2 (arm_arc near 0 or pi) a tip's ring is placed with sin^2 arm_arc,
// since 1 - cos^2 arm_arc has lost its bits there, and a tip that misses
// the coupler's circle about the direction by up to 1e-9 rad is placed at
// the ring's nearest point, since the direction's own rounding is no longer
// small beside such a
// ring: an arm of a tiny ring has the candidates of the directions forward
// kinematics gives it.
QUORBEL_API CandidateList direction_candidates(const Arm& arm, Vec3 direction) noexcept;

// The joint pair whose v_3 is the normalised `direction`: the accepted
// candidate nearest to `near` (squared distance, no wrap-around), or of
// smallest squared norm without it; ties keep the earlier candidate. Empty
// for a direction shorter than MIN_DIRECTION_NORM or with a NaN or infinite
// component; any finite longer one is normalised (one whose squared length
// overflows, beyond about 1.34e154, after an exact scaling by a power of
// two).
QUORBEL_API std::optional<JointPair> ik_from_direction(const Arm& arm, Vec3 direction,
                                                       std::optional<JointPair> near) noexcept;

// The candidates of direction_candidates that ik_from_direction accepts for
// `direction`, each in its slot of the order (+1,+1), (+1,-1), (-1,+1),
// (-1,-1); empty slots for the rest, all four for a refused direction.
QUORBEL_API std::array<std::optional<JointPair>, 4> ik_solutions(const Arm& arm,
                                                                 Vec3 direction) noexcept;

// The joint pair whose forward-kinematics rotation lies within
// IK_MATCH_TOLERANCE (Frobenius) of r_target; the candidates come from its
// third column, used unchanged.
QUORBEL_API std::optional<JointPair> ik(const Arm& arm, const Mat3& r_target) noexcept;

// The same three with options. Each candidate the functions above accept is
// reported as joints_under(candidate, options) gives it (joint_limits.hpp),
// and a candidate outside the limits is dropped (an empty slot of
// ik_solutions). ik_from_direction then picks the candidate of least
// (tA - nA)^2 + (tB - nB)^2 over the reported joints (tA^2 + tB^2 without
// near), the earlier on ties; ik the one of least Frobenius error, as
// above. With default options (no near, no limits, plain) each gives exactly
// what the overload above gives.
namespace detail {
QUORBEL_API std::optional<JointPair> ik_from_direction_with_options(
    const Arm& arm, Vec3 direction, const IkOptions& options) noexcept;
QUORBEL_API std::array<std::optional<JointPair>, 4> ik_solutions_with_options(
    const Arm& arm, Vec3 direction, const IkOptions& options) noexcept;
QUORBEL_API std::optional<JointPair> ik_with_options(const Arm& arm, const Mat3& r_target,
                                                     const IkOptions& options) noexcept;
}  // namespace detail

template <typename Options, IfIkOptions<Options> = 0>
std::optional<JointPair> ik_from_direction(const Arm& arm, Vec3 direction,
                                           const Options& options) noexcept {
    return detail::ik_from_direction_with_options(arm, direction, options);
}
template <typename Options, IfIkOptions<Options> = 0>
std::array<std::optional<JointPair>, 4> ik_solutions(const Arm& arm, Vec3 direction,
                                                     const Options& options) noexcept {
    return detail::ik_solutions_with_options(arm, direction, options);
}
template <typename Options, IfIkOptions<Options> = 0>
std::optional<JointPair> ik(const Arm& arm, const Mat3& r_target,
                            const Options& options) noexcept {
    return detail::ik_with_options(arm, r_target, options);
}

}  // namespace quorbel
