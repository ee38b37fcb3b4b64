"""quorbel_torso's arguments: result shapes and kinds, NumPy broadcasting,
any memory layout, and the errors for wrong shapes, dtypes and kinds; the
private kernels refuse what the package never passes them, without crashing."""
import math

import numpy as np
import pytest

import quorbel_torso as qt
from quorbel_torso import _kernels

ARM = qt.Arm.default_left()
NECK = qt.Neck()
R = ARM.fk(0.3, -0.2)
V = ARM.direction(0.3, -0.2)

# call, result shape, result dtype
SHAPES = [
    (lambda: ARM.fk(0.3, -0.2), (3, 3), np.float64),
    (lambda: ARM.fk([0.3], -0.2), (1, 3, 3), np.float64),
    (lambda: ARM.fk(np.zeros((2, 1)), np.zeros(4)), (2, 4, 3, 3), np.float64),
    (lambda: ARM.direction(np.zeros(0), 0.0), (0, 3), np.float64),
    (lambda: ARM.reachable_joints(0.3, -0.2), (), np.bool_),
    (lambda: ARM.ik_from_direction(V), (2,), np.float64),
    (lambda: ARM.ik_from_direction(np.zeros((4, 3))), (4, 2), np.float64),
    (lambda: ARM.ik_from_direction(V, near=np.zeros((5, 2))), (5, 2), np.float64),
    (lambda: ARM.reachable_direction(np.zeros((2, 0, 3))), (2, 0), np.bool_),
    (lambda: ARM.ik_solutions(V), (4, 2), np.float64),
    (lambda: ARM.ik_solutions(np.zeros((2, 3))), (2, 4, 2), np.float64),
    (lambda: ARM.ik(R), (2,), np.float64),
    (lambda: ARM.reachable_orientation(np.zeros((2, 2, 3, 3))), (2, 2), np.bool_),
    (lambda: NECK.fk([0.3, -0.7, 1.1]), (3, 3), np.float64),
    (lambda: NECK.ik(np.zeros((4, 3, 3))), (4, 3), np.float64),
    (lambda: NECK.reachable(np.eye(3)), (), np.bool_),
    (lambda: ARM.direction_jacobian(0.3, -0.2), (3, 2), np.float64),
    (lambda: ARM.angular_jacobian(np.zeros((2, 1)), np.zeros(4)), (2, 4, 3, 2), np.float64),
    (lambda: ARM.singular_values([0.3], -0.2), (1, 2), np.float64),
    (lambda: ARM.joint_rates(np.zeros(4), 0.0, np.zeros((2, 1, 3))), (2, 4, 2), np.float64),
    (lambda: ARM.joint_rates(0.3, -0.2, V, damping=np.float32(0.1)), (2,), np.float64),
    (lambda: ARM.nearest_reachable(V)[0], (3,), np.float64),
    (lambda: ARM.nearest_reachable(V, near=np.zeros((5, 2)))[1], (5, 2), np.float64),
    (lambda: NECK.angular_jacobian(np.zeros((0, 3))), (0, 3, 3), np.float64),
    (lambda: NECK.joint_rates([0.3, -0.7, 1.1], np.zeros((4, 3))), (4, 3), np.float64),
]


@pytest.mark.parametrize("call, shape, dtype", SHAPES)
def test_result_shape_and_kind(call, shape, dtype):
    result = call()
    assert type(result) is np.ndarray and result.shape == shape and result.dtype == dtype
    assert result.flags.c_contiguous and result.flags.writeable and result.flags.owndata


