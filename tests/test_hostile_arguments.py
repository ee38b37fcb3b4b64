"""Arguments that fight back: protocol methods that raise anything, return the
wrong thing, lie about lengths or change the containers being converted,
huge integers, odd strings. Every call ends in an exception or in the right
result. Cases that could corrupt memory run in a fresh interpreter in
development mode (debug allocator hooks, faulthandler)."""
import subprocess
import sys
import textwrap
import warnings

import pytest

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
arm = ARM.default_left()
neck = qtk.QuorbelNeckKinematics()
IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
D = arm.direction(0.3, -0.2)


class MyBaseException(BaseException):
    pass


class MyTypeError(TypeError):
    pass


class Protocol:
    """Implements one protocol method by calling `behaviour`."""

    def __init__(self, behaviour):
        self.behaviour = behaviour


class Floating(Protocol):
    def __float__(self):
        return self.behaviour()


class Indexing(Protocol):
    def __index__(self):
        return self.behaviour()


class Sized(Protocol):
    def __len__(self):
        return self.behaviour()

    def __getitem__(self, i):
        return 0.25


class Getting(Protocol):
    def __len__(self):
        return 3

    def __getitem__(self, i):
        return self.behaviour()


def raising(error):
    def behaviour():
        raise error
    return behaviour


# Each slot places one hostile object where a number, a 3-vector or a matrix
# is converted; `name` is the parameter a wrapped TypeError names.
NUMBER_SLOTS = {
    "fk-theta_a": (lambda x: arm.fk(x, 0.0), "theta_a"),
    "direction-theta_b": (lambda x: arm.direction(0.0, theta_b=x), "theta_b"),
    "new-coupler_arc": (lambda x: ARM(0.7, x), "coupler_arc"),
    "neck-fk-item": (lambda x: neck.fk([0.0, 0.0, x]), "joints"),
    "neck-ik-entry": (lambda x: neck.ik([IDENTITY[0], [0.0, x, 0.0], IDENTITY[2]]), "r"),
    "near-item": (lambda x: arm.ik_from_direction(D, near=(0.3, x)), "near"),
}
SEQUENCE_SLOTS = {
    "neck-fk": (lambda x: neck.fk(x), "joints"),
    "ik-row": (lambda x: arm.ik([IDENTITY[0], x, IDENTITY[2]]), "r_target"),
    "is_reachable_direction": (lambda x: arm.is_reachable_direction(x), "v3"),
}
ERRORS = [ValueError("v"), KeyboardInterrupt(), SystemExit(3), GeneratorExit(), MemoryError(),
          RecursionError(), StopIteration(), MyBaseException("mine"), MyTypeError("sub")]


def slot_cases(slots, wrappers):
    return [pytest.param(call, name, wrap, id=f"{slot}-{wrap_name}")
            for slot, (call, name) in slots.items() for wrap_name, wrap in wrappers.items()]


@pytest.mark.parametrize("error", ERRORS, ids=lambda e: type(e).__name__)
@pytest.mark.parametrize(
    "call, name, wrap",
    slot_cases(NUMBER_SLOTS, {"float": Floating, "index": Indexing})
    + slot_cases(SEQUENCE_SLOTS, {"len": Sized, "getitem": Getting}))
def test_raised_exceptions_pass_through_unchanged(call, name, wrap, error):
    with pytest.raises(BaseException) as caught:
        call(wrap(raising(error)))
    assert caught.value is error


@pytest.mark.parametrize(
    "call, name, wrap",
    slot_cases(NUMBER_SLOTS, {"float": Floating, "index": Indexing})
    + slot_cases(SEQUENCE_SLOTS, {"len": Sized, "getitem": Getting}))
def test_a_plain_type_error_is_named_after_its_argument(call, name, wrap):
    root = KeyError("root")
    error = TypeError("inner")
    error.__cause__ = root
    with pytest.raises(TypeError) as caught:
        call(wrap(raising(error)))
    assert str(caught.value) == f"argument '{name}': inner"
    assert caught.value.__cause__ is root


