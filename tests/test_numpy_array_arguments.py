"""NumPy arrays as vector and matrix arguments. A float64 ndarray of the
expected shape is read from its buffer; every array, whatever its dtype,
shape, memory layout or class, gives exactly what the item protocol gives
for it (the same doubles, or the same exception and message), and a float64
array gives what the same values as lists give."""
import subprocess
import sys
import warnings

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorbel_torso_kinematics as qtk

NECK = qtk.QuorbelNeckKinematics()
ARM = qtk.QuorbelArmKinematics.default_left()
VECTOR_CALLS = {"neck.fk": NECK.fk, "arm.ik_from_direction": ARM.ik_from_direction,
                "arm.is_reachable_direction": ARM.is_reachable_direction}
MATRIX_CALLS = {"neck.ik": NECK.ik, "arm.ik": ARM.ik,
                "arm.is_reachable_orientation": ARM.is_reachable_orientation}


class ItemsOnly:
    """`target` seen through len() and [] alone, `depth` levels deep: the
    item protocol by which the converters read any sequence, with no buffer
    to read instead. Items at the last level are handed on as they are."""

    def __init__(self, target, depth):
        self.target = target
        self.depth = depth

    def __len__(self):
        return len(self.target)

    def __getitem__(self, index):
        item = self.target[index]
        if self.depth > 1 and isinstance(item, np.ndarray):
            return ItemsOnly(item, self.depth - 1)
        return item


class PlainSubclass(np.ndarray):
    pass


class DoublingSubclass(np.ndarray):
    """Items read as twice what the buffer holds: only the item protocol sees that."""

    def __getitem__(self, index):
        return 2 * super().__getitem__(index)


def outcome(call, argument):
    """The result's bits, or the exception's type and message."""
    with warnings.catch_warnings():
        # float() of a one-item or complex array warns the same on either path.
        warnings.simplefilter("ignore")
        try:
            result = call(argument)
        except Exception as error:  # noqa: BLE001 (the outcome is what is compared)
            return type(error), str(error)
    return bits(result)


def bits(value):
    if isinstance(value, (list, tuple)):
        return [bits(item) for item in value]
    return value.hex() if isinstance(value, float) else value


# Ways to hold the same values in memory; each keeps values, shape and dtype.
def c_order(a):
    return np.ascontiguousarray(a)


def fortran_order(a):
    return np.asfortranarray(a)


def every_other_item(a):
    if a.ndim == 0:
        return a.copy()
    wide = np.zeros(a.shape[:-1] + (2 * a.shape[-1],), a.dtype)
    wide[..., ::2] = a
    return wide[..., ::2]


def transposed(a):
    return np.ascontiguousarray(a.T).T


def negative_strides(a):
    backwards = (slice(None, None, -1),) * a.ndim
    return np.ascontiguousarray(a[backwards])[backwards]


def read_only(a):
    copy = a.copy()
    copy.flags.writeable = False
    return copy


def unaligned(a):
    if a.dtype.hasobject:
        return a.copy()
    raw = np.zeros(a.nbytes + 1, np.uint8)
    moved = np.ndarray(a.shape, a.dtype, buffer=raw.data, offset=1)
    moved[...] = a
    return moved


LAYOUTS = [c_order, fortran_order, every_other_item, transposed, negative_strides, read_only,
           unaligned]
NATIVE_FLOAT64 = np.dtype(np.float64)
DTYPES = [NATIVE_FLOAT64, NATIVE_FLOAT64.newbyteorder(), np.dtype(np.float32),
          np.dtype(np.float16), np.dtype(np.longdouble), np.dtype(np.int64), np.dtype(np.int8),
          np.dtype(np.uint16), np.dtype(np.bool_), np.dtype(np.complex128), np.dtype(object)]
VECTOR_SHAPES = [(3,), (3,), (), (0,), (2,), (4,), (3, 1), (1, 3), (3, 3)]
MATRIX_SHAPES = [(3, 3), (3, 3), (), (3,), (0, 3), (2, 3), (3, 4), (3, 1), (1, 3), (3, 3, 1)]

numbers = st.floats(allow_nan=True, allow_infinity=True) | st.integers(-300, 300).map(float)
angles = st.floats(-3.0, 3.0)