# Broadcast calls and the single-pose call that each element must equal.
BROADCASTS = [
    (lambda a, b: ARM.fk(a[:, None], b[None, :]), lambda a, b, i, j: ARM.fk(a[i], b[j])),
    (lambda a, b: ARM.reachable_joints(a[:, None], b),
     lambda a, b, i, j: ARM.reachable_joints(a[i], b[j])),
    (lambda a, b: ARM.ik_from_direction(ARM.direction(a, b)[:, None], near=np.stack([a, b], 1)),
     lambda a, b, i, j: ARM.ik_from_direction(ARM.direction(a[i], b[i]), near=(a[j], b[j]))),
    (lambda a, b: ARM.direction_jacobian(a[:, None], b[None, :]),
     lambda a, b, i, j: ARM.direction_jacobian(a[i], b[j])),
    (lambda a, b: ARM.joint_rates(a[:, None], b[:, None], np.stack([a, b, a], 1), damping=0.5),
     lambda a, b, i, j: ARM.joint_rates(a[i], b[i], [a[j], b[j], a[j]], damping=0.5)),
    (lambda a, b: ARM.nearest_reachable(np.stack([a, b, b], 1)[:, None],
                                        near=np.stack([a, b], 1))[1],
     lambda a, b, i, j: ARM.nearest_reachable([a[i], b[i], b[i]], near=(a[j], b[j]))[1]),
    (lambda a, b: NECK.joint_rates(np.stack([a, b, a], 1)[:, None], np.stack([b, a, b], 1)),
     lambda a, b, i, j: NECK.joint_rates([a[i], b[i], a[i]], [b[j], a[j], b[j]])),
]


@pytest.mark.parametrize("broadcast, single", BROADCASTS)
def test_broadcasting_pairs_every_element(broadcast, single):
    a, b = np.array([0.3, 0.5, 2.0]), np.array([-0.2, 0.1, 0.4])
    result = broadcast(a, b)
    for i in range(3):
        for j in range(3):
            np.testing.assert_array_equal(result[i, j], single(a, b, i, j))


def misaligned(x):
    """A C-contiguous float64 copy of x one byte into its memory, as
    np.frombuffer or np.memmap give at an odd offset."""
    memory = np.zeros(x.nbytes + 1, dtype=np.uint8)
    view = memory[1:].view(np.float64).reshape(x.shape)
    view[...] = x
    assert view.flags.c_contiguous and not view.flags.aligned
    return view


# Views and byte orders the kernels never see as such: each is made
# contiguous, aligned native float64 first, with the same values.
LAYOUTS = [
    lambda x: np.ascontiguousarray(x[::-1])[::-1],
    misaligned,
    lambda x: np.repeat(x, 2, axis=0)[::2],
    lambda x: x.astype(">f8"),
    lambda x: np.asfortranarray(x),
    lambda x: x.tolist(),
]


@pytest.mark.parametrize("layout", LAYOUTS)
def test_any_layout_gives_the_same_results(layout):
    theta = np.array([[0.3, -0.2], [0.5, 0.1], [3.0, 0.0]])
    rotations = ARM.fk(theta[:, 0], theta[:, 1])  # strided columns
    np.testing.assert_array_equal(rotations, [ARM.fk(a, b) for a, b in theta])
    np.testing.assert_array_equal(ARM.ik(layout(rotations)), ARM.ik(rotations))
    np.testing.assert_array_equal(NECK.ik(layout(rotations)), NECK.ik(rotations))


