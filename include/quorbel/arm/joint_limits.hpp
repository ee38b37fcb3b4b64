// Joint limits of an arm and the options that choose among its
// inverse-kinematics solutions: nearness to a previous pose, compared as
// plain numbers or as angles, and the limits a solution must respect.
#pragma once

#include <optional>

#include <quorbel/maths/joint_pair.hpp>

namespace quorbel {

// A closed interval of joint angle, radians, lower <= upper.
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

}  // namespace quorbel