@pytest.mark.parametrize(
    "wrap, returned, error_type",
    [
        (Floating, "1.0", TypeError), (Floating, None, TypeError), (Floating, 1, TypeError),
        (Floating, 1j, TypeError), (Indexing, 1.0, TypeError), (Indexing, "1", TypeError),
        (Indexing, 2**2000, OverflowError), (Indexing, -(2**2000), OverflowError),
        (Sized, "3", TypeError), (Sized, 3.0, TypeError), (Sized, -1, ValueError),
        (Sized, 2**64, OverflowError), (Sized, 2, ValueError), (Sized, 4, ValueError),
        (Getting, "x", TypeError), (Getting, None, TypeError), (Getting, 10**400, OverflowError),
    ],
)
def test_wrong_return_types_and_values_raise(wrap, returned, error_type):
    slots = SEQUENCE_SLOTS if wrap in (Sized, Getting) else NUMBER_SLOTS
    for call, name in slots.values():
        with pytest.raises(BaseException) as caught:
            call(wrap(lambda: returned))
        assert type(caught.value) is error_type
        if error_type is TypeError:
            assert str(caught.value).startswith(f"argument '{name}': ")


@pytest.mark.parametrize("value", [10**400, -(10**400), 2**1024, -(2**1024)])
def test_huge_integers_raise_in_every_number_slot(value):
    for call, _name in NUMBER_SLOTS.values():
        with pytest.raises(OverflowError):
            call(value)


def test_a_float_subclass_from_float_is_accepted_with_a_warning():
    class Half(float):
        pass

    with pytest.warns(DeprecationWarning):
        assert neck.fk([0.0, 0.0, Floating(lambda: Half(0.5))]) == neck.fk([0.0, 0.0, 0.5])
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        with pytest.raises(DeprecationWarning):
            arm.fk(Floating(lambda: Half(0.5)), 0.0)


class Lying:
    def __init__(self, length, items):
        self.length, self.items = length, items

    def __len__(self):
        return self.length

    def __getitem__(self, i):
        return self.items[i]


class LyingList(list):
    def __len__(self):
        return 3


@pytest.mark.parametrize(
    "seq, outcome",
    [
        (Lying(3, [0.1, 0.2]), IndexError),
        (Lying(3, [0.1, 0.2, 0.3, 0.4, 0.5]), [0.1, 0.2, 0.3]),
        (Lying(2, [0.1, 0.2, 0.3]), ValueError),
        (LyingList([0.1, 0.2]), IndexError),
        (LyingList([0.1, 0.2, 0.3, 0.4]), [0.1, 0.2, 0.3]),
    ],
)
def test_lying_lengths(seq, outcome):
    if isinstance(outcome, list):
        assert neck.fk(seq) == neck.fk(outcome)
        assert neck.ik([IDENTITY[0], IDENTITY[1], seq]) == neck.ik([IDENTITY[0], IDENTITY[1], outcome])
    else:
        with pytest.raises(outcome):
            neck.fk(seq)


class Shrinking:
    """Three items when measured, fewer once the first item has been read."""

    def __init__(self):
        self.items = [0.1, 0.2, 0.3]

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        item = self.items[i]
        self.items = self.items[:1]
        return item


def test_a_sequence_changing_after_its_length_check_raises():
    with pytest.raises(IndexError):
        neck.fk(Shrinking())


class OddStr(str):
    """A str subclass whose Python-level methods all lie."""

    def __str__(self):
        return "[9, 9]"

    def encode(self, *args):
        return b"[9, 9]"

    def __len__(self):
        return 0

    def __getitem__(self, i):
        raise KeyboardInterrupt

    def __eq__(self, other):
        raise KeyboardInterrupt

    __hash__ = str.__hash__


JSON = '{"name": "\u00e9\u4e2d\U0001F600", "arm_arc": 0.6, "coupler_arc": 0.4}'