ERRORS = [
    (lambda: ARM.fk("a", 0), TypeError, "theta_a must hold real numbers, not <U1"),
    (lambda: ARM.fk(0, 1j), TypeError, "theta_b must hold real numbers, not complex128"),
    (lambda: ARM.direction(None, 0), TypeError, "theta_a must hold real numbers, not object"),
    (lambda: ARM.fk([1, 2], [1, 2, 3]), ValueError,
     r"theta_a and theta_b do not broadcast together: shapes theta_a \(2,\), theta_b \(3,\)"),
    (lambda: ARM.ik_from_direction([1, 2]), ValueError,
     r"v3 must have shape \(\.\.\., 3\), not \(2,\)"),
    (lambda: ARM.ik_from_direction(V, near=[1, 2, 3]), ValueError,
     r"near must have shape \(\.\.\., 2\), not \(3,\)"),
    (lambda: ARM.ik_from_direction(np.zeros((2, 3)), near=np.zeros((3, 2))), ValueError,
     r"v3 and near do not broadcast together: shapes v3 \(2, 3\), near \(3, 2\)"),
    (lambda: ARM.ik_from_direction(V, near=(1, "x")), TypeError, "near must hold real numbers"),
    (lambda: ARM.reachable_direction(np.datetime64("2020")), TypeError,
     "v3 must hold real numbers, not datetime64"),
    (lambda: ARM.ik_solutions(3.0), ValueError, r"v3 must have shape \(\.\.\., 3\), not \(\)"),
    (lambda: ARM.ik(np.eye(4)), ValueError,
     r"r_target must have shape \(\.\.\., 3, 3\), not \(4, 4\)"),
    (lambda: ARM.ik([[1, 0, 0], [0, 1]]), ValueError, "r_target cannot be read as an array"),
    (lambda: ARM.reachable_orientation(np.array([[1, 0, 0], [0, 1, 0], [0, 0, "1"]], object)),
     TypeError, "r_target must hold real numbers, not object"),
    (lambda: ARM.ik([[2**70, 0, "0"]] * 3), TypeError, "r_target must hold real numbers, not object"),
    (lambda: NECK.fk([1, 2]), ValueError, r"joints must have shape \(\.\.\., 3\), not \(2,\)"),
    (lambda: NECK.ik(np.eye(3) + 0j), TypeError, "r must hold real numbers, not complex128"),
    (lambda: NECK.reachable("abc"), TypeError, "r must hold real numbers, not <U3"),
    (lambda: ARM.joint_rates(0.3, -0.2, [1, 0], damping=-1), ValueError,
     r"direction_rate must have shape \(\.\.\., 3\), not \(2,\)"),
    (lambda: ARM.joint_rates(0.3, -0.2, V, damping=-0.1), ValueError,
     "damping must be finite and >= 0, not -0.1"),
    (lambda: ARM.joint_rates(0.3, -0.2, V, damping=math.nan), ValueError,
     "damping must be finite and >= 0, not nan"),
    (lambda: ARM.joint_rates(0.3, -0.2, V, damping=math.inf), ValueError,
     "damping must be finite and >= 0, not inf"),
    (lambda: ARM.joint_rates(0.3, -0.2, V, damping=[0.1, 0.2]), ValueError,
     r"damping must be a scalar, not an array of shape \(2,\)"),
    (lambda: ARM.joint_rates(0.3, -0.2, V, damping="0.1"), TypeError,
     "damping must hold real numbers, not <U3"),
    (lambda: ARM.nearest_reachable(V, near=[[1, 2, 3]]), ValueError,
     r"near must have shape \(\.\.\., 2\), not \(1, 3\)"),
    (lambda: NECK.joint_rates([0, 0, 0], np.zeros((2, 2))), ValueError,
     r"omega must have shape \(\.\.\., 3\), not \(2, 2\)"),
    (lambda: NECK.angular_jacobian(1j), TypeError, "joints must hold real numbers"),
]


@pytest.mark.parametrize("call, error, message", ERRORS)
def test_argument_errors_name_the_argument(call, error, message):
    with pytest.raises(error, match=message):
        call()


