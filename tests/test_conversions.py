"""Conversion of bound arguments: numbers, booleans, vectors, matrices,
optional joint pairs and text, with their exact failures."""
import array
import math

import numpy as np
import pytest

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
arm = ARM.default_left()
neck = qtk.QuorbelNeckKinematics()
IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]


class Floaty:
    def __init__(self, value):
        self.value = value

    def __float__(self):
        return self.value


class Indexy:
    def __index__(self):
        return 2


class FloatSubclass(float):
    pass


@pytest.mark.parametrize(
    "value, expected",
    [
        (1.5, 1.5),
        (2, 2.0),
        (True, 1.0),
        (False, 0.0),
        (-1.0, -1.0),  # the error marker of the C API is still a value
        (FloatSubclass(0.25), 0.25),
        (Floaty(0.125), 0.125),
        (Indexy(), 2.0),
        (np.float64(0.375), 0.375),
        (np.int32(3), 3.0),
        (10**300, 1e300),
    ],
)
def test_to_double_accepts(value, expected):
    assert ARM(arm_arc=value).arm_arc() == expected


def test_to_double_keeps_nan_and_infinities():
    assert math.isnan(ARM(float("nan")).arm_arc())
    assert ARM(coupler_arc=float("-inf")).coupler_arc() == float("-inf")


class RaisesInFloat:
    def __init__(self, error):
        self.error = error

    def __float__(self):
        raise self.error


class MyTypeError(TypeError):
    pass


@pytest.mark.parametrize(
    "value, error_type, message",
    [
        ("x", TypeError, "argument 'arm_arc': must be real number, not str"),
        (None, TypeError, "argument 'arm_arc': must be real number, not NoneType"),
        (10**400, OverflowError, "int too large to convert to float"),
        (RaisesInFloat(ValueError("boom")), ValueError, "boom"),
        (RaisesInFloat(TypeError("inner")), TypeError, "argument 'arm_arc': inner"),
        (RaisesInFloat(MyTypeError("sub")), MyTypeError, "sub"),
        (Floaty("not a float"), TypeError,
         "argument 'arm_arc': Floaty.__float__ returned non-float (type str)"),
    ],
)
def test_to_double_failures(value, error_type, message):
    with pytest.raises(BaseException) as caught:
        ARM(arm_arc=value)
    assert type(caught.value) is error_type
    assert str(caught.value) == message


def test_prefixed_error_keeps_the_original_cause():
    root = KeyError("root")
    inner = TypeError("inner")
    inner.__cause__ = root
    with pytest.raises(TypeError) as caught:
        ARM(coupler_arc=RaisesInFloat(inner))
    assert str(caught.value) == "argument 'coupler_arc': inner"
    assert caught.value is not inner
    assert caught.value.__cause__ is root


def test_keyboard_interrupt_passes_through_unchanged():
    error = KeyboardInterrupt("stop")
    with pytest.raises(KeyboardInterrupt) as caught:
        arm.fk(RaisesInFloat(error), 0.0)
    assert caught.value is error


@pytest.mark.parametrize("value, expected", [(True, True), (False, False),
                                             (np.bool_(True), True), (np.bool_(False), False)])
def test_to_bool_accepts_bool_and_numpy_bool(value, expected):
    assert ARM(mirror=value).mirror() is expected


class FakeNumpyBool:
    pass


FakeNumpyBool.__module__ = "numpy"
FakeNumpyBool.__name__ = FakeNumpyBool.__qualname__ = "bool_"


class BrokenNumpyBool:
    def __bool__(self):
        raise ValueError("cannot decide")


BrokenNumpyBool.__module__ = "numpy"
BrokenNumpyBool.__name__ = "bool"