@pytest.mark.parametrize("text", [JSON, OddStr(JSON)], ids=["str", "lying-str-subclass"])
def test_from_json_reads_the_string_data_whatever_the_class_says(text):
    made = ARM.from_json(text)
    assert (made.arm_arc(), made.coupler_arc()) == (0.6, 0.4)


@pytest.mark.parametrize(
    "text, error_type",
    [(OddStr('{"arm_arc": "\ud800"}'), UnicodeEncodeError), ("[0.7, 0.5]\x00", ValueError),
     ("\ufeff[0.7, 0.5]", ValueError), ("[0.7, 0.5, \"\U0001F600\"]", ValueError)],
)
def test_from_json_odd_text_raises(text, error_type):
    with pytest.raises(error_type):
        ARM.from_json(text)


def test_keywords_bind_by_string_value_never_by_python_equality():
    made = ARM(**{OddStr("arm_arc"): 0.3, OddStr("mirror"): True})
    assert (made.arm_arc(), made.mirror()) == (0.3, True)
    assert arm.fk(**{OddStr("theta_a"): 0.3, "theta_b": -0.2}) == arm.fk(0.3, -0.2)
    with pytest.raises(TypeError, match="unexpected keyword argument '\ud800'"):
        arm.fk(0.3, **{"\ud800": 1})


def test_an_unknown_keyword_whose_str_raises_still_raises():
    class Exploding(str):
        def __str__(self):
            raise MyBaseException("from __str__")

    for call in (lambda **k: arm.fk(0.3, **k), lambda **k: ARM(**k)):
        with pytest.raises(MyBaseException):
            call(**{Exploding("zzz"): 1})


class NumpyBoolImpostor:
    def __init__(self, behaviour):
        self.behaviour = behaviour

    def __bool__(self):
        return self.behaviour()


NumpyBoolImpostor.__module__ = "numpy"
NumpyBoolImpostor.__name__ = "bool_"


@pytest.mark.parametrize(
    "behaviour, error_type",
    [(lambda: 2, TypeError), (raising(KeyboardInterrupt()), KeyboardInterrupt),
     (raising(MyBaseException()), MyBaseException), (lambda: None, TypeError)],
)
def test_a_numpy_bool_impostor_with_a_bad_bool_raises(behaviour, error_type):
    with pytest.raises(error_type):
        ARM(mirror=NumpyBoolImpostor(behaviour))


def test_a_numpy_bool_impostor_with_a_good_bool_is_read():
    assert ARM(mirror=NumpyBoolImpostor(lambda: True)).mirror() is True


# The cases below free or replace objects while the module is converting
# them, or look at objects while the module builds them; a mistake there is
# a use after free, so each runs in its own interpreter.
PRELUDE = """
import gc, sys
import quorbel_torso_kinematics as qtk
ARM = qtk.QuorbelArmKinematics
arm = ARM.default_left()
neck = qtk.QuorbelNeckKinematics()
IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
freed = []

class Tracked(float):
    def __del__(self):
        freed.append(float(self))

class Act:
    def __init__(self, action, value=0.1):
        self.action, self.value = action, value
    def __float__(self):
        self.action()
        gc.collect()
        return self.value

def raises(error_type, call):
    try:
        call()
    except error_type:
        return
    raise AssertionError("no " + error_type.__name__)
"""