GEOMETRY = (0.7, 0.5, False, "positive")
ONE = np.zeros(1)
KERNEL_MISUSES = [
    (lambda: _kernels.arm_fk(*GEOMETRY, ONE, ONE), TypeError,
     r"arm_fk\(\) takes exactly 7 arguments \(6 given\)"),
    (lambda: _kernels.arm_fk(0.7, 0.5, 0, "positive", ONE, ONE, np.empty(9)), TypeError,
     "mirror must be a bool"),
    (lambda: _kernels.arm_fk(0.7, 0.5, False, "up", ONE, ONE, np.empty(9)), ValueError,
     "branch must be 'positive' or 'negative'"),
    (lambda: _kernels.arm_fk("0.7", 0.5, False, "positive", ONE, ONE, np.empty(9)), TypeError,
     "must be real number"),
    (lambda: _kernels.arm_fk(*GEOMETRY, [0.0], ONE, np.empty(9)), TypeError,
     "theta_a must be a buffer, not list"),
    (lambda: _kernels.arm_fk(*GEOMETRY, ONE.astype(np.float32), ONE, np.empty(9)), ValueError,
     "theta_a must hold float64"),
    (lambda: _kernels.arm_fk(*GEOMETRY, ONE, b"\0" * 8, np.empty(9)), ValueError,
     "theta_b must hold float64"),
    (lambda: _kernels.arm_fk(*GEOMETRY, np.zeros(4)[::2], np.zeros(2), np.empty(18)), ValueError,
     "theta_a must be a C-contiguous buffer"),
    (lambda: _kernels.arm_fk(*GEOMETRY, ONE, np.zeros(2), np.empty(9)), ValueError,
     r"theta_b holds 2 values, expected 1 \(1 per pose for 1 poses\)"),
    (lambda: _kernels.neck_fk(misaligned(np.zeros(3)), np.empty(9)), ValueError,
     "joints must be aligned to 8 bytes"),
    (lambda: _kernels.neck_fk(np.zeros(3), misaligned(np.empty(9))), ValueError,
     "out must be aligned to 8 bytes"),
    (lambda: _kernels.arm_fk(*GEOMETRY, ONE, ONE, np.empty(8)), ValueError,
     r"out holds 8 values, expected 9"),
    (lambda: _kernels.arm_fk(*GEOMETRY, ONE, ONE, bytes(72)), ValueError,
     "out must be a C-contiguous writable buffer"),
    (lambda: _kernels.arm_ik(*GEOMETRY, np.zeros(10), np.empty(2)), ValueError,
     "r_target holds 10 values, not a multiple of 9"),
    (lambda: _kernels.arm_reachable_direction(*GEOMETRY, np.zeros(3), np.empty(1)), ValueError,
     "out must hold bool or uint8"),
    (lambda: _kernels.arm_ik_from_direction(*GEOMETRY, np.zeros(3), [0.0, 0.0], np.empty(2)),
     TypeError, "near must be a buffer"),
    (lambda: _kernels.neck_ik(np.zeros(9), np.empty(3, dtype=np.int64)), ValueError,
     "out must hold float64"),
    (lambda: _kernels.read_arm_json(b"{}"), TypeError, "text must be str, not bytes"),
    (lambda: _kernels.arm_joint_rates(*GEOMETRY, ONE, ONE, np.zeros(3), "0", np.empty(2)),
     TypeError, r"arm_joint_rates\(\): damping must be a real number, not str"),
    (lambda: _kernels.arm_joint_rates(*GEOMETRY, ONE, ONE, np.zeros(3), np.empty(2)), TypeError,
     r"arm_joint_rates\(\) takes exactly 9 arguments \(8 given\)"),
    (lambda: _kernels.arm_nearest_reachable(*GEOMETRY, np.zeros(3), None, np.empty(3),
                                            np.empty(3)), ValueError,
     r"out_joints holds 3 values, expected 2"),
]


@pytest.mark.parametrize("call, error, message", KERNEL_MISUSES)
def test_kernels_refuse_misuse(call, error, message):
    with pytest.raises(error, match=message):
        call()


def test_kernels_write_bool_and_uint8_results_in_place():
    flags = np.full(2, 7, dtype=np.uint8)
    _kernels.arm_reachable_joints(*GEOMETRY, np.array([0.3, 3.0]), np.array([-0.2, 0.0]), flags)
    assert flags.tolist() == [1, 0]
