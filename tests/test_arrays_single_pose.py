"""One pose goes around NumPy's broadcasting (the kernels' _single entries)
yet gives what the batch path gives: the same doubles bit for bit, dtypes
and shapes, for Python numbers, tuples, lists and float64 arrays of the
pose's shape; forms it does not read fall back to the batch path, whose
errors stay word for word."""
import contextlib
import datetime
import math

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorbel_torso as qt
from quorbel_torso import _kernels

SINGLE_ENTRIES = [name for name in dir(_kernels) if name.endswith("_single")]
SPECIAL = [math.nan, math.inf, -math.inf, 0.0, -0.0, 1e300, 5e-324]
angles = st.one_of(st.floats(-4.0, 4.0), st.sampled_from(SPECIAL))
coordinates = st.one_of(st.floats(-1.5, 1.5), st.sampled_from(SPECIAL))
limits = st.one_of(st.none(), st.just(((-2.0, 2.5), (-math.inf, 1.0))))
arms = st.builds(qt.Arm, arm_arc=st.sampled_from([0.7, 0.9]), coupler_arc=st.just(0.5),
                 mirror=st.booleans(), branch=st.sampled_from(["positive", "negative"]),
                 limits=limits)
vectors = st.one_of(st.tuples(coordinates, coordinates, coordinates),
                    st.tuples(angles, angles).map(lambda p: tuple(qt.Arm().direction(*p))))
matrices = st.one_of(
    st.tuples(*[st.tuples(coordinates, coordinates, coordinates)] * 3),
    st.tuples(angles, angles).map(lambda p: qt.Arm().fk(*p).tolist()),
    st.tuples(angles, angles, angles).map(lambda j: qt.Neck().fk(j).tolist()),
)
pairs = st.tuples(angles, angles)

# name -> (the call, the strategies of its pose arguments).
CALLS = {
    "fk": (lambda arm, a, b: arm.fk(a, b), (angles, angles)),
    "direction": (lambda arm, a, b: arm.direction(a, b), (angles, angles)),
    "reachable_joints": (lambda arm, a, b: arm.reachable_joints(a, b), (angles, angles)),
    "ik_from_direction": (lambda arm, v: arm.ik_from_direction(v), (vectors,)),
    "ik_from_direction near wrap": (
        lambda arm, v, near: arm.ik_from_direction(v, near, wrap=True), (vectors, pairs)),
    "ik_from_direction near": (lambda arm, v, near: arm.ik_from_direction(v, near),
                               (vectors, pairs)),
    "reachable_direction": (lambda arm, v: arm.reachable_direction(v), (vectors,)),
    "ik_solutions": (lambda arm, v: arm.ik_solutions(v), (vectors,)),
    "ik_solutions near wrap": (lambda arm, v, near: arm.ik_solutions(v, near, wrap=True),
                               (vectors, pairs)),
    "ik": (lambda arm, r: arm.ik(r), (matrices,)),
    "ik near wrap": (lambda arm, r, near: arm.ik(r, near, wrap=True), (matrices, pairs)),
    "reachable_orientation": (lambda arm, r: arm.reachable_orientation(r), (matrices,)),
    "ik_nearest_frame": (lambda arm, r, near: arm.ik_nearest_frame(r, near), (matrices, pairs)),
    "direction_jacobian": (lambda arm, a, b: arm.direction_jacobian(a, b), (angles, angles)),
    "angular_jacobian": (lambda arm, a, b: arm.angular_jacobian(a, b), (angles, angles)),
    "singular_values": (lambda arm, a, b: arm.singular_values(a, b), (angles, angles)),
    "joint_rates": (lambda arm, a, b, rate: arm.joint_rates(a, b, rate),
                    (angles, angles, vectors)),
    "joint_rates damped": (lambda arm, a, b, rate: arm.joint_rates(a, b, rate, 0.25),
                           (angles, angles, vectors)),
    "nearest_reachable": (lambda arm, v: arm.nearest_reachable(v), (vectors,)),
    "nearest_reachable near wrap": (
        lambda arm, v, near: arm.nearest_reachable(v, near, wrap=True), (vectors, pairs)),
    "neck fk": (lambda arm, j: qt.Neck().fk(j), (vectors,)),
    "neck ik": (lambda arm, r: qt.Neck().ik(r), (matrices,)),
    "neck reachable": (lambda arm, r: qt.Neck().reachable(r), (matrices,)),
    "neck angular_jacobian": (lambda arm, j: qt.Neck().angular_jacobian(j), (vectors,)),
    "neck joint_rates": (lambda arm, j, omega: qt.Neck().joint_rates(j, omega),
                         (vectors, vectors)),
}


