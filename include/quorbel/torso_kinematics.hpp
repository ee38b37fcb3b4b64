// The whole public API of the Quorbel torso's kinematics: vectors and
// rotations, the arm's geometry, loop closure, forward and inverse
// kinematics, velocity kinematics and the nearest reachable direction, the
// arms.json reader, and the neck with its velocity kinematics. Everything is in
// namespace quorbel; no function throws (the arms.json reader may throw
// std::bad_alloc) and the kinematic functions never allocate.
#pragma once

#include <quorbel/maths/mat3x2.hpp>
#include <quorbel/maths/rotation.hpp>
#include <quorbel/maths/vector.hpp>

#include <quorbel/arm/arms_json.hpp>
#include <quorbel/arm/close_loop.hpp>
#include <quorbel/arm/forward_kinematics.hpp>
#include <quorbel/arm/geometry.hpp>
#include <quorbel/arm/inverse_kinematics.hpp>
#include <quorbel/arm/joint_limits.hpp>
#include <quorbel/arm/joint_pair.hpp>
#include <quorbel/arm/nearest_frame.hpp>
#include <quorbel/arm/nearest_reachable.hpp>
#include <quorbel/arm/velocity_kinematics.hpp>
#include <quorbel/batch.hpp>

#include <quorbel/neck/neck_kinematics.hpp>
#include <quorbel/neck/neck_velocity.hpp>

#include <quorbel/torso/look_at.hpp>
#include <quorbel/torso/mount.hpp>
#include <quorbel/torso/torso.hpp>
#include <quorbel/torso/torso_json.hpp>