@st.composite
def values_of_shape(draw, shape, kind):
    """Values for `shape`: often a pose the module reaches (so that results,
    not only failures, are compared), otherwise any doubles."""
    if shape == (3,) and draw(st.booleans()):
        return np.array(ARM.direction(0.3, draw(angles) / 10))
    if shape == (3, 3) and draw(st.booleans()):
        pose = ARM.fk(0.3, draw(angles) / 10) if kind == "arm" else NECK.fk(
            [draw(angles), draw(angles) / 2, draw(angles)])
        return np.array(pose)
    count = int(np.prod(shape, dtype=int))
    return np.array(draw(st.lists(numbers, min_size=count, max_size=count))).reshape(shape)


@st.composite
def arrays(draw, shapes, kind):
    shape = draw(st.sampled_from(shapes))
    dtype = draw(st.just(NATIVE_FLOAT64) | st.sampled_from(DTYPES))
    with np.errstate(all="ignore"):
        array = draw(values_of_shape(shape, kind)).astype(dtype)
    array = draw(st.sampled_from(LAYOUTS))(array)
    container = draw(st.sampled_from(["exact", "plain subclass", "doubling subclass", "matrix"]))
    if container == "plain subclass":
        array = array.view(PlainSubclass)
    elif container == "doubling subclass":
        array = array.view(DoublingSubclass)
    elif container == "matrix" and array.ndim == 2:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", PendingDeprecationWarning)
            array = np.asmatrix(array)
    return array


def is_read_from_buffer(array, shape):
    return type(array) is np.ndarray and array.dtype == NATIVE_FLOAT64 and array.shape == shape


@pytest.mark.parametrize("name", list(VECTOR_CALLS))
@settings(max_examples=300, deadline=None)
@given(data=st.data())
def test_a_vector_array_gives_what_its_items_give(name, data):
    call = VECTOR_CALLS[name]
    array = data.draw(arrays(VECTOR_SHAPES, "arm" if name.startswith("arm") else "neck"))
    got = outcome(call, array)
    assert got == outcome(call, ItemsOnly(array, 1))
    if is_read_from_buffer(array, (3,)):
        assert got == outcome(call, array.tolist())


@pytest.mark.parametrize("name", list(MATRIX_CALLS))
@settings(max_examples=300, deadline=None)
@given(data=st.data())
def test_a_matrix_array_gives_what_its_items_give(name, data):
    call = MATRIX_CALLS[name]
    array = data.draw(arrays(MATRIX_SHAPES, "arm" if name.startswith("arm") else "neck"))
    got = outcome(call, array)
    assert got == outcome(call, ItemsOnly(array, 2))
    if is_read_from_buffer(array, (3, 3)):
        assert got == outcome(call, array.tolist())


@pytest.mark.parametrize("layout", LAYOUTS, ids=[layout.__name__ for layout in LAYOUTS])
def test_every_layout_of_a_float64_pose_gives_the_list_result(layout):
    direction = ARM.direction(0.3, -0.2)
    rotation = ARM.fk(0.3, -0.2)
    neck_pose = NECK.fk([0.3, -0.7, 1.1])
    assert bits(ARM.ik_from_direction(layout(np.array(direction)))) == bits(
        ARM.ik_from_direction(direction))
    assert bits(ARM.ik(layout(np.array(rotation)))) == bits(ARM.ik(rotation))
    assert bits(NECK.ik(layout(np.array(neck_pose)))) == bits(NECK.ik(neck_pose))
    assert bits(NECK.fk(layout(np.array([0.3, -0.7, 1.1])))) == bits(neck_pose)


def test_the_module_does_not_import_numpy():
    program = ("import sys, quorbel_torso_kinematics as q\n"
               "q.QuorbelNeckKinematics().fk(bytes(3))\n"
               "q.QuorbelNeckKinematics().ik([[1.0, 0, 0], [0, 1, 0], [0, 0, 1]])\n"
               "assert 'numpy' not in sys.modules, 'numpy was imported'\n")
    run = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True,
                         timeout=60)
    assert run.returncode == 0, run.stderr
