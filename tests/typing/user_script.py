"""A controller's use of the module, written as its users write it.

The tests type-check this file with mypy --strict against the installed stubs
(every result type is pinned with assert_type) and then run it, so whatever
the stubs accept here the module accepts too.
"""
import math

import numpy as np
from typing_extensions import assert_type

import quorbel_torso_kinematics as qtk
from quorbel_torso_kinematics import QuorbelArmKinematics, QuorbelNeckKinematics

assert_type(qtk.__all__, list[str])

left = QuorbelArmKinematics.default_left()
right = QuorbelArmKinematics.default_right()
custom = QuorbelArmKinematics(0.7, coupler_arc=0.5, mirror=True)
from_text = QuorbelArmKinematics.from_json('{"arm_arc": 0.7, "coupler_arc": 0.5}')
assert_type(custom, QuorbelArmKinematics)
assert_type(from_text, QuorbelArmKinematics)
assert_type(QuorbelArmKinematics(), QuorbelArmKinematics)
assert_type(QuorbelArmKinematics(mirror=np.bool_(True)), QuorbelArmKinematics)
assert_type(QuorbelArmKinematics(0.7, 0.5, np.float64(0.2) > 0.1), QuorbelArmKinematics)
assert_type(left.default_right(), QuorbelArmKinematics)

arm_arc: float = left.arm_arc()
coupler_arc: float = left.coupler_arc()
assert_type(right.mirror(), bool)

rotation = left.fk(0.3, -0.2)
assert_type(rotation, list[list[float]])
assert_type(left.fk(theta_a=1, theta_b=np.float64(0.1)), list[list[float]])
direction = left.direction(0.3, theta_b=-0.2)
assert_type(direction, list[float])

joints = left.ik(rotation)
assert_type(joints, tuple[float, float])
theta_a, theta_b = joints
assert_type(left.ik(r_target=np.array(rotation)), tuple[float, float])
assert_type(left.ik_from_direction(direction), tuple[float, float])
assert_type(left.ik_from_direction((0.66, 0.58, 0.47), near=(theta_a, theta_b)),
            tuple[float, float])
assert_type(left.ik_from_direction(np.array(direction), (1, np.float64(-0.2))),
            tuple[float, float])
assert_type(left.ik_from_direction(v3=direction, near=None), tuple[float, float])

assert_type(left.is_reachable_joints(math.pi, 0), bool)
assert_type(left.is_reachable_direction([0, 0, 1]), bool)
assert_type(left.is_reachable_orientation(((1, 0, 0), (0, 1, 0), (0, 0, 1))), bool)

try:
    left.fk(math.pi, 0.0)
except RuntimeError as error:
    message: str = str(error)

neck = QuorbelNeckKinematics()
head = neck.fk([0.3, -0.7, 1.1])
assert_type(head, list[list[float]])
yaw, pitch, roll = neck.ik(r=head)
assert_type(neck.ik(np.eye(3)), tuple[float, float, float])
assert_type(neck.fk(joints=range(3)), list[list[float]])
