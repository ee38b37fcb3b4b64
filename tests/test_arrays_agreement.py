"""Every element of quorbel_torso's results is the per-call module's result
for the same doubles, bit for bit (NaN where the per-call method raises), and
every reachable_* element is the per-call predicate: over random poses,
reachable or not, NaN and infinities included, on both branches and mirrors;
and all of it on every SIMD path this machine runs (scalar, sse2, avx2 or
neon), batches long enough to fill the lanes and leave a tail."""
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorbel_torso as qt
from quorbel_torso import _kernels
from quorbel_torso_kinematics import QuorbelNeckKinematics


@pytest.fixture(scope="module", autouse=True, params=_kernels.available_simd())
def simd_path(request):
    """Every test of this module once per SIMD path; the default afterwards."""
    default = _kernels.simd()
    _kernels.use_simd(request.param)
    yield request.param
    _kernels.use_simd(default)


SPECIAL = [math.nan, math.inf, -math.inf, 0.0, -0.0, 1e300, 5e-324]
angles = st.one_of(st.floats(-4.0, 4.0), st.sampled_from(SPECIAL))
coordinates = st.one_of(st.floats(-1.5, 1.5), st.sampled_from(SPECIAL))
arcs = st.one_of(st.sampled_from([0.7, 0.5]), st.floats(0.05, 3.1))
arms = st.builds(qt.Arm, arm_arc=arcs, coupler_arc=arcs, mirror=st.booleans(),
                 branch=st.sampled_from(["positive", "negative"]))
joint_pairs = st.lists(st.tuples(angles, angles), min_size=1, max_size=11)
vectors = st.lists(st.tuples(coordinates, coordinates, coordinates), min_size=1, max_size=11)
rows = st.tuples(coordinates, coordinates, coordinates)
matrices = st.lists(st.tuples(rows, rows, rows), min_size=1, max_size=11)


def per_call(method, *args, shape):
    """The per-call result as float64, NaN of `shape` where it raises."""
    try:
        return np.array(method(*args), dtype=np.float64)
    except (RuntimeError, ValueError):
        return np.full(shape, np.nan)


def on_scalar_path(method, *args):
    """method(*args) through the per-pose core functions: for the methods the
    per-call module does not have (the Jacobians, singular values)."""
    current = _kernels.simd()
    _kernels.use_simd("scalar")
    try:
        return method(*args)
    finally:
        _kernels.use_simd(current)


def assert_same_doubles(got, expected):
    assert type(got) is np.ndarray and got.dtype == np.float64 and got.shape == expected.shape
    nan = np.isnan(expected)
    assert np.array_equal(np.isnan(got), nan)
    assert np.array_equal(got[~nan], expected[~nan])
    assert np.array_equal(np.signbit(got[~nan]), np.signbit(expected[~nan]))


def assert_same_flags(got, expected):
    assert type(got) is np.ndarray and got.dtype == np.bool_
    assert got.tolist() == expected


def reachable_directions(arm, pairs):
    """Directions the arm reaches (from its own fk), so that the inverse
    kinematics is tested where it has solutions as well as where not."""
    pointing = arm.direction(*np.array(pairs).T)
    return [tuple(v) for v in pointing if not np.isnan(v).any()]


@settings(max_examples=150, deadline=None)
@given(arm=arms, pairs=joint_pairs)
def test_joint_methods(arm, pairs):
    kinematics = arm.kinematics()
    theta_a, theta_b = np.array(pairs).T
    assert_same_doubles(arm.fk(theta_a, theta_b),
                        np.array([per_call(kinematics.fk, a, b, shape=(3, 3)) for a, b in pairs]))
    assert_same_doubles(arm.direction(theta_a, theta_b),
                        np.array([per_call(kinematics.direction, a, b, shape=3)
                                  for a, b in pairs]))
    assert_same_flags(arm.reachable_joints(theta_a, theta_b),
                      [kinematics.is_reachable_joints(a, b) for a, b in pairs])
    for method in (arm.direction_jacobian, arm.singular_values):
        assert_same_doubles(method(theta_a, theta_b), on_scalar_path(method, theta_a, theta_b))
    rates = np.resize(np.array(pairs + [(0.5, -1.0)]).ravel(), (len(pairs), 3))
    for damping in (0.0, 0.05, 1e-170, 1e170):
        assert_same_doubles(arm.joint_rates(theta_a, theta_b, rates, damping),
                            on_scalar_path(arm.joint_rates, theta_a, theta_b, rates, damping))