@contextlib.contextmanager
def single_entries(refuse):
    """Every _single entry wrapped: refuse=True makes each return None (the
    package then takes its batch path); otherwise the entries run and the
    list yielded records whether each call read its pose."""
    taken = []

    def wrapped(entry):
        def call(*args):
            if refuse:
                return None
            result = entry(*args)
            taken.append(result is not None)
            return result
        return call

    with pytest.MonkeyPatch.context() as patch:
        for name in SINGLE_ENTRIES:
            patch.setattr(_kernels, name, wrapped(getattr(_kernels, name)))
        yield taken


def as_batch(value):
    """The argument as a batch of one pose: the batch path, never the single one."""
    return np.asarray(value)[np.newaxis]


def assert_identical(single, batch):
    if isinstance(batch, tuple):
        assert isinstance(single, tuple) and len(single) == len(batch)
        for got, expected in zip(single, batch):
            assert_identical(got, expected)
        return
    # An array (or, where the package reduces one, a NumPy scalar) like the
    # batch element, byte for byte.
    assert isinstance(single, (np.ndarray, np.generic))
    expected = batch[0, ...]
    assert single.dtype == expected.dtype and single.shape == expected.shape
    assert single.tobytes() == expected.tobytes()


FORMS = {
    # The forms the single path reads.
    "python": lambda v: v if isinstance(v, float) else np.asarray(v).tolist(),
    "tuples": lambda v: v if isinstance(v, float) else
    tuple(map(tuple, v)) if np.ndim(v) == 2 else tuple(v),
    "float64 arrays": lambda v: np.array(v, dtype=np.float64),
    "float64 scalars": lambda v: np.float64(v) if isinstance(v, float) else np.array(v),
    "float64 memoryviews": lambda v: memoryview(np.array(v, dtype=np.float64)),
    # Forms it leaves to the batch path (or, where one pose's layout is
    # C-contiguous anyway, reads).
    "byte-swapped": lambda v: np.array(v, dtype=np.float64).astype(
        np.dtype(np.float64).newbyteorder()),
    "Fortran order": lambda v: np.asfortranarray(np.array(v, dtype=np.float64)),
    "long double arrays": lambda v: np.array(v, dtype=np.longdouble),
    "strided": lambda v: np.repeat(np.asarray(v, dtype=np.float64), 2)[::2].reshape(np.shape(v)),
}
READ_FORMS = ["python", "tuples", "float64 arrays", "float64 scalars", "float64 memoryviews"]


@settings(max_examples=300, deadline=None)
@given(arm=arms, name=st.sampled_from(sorted(CALLS)), form=st.sampled_from(sorted(FORMS)),
       data=st.data())
def test_single_pose_is_the_batch_element(arm, name, form, data):
    call, strategies = CALLS[name]
    poses = [data.draw(strategy) for strategy in strategies]
    arguments = [FORMS[form](pose) for pose in poses]
    batch = call(arm, *map(as_batch, arguments))
    with single_entries(refuse=False) as taken:
        single = call(arm, *arguments)
    assert_identical(single, batch)
    if form in READ_FORMS:
        assert taken and all(taken)


# One pose of each kind, for the checks that need no search over poses.
SAMPLE_POSES = {id(angles): 0.3, id(pairs): (0.3, -0.2), id(vectors): (0.6, 0.6, 0.5),
                id(matrices): qt.Arm().fk(0.3, -0.2).tolist()}


@pytest.mark.parametrize("name", sorted(CALLS))
def test_single_results_are_fresh_arrays(name):
    """Each call's results are new arrays as numpy.empty makes them: their
    own memory, writable, C-contiguous, shared with no other call's."""
    call, strategies = CALLS[name]
    poses = [SAMPLE_POSES[id(strategy)] for strategy in strategies]
    with single_entries(refuse=False) as taken:
        first, second = call(qt.Arm(), *poses), call(qt.Arm(), *poses)
    assert taken and all(taken)
    pairs_of_results = zip(first, second) if isinstance(first, tuple) else [(first, second)]
    for one, other in pairs_of_results:
        for result in (one, other):
            assert type(result) is np.ndarray and result.base is None
            assert result.flags.owndata and result.flags.writeable and result.flags.c_contiguous
        assert not np.shares_memory(one, other)