@pytest.mark.parametrize(
    "value, error_type, message",
    [
        (1, TypeError, "argument 'mirror': 'int' object cannot be converted to 'PyBool'"),
        (0, TypeError, "argument 'mirror': 'int' object cannot be converted to 'PyBool'"),
        (None, TypeError, "argument 'mirror': 'NoneType' object cannot be converted to 'PyBool'"),
        ("True", TypeError, "argument 'mirror': 'str' object cannot be converted to 'PyBool'"),
        (np.int64(1), TypeError, "argument 'mirror': 'int64' object cannot be converted to 'PyBool'"),
        (FakeNumpyBool(), TypeError,
         "argument 'mirror': object of type '<class 'numpy.bool_'>' does not define a '__bool__' conversion"),
        (BrokenNumpyBool(), ValueError, "cannot decide"),
    ],
)
def test_to_bool_failures(value, error_type, message):
    with pytest.raises(BaseException) as caught:
        ARM(0.7, 0.5, value)
    assert type(caught.value) is error_type
    assert str(caught.value) == message


def test_to_bool_with_unreadable_type_name_is_refused():
    class Meta(type):
        def __getattribute__(cls, name):
            if name in ("__module__", "__name__", "__qualname__"):
                raise RuntimeError("no names here")
            return super().__getattribute__(name)

    odd = Meta("Odd", (), {})()
    with pytest.raises(TypeError) as caught:
        ARM(mirror=odd)
    assert str(caught.value) == (
        "argument 'mirror': '<failed to extract type name>' object cannot be converted to 'PyBool'"
    )


class SeqLike:
    """A sequence by __len__ and __getitem__ only."""

    def __init__(self, items, length=None):
        self.items = items
        self.length = len(items) if length is None else length

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        return self.items[i]


@pytest.mark.parametrize(
    "joints",
    [[0, 0, 0], (0.0, 0.0, 0.0), range(3), bytes(3), array.array("d", [0, 0, 0]),
     np.zeros(3), SeqLike([0.0, 0.0, 0.0])],
)
def test_to_vec3_accepts_any_sequence_of_three_numbers(joints):
    expected = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
    if list(joints) != [0, 0, 0]:  # range(3) is (0, 1, 2)
        expected = neck.fk([0.0, 1.0, 2.0])
    assert neck.fk(joints) == expected


@pytest.mark.parametrize(
    "joints, error_type, message",
    [
        ({0: 1.0, 1: 2.0, 2: 3.0}, TypeError,
         "argument 'joints': 'dict' object cannot be converted to 'Sequence'"),
        (5, TypeError, "argument 'joints': 'int' object cannot be converted to 'Sequence'"),
        ({1, 2, 3}, TypeError, "argument 'joints': 'set' object cannot be converted to 'Sequence'"),
        ([1.0, 2.0], ValueError, "expected a sequence of length 3 (got 2)"),
        ([1.0, 2.0, 3.0, 4.0], ValueError, "expected a sequence of length 3 (got 4)"),
        ("abcd", ValueError, "expected a sequence of length 3 (got 4)"),
        ("abc", TypeError, "argument 'joints': must be real number, not str"),
        ([0.0, "x", 0.0], TypeError, "argument 'joints': must be real number, not str"),
        ([0.0, 0.0, None], TypeError, "argument 'joints': must be real number, not NoneType"),
        (SeqLike([0.0, 0.0], length=3), IndexError, "list index out of range"),
        ([0.0, 10**400, 0.0], OverflowError, "int too large to convert to float"),
    ],
)
def test_to_vec3_failures(joints, error_type, message):
    with pytest.raises(BaseException) as caught:
        neck.fk(joints)
    assert type(caught.value) is error_type
    assert str(caught.value) == message


def test_to_vec3_stops_at_the_first_bad_item():
    seen = []

    class Recording(SeqLike):
        def __getitem__(self, i):
            seen.append(i)
            return super().__getitem__(i)

    with pytest.raises(TypeError):
        neck.fk(Recording([0.0, "bad", 0.0]))
    assert seen == [0, 1]


@pytest.mark.parametrize(
    "matrix, error_type, message",
    [
        ([[1, 0, 0], [0, 1, 0]], ValueError, "expected a sequence of length 3 (got 2)"),
        ([[1, 0, 0], [0, 1, 0], [0, 0, 1, 0]], ValueError, "expected a sequence of length 3 (got 4)"),
        ([[1, 0, 0], [0, 1, 0], 5], TypeError, "argument 'r': 'int' object cannot be converted to 'Sequence'"),
        ([[1, 0, 0], [0, "a", 0], [0, 0, 1]], TypeError, "argument 'r': must be real number, not str"),
        (None, TypeError, "argument 'r': 'NoneType' object cannot be converted to 'Sequence'"),
    ],
)
def test_to_mat3_failures(matrix, error_type, message):
    with pytest.raises(BaseException) as caught:
        neck.ik(matrix)
    assert type(caught.value) is error_type
    assert str(caught.value) == message


