"""Joint limits, angle-wise near and the nearest frame in quorbel_torso: the
limits as part of the arm's value, every answer within them and agreeing
with forward kinematics, wrap keeping answers next to near, and
ik_nearest_frame's joints, angles and reasons."""
import math
import pickle

import numpy as np
import pytest

from quorbel_torso import Arm

TURN = 2 * math.pi
LIMITS = ((0.1, 0.5), (-0.4, 0.0))


def within(joints, limits):
    (lower_a, upper_a), (lower_b, upper_b) = limits
    a, b = joints[..., 0], joints[..., 1]
    return (a >= lower_a) & (a <= upper_a) & (b >= lower_b) & (b <= upper_b)


@pytest.mark.parametrize("limits", [LIMITS, [[-1, 1], [np.float32(0.5), math.inf]]])
def test_limits_are_part_of_the_value(limits):
    arm = Arm(0.7, 0.5, True, "negative", limits=limits)
    assert eval(repr(arm), {"Arm": Arm}) == arm  # noqa: S307 (its own repr)
    again = pickle.loads(pickle.dumps(arm))
    assert again == arm and hash(again) == hash(arm)
    assert arm != Arm(0.7, 0.5, True, "negative")
    assert isinstance(arm.limits, tuple)
    assert all(isinstance(v, float) for pair in arm.limits for v in pair)
    with pytest.raises(AttributeError):
        arm._limits = None  # type: ignore[misc]
    with pytest.raises(ValueError, match="cannot hold joint limits"):
        arm.to_json()


@pytest.mark.parametrize("limits, error", [
    (((0.5, 0.1), (0.0, 1.0)), ValueError),
    (((math.nan, 0.1), (0.0, 1.0)), ValueError),
    (((0.0, 0.1),), TypeError),
    (((0.0, "1"), (0.0, 1.0)), TypeError),
    ((0.0, 1.0), TypeError),
])
def test_bad_limits_are_refused(limits, error):
    with pytest.raises(error):
        Arm(limits=limits)


def random_arms(rng, count):
    for _ in range(count):
        yield Arm(rng.uniform(0.3, 0.75), rng.uniform(0.3, 0.9), bool(rng.integers(2)),
                  "positive" if rng.integers(2) else "negative")


def test_answers_lie_within_the_limits_and_agree_with_fk():
    """Random arms, limits about random poses a whole turn away, and the
    poses' directions and frames: every answer lies within the limits, points
    where asked, and one exists for every pose that closes."""
    rng = np.random.default_rng(5)
    for free in random_arms(rng, 30):
        poses = rng.uniform(-math.pi, math.pi, (50, 2))
        directions = free.direction(poses[:, 0], poses[:, 1])
        frames = free.fk(poses[:, 0], poses[:, 1])
        closes = ~np.isnan(directions[:, 0])
        for pose, d, r in zip(poses[closes][:5], directions[closes], frames[closes]):
            limits = ((pose[0] + TURN - 0.1, pose[0] + TURN + 0.2),
                      (pose[1] - TURN - 0.3, pose[1] - TURN + 0.05))
            arm = Arm(free.arm_arc, free.coupler_arc, free.mirror, free.branch, limits)
            for joints in (arm.ik_from_direction(d), arm.ik(r), arm.nearest_reachable(d)[1],
                           arm.ik_nearest_frame(r)[0]):
                assert within(joints, limits)
                assert np.allclose(arm.direction(*joints), d, atol=1e-6)
            solutions = arm.ik_solutions(d)
            found = ~np.isnan(solutions[:, 0])
            assert within(solutions[found], limits).all() and found.any()


def test_nearest_reachable_within_limits_stays_within_them():
    arm = Arm(limits=LIMITS)
    targets = np.random.default_rng(2).normal(size=(200, 3))
    reached, joints = arm.nearest_reachable(targets)
    assert within(joints, LIMITS).all()
    assert np.allclose(arm.direction(joints[:, 0], joints[:, 1]), reached, atol=1e-6)
    # A target the free arm reaches but the limits do not is moved to a limit.
    free_reached, _ = Arm().nearest_reachable(targets)
    moved = np.linalg.norm(reached - free_reached, axis=-1) > 1e-6
    assert moved.sum() > 50


def test_wrap_follows_near_across_turns():
    """A joint that went around: near a few turns away, wrap=True answers
    next to it, wrap=False by plain distance in (-pi, pi]."""
    arm = Arm()
    rng = np.random.default_rng(8)
    poses = rng.uniform(-0.6, 0.6, (100, 2))
    directions = arm.direction(poses[:, 0], poses[:, 1])
    keep = ~np.isnan(directions[:, 0])
    turns = rng.integers(-3, 4, (keep.sum(), 2)) * TURN
    near = poses[keep] + turns + 1e-3
    wrapped = arm.ik_from_direction(directions[keep], near=near, wrap=True)
    assert np.allclose(wrapped, poses[keep] + turns, atol=1e-6)
    plain = arm.ik_from_direction(directions[keep], near=near)
    assert (np.abs(plain) <= math.pi).all()
    # Without limits and wrap, the arguments change nothing.
    assert np.array_equal(arm.ik_from_direction(directions, wrap=False),
                          arm.ik_from_direction(directions), equal_nan=True)


@pytest.mark.parametrize("measure", [
    lambda r: np.round(r, 6), lambda r: np.round(r, 5),
    lambda r: r.astype(np.float32).astype(np.float64),
    lambda r: r + np.random.default_rng(1).normal(scale=1e-7, size=r.shape),
], ids=["6 decimals", "5 decimals", "float32", "1e-7 noise"])
def test_nearest_frame_answers_measured_rotations(measure):
    """Every measured rotation gets the pose's joints back, to the
    measurement's size; exactly ik's joints where ik accepts it, else the
    reason says the roll is off (the direction stays reachable)."""
    arm = Arm()
    rng = np.random.default_rng(3)
    poses = rng.uniform(-0.5, 0.5, (300, 2))
    frames = arm.fk(poses[:, 0], poses[:, 1])
    keep = ~np.isnan(frames[:, 0, 0])
    measured = measure(frames[keep])
    joints, angles, reasons = arm.ik_nearest_frame(measured)
    assert np.allclose(joints, poses[keep], atol=1e-3) and (angles < 1e-4).all()
    exact = arm.ik(measured)
    accepted = ~np.isnan(exact[:, 0])
    assert np.array_equal(joints[accepted], exact[accepted]) and (reasons[accepted] == 0).all()
    assert set(reasons[~accepted].tolist()) <= {2}


def test_nearest_frame_says_why():
    arm = Arm()
    frame = arm.fk(0.3, -0.2)
    roll = np.array([[math.cos(0.2), -math.sin(0.2), 0], [math.sin(0.2), math.cos(0.2), 0],
                     [0, 0, 1]])
    _, angle, reason = arm.ik_nearest_frame(frame @ roll)
    assert reason == 2 and 0 < angle <= 0.2 + 1e-12
    away = np.diag([1.0, -1.0, -1.0])  # z = -Z, which the left arm never reaches
    joints, angle, reason = arm.ik_nearest_frame(away)
    assert reason == 1 and angle > 0.5 and not np.isnan(joints).any()
    _, angle, reason = arm.ik_nearest_frame(np.full((2, 3, 3), np.nan))
    assert np.isnan(angle).all() and (reason == -1).all()