ARM_ENTRIES = [name for name in SINGLE_ENTRIES if _kernels.kernel_signatures()[name[:-7]][0]]


@pytest.mark.parametrize("name", ARM_ENTRIES)
@pytest.mark.parametrize("foreign", [datetime.datetime_CAPI, object(), None])
def test_single_entries_take_only_a_prepared_arm(name, foreign):
    """Another capsule (or any other object) where the prepared arm goes is
    a ValueError, never an arm read from it."""
    _, parameters = _kernels.kernel_signatures()[name[:-7]]
    inputs = [0.0 for parameter in parameters if parameter[3] != "write"]
    with pytest.raises(ValueError, match="PyCapsule"):
        getattr(_kernels, name)(foreign, *inputs)


def rotation():
    return qt.Arm().fk(0.2, -0.3).tolist()


BAD_ARGUMENTS = [
    lambda arm: arm.fk("0.1", 0.2),
    lambda arm: arm.fk(0.1, 1j),
    lambda arm: arm.fk(None, 0.2),
    lambda arm: arm.fk(2 ** 1100, 0.2),
    lambda arm: arm.direction(0.1, [0.2, "x"]),
    lambda arm: arm.direction(np.array(0.1, dtype=object), np.array(None, dtype=object)),
    lambda arm: arm.reachable_joints(0.1, [[0.1, 0.2], [0.3]]),
    lambda arm: arm.ik_from_direction([0.1, 0.2]),
    lambda arm: arm.ik_from_direction([0.1, 0.2, [0.3]]),
    lambda arm: arm.ik_from_direction((0.0, 0.0, 1.0), near=(0.1,)),
    lambda arm: arm.ik_from_direction((0.0, 0.0, 1.0), wrap=1),
    lambda arm: arm.ik_solutions(np.array([1, 2, 3], dtype=complex)),
    lambda arm: arm.reachable_direction(np.zeros((2, 2))),
    lambda arm: arm.ik(rotation()[:2]),
    lambda arm: arm.ik(rotation(), near=[0.1, 0.2, 0.3], wrap=True),
    lambda arm: arm.reachable_orientation([[0.0] * 3] * 2 + [[0.0, 0.0]]),
    lambda arm: arm.direction_jacobian(0.1, "a"),
    lambda arm: arm.singular_values(0.1, b"\0" * 8),
    lambda arm: arm.joint_rates(0.1, 0.2, (0.0, 0.0, 1.0), -0.5),
    lambda arm: arm.joint_rates(0.1, 0.2, (0.0, 0.0, 1.0), math.nan),
    lambda arm: arm.joint_rates(0.1, 0.2, (0.0, 0.0, 1.0), [0.1]),
    lambda arm: arm.joint_rates(0.1, 0.2, (0.0, 1.0)),
    lambda arm: arm.nearest_reachable((0.0, 0.0, True, 1.0)),
    lambda arm: arm.nearest_reachable((0.0, 0.0, 1.0), near=(0.0, 0.0, 0.0), wrap=True),
    lambda arm: qt.Neck().fk((0.1, 0.2)),
    lambda arm: qt.Neck().ik(np.eye(3)[:, :2]),
    lambda arm: qt.Neck().joint_rates((0.1, 0.2, 0.3), (0.0, "1", 0.0)),
]


def raised(call):
    try:
        call()
    except Exception as error:  # the error itself is what is compared
        return type(error), str(error)
    return None


@pytest.mark.parametrize("arm", [qt.Arm(), qt.Arm(limits=((-1.0, 1.0), (-2.0, 2.0)))])
@pytest.mark.parametrize("index", range(len(BAD_ARGUMENTS)))
def test_bad_single_pose_raises_as_the_batch_path(arm, index):
    call = BAD_ARGUMENTS[index]
    with single_entries(refuse=True):
        expected = raised(lambda: call(arm))
    assert expected is not None
    assert raised(lambda: call(arm)) == expected