def test_to_mat3_reads_rows_as_rows():
    r = neck.fk([0.3, -0.7, 1.1])
    as_tuples = tuple(tuple(row) for row in r)
    assert neck.ik(as_tuples) == neck.ik(r) == neck.ik(np.array(r))


@pytest.mark.parametrize(
    "near, error_type, message",
    [
        ([0.1, 0.2], TypeError, "argument 'near': 'list' object cannot be converted to 'PyTuple'"),
        ((0.1, 0.2, 0.3), ValueError, "expected tuple of length 2, but got tuple of length 3"),
        ((), ValueError, "expected tuple of length 2, but got tuple of length 0"),
        ((0.1, "x"), TypeError, "argument 'near': must be real number, not str"),
    ],
)
def test_optional_joint_pair_failures(near, error_type, message):
    with pytest.raises(BaseException) as caught:
        arm.ik_from_direction([0, 0, 1], near=near)
    assert type(caught.value) is error_type
    assert str(caught.value) == message


def test_v3_is_converted_before_near():
    with pytest.raises(TypeError, match="^argument 'v3': "):
        arm.ik_from_direction(5, near=[1])


@pytest.mark.parametrize(
    "value, error_type, message",
    [
        (b"{}", TypeError, "argument 'json': 'bytes' object cannot be converted to 'PyString'"),
        (None, TypeError, "argument 'json': 'NoneType' object cannot be converted to 'PyString'"),
        ("\ud800", UnicodeEncodeError, None),
    ],
)
def test_text_failures(value, error_type, message):
    with pytest.raises(BaseException) as caught:
        ARM.from_json(value)
    assert type(caught.value) is error_type
    if message is not None:
        assert str(caught.value) == message


@pytest.mark.parametrize(
    "call, shape",
    [
        (lambda: arm.direction(0.0, 0.0), (list, 3)),
        (lambda: arm.fk(0.0, 0.0), (list, 3)),
        (lambda: neck.fk([0, 0, 0]), (list, 3)),
        (lambda: arm.ik(arm.fk(0.3, -0.2)), (tuple, 2)),
        (lambda: arm.ik_from_direction(arm.direction(0.3, -0.2)), (tuple, 2)),
        (lambda: neck.ik(IDENTITY), (tuple, 3)),
    ],
)
def test_result_shapes(call, shape):
    result = call()
    kind, length = shape
    assert type(result) is kind and len(result) == length
    for item in result:
        if isinstance(item, list):
            assert len(item) == 3 and all(type(x) is float for x in item)
        else:
            assert type(item) is float


class RaisingLength(SeqLike):
    def __init__(self, error):
        super().__init__([0.0, 0.0, 0.0])
        self.error = error

    def __len__(self):
        raise self.error


class RaisingItem(SeqLike):
    def __init__(self, error):
        super().__init__([0.0, 0.0, 0.0])
        self.error = error

    def __getitem__(self, i):
        raise self.error


class RaisingIndex:
    def __init__(self, error):
        self.error = error

    def __index__(self):
        raise self.error


@pytest.mark.parametrize(
    "joints, error_type, message",
    [
        (RaisingLength(ValueError("no length")), ValueError, "no length"),
        (RaisingLength(TypeError("bad length")), TypeError, "argument 'joints': bad length"),
        (RaisingItem(LookupError("no item")), LookupError, "no item"),
        (RaisingItem(TypeError("bad item")), TypeError, "argument 'joints': bad item"),
        ([0.0, RaisingIndex(ZeroDivisionError("index")), 0.0], ZeroDivisionError, "index"),
        ([0.0, RaisingIndex(TypeError("index")), 0.0], TypeError, "argument 'joints': index"),
    ],
)
def test_errors_from_user_protocols_pass_through(joints, error_type, message):
    with pytest.raises(BaseException) as caught:
        neck.fk(joints)
    assert type(caught.value) is error_type
    assert str(caught.value) == message
