"""Float64 ndarrays are read from their buffer; any array, of any dtype,
shape, memory layout or class, gives what the item protocol gives for it:
the same doubles, or the same exception and message."""
import subprocess
import sys
import textwrap
import warnings

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

import quorbel_torso_kinematics as qtk

NECK, ARM = qtk.QuorbelNeckKinematics(), qtk.QuorbelArmKinematics.default_left()
CALLS = [(NECK.fk, 1), (ARM.ik_from_direction, 1), (NECK.ik, 2), (ARM.ik, 2)]  # (call, rank)


class ItemsOnly:
    """The target through len() and [] alone, `depth` levels deep."""

    def __init__(self, target, depth):
        self.target, self.depth = target, depth

    def __len__(self):
        return len(self.target)

    def __getitem__(self, i):
        item = self.target[i]
        nested = self.depth > 1 and isinstance(item, np.ndarray)
        return ItemsOnly(item, self.depth - 1) if nested else item


class Plain(np.ndarray):
    pass


class Doubling(np.ndarray):
    def __getitem__(self, i):
        return 2 * super().__getitem__(i)


def unaligned(a):
    moved = np.ndarray(a.shape, a.dtype, np.zeros(a.nbytes + 1, np.uint8).data, 1)
    moved[...] = a
    return moved


LAYOUTS = [np.ascontiguousarray, np.asfortranarray, lambda a: np.ascontiguousarray(a.T).T,
           lambda a: np.repeat(a, 2, axis=-1)[..., ::2] if a.ndim else a,  # a[::2]
           lambda a: np.flip(np.flip(a).copy()) if a.ndim else a,  # negative strides
           lambda a: np.lib.stride_tricks.as_strided(a, writeable=False), unaligned]
OTHER_DTYPES = [np.dtype("f8").newbyteorder(), "f4", "i8", "u1", "?", "c16", "g"]
OTHER_SHAPES = [(), (0,), (2,), (4,), (3, 1), (1, 3), (3, 3), (3, 4), (3, 3, 1)]


@st.composite
def arrays(draw, rank):
    shape = draw(st.just((3,) * rank) | st.sampled_from(OTHER_SHAPES))
    pose = np.array(ARM.fk(0.3, draw(st.floats(-0.3, 0.3))))  # reachable, and so its column 2
    size = int(np.prod(shape))
    values = np.array(draw(st.lists(st.floats(), min_size=size, max_size=size))).reshape(shape)
    if shape in ((3,), (3, 3)) and draw(st.booleans()):
        values = pose[:, 2] if shape == (3,) else pose
    with np.errstate(all="ignore"):
        array = draw(st.sampled_from(LAYOUTS))(values.astype(
            draw(st.just("=f8") | st.sampled_from(OTHER_DTYPES))))
    kind = draw(st.just(np.ndarray) | st.sampled_from([Plain, Doubling, np.matrix]))
    return array.view(kind) if kind is not np.matrix or array.ndim == 2 else array


def outcome(call, argument):
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")  # float() of a complex or one-item array
        try:
            return repr(call(argument))  # a float's repr gives back its bits
        except Exception as error:  # noqa: BLE001
            return type(error), str(error)


@pytest.mark.slow
@settings(max_examples=1000, deadline=None)
@given(st.data())
def test_an_array_gives_what_its_items_give(data):
    call, rank = data.draw(st.sampled_from(CALLS))
    array = data.draw(arrays(rank))
    assert outcome(call, array) == outcome(call, ItemsOnly(array, rank))


def test_the_module_does_not_import_numpy():
    program = ("import sys, quorbel_torso_kinematics as q\n"
               "q.QuorbelNeckKinematics().fk(bytes(3))\n"
               "assert 'numpy' not in sys.modules\n")
    assert subprocess.run([sys.executable, "-c", program], timeout=60).returncode == 0


# Classes that take NumPy's module and name and export float64 buffers that
# their items do not match. Each is the first "ndarray" a fresh process sees.
FAKE_ARRAYS = {
    "array.array": """
        import array
        class ndarray(array.array):
            def __getitem__(self, i):
                return 2 * super().__getitem__(i)
        vector, matrix = ndarray("d", [0.1, 0.2, 0.3]), None
        """,
    "__buffer__": """
        class ndarray:
            def __init__(self, rows):
                self.rows = rows
            def __buffer__(self, flags):
                return memoryview(bytes(72)).cast("d", [3, 3] if self.rows else [3])
            def __len__(self):
                return 3
            def __getitem__(self, i):
                return ndarray(False) if self.rows else 0.1 * (i + 1)
        vector, matrix = ndarray(False), ndarray(True)
        """,
}


@pytest.mark.parametrize("fake", [
    pytest.param(source, id=name, marks=pytest.mark.skipif(
        name == "__buffer__" and sys.version_info < (3, 12), reason="__buffer__ from 3.12"))
    for name, source in FAKE_ARRAYS.items()])
def test_a_class_named_numpy_ndarray_is_read_by_its_items(fake):
    program = textwrap.dedent(fake) + textwrap.dedent("""
        import quorbel_torso_kinematics as q
        ndarray.__module__ = "numpy"
        neck = q.QuorbelNeckKinematics()
        items = lambda seq: [seq[0], seq[1], seq[2]]
        assert neck.fk(vector) == neck.fk(items(vector)), neck.fk(vector)
        if matrix is not None:
            assert neck.ik(matrix) == neck.ik([items(row) for row in items(matrix)])
        """)
    result = subprocess.run([sys.executable, "-c", program], capture_output=True, text=True,
                            timeout=60)
    assert result.returncode == 0, result.stderr
