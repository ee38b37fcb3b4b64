"""Velocity kinematics and the nearest reachable direction over arrays, at the
package's surface: the Jacobians against central differences of the
package's own direction and fk, joint_rates as the damped least-squares
solution, the neck's rates against its Jacobian, nearest_reachable against
reachability and a brute-force search, and NaN where a value does not exist."""
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorbel_torso as qt

STEP = 1e-6
RELATIVE = 1e-7
# Poses where the direction moves at most this fast (radians per radian):
# away from the closing limit, where the rates grow without bound and
# central differences lose their digits.
FAST = 3.0
# ... and at least this fast: away from poses where both arms are nearly in
# line and the direction hardly moves, where the differences' own rounding
# (about 1e-16 / STEP) is no longer small beside the rates.
SLOW = 0.05

# arm_arc below pi/4, where the tips' rings would touch and the loop degenerate.
arms = st.builds(qt.Arm, arm_arc=st.floats(0.5, 0.75), coupler_arc=st.floats(0.4, 0.8),
                 mirror=st.booleans(), branch=st.sampled_from(["positive", "negative"]))
seeds = st.integers(0, 2**32 - 1)


def smooth_poses(arm, seed, count=4000):
    """Random joint pairs whose every neighbour at STEP closes the loop, away
    from the singular poses."""
    a, b = np.random.default_rng(seed).uniform(-np.pi, np.pi, (2, count))
    largest = arm.singular_values(a, b)[:, 0]
    keep = (largest < FAST) & (largest > SLOW)
    for da, db in ((STEP, 0), (-STEP, 0), (0, STEP), (0, -STEP)):
        keep &= arm.reachable_joints(a + da, b + db)
    return a[keep], b[keep]


def angular_velocity(plus, minus, rotation):
    """omega with dR = [omega]x R, dR from central differences."""
    w = (plus - minus) / (2 * STEP) @ np.swapaxes(rotation, -1, -2)
    return 0.5 * np.stack([w[..., 2, 1] - w[..., 1, 2], w[..., 0, 2] - w[..., 2, 0],
                           w[..., 1, 0] - w[..., 0, 1]], axis=-1)


def assert_relative(got, expected, tolerance):
    error = np.linalg.norm(got - expected, axis=(-2, -1))
    scale = np.linalg.norm(expected, axis=(-2, -1))
    assert not np.isnan(got).any() and (error <= tolerance * scale).all(), \
        f"worst relative error {np.max(error / scale):.2e}"


@settings(max_examples=40, deadline=None)
@given(arm=arms, seed=seeds)
def test_arm_jacobians_are_the_derivatives_of_direction_and_fk(arm, seed):
    a, b = smooth_poses(arm, seed)
    assert a.size > 50  # about 250 for the shortest arcs drawn
    direction_rates = np.stack([
        (arm.direction(a + STEP, b) - arm.direction(a - STEP, b)) / (2 * STEP),
        (arm.direction(a, b + STEP) - arm.direction(a, b - STEP)) / (2 * STEP)], axis=-1)
    assert_relative(arm.direction_jacobian(a, b), direction_rates, RELATIVE)
    frame = arm.fk(a, b)
    frame_rates = np.stack([
        angular_velocity(arm.fk(a + STEP, b), arm.fk(a - STEP, b), frame),
        angular_velocity(arm.fk(a, b + STEP), arm.fk(a, b - STEP), frame)], axis=-1)
    assert_relative(arm.angular_jacobian(a, b), frame_rates, RELATIVE)
    # The singular values are those of the direction Jacobian.
    np.testing.assert_allclose(arm.singular_values(a, b),
                               np.linalg.svd(arm.direction_jacobian(a, b), compute_uv=False),
                               rtol=1e-12, atol=1e-12)