ISOLATED = {
    "element-clears-its-list": """
        v = [None, Tracked(0.2), Tracked(0.3)]
        v[0] = Act(v.clear)
        raises(IndexError, lambda: neck.fk(v))
        assert sorted(freed) == [0.2, 0.3]
        m = [[None, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
        m[0][0] = Act(m.clear)
        raises(IndexError, lambda: neck.ik(m))
        row = [None, Tracked(0.5), Tracked(0.6)]
        row[0] = Act(row.clear)
        raises(IndexError, lambda: arm.ik([IDENTITY[0], row, IDENTITY[2]]))
    """,
    "element-replaces-the-next-ones": """
        v = [None, Tracked(0.2), Tracked(0.3)]
        def replace():
            v[1], v[2] = 0.7, -0.4
        v[0] = Act(replace, 0.1)
        assert neck.fk(v) == neck.fk([0.1, 0.7, -0.4])
        assert sorted(freed) == [0.2, 0.3]
        m = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], None]
        m[2] = [Act(lambda: m.__setitem__(0, [0.5, 0.5, 0.5])), 0.0, 0.0]
        assert neck.ik(m) == neck.ik([[1.0, 0.0, 0.0], IDENTITY[1], [0.1, 0.0, 0.0]])
    """,
    "constructor-keywords-mutated": """
        d = {}
        def drop():
            d.clear()
        d.update(arm_arc=Act(drop, 0.3), coupler_arc=Tracked(0.4), mirror=True)
        made = ARM(**d)
        assert (made.arm_arc(), made.coupler_arc(), made.mirror()) == (0.3, 0.4, True)
        d.update(arm_arc=Act(drop, 0.3), coupler_arc=Tracked(0.45))
        made = ARM.__new__(ARM, **d)
        assert (made.arm_arc(), made.coupler_arc()) == (0.3, 0.45)
        assert sorted(freed) == [0.4, 0.45]
    """,
    "method-keywords-mutated": """
        d = {}
        d.update(theta_a=Act(d.clear, 0.3), theta_b=Tracked(-0.2))
        assert arm.fk(**d) == arm.fk(0.3, -0.2)
        d.update(v3=[Act(d.clear, 0.66), 0.58, 0.47], near=(Tracked(0.3), Tracked(-0.2)))
        assert arm.ik_from_direction(**d) == arm.ik_from_direction([0.66, 0.58, 0.47], (0.3, -0.2))
        assert sorted(freed) == [-0.2, -0.2, 0.3]
    """,
    "reentrant-calls-from-finalizers": """
        results = []
        class CallsBack:
            def __del__(self):
                results.append((arm.fk(0.3, -0.2), neck.ik(IDENTITY), ARM(0.6).arm_arc()))
        v = [None, CallsBack(), 0.3]
        def drop():
            v[1] = 0.2
        v[0] = Act(drop, 0.1)
        assert neck.fk(v) == neck.fk([0.1, 0.2, 0.3])
        assert results == [(arm.fk(0.3, -0.2), neck.ik(IDENTITY), 0.6)]
    """,
    "unbounded-reentry": """
        class Recursing:
            def __float__(self):
                return arm.fk(self, 0.0)[0][0]
        sys.setrecursionlimit(200)
        raises(RecursionError, lambda: arm.fk(Recursing(), 0.0))
        assert arm.fk(0.3, -0.2) == arm.fk(0.3, -0.2)
    """,
    "garbage-collector-sees-results-being-built": """
        # Interpreters before 3.12 may collect inside an allocation; a
        # callback can then reach every tracked list and tuple.
        # Reading an empty slot of a half-built list would crash here.
        seen = []
        def inspect(phase, info):
            for obj in gc.get_objects():
                if type(obj) in (list, tuple) and len(obj) in (2, 3):
                    seen.append(len([x for x in obj]))
        keep = []
        gc.set_threshold(1, 1000, 1000)
        gc.callbacks.append(inspect)
        for _ in range(200):
            keep.append((neck.fk([0.1, 0.2, 0.3]), arm.fk(0.3, -0.2), arm.direction(0.3, -0.2),
                         neck.ik(IDENTITY), arm.ik_from_direction([0.66, 0.58, 0.47])))
        gc.callbacks.remove(inspect)
        assert len(seen) > 1000
        assert all(r == keep[0] for r in keep)
    """,
}


@pytest.mark.parametrize("source", ISOLATED.values(), ids=ISOLATED.keys())
def test_containers_changed_or_inspected_during_a_call(source):
    code = PRELUDE + textwrap.dedent(source)
    result = subprocess.run([sys.executable, "-X", "dev", "-c", code],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 0, result.stderr[-3000:]
