// Joint limits of an arm and the options that choose among its
// inverse-kinematics solutions: nearness to a previous pose, compared as
// plain numbers or as angles, and the limits a solution must respect.
#pragma once

#include <optional>
#include <type_traits>

#include <quorbel/arm/joint_pair.hpp>
#include <quorbel/export.hpp>

namespace quorbel {

// A closed interval of joint angle, radians, lower <= upper.
//
// An angle theta satisfies the interval when some representative
// theta + 2 pi k (k an integer, computed as theta + k * 2pi in doubles) lies
// in [lower, upper], bounds included. The angle then stands for that
// representative: the one nearest the reference when a reference is given
// (NearMode::angles with `near`) and several qualify, else the smallest. An
// interval at least 2 pi wide is satisfied by every finite angle; a NaN
// bound or angle satisfies nothing.
struct AngleInterval {
    double lower;
    double upper;
};

struct JointLimits {
    AngleInterval theta_a;
    AngleInterval theta_b;
};

// How `near` measures a candidate: `plain` by the squared difference of the
// numbers (a joint that went once around is 2 pi away); `angles` modulo
// 2 pi, each angle returned as its representative nearest `near`, so a
// controller's trajectory never jumps by a turn.
enum class NearMode { plain, angles };

struct IkOptions {
    std::optional<JointPair> near;
    std::optional<JointLimits> limits;
    NearMode near_mode = NearMode::plain;
};

// The overloads that take IkOptions are templates on this condition, so
// that a braced `{}` (no near), which deduces no type, still picks the
// overload that takes std::optional<JointPair>, as it did before options
// existed; an IkOptions value, named or made in place, picks them.
template <typename Options>
using IfIkOptions = std::enable_if_t<std::is_same_v<Options, IkOptions>, int>;

// The representative of theta that `interval` admits, as described there
// (nearest `reference` when given, else the smallest); empty when none lies
// within it.
QUORBEL_API std::optional<double> angle_within(const AngleInterval& interval, double theta,
                                               std::optional<double> reference) noexcept;

// theta unwrapped next to `reference`: reference + the difference
// theta - reference wrapped into (-pi, pi] (to rounding, theta + 2 pi k).
QUORBEL_API double angle_next_to(double theta, double reference) noexcept;

// How an inverse-kinematics candidate (theta_a, theta_b), as the closed form
// gives it (each in [-pi, pi]), is reported under `options`: unchanged when
// there are no limits and near_mode is plain; with NearMode::angles each
// joint unwrapped next to near's (next to 0 without near); with limits each
// joint's representative within its interval (nearest near's in angles
// mode), empty when either has none.
QUORBEL_API std::optional<JointPair> joints_under(JointPair candidate,
                                                  const IkOptions& options) noexcept;

}  // namespace quorbel
