"""Directions just beyond the closing limit (tips 2 coupler_arc apart, the
apex their midpoint) where it bounds the workspace: refused by both faces,
although the inverse kinematics accepts an apex within 1e-6 of the
direction, and brought back onto the edge by nearest_reachable."""
import math

import numpy as np
import pytest

import quorbel_torso as qt
from arm_tips import tips


def limit_apex(arm, theta_a, root):
    """The apex on the limit for tip A at theta_a, and the tips. With sa, ca
    the sine and cosine of arm_arc, v_2.v_4 = cos(2 coupler_arc) reads
    R cos(theta_b + phi) = K, R cos phi = ca, R sin phi = sa sin theta_a,
    K = (cos(2 coupler_arc) - sa ca cos theta_a) / sa; `root` picks the sign
    of the arc cosine."""
    sa, ca = math.sin(arm.arm_arc), math.cos(arm.arm_arc)
    k = (math.cos(2 * arm.coupler_arc) - sa * ca * math.cos(theta_a)) / sa
    phi = math.atan2(sa * math.sin(theta_a), ca)
    theta_b = -phi + root * math.acos(k / math.hypot(ca, sa * math.sin(theta_a)))
    v_2, v_4 = tips(arm, theta_a, theta_b)
    return (v_2 + v_4) / np.linalg.norm(v_2 + v_4), v_2, v_4


def outward(arm, theta_a, root):
    """The limit's apex d and the unit normal n to the limit at d pointing out
    of the workspace: away from the side of the v_2-v_4 great circle where the
    arm's branch puts its apex."""
    d, v_2, v_4 = limit_apex(arm, theta_a, root)
    step = 1e-6
    tangent = limit_apex(arm, theta_a + step, root)[0] - limit_apex(arm, theta_a - step, root)[0]
    n = np.cross(d, tangent / np.linalg.norm(tangent))
    branch = 1.0 if arm.branch == "positive" else -1.0
    return d, (-n if np.dot(n, branch * np.cross(v_2, v_4)) > 0 else n)


def turned(d, n, delta):
    return math.cos(delta) * d + math.sin(delta) * n


def angle(a, b):
    return math.atan2(np.linalg.norm(np.cross(a, b)), np.dot(a, b))


# Stretches of the limit that bound the workspace (a negative-branch arm's
# are the positive one's with theta_a and the root turned round).
LIMIT_POINTS = [
    pytest.param(arm, sign * theta_a, sign, id=f"{arm!r}-{sign * theta_a}")
    for arm, sign, stretch in [
        (qt.Arm(), 1, (-1.6, -1.3, -1.0, -0.8)),
        (qt.Arm(mirror=True), 1, (-1.5, -0.9)),
        (qt.Arm(branch="negative"), -1, (-1.6, -1.2, -0.8)),
        (qt.Arm(mirror=True, branch="negative"), -1, (-1.4,)),
        (qt.Arm(0.5, 0.6), 1, (-1.7, -1.2, -0.6)),
    ]
    for theta_a in stretch
]
BEYOND = (1e-6, 2e-6, 3e-6)


@pytest.mark.parametrize("arm, theta_a, root", LIMIT_POINTS)
def test_just_beyond_the_limit_is_refused_and_brought_back(arm, theta_a, root):
    d, n = outward(arm, theta_a, root)
    per_call = arm.kinematics()
    assert not arm.reachable_direction(turned(d, n, 1e-3)), "the limit does not bound here"
    for delta in (-3e-6, -1e-6):
        inside = turned(d, n, delta)
        assert arm.reachable_direction(inside) and per_call.is_reachable_direction(list(inside))

    targets = np.array([turned(d, n, delta) for delta in BEYOND])
    assert not arm.reachable_direction(targets).any()
    assert np.isnan(arm.ik_solutions(targets)).all()
    assert np.isnan(arm.ik_from_direction(targets)).all()
    for target in targets:
        assert not per_call.is_reachable_direction(list(target))
        with pytest.raises(RuntimeError):
            per_call.ik_from_direction(list(target))

    # The nearest point of the workspace is d, at delta from the target; the
    # answer is never more than 1e-9 rad further, and never nearer than the
    # 2.5e-7 rad that the acceptance lets it move beyond the limit.
    reached, joints = arm.nearest_reachable(targets)
    assert arm.reachable_direction(reached).all()
    np.testing.assert_array_equal(joints, arm.ik_from_direction(reached))
    for delta, target, answer in zip(BEYOND, targets, reached):
        assert delta - 2.5e-7 <= angle(answer, target) <= delta + 1e-9