@settings(max_examples=150, deadline=None)
@given(arm=arms, pairs=joint_pairs, others=vectors, near=joint_pairs)
def test_direction_methods(arm, pairs, others, near):
    kinematics = arm.kinematics()
    directions = (reachable_directions(arm, pairs) + others)[:6]
    near = (near * 6)[:len(directions)]
    assert_same_doubles(arm.ik_from_direction(directions),
                        np.array([per_call(kinematics.ik_from_direction, list(v), shape=2)
                                  for v in directions]))
    assert_same_doubles(arm.ik_from_direction(directions, near=near),
                        np.array([per_call(kinematics.ik_from_direction, list(v), n, shape=2)
                                  for v, n in zip(directions, near)]))
    reachable = [kinematics.is_reachable_direction(list(v)) for v in directions]
    assert_same_flags(arm.reachable_direction(directions), reachable)

    # Each filled slot is a solution the per-call method accepts (asked with
    # near at the slot itself, it returns the slot's doubles); some slot is
    # filled exactly where the direction is reachable; without near the
    # per-call method returns the filled slot of smallest norm, the first on ties.
    for v, solutions, can in zip(directions, arm.ik_solutions(directions), reachable):
        empty = np.isnan(solutions)
        assert np.array_equal(empty.all(axis=1), empty.any(axis=1))
        filled = [tuple(s) for s in solutions[~empty.any(axis=1)]]
        assert bool(filled) == can
        for slot in filled:
            assert kinematics.ik_from_direction(list(v), near=slot) == slot
        if filled:
            smallest = min(filled, key=lambda s: s[0] * s[0] + s[1] * s[1])
            assert kinematics.ik_from_direction(list(v)) == smallest


@settings(max_examples=150, deadline=None)
@given(arm=arms, pairs=joint_pairs, others=matrices, roll=st.floats(-0.1, 0.1))
def test_rotation_methods(arm, pairs, others, roll):
    kinematics = arm.kinematics()
    reached = [r for r in arm.fk(*np.array(pairs).T) if not np.isnan(r).any()]
    # A reached rotation turned about its own direction: reachable only for a tiny roll.
    turned = [r @ np.array([[math.cos(roll), -math.sin(roll), 0],
                            [math.sin(roll), math.cos(roll), 0], [0, 0, 1]]) for r in reached]
    targets = np.array([*reached, *turned, *others])
    assert_same_doubles(arm.ik(targets), np.array([per_call(kinematics.ik, r.tolist(), shape=2)
                                                   for r in targets]))
    assert_same_flags(arm.reachable_orientation(targets),
                      [kinematics.is_reachable_orientation(r.tolist()) for r in targets])


@settings(max_examples=150, deadline=None)
@given(joints=vectors, others=matrices, locked=st.sampled_from([1.0, -1.0, 0.9999995]))
def test_neck_methods(joints, others, locked):
    neck, kinematics = qt.Neck(), QuorbelNeckKinematics()
    assert_same_doubles(neck.fk(joints), np.array([kinematics.fk(list(j)) for j in joints]))
    # Pitches next to gimbal lock as well (1 - |sin pitch| = 1e-6 there).
    edge = math.asin(1.0 - 1e-6)
    near_lock = [(y, s * np.nextafter(edge, 2.0 * edge * k), r)
                 for (y, _, r), s, k in zip(joints, (1.0, -1.0) * 6, (0, 1, 0.9, 2) * 3)]
    angles = np.array(joints + near_lock)
    omega = np.resize(np.array(joints).ravel()[::-1], angles.shape)
    assert_same_doubles(neck.angular_jacobian(angles), on_scalar_path(neck.angular_jacobian, angles))
    assert_same_doubles(neck.joint_rates(angles, omega),
                        on_scalar_path(neck.joint_rates, angles, omega))
    gimbal = [[0.0, 0.0, 0.0], [0.0, 0.0, 0.0], [locked, 0.0, 0.0]]
    targets = np.array([*neck.fk(joints), gimbal, *others])
    assert_same_doubles(neck.ik(targets), np.array([per_call(kinematics.ik, r.tolist(), shape=3)
                                                    for r in targets]))
    # Reachable where the per-call ik returns angles and none is NaN (it
    # keeps IEEE arithmetic for a NaN entry rather than raising).
    assert_same_flags(neck.reachable(targets),
                      [not np.isnan(per_call(kinematics.ik, r.tolist(), shape=3)).any()
                       for r in targets])


