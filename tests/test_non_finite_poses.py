"""A NaN or infinite joint angle or arc is never a pose: the arm's methods
raise their usual failure and its predicates answer False, for every arm and
every pose. (The neck keeps IEEE arithmetic, NaN in and NaN out; its tests
are in test_neck_kinematics.py.)"""
import math

import pytest

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
LOOP_MESSAGE = "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler."
UNREACHABLE_MESSAGE = "Target orientation is outside the spherical 5-bar workspace."
NON_FINITE = [math.nan, math.inf, -math.inf]
FINITE_ANGLE = 0.1

NEGATIVE = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": %s}'
ARMS = {
    "left": ARM.default_left(),
    "right": ARM.default_right(),
    "left-negative": ARM.from_json(NEGATIVE % "false"),
    "right-negative": ARM.from_json(NEGATIVE % "true"),
}
# Poses that the presets reach, for either mirror setting.
JOINTS = [(0.3, -0.2), (0.0, 0.0), (-0.4, 0.5)]
PRESETS = {mirror: ARM(0.7, 0.5, mirror) for mirror in (False, True)}
DIRECTIONS = {mirror: [arm.direction(*j) for j in JOINTS] for mirror, arm in PRESETS.items()}
ROTATIONS = {mirror: [arm.fk(*j) for j in JOINTS] for mirror, arm in PRESETS.items()}


def failing_calls():
    """(id, arm, method, predicate, arguments, message, control): each call
    must fail, and `control`, the same call with the non-finite value made
    finite, must be reachable, so that only that value makes it fail."""
    for name, arm in ARMS.items():
        for bad in NON_FINITE:
            for joints in [(bad, FINITE_ANGLE), (FINITE_ANGLE, bad), (bad, bad)]:
                finite = tuple(FINITE_ANGLE if not math.isfinite(x) else x for x in joints)
                for method in ("fk", "direction"):
                    yield (f"{name}.{method}{joints}", arm, method, "is_reachable_joints", joints,
                           LOOP_MESSAGE, (arm, finite))
    for bad in NON_FINITE:
        for mirror, preset in PRESETS.items():
            for label, arm in [(f"arm_arc={bad}", ARM(bad, 0.5, mirror)),
                               (f"coupler_arc={bad}", ARM(0.7, bad, mirror))]:
                name = f"[{label}, mirror={mirror}]"
                for joints in JOINTS:
                    for method in ("fk", "direction"):
                        yield (f"{name}.{method}{joints}", arm, method, "is_reachable_joints",
                               joints, LOOP_MESSAGE, (preset, joints))
                for i, direction in enumerate(DIRECTIONS[mirror]):
                    yield (f"{name}.ik_from_direction#{i}", arm, "ik_from_direction",
                           "is_reachable_direction", (direction,), UNREACHABLE_MESSAGE,
                           (preset, (direction,)))
                for i, rotation in enumerate(ROTATIONS[mirror]):
                    yield (f"{name}.ik#{i}", arm, "ik", "is_reachable_orientation", (rotation,),
                           UNREACHABLE_MESSAGE, (preset, (rotation,)))


FAILING_CALLS = list(failing_calls())


@pytest.mark.parametrize("arm, method, predicate, arguments, message, control",
                         [case[1:] for case in FAILING_CALLS],
                         ids=[case[0] for case in FAILING_CALLS])
def test_a_non_finite_angle_or_arc_fails_and_is_not_reachable(arm, method, predicate, arguments,
                                                                message, control):
    control_arm, control_arguments = control
    assert getattr(control_arm, predicate)(*control_arguments) is True
    with pytest.raises(RuntimeError) as info:
        getattr(arm, method)(*arguments)
    assert str(info.value) == message
    assert getattr(arm, predicate)(*arguments) is False
