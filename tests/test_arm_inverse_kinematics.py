"""Arm inverse kinematics: from a pointing direction and from a rotation."""
import math

import numpy as np
import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
OUTSIDE = "Target orientation is outside the spherical 5-bar workspace."


def negative(mirror):
    text = '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": %s}'
    return ARM.from_json(text % ("true" if mirror else "false"))


LEFT = ARM.default_left()
ARMS = {
    "left": LEFT,
    "right": ARM.default_right(),
    "left-negative": negative(False),
    "right-negative": negative(True),
}
# The worked pose: the left arm at (0.3, -0.2), and the other pairs that
# direction_candidates finds for its direction.
D = LEFT.direction(0.3, -0.2)
R = LEFT.fk(0.3, -0.2)
A1 = 1.144746  # theta_a of the placements on the other side
B2 = -1.588839  # theta_b likewise

joint = st.floats(min_value=-1.2, max_value=1.2)


def scaled(k, v):
    return [k * x for x in v]


def frobenius(a, b):
    return float(np.sqrt(((np.array(a) - np.array(b)) ** 2).sum()))


def turned_about_third_column(r, angle):
    """r with its x and y columns turned by `angle` about its own z column."""
    c, s = math.cos(angle), math.sin(angle)
    return [[c * row[0] + s * row[1], -s * row[0] + c * row[1], row[2]] for row in r]


@pytest.mark.parametrize(
    "v3, near, expected, tol",
    [
        (D, None, (0.3, -0.2), 1e-12),
        (D, (1.1, -0.2), (A1, -0.2), 1e-6),
        (D, (0.3, -1.5), (0.3, B2), 1e-6),
        (D, (0.3, -0.2), (0.3, -0.2), 1e-12),
        # A NaN in `near` makes every comparison false: the first kept candidate.
        (D, (math.nan, 0.0), (A1, -0.2), 1e-6),
        # No wrap-around: plain differences of the angles.
        (D, (1.1 - 2 * math.pi, -0.2), (0.3, -0.2), 1e-12),
        (scaled(5.0, D), None, (0.3, -0.2), 1e-12),
        (scaled(5.0, D), (1.1, -0.2), (A1, -0.2), 1e-6),
        # The length bound is strict: a computed length of exactly 1e-12 passes.
        (scaled(1e-12, D), None, (0.3, -0.2), 1e-12),
        (scaled(1.3e154, D), None, (0.3, -0.2), 1e-12),
        # A length whose square overflows is scaled by a power of two first.
        (scaled(1.4e154, D), None, (0.3, -0.2), 1e-12),
    ],
)
def test_ik_from_direction_worked_choices(v3, near, expected, tol):
    got = LEFT.ik_from_direction(v3) if near is None else LEFT.ik_from_direction(v3, near=near)
    assert type(got) is tuple and len(got) == 2 and all(type(x) is float for x in got)
    assert got == pytest.approx(expected, abs=tol)
    assert LEFT.is_reachable_direction(v3) is True


def test_nearness_never_changes_existence():
    for near in [None, (0.0, 0.0), (100.0, -100.0), (math.nan, math.nan)]:
        assert LEFT.ik_from_direction(D, near) is not None


@pytest.mark.parametrize(
    "v3",
    [
        [0.0, 0.0, 0.0],
        scaled(9e-13, D),
        [1e-13, 0.0, 0.0],
        [0.0, 0.0, 1.0],
        [0.0, 0.0, -1.0],
        [1.0, 0.0, 0.0],
        [-1.0, 0.0, 0.0],
        [math.nan, 0.5, 0.5],
        [0.5, math.inf, 0.5],
        [-math.inf, 0.0, 0.0],
        scaled(-1.0, D),
    ],
)
def test_ik_from_direction_unreachable(v3):
    for near in (None, (0.3, -0.2)):
        with pytest.raises(RuntimeError) as info:
            LEFT.ik_from_direction(v3, near)
        assert str(info.value) == OUTSIDE
    assert LEFT.is_reachable_direction(v3) is False