real_dtypes = (hnp.boolean_dtypes() | hnp.integer_dtypes() | hnp.unsigned_integer_dtypes()
               | hnp.floating_dtypes())


@settings(max_examples=100, deadline=None)
@given(arm=arms, theta_a=real_dtypes.flatmap(lambda dtype: hnp.arrays(dtype, 4)))
def test_any_real_dtype_is_read_as_the_python_float_of_each_value(arm, theta_a):
    kinematics = arm.kinematics()
    expected = np.array([per_call(kinematics.fk, float(a), 0.1, shape=(3, 3)) for a in theta_a])
    assert_same_doubles(arm.fk(theta_a, 0.1), expected)


def closing_limit_pairs(arm, count, seed):
    """Joint pairs within a few ulps of where the arm's loop stops closing
    (found by bisection on theta_b with the per-call predicate), both sides."""
    kinematics, rng = arm.kinematics(), np.random.default_rng(seed)
    pairs = []
    while len(pairs) < count:
        a, inside, outside = rng.uniform(-math.pi, math.pi), 0.0, math.pi
        if not kinematics.is_reachable_joints(a, inside) or kinematics.is_reachable_joints(a, outside):
            continue
        for _ in range(80):
            middle = 0.5 * (inside + outside)
            if kinematics.is_reachable_joints(a, middle):
                inside = middle
            else:
                outside = middle
        pairs += [(a, b) for b in np.nextafter(inside, [-9.0, 9.0]).tolist() + [inside, outside]]
    return np.array(pairs)


@pytest.mark.parametrize("mirror", [False, True])
@pytest.mark.parametrize("branch", ["positive", "negative"])
def test_poses_next_to_the_closing_limit_and_gimbal_lock(mirror, branch):
    arm = qt.Arm(mirror=mirror, branch=branch)
    kinematics = arm.kinematics()
    pairs = closing_limit_pairs(arm, 64, seed=hash((mirror, branch)) % 1000)
    assert_same_doubles(arm.fk(*pairs.T),
                        np.array([per_call(kinematics.fk, a, b, shape=(3, 3)) for a, b in pairs]))
    assert_same_doubles(arm.direction(*pairs.T),
                        np.array([per_call(kinematics.direction, a, b, shape=3) for a, b in pairs]))
    assert_same_flags(arm.reachable_joints(*pairs.T),
                      [kinematics.is_reachable_joints(a, b) for a, b in pairs])
    # Rotations whose R[2][0] lies a few ulps either side of the gimbal-lock margin.
    neck, neck_kinematics = qt.Neck(), QuorbelNeckKinematics()
    rotations = np.repeat(neck.fk([[0.3, 0.2, -0.4]]), 40, axis=0)
    edge = 1.0 - 1e-6
    rotations[:, 2, 0] = [s * (edge + k * np.spacing(edge)) for s in (1.0, -1.0)
                          for k in range(-10, 10)]
    rotations[::7, 2, 0] = np.array([1.0 - 1e-6, -1.0, 1.0, math.nan, 0.0, -0.0])[:len(rotations[::7])]
    assert_same_doubles(neck.ik(rotations),
                        np.array([per_call(neck_kinematics.ik, r.tolist(), shape=3)
                                  for r in rotations]))
