"""A study's use of the array package, written as its users write it.

The tests type-check this file with mypy --strict and pyright against the
installed package (its inline annotations and py.typed; every result type is
pinned with assert_type) and then run it.
"""
from typing import Optional, Tuple

import numpy as np
import numpy.typing as npt
from typing_extensions import assert_type

import quorbel_torso as qt
from quorbel_torso import Arm, Neck
from quorbel_torso_kinematics import QuorbelArmKinematics

Floats = npt.NDArray[np.float64]
Flags = npt.NDArray[np.bool_]

left = Arm.default_left()
right = qt.Arm.default_right()
custom = Arm(0.7, coupler_arc=np.float32(0.5), mirror=np.True_, branch="negative")
assert_type(Arm.from_json(custom.to_json()), Arm)
arc: float = left.arm_arc + left.coupler_arc
assert_type(right.mirror, bool)
same_branch = Arm(branch=custom.branch) == custom
assert_type(left.kinematics(), QuorbelArmKinematics)

theta_a = np.linspace(-1.0, 1.0, 5)
rotations = left.fk(theta_a, 0.2)
assert_type(rotations, Floats)
assert_type(left.fk(0.3, -0.2), Floats)
assert_type(left.reachable_joints(theta_a[:, None], [0.1, 0.2]), Flags)
directions = left.direction(theta_a, theta_b=-0.2)
assert_type(directions, Floats)
assert_type(left.ik_from_direction(directions), Floats)
assert_type(left.ik_from_direction([0.66, 0.58, 0.47], near=(0.3, -0.2)), Floats)
assert_type(left.reachable_direction(directions), Flags)
solutions = left.ik_solutions(directions)
count_per_direction = (~np.isnan(solutions[..., 0])).sum(axis=-1)
assert_type(left.ik(r_target=rotations), Floats)
assert_type(left.reachable_orientation(rotations.tolist()), Flags)

# A velocity controller and a gaze target that leaves the workspace.
jacobian = left.direction_jacobian(theta_a, -0.2)
assert_type(jacobian, Floats)
assert_type(left.angular_jacobian(0.3, theta_b=-0.2), Floats)
margin = left.singular_values(theta_a, -0.2)[..., 1]
assert_type(margin, Floats)
assert_type(left.joint_rates(theta_a, -0.2, [0.0, 0.1, 0.0]), Floats)
assert_type(left.joint_rates(0.3, -0.2, direction_rate=directions, damping=np.float64(0.05)),
            Floats)
aimed, aim_joints = left.nearest_reachable([0.0, 0.0, 1.0], near=(0.3, -0.2))
assert_type(aimed, Floats)
assert_type(right.nearest_reachable(directions), Tuple[Floats, Floats])
limited = Arm(limits=((0.1, 0.5), (-0.4, np.float64(0.0))))
assert_type(limited.limits, Optional[Tuple[Tuple[float, float], Tuple[float, float]]])
assert_type(limited.ik_from_direction(directions, near=(0.3, -0.2), wrap=True), Floats)
assert_type(limited.ik_solutions(directions, wrap=np.bool_(True)), Floats)
frame_joints, frame_angles, reasons = limited.ik_nearest_frame(rotations, near=(0.3, -0.2))
assert_type(frame_angles, Floats)
assert_type(reasons, npt.NDArray[np.int8])

neck = Neck()
head = neck.fk([[0.3, -0.7, 1.1], [0.0, 0.0, 0.0]])
assert_type(head, Floats)
assert_type(neck.ik(r=head), Floats)
unlocked: Flags = neck.reachable(np.eye(3))
assert_type(neck.angular_jacobian(joints=[0.3, -0.7, 1.1]), Floats)
assert_type(neck.joint_rates([0.3, -0.7, 1.1], omega=[[0.0, 0.0, 1.0]]), Floats)
keep = {left: "left", right: "right", Arm(): "left again"}

# The whole torso aimed at a target, tick after tick, and at a batch.
torso = qt.Torso.example()
aim = torso.look_at([0.7, 0.1, 0.2])
assert_type(aim, qt.TorsoAim)
assert_type(torso.look_at(np.array([0.7, 0.0, 0.1]), previous=aim).left_arm, Floats)
clamped = torso.look_at([[0.7, 0.1, 0.2], [-1.0, 0.0, 0.0]]).status == qt.AimStatus.CLAMPED
assert_type(torso.look_at([0.7, 0.1, 0.2], previous=np.zeros(7)).neck, Floats)
same = qt.Torso.from_json(torso.to_json()) == torso