@settings(max_examples=20, deadline=None)
@given(seed=seeds)
def test_neck_jacobian_and_joint_rates(seed):
    rng = np.random.default_rng(seed)
    joints = rng.uniform([-np.pi, -1.5, -np.pi], [np.pi, 1.5, np.pi], (500, 3))
    neck = qt.Neck()
    frame = neck.fk(joints)
    unit = np.eye(3) * STEP
    frame_rates = np.stack([angular_velocity(neck.fk(joints + e), neck.fk(joints - e), frame)
                            for e in unit], axis=-1)
    jacobian = neck.angular_jacobian(joints)
    assert_relative(jacobian, frame_rates, RELATIVE)
    omega = rng.normal(size=(500, 3))
    rates = neck.joint_rates(joints, omega)
    np.testing.assert_allclose(np.einsum("nij,nj->ni", jacobian, rates), omega,
                               rtol=0, atol=1e-12 * np.abs(rates).max())


@settings(max_examples=40, deadline=None)
@given(arm=arms, seed=seeds, damping=st.just(0.0) | st.floats(1e-4, 2.0))
def test_joint_rates_solve_the_damped_normal_equations(arm, seed, damping):
    """q minimises |J q - r|^2 + damping^2 |q|^2 exactly where
    J^T (J q - r) + damping^2 q = 0."""
    rng = np.random.default_rng(seed)
    a, b = rng.uniform(-np.pi, np.pi, (2, 2000))
    rate = rng.normal(size=(2000, 3))
    q = arm.joint_rates(a, b, rate, damping=damping)
    jacobian = arm.direction_jacobian(a, b)
    exists = ~np.isnan(jacobian).any(axis=(-2, -1))
    assert exists.any() and np.array_equal(~np.isnan(q).any(axis=-1), exists)
    jacobian, q, rate = jacobian[exists], q[exists], rate[exists]
    miss = np.einsum("nij,nj->ni", jacobian, q) - rate
    gradient = np.einsum("nji,nj->ni", jacobian, miss) + damping**2 * q
    size = np.linalg.norm(jacobian, axis=(-2, -1))
    q_size, rate_size = np.linalg.norm(q, axis=-1), np.linalg.norm(rate, axis=-1)
    scale = size * (size * q_size + rate_size) + damping**2 * q_size
    assert (np.linalg.norm(gradient, axis=-1) <= 1e-12 * scale).all()


def angle(u, v):
    return np.arctan2(np.linalg.norm(np.cross(u, v), axis=-1), np.sum(u * v, axis=-1))


# The mechanism as built (the method assumes arm_arc < pi/4): both branches and mirrors.
BUILT_ARMS = [qt.Arm(0.7, 0.5, mirror, branch) for mirror in (False, True)
              for branch in ("positive", "negative")]


@settings(max_examples=20, deadline=None)
@given(arm=st.sampled_from(BUILT_ARMS), seed=seeds)
def test_nearest_reachable_is_reachable_and_the_target_when_it_can_be(arm, seed):
    rng = np.random.default_rng(seed)
    # Random targets of any length, and directions the arm reaches.
    a, b = rng.uniform(-np.pi, np.pi, (2, 300))
    reached = arm.direction(a, b)
    targets = np.concatenate([rng.normal(size=(300, 3)) * rng.uniform(0.01, 100, (300, 1)),
                              reached[~np.isnan(reached[:, 0])]])
    near = rng.uniform(-np.pi, np.pi, (len(targets), 2))
    directions, joints = arm.nearest_reachable(targets, near=near)
    assert arm.reachable_direction(directions).all()
    np.testing.assert_allclose(np.linalg.norm(directions, axis=-1), 1.0, rtol=0, atol=1e-15)
    np.testing.assert_array_equal(joints, arm.ik_from_direction(directions, near=near))
    can = arm.reachable_direction(targets)
    assert can[300:].all()
    unit = targets / np.linalg.norm(targets, axis=-1, keepdims=True)
    np.testing.assert_allclose(directions[can], unit[can], rtol=0, atol=1e-15)


GRID_STEP = 0.01