def test_ik_worked_rotation():
    got = LEFT.ik(R)
    assert type(got) is tuple and len(got) == 2
    assert got == pytest.approx((0.3, -0.2), abs=1e-12)
    assert LEFT.is_reachable_orientation(R) is True


@pytest.mark.parametrize(
    "pair, lands_on_d, distance",
    [((A1, -0.2), True, 0.813), ((A1, B2), False, 0.747), ((0.3, -0.2), True, 0.0), ((0.3, B2), True, 1.399)],
)
def test_worked_candidates_seen_through_fk(pair, lands_on_d, distance):
    # The four pairs the generator lists for D: the second points at D's mirror
    # image; their frames lie at these Frobenius distances from R, so only the
    # third is within 1e-6 and ik returns it.
    gap = np.abs(np.array(LEFT.direction(*pair)) - np.array(D)).max()
    assert bool(gap < 1e-5) is lands_on_d
    assert frobenius(LEFT.fk(*pair), R) == pytest.approx(distance, abs=1e-3)


def perturbed(r, i, j, delta):
    out = [row[:] for row in r]
    out[i][j] += delta
    return out


@pytest.mark.parametrize(
    "target",
    [
        turned_about_third_column(R, 0.01),
        [[2.0 * x for x in row] for row in R],
        [list(col) for col in zip(*R)],
        [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]],
        perturbed(R, 1, 1, math.nan),
        perturbed(R, 0, 1, 1e-5),
        perturbed(R, 2, 0, -1e-5),
        [[0.0] * 3] * 3,
    ],
    ids=["turned-0.01", "doubled", "transposed", "identity", "nan", "x+1e-5", "y+1e-5", "zero"],
)
def test_ik_unreachable(target):
    with pytest.raises(RuntimeError) as info:
        LEFT.ik(target)
    assert str(info.value) == OUTSIDE
    assert LEFT.is_reachable_orientation(target) is False


def test_turned_rotation_keeps_a_reachable_direction():
    turned = turned_about_third_column(R, 0.01)
    assert LEFT.is_reachable_direction([row[2] for row in turned]) is True


@pytest.mark.parametrize("i, j, delta", [(0, 0, 1e-7), (1, 1, -1e-7), (2, 0, 1e-7), (0, 1, -1e-7)])
def test_ik_tolerates_small_changes_off_the_third_column(i, j, delta):
    assert LEFT.ik(perturbed(R, i, j, delta)) == pytest.approx((0.3, -0.2), abs=1e-12)


def test_ik_prefers_the_nearer_of_two_acceptable_frames():
    # Just off theta_a = -theta_b another pair's frame lies within 1e-6 too.
    for eps in (1e-8, -1e-8, 1e-7):
        target = LEFT.fk(1.0, -1.0 + eps)
        other = LEFT.ik_from_direction([row[2] for row in target], near=(1.3, -1.3))
        assert 0.0 < frobenius(LEFT.fk(*other), target) < 1e-6
        assert LEFT.ik(target) == pytest.approx((1.0, -1.0 + eps), abs=1e-12)


def tips(arm, theta_a, theta_b):
    """v_2 and v_4 from their definition: each input arm turned about its axis."""
    a, m = arm.arm_arc(), (-1.0 if arm.mirror() else 1.0)
    v_2 = [m * math.sin(a) * math.cos(theta_a), m * math.sin(a) * math.sin(theta_a), math.cos(a)]
    v_4 = [m * math.cos(a), -m * math.sin(a) * math.sin(theta_b), math.sin(a) * math.cos(theta_b)]
    return v_2, v_4


