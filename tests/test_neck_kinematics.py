"""Neck kinematics: yaw-pitch-roll forward kinematics and its inverse."""
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from scipy.spatial.transform import Rotation

import quorbel_torso_kinematics as qtk

GIMBAL_MESSAGE = "Gimbal lock: pitch is too close to ±π/2."
NAN = math.nan
INF = math.inf

neck = qtk.QuorbelNeckKinematics()

# Angles within the inverse kinematics' reach: yaw and roll in (-pi, pi],
# |pitch| below pi/2 - 0.0015.
yaw_roll = st.floats(min_value=-math.pi, max_value=math.pi).filter(lambda a: a != -math.pi)
pitch = st.floats(min_value=-(math.pi / 2 - 0.0015), max_value=math.pi / 2 - 0.0015)
any_angle = st.floats(min_value=-10.0, max_value=10.0)


def bits(x):
    return (math.copysign(1.0, x), x)


def wrapped(a):
    """a folded into [-pi, pi)."""
    return (a + math.pi) % (2 * math.pi) - math.pi


@pytest.mark.parametrize(
    "joints, expected",
    [
        ([0, 0, 0], [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
        ([-0.0, -0.0, -0.0], [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]),
        (
            [0.0, math.pi / 2, 0.0],
            [[6.123233995736766e-17, 0.0, 1.0], [0.0, 1.0, 0.0], [-1.0, 0.0, 6.123233995736766e-17]],
        ),
        (
            [0.3, -0.7, 1.1],
            [
                [0.7306816499355124, -0.6825356334181358, -0.01579352911863996],
                [0.22602632124962302, 0.2636694534871923, -0.9377582425124973],
                [0.644217687237691, 0.681632986593423, 0.34692944965489897],
            ],
        ),
    ],
)
def test_fk_worked_values_to_the_last_bit(joints, expected):
    r = neck.fk(joints)
    assert type(r) is list and all(type(row) is list for row in r)
    assert r == expected
    if joints[1] == 0:
        # The identity comes out with +0.0 off the diagonal.
        assert [bits(x) for row in r for x in row] == [bits(x) for row in expected for x in row]


@pytest.mark.parametrize("position", [0, 1, 2])
@pytest.mark.parametrize("bad", [NAN, INF, -INF])
def test_fk_nan_or_infinite_angle_gives_nine_nan(position, bad):
    joints = [0.0, 0.0, 0.0]
    joints[position] = bad
    r = neck.fk(joints)
    assert len(r) == 3 and all(len(row) == 3 for row in r)
    assert all(math.isnan(x) for row in r for x in row)


def test_ik_of_identity_has_negative_zero_pitch():
    yaw, p, roll = neck.ik([[1, 0, 0], [0, 1, 0], [0, 0, 1]])
    assert (yaw, p, roll) == (0.0, -0.0, 0.0)
    assert math.copysign(1.0, p) == -1.0 and math.copysign(1.0, yaw) == 1.0


@pytest.mark.parametrize("joints", [(0.3, -0.7, 1.1), (3.0, 0.2, -3.0), (-2.0, 1.5, 0.5)])
def test_ik_recovers_worked_angles(joints):
    got = neck.ik(neck.fk(list(joints)))
    assert type(got) is tuple and len(got) == 3
    assert got == pytest.approx(joints, abs=1e-12)


def with_r20(x):
    return [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [x, 0.0, 1.0]]


@pytest.mark.parametrize(
    "x",
    [
        math.nextafter(0.999999, 2.0),
        -math.nextafter(0.999999, 2.0),
        1.0,
        -1.0,
        1.5,
        -1.5,
        INF,
    ],
)
def test_ik_refuses_gimbal_lock(x):
    with pytest.raises(ValueError) as info:
        neck.ik(with_r20(x))
    assert str(info.value) == GIMBAL_MESSAGE
    assert len(GIMBAL_MESSAGE.encode()) == 42


@pytest.mark.parametrize("x, expected_pitch", [(0.999999, -1.5693821131146521), (-0.999999, 1.5693821131146521)])
def test_ik_at_the_margin_still_solves(x, expected_pitch):
    assert neck.ik(with_r20(x))[1] == expected_pitch


def test_ik_with_nan_r20_gives_nan_pitch():
    yaw, p, roll = neck.ik(with_r20(NAN))
    assert math.isnan(p)
    assert (yaw, roll) == (0.0, 0.0)


@settings(max_examples=200, deadline=None)
@given(yaw=any_angle, p=any_angle, roll=any_angle)
def test_fk_is_a_rotation(yaw, p, roll):
    r = np.array(neck.fk([yaw, p, roll]))
    assert np.abs(r @ r.T - np.eye(3)).max() < 1e-14
    assert abs(np.linalg.det(r) - 1.0) < 1e-14


@settings(max_examples=300, deadline=None)
@given(yaw=yaw_roll, p=pitch, roll=yaw_roll)
def test_ik_inverts_fk(yaw, p, roll):
    got = neck.ik(neck.fk([yaw, p, roll]))
    errors = [abs(wrapped(g - e)) for g, e in zip(got, (yaw, p, roll))]
    assert max(errors) < 1e-10, (got, errors)


@settings(max_examples=200, deadline=None)
@given(
    yaw=yaw_roll,
    p=pitch,
    roll=yaw_roll,
    junk=st.lists(st.floats(allow_nan=True, allow_infinity=True), min_size=4, max_size=4),
)
def test_ik_ignores_the_other_four_entries(yaw, p, roll, junk):
    r = neck.fk([yaw, p, roll])
    scrambled = [row[:] for row in r]
    scrambled[0][1], scrambled[0][2], scrambled[1][1], scrambled[1][2] = junk
    assert [bits(x) for x in neck.ik(scrambled)] == [bits(x) for x in neck.ik(r)]


# An independent implementation: SciPy's intrinsic Z-Y-X Euler angles.
@settings(max_examples=300, deadline=None)
@given(yaw=any_angle, p=any_angle, roll=any_angle)
def test_fk_agrees_with_scipy(yaw, p, roll):
    expected = Rotation.from_euler("ZYX", [yaw, p, roll]).as_matrix()
    assert np.abs(np.array(neck.fk([yaw, p, roll])) - expected).max() < 1e-14


@settings(max_examples=300, deadline=None)
@given(yaw=yaw_roll, p=pitch, roll=yaw_roll)
def test_ik_agrees_with_scipy(yaw, p, roll):
    matrix = Rotation.from_euler("ZYX", [yaw, p, roll]).as_matrix()
    expected = Rotation.from_matrix(matrix).as_euler("ZYX")
    got = neck.ik(matrix.tolist())
    assert max(abs(wrapped(g - e)) for g, e in zip(got, expected)) < 1e-9
