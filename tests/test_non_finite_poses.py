"""A NaN or infinite joint angle or arc is never a pose: the arm's methods
raise their usual failure and its predicates answer False. (The neck keeps
IEEE arithmetic, NaN in and NaN out: see test_neck_kinematics.py.)"""
import math
import re

import pytest

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
LOOP = "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler."
UNREACHABLE = "Target orientation is outside the spherical 5-bar workspace."
NEGATIVE = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": %s}'
ARMS = [ARM(), ARM(mirror=True), *(ARM.from_json(NEGATIVE % m) for m in ("false", "true"))]
J = (0.1, 0.1)  # a joint pair every arm above reaches


def failing_calls():
    """(arm, method, predicate, arguments, message, finite arm): the same call
    on the finite arm, with finite angles, succeeds."""
    for bad in [math.nan, math.inf, -math.inf]:
        for arm in ARMS:
            for joints in [(bad, 0.1), (0.1, bad), (bad, bad)]:
                yield arm, "fk", "is_reachable_joints", joints, LOOP, arm
                yield arm, "direction", "is_reachable_joints", joints, LOOP, arm
        for good in ARMS[:2]:
            for arm in [ARM(bad, 0.5, good.mirror()), ARM(0.7, bad, good.mirror())]:
                yield arm, "fk", "is_reachable_joints", J, LOOP, good
                yield arm, "ik", "is_reachable_orientation", (good.fk(*J),), UNREACHABLE, good
                yield (arm, "ik_from_direction", "is_reachable_direction", (good.direction(*J),),
                       UNREACHABLE, good)


@pytest.mark.parametrize("arm, method, predicate, arguments, message, finite_arm",
                         list(failing_calls()))
def test_a_non_finite_angle_or_arc_fails(arm, method, predicate, arguments, message, finite_arm):
    finite = [a if isinstance(a, list) or math.isfinite(a) else 0.1 for a in arguments]
    assert getattr(finite_arm, predicate)(*finite) is True
    with pytest.raises(RuntimeError, match=f"^{re.escape(message)}$"):
        getattr(arm, method)(*arguments)
    assert getattr(arm, predicate)(*arguments) is False
