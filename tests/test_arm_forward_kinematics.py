"""Arm forward kinematics: joint pair -> end-effector rotation and direction."""
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
LOOP_MESSAGE = "Spherical 5-bar loop does not close: v_2 and v_4 are too far apart for the coupler."


def negative(mirror):
    text = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": %s}'
    return ARM.from_json(text % ("true" if mirror else "false"))


LEFT = ARM.default_left()
RIGHT = ARM.default_right()
LEFT_NEGATIVE = negative(False)
RIGHT_NEGATIVE = negative(True)
ARMS = {
    "left": LEFT,
    "right": RIGHT,
    "left-negative": LEFT_NEGATIVE,
    "right-negative": RIGHT_NEGATIVE,
}
angle = st.floats(min_value=-math.pi, max_value=math.pi)


def tips(arm, theta_a, theta_b):
    """v_2 and v_4 from their definition: each input arm turned about its axis."""
    a, m = arm.arm_arc(), (-1.0 if arm.mirror() else 1.0)
    v_2 = np.array([m * math.sin(a) * math.cos(theta_a), m * math.sin(a) * math.sin(theta_a), math.cos(a)])
    v_4 = np.array([m * math.cos(a), -m * math.sin(a) * math.sin(theta_b), math.sin(a) * math.cos(theta_b)])
    return v_2, v_4


@pytest.mark.parametrize(
    "arm, joints, expected",
    [
        (
            LEFT,
            (0.0, 0.0),
            [
                [0.334816989179, 0.707106781187, 0.622814244986],
                [-0.880792352098, 0.000000000000, 0.473502727010],
                [0.334816989179, -0.707106781187, 0.622814244986],
            ],
        ),
        (
            LEFT,
            (0.3, -0.2),
            [
                [0.232089330426, 0.712017034033, 0.662696224487],
                [-0.755314732805, -0.297360433724, 0.584017488490],
                [0.612890036719, -0.636088449590, 0.468782771855],
            ],
        ),
        (
            LEFT_NEGATIVE,
            (0.0, 0.0),
            [
                [0.334816989179, -0.707106781187, 0.622814244986],
                [0.880792352098, 0.000000000000, -0.473502727010],
                [0.334816989179, 0.707106781187, 0.622814244986],
            ],
        ),
        (
            RIGHT,
            (0.0, 0.0),
            [
                [-0.334816989179, -0.707106781187, -0.622814244986],
                [0.880792352098, 0.000000000000, -0.473502727010],
                [0.334816989179, -0.707106781187, 0.622814244986],
            ],
        ),
    ],
    ids=["left-rest", "left-0.3,-0.2", "negative-rest", "right-rest"],
)
def test_fk_worked_values(arm, joints, expected):
    r = arm.fk(*joints)
    assert type(r) is list and all(type(row) is list and len(row) == 3 for row in r)
    assert np.abs(np.array(r) - np.array(expected)).max() < 1e-12
    d = arm.direction(*joints)
    assert type(d) is list
    assert d == [row[2] for row in r]


@pytest.mark.parametrize(
    "joints, expected",
    [((0.0, 0.0), [0.622814244986, 0.473502727010, 0.622814244986]), ((0.3, -0.2), [0.662696224487, 0.584017488490, 0.468782771855])],
)
def test_direction_worked_values(joints, expected):
    assert LEFT.direction(*joints) == pytest.approx(expected, abs=1e-12)


@pytest.mark.parametrize(
    "arm, joints",
    [
        (LEFT, (math.pi, 0.0)),
        (LEFT, (1.5, -1.5)),
        (RIGHT, (1.5, -1.5)),
        # At arm_arc = pi/4 the two tips coincide at rest.
        (ARM(arm_arc=math.pi / 4), (0.0, 0.0)),
    ],
)
def test_loop_that_cannot_close(arm, joints):
    for method in (arm.fk, arm.direction):
        with pytest.raises(RuntimeError) as info:
            method(*joints)
        assert str(info.value) == LOOP_MESSAGE
    assert arm.is_reachable_joints(*joints) is False


@pytest.mark.parametrize("joints", [(0.0, 0.0), (0.3, -0.2), (0, 0)])
def test_reachable_joints(joints):
    assert LEFT.is_reachable_joints(*joints) is True


@pytest.mark.parametrize("name", list(ARMS))
@settings(max_examples=150, deadline=None)
@given(theta_a=angle, theta_b=angle)
def test_fk_laws(name, theta_a, theta_b):
    arm = ARMS[name]
    if not arm.is_reachable_joints(theta_a, theta_b):
        with pytest.raises(RuntimeError):
            arm.fk(theta_a, theta_b)
        return
    r = np.array(arm.fk(theta_a, theta_b))
    # x is the tips' bisector made perpendicular to z and divided by its
    # remaining length, which shrinks toward the edge of the workspace (where
    # the bisector turns parallel to z): rounding in x grows like 1e-16 over
    # that length, about 1e-13 at worst over a dense sample, hence the margin.
    assert np.abs(r.T @ r - np.eye(3)).max() < 1e-9
    assert abs(np.linalg.det(r) - 1.0) < 1e-9
    v_3 = arm.direction(theta_a, theta_b)
    assert v_3 == r[:, 2].tolist()
    v_2, v_4 = tips(arm, theta_a, theta_b)
    cos_coupler = math.cos(arm.coupler_arc())
    assert abs(np.dot(v_3, v_2) - cos_coupler) < 1e-14
    assert abs(np.dot(v_3, v_4) - cos_coupler) < 1e-14


@pytest.mark.parametrize("left, right", [(LEFT, RIGHT), (LEFT_NEGATIVE, RIGHT_NEGATIVE)])
@settings(max_examples=200, deadline=None)
@given(theta_a=angle, theta_b=angle)
def test_mirrored_fk_is_left_fk_turned_half_about_z(left, right, theta_a, theta_b):
    reachable = left.is_reachable_joints(theta_a, theta_b)
    assert right.is_reachable_joints(theta_a, theta_b) is reachable
    if reachable:
        l, r = left.fk(theta_a, theta_b), right.fk(theta_a, theta_b)
        assert r == [[-x for x in l[0]], [-x for x in l[1]], l[2]]