def clear_of_alignment(arm, theta_a, theta_b):
    """Whether neither input arm lines up with its coupler segment.

    When v_2 lies in the plane of v_1 and v_3 (or v_4 in that of v_5 and v_3)
    the two circles that place the tip touch: the solution's error grows like
    the rounding error over the distance from that pose, and within about 5e-8
    rad of it rounding can push the circles apart, so the direction reads as
    unreachable. Round trips are asserted away from those poses.
    """
    m = -1.0 if arm.mirror() else 1.0
    v_2, v_4 = tips(arm, theta_a, theta_b)
    v_3 = arm.direction(theta_a, theta_b)
    skew_a = np.dot([0.0, 0.0, 1.0], np.cross(v_2, v_3))
    skew_b = np.dot([m, 0.0, 0.0], np.cross(v_4, v_3))
    return min(abs(skew_a), abs(skew_b)) > 1e-6


# Round trips over both branches and both mirrors, wherever fk succeeds. On the
# line theta_a = -theta_b the loop is symmetric under a reflection that keeps
# v_3, and a second pair on that line has the same frame, so ik may return it.
@pytest.mark.parametrize("name", list(ARMS))
@settings(max_examples=200, deadline=None)
@given(theta_a=joint, theta_b=joint)
def test_ik_inverts_fk(name, theta_a, theta_b):
    arm = ARMS[name]
    assume(arm.is_reachable_joints(theta_a, theta_b))
    assume(clear_of_alignment(arm, theta_a, theta_b))
    r = arm.fk(theta_a, theta_b)
    got = arm.ik(r)
    assert frobenius(arm.fk(*got), r) < 1e-8
    if abs(theta_a + theta_b) > 1e-9:
        assert got == pytest.approx((theta_a, theta_b), abs=1e-8)


@pytest.mark.parametrize("name", list(ARMS))
@settings(max_examples=200, deadline=None)
@given(theta_a=joint, theta_b=joint, scale=st.floats(min_value=1e-3, max_value=1e3))
def test_ik_from_direction_near_the_pair_returns_it(name, theta_a, theta_b, scale):
    arm = ARMS[name]
    assume(arm.is_reachable_joints(theta_a, theta_b))
    assume(clear_of_alignment(arm, theta_a, theta_b))
    v3 = scaled(scale, arm.direction(theta_a, theta_b))
    assert arm.ik_from_direction(v3, near=(theta_a, theta_b)) == pytest.approx((theta_a, theta_b), abs=1e-8)
    # Without near, the pair returned still points at v3.
    other = arm.ik_from_direction(v3)
    assert np.abs(np.array(arm.direction(*other)) - np.array(v3) / scale).max() < 1e-8


def test_aligned_pose_loses_its_direction():
    # The right arm at theta_a = 0: arm A lines up with its coupler near
    # theta_b = 0.787488071441578; fk closes there, but the direction's tip-A
    # placement rounds to two circles apart. A step of 1e-4 away solves again.
    arm = ARMS["right"]
    theta_b = 0.7874880714415785
    assert arm.is_reachable_joints(0.0, theta_b)
    assert not clear_of_alignment(arm, 0.0, theta_b)
    assert arm.is_reachable_direction(arm.direction(0.0, theta_b)) is False
    assert arm.ik_from_direction(arm.direction(0.0, theta_b + 1e-4), near=(0.0, theta_b + 1e-4)) == pytest.approx(
        (0.0, theta_b + 1e-4), abs=1e-10
    )


direction = st.lists(st.floats(min_value=-2.0, max_value=2.0), min_size=3, max_size=3)


@pytest.mark.parametrize("name", list(ARMS))
@settings(max_examples=300, deadline=None)
@given(v3=direction, near=st.none() | st.tuples(joint, joint))
def test_ik_from_direction_raises_exactly_when_unreachable(name, v3, near):
    arm = ARMS[name]
    reachable = arm.is_reachable_direction(v3)
    assert type(reachable) is bool
    if reachable:
        got = arm.ik_from_direction(v3, near)
        n = math.sqrt(sum(x * x for x in v3))
        assert np.abs(np.array(arm.direction(*got)) - np.array(v3) / n).max() < 1e-6
    else:
        with pytest.raises(RuntimeError, match="^Target orientation is outside"):
            arm.ik_from_direction(v3, near)
