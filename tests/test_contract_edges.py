"""Promises held at the edges where they did not: one group per kind, from the reproducers."""
import math

import numpy as np
import pytest

import quorbel_torso as qt
from quorbel_torso_kinematics import QuorbelArmKinematics, QuorbelNeckKinematics

LEFT = qt.Arm.default_left()
NECK = qt.Neck()


@pytest.mark.parametrize("arm, target", [
    (qt.Arm(1.2, 0.6), [1.554168217801158, 1.925759277811824, -0.559957478595603]),
    (LEFT, [1.188309884209494, -1.06182894801175, 0.623652854309218])])
def test_a_target_ik_from_direction_solves_comes_back_as_it_is(arm, target):
    direction, joints = arm.nearest_reachable(target)
    np.testing.assert_array_equal(direction, np.array(target) / np.linalg.norm(target))
    np.testing.assert_array_equal(joints, arm.ik_from_direction(target))


@pytest.mark.parametrize("scale, exact", [(2.0**700, True), (1e200, False), (1e308, False)])
def test_a_huge_finite_direction_is_normalised(scale, exact):
    unit = LEFT.direction(0.3, -0.2)
    same = np.testing.assert_array_equal if exact else np.testing.assert_allclose
    same(LEFT.ik_from_direction(unit * scale), LEFT.ik_from_direction(unit))
    same(LEFT.ik_solutions(unit * scale), LEFT.ik_solutions(unit))
    same(LEFT.nearest_reachable(-unit * scale)[0], LEFT.nearest_reachable(-unit)[0])
    assert LEFT.kinematics().ik_from_direction(list(unit * scale)) == pytest.approx((0.3, -0.2))


@pytest.mark.parametrize("arm_arc", [1e-15, 1e-12, 1e-9, -1e-9, 1.4e-8, 2e-6, math.pi - 1e-9, math.pi])
def test_an_arm_of_a_tiny_ring_solves_what_it_reaches(arm_arc):
    arm = qt.Arm(arm_arc, 1.0)
    reached = arm.direction(*np.random.default_rng(1).uniform(-3, 3, (2, 500)))
    assert arm.reachable_direction(reached[~np.isnan(reached[:, 0])]).all()
    assert not np.isnan(arm.nearest_reachable([[0.0, 0.0, 1.0], [0.2, -0.9, 0.4]])[0]).any()


def test_the_neck_rates_refuse_the_gimbal_lock_ik_refuses():
    pitch = np.arcsin(1 - 1e-6) + np.arange(-3000, 3001) * 2.0**-52
    yaw, roll = np.random.default_rng(4).uniform(-4, 4, (2, pitch.size))
    joints = np.stack([np.append(yaw, 2.5061619136021793), np.append(pitch, 1.5693821131146914),
                       np.append(roll, 3.3020446182217738)], -1)
    locked = np.isnan(NECK.joint_rates(joints, [0.1, 0.2, 0.3])).all(axis=-1)
    np.testing.assert_array_equal(locked, np.isnan(NECK.ik(NECK.fk(joints))).all(axis=-1))
    assert 0 < locked.sum() < len(joints)


@pytest.mark.parametrize("bad", [math.nan, math.inf])
def test_a_non_finite_neck_angle_gives_nan_rates_and_no_reach(bad):
    for joints in ([bad, 0.2, 0.1], [0.3, bad, 0.1], [0.3, 0.2, bad]):
        assert np.isnan(NECK.joint_rates(joints, [0.1, 0.2, 0.3])).all()
    assert not NECK.reachable(np.full((3, 3), bad)).any()
    assert math.isnan(QuorbelNeckKinematics().ik([[math.nan] * 3] * 3)[1])  # per-call: IEEE


def test_singular_values_come_largest_first():
    a, b = np.random.default_rng(2).uniform(-3, 3, (2, 100000))
    s = LEFT.singular_values(np.append(a, 1.111805291372273), np.append(b, -1.1118052907031126))
    assert (s[:, 0] >= s[:, 1])[~np.isnan(s[:, 0])].all()


@pytest.mark.parametrize("damping", [1e200, 1e300, 1e-170, 1e-300])
def test_a_damping_too_large_or_small_to_square_still_damps(damping):
    rate = [0.1, -0.2, 0.3]
    np.testing.assert_array_equal(qt.Arm(0.0, 1.0).joint_rates(0.3, -0.2, rate, damping), [0, 0])
    np.testing.assert_array_equal(LEFT.joint_rates(0.3, -0.2, rate, min(damping, 1e-170)),
                                  LEFT.joint_rates(0.3, -0.2, rate))


@pytest.mark.parametrize("call, error, message", [
    (lambda: LEFT.fk(np.zeros((1,) * 33), 0.0), ValueError, "theta_a has 33 batch axes"),
    (lambda: LEFT.fk(np.broadcast_to(0.0, (2**31,)), np.broadcast_to(0.0, (2**33, 1))),
     ValueError, r"theta_a and theta_b broadcast to the batch shape .* too large"),
    (lambda: LEFT.joint_rates(0.3, -0.2, [1, 0, 0], damping=10**400), OverflowError,
     "damping: int too large"),
    (lambda: LEFT.fk([1, "2", None], 0), TypeError, "theta_a must hold real numbers")])
def test_array_argument_errors_say_what_is_wrong(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_python_integers_beyond_int64_are_read_as_the_per_call_module_reads_them():
    per_call = QuorbelArmKinematics.default_left()
    np.testing.assert_array_equal(LEFT.direction([10**20, 0.1], [0.1, 2**70]),
                                  [per_call.direction(10**20, 0.1), per_call.direction(0.1, 2**70)])
    assert LEFT.fk(np.zeros((1,) * 32), 0.0).shape == (1,) * 32 + (3, 3)