def brute_force_angle(arm, target):
    """The smallest angle from `target` over a joint grid of GRID_STEP,
    refined about its 16 best pairs by ever finer local grids. Only reached
    directions count, so this is never nearer than the workspace's nearest
    point (it stalls at the closing limit, where a joint step moves the
    direction like its square root)."""
    grid = np.arange(-np.pi, np.pi, GRID_STEP)
    theta = np.stack(np.meshgrid(grid, grid, indexing="ij"), axis=-1).reshape(-1, 2)
    found = np.nan_to_num(angle(arm.direction(theta[:, 0], theta[:, 1]), target), nan=np.inf)
    best = theta[np.argsort(found)[:16]]
    offsets = np.stack(np.meshgrid(*[np.arange(-3, 4)] * 2, indexing="ij"), -1).reshape(-1, 2)
    step = GRID_STEP
    for _ in range(12):
        step /= 4
        tried = best[:, None, :] + np.concatenate([[[0, 0]], offsets * step])
        found = np.nan_to_num(angle(arm.direction(tried[..., 0], tried[..., 1]), target),
                              nan=np.inf)
        best = tried[np.arange(len(tried)), found.argmin(axis=1)]
    return np.nanmin(angle(arm.direction(best[:, 0], best[:, 1]), target))


# Unreachable targets: far from the workspace, just outside it, and toward
# the other arm's side; answers on rims, at corners of two rims, on the
# closing limit and where a rim meets it (the last two rows).
SEARCH_CASES = [(arm, target) for arm in BUILT_ARMS for target in (
    (0.0, 0.0, 1.0), (1.0, -1.0, 0.2), (-0.3, 0.9, -0.4))] + [
    (BUILT_ARMS[0], (0.3765, -0.3108, -0.8727)), (BUILT_ARMS[0], (0.1876, -0.6256, 0.7572))]


@pytest.mark.parametrize("arm, target", SEARCH_CASES)
def test_nearest_reachable_is_never_further_than_a_brute_force_search(arm, target):
    u = np.array(target) / np.linalg.norm(target)
    assert not arm.reachable_direction(u)
    direction, _ = arm.nearest_reachable(u)
    assert angle(direction, u) <= brute_force_angle(arm, u) + 1e-9


ARM = qt.Arm.default_left()
OPEN = (math.pi, 0.0)  # joints where the loop does not close
NAN = math.nan
# A call, and which elements of its result must be NaN.
MISSING = [
    (lambda: ARM.direction_jacobian(*OPEN), np.ones((3, 2), bool)),
    (lambda: ARM.angular_jacobian(NAN, 0.0), np.ones((3, 2), bool)),
    (lambda: ARM.singular_values([0.3, OPEN[0]], [-0.2, OPEN[1]]), [[False] * 2, [True] * 2]),
    (lambda: ARM.joint_rates(*OPEN, [1.0, 0.0, 0.0]), [True, True]),
    (lambda: ARM.joint_rates(0.3, -0.2, [NAN, 0.0, 0.0], damping=0.1), [True, True]),
    (lambda: np.concatenate(ARM.nearest_reachable([0.0, 0.0, 0.0])), [True] * 5),
    (lambda: np.concatenate(ARM.nearest_reachable([1e-13, 0.0, 0.0])), [True] * 5),
    (lambda: np.concatenate(ARM.nearest_reachable([math.inf, 0.0, 1.0])), [True] * 5),
    (lambda: np.concatenate(ARM.nearest_reachable([0.0, NAN, 1.0], near=(0.3, -0.2))),
     [True] * 5),
    (lambda: np.concatenate(ARM.nearest_reachable([0.0, 0.0, 1.0], near=(NAN, 0.0))),
     [False] * 5),
    (lambda: qt.Neck().joint_rates([[0.3, math.pi / 2, 1.1], [0.3, 0.2, 1.1]], [1.0, 2.0, 3.0]),
     [[True] * 3, [False] * 3]),
    (lambda: qt.Neck().angular_jacobian([0.3, NAN, 1.1]),
     [[False, False, True], [False, False, True], [False, False, True]]),
]


@pytest.mark.parametrize("call, missing", MISSING)
def test_nan_where_the_value_does_not_exist(call, missing):
    np.testing.assert_array_equal(np.isnan(call()), missing)
