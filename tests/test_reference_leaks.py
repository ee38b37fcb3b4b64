"""Every method, called again and again on good and bad arguments, leaves
nothing behind: the interpreter's allocated blocks do not grow, and neither
do the reference counts of the argument objects."""
import gc
import sys
import tracemalloc

import numpy as np
import pytest

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
NECK = qtk.QuorbelNeckKinematics
arm = ARM.default_left()
right = ARM.default_right()
neck = NECK()


class RaisingFloat:
    """A number whose conversion raises a new exception on every call."""

    def __init__(self, error_type, cause=None):
        self.error_type = error_type
        self.cause = cause

    def __float__(self):
        error = self.error_type("raised by __float__")
        error.__cause__ = self.cause
        raise error


class RaisingIndex:
    def __index__(self):
        raise ValueError("raised by __index__")


class WrongFloat:
    def __float__(self):
        return "not a float"


class HostileLength:
    def __init__(self, length):
        self.length = length

    def __len__(self):
        if isinstance(self.length, type):
            raise self.length("raised by __len__")
        return self.length

    def __getitem__(self, i):
        return 0.5


class ShortSequence:
    """Claims three items but holds two."""

    def __len__(self):
        return 3

    def __getitem__(self, i):
        return (0.1, 0.2)[i]


class NumpyBoolWithoutBool:
    pass


class NumpyBoolRaising:
    def __bool__(self):
        raise ValueError("raised by __bool__")


for _fake in (NumpyBoolWithoutBool, NumpyBoolRaising):
    _fake.__module__ = "numpy"
    _fake.__name__ = "bool_"


class MyTypeError(TypeError):
    pass


class MyBaseException(BaseException):
    pass


R = arm.fk(0.3, -0.2)
D = arm.direction(0.3, -0.2)
IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
GIMBAL = [[0.0, 0.0, 1.0], [0.0, 1.0, 0.0], [-1.0, 0.0, 0.0]]
UNREACHABLE_R = [[1.0, 0.0, 0.0], [0.0, -1.0, 0.0], [0.0, 0.0, -1.0]]
CAUSE = KeyError("cause")
SUCCESS = ()  # catches nothing: the call must not raise

# (id, callable, positional args, keyword args, exception the call raises)
CASES = [
    # results of every method
    ("new", ARM, (0.6, 0.4, True), {}, SUCCESS),
    ("new-keywords", ARM, (), {"coupler_arc": 0.4, "mirror": np.bool_(True)}, SUCCESS),
    ("new-defaults", ARM, (), {}, SUCCESS),
    ("neck-new", NECK, (), {}, SUCCESS),
    ("default_left", ARM.default_left, (), {}, SUCCESS),
    ("default_right", ARM.default_right, (), {}, SUCCESS),
    ("from_json", ARM.from_json, ('{"arm_arc": 0.7, "coupler_arc": 0.5, "mirror": true}',), {},
     SUCCESS),
    ("accessors-arm_arc", arm.arm_arc, (), {}, SUCCESS),
    ("accessors-coupler_arc", arm.coupler_arc, (), {}, SUCCESS),
    ("accessors-mirror", right.mirror, (), {}, SUCCESS),
    ("fk", arm.fk, (0.3, -0.2), {}, SUCCESS),
    ("fk-keywords", arm.fk, (), {"theta_b": -0.2, "theta_a": 0.3}, SUCCESS),
    ("direction", right.direction, (0.3, -0.2), {}, SUCCESS),
    ("is_reachable_joints", arm.is_reachable_joints, (0.3, -0.2), {}, SUCCESS),
    ("ik", arm.ik, (R,), {}, SUCCESS),
    ("ik-numpy", arm.ik, (np.array(R),), {}, SUCCESS),
    ("ik-numpy-fortran", arm.ik, (np.asfortranarray(R),), {}, SUCCESS),
    ("neck-fk-numpy", neck.fk, (np.array([0.3, -0.7, 1.1]),), {}, SUCCESS),
    ("neck-fk-numpy-float32", neck.fk, (np.array([0.3, -0.7, 1.1], np.float32),), {}, SUCCESS),
    ("neck-fk-numpy-byteswapped", neck.fk, (np.array([0.3, -0.7, 1.1], ">f8"),), {}, SUCCESS),
    ("neck-fk-numpy-objects", neck.fk, (np.array([0.3, -0.7, 1.1], object),), {}, SUCCESS),
    ("is_reachable_orientation", arm.is_reachable_orientation, (R,), {}, SUCCESS),
    ("ik_from_direction", arm.ik_from_direction, (D,), {}, SUCCESS),
    ("ik_from_direction-near", arm.ik_from_direction, (tuple(D),), {"near": (0.3, -0.2)}, SUCCESS),
    ("is_reachable_direction", arm.is_reachable_direction, (D,), {}, SUCCESS),
    ("neck-fk", neck.fk, ([0.3, -0.7, 1.1],), {}, SUCCESS),
    ("neck-fk-range", neck.fk, (range(3),), {}, SUCCESS),
    ("neck-ik", neck.ik, (), {"r": IDENTITY}, SUCCESS),
    # binding
    ("too-many-positional", arm.fk, (1, 2, 3), {}, TypeError),
    ("too-many-positional-optional", arm.ik_from_direction, (D, None, 2), {}, TypeError),
    ("too-many-positional-new", ARM, (0.7, 0.5, False, 1), {}, TypeError),
    ("neck-new-positional", NECK, (1,), {}, TypeError),
    ("neck-new-keyword", NECK, (), {"x": 1}, TypeError),
    ("unexpected-keyword", arm.fk, (1,), {"theta_c": 2}, TypeError),
    ("unexpected-keyword-new", ARM, (), {"branch": "positive"}, TypeError),
    ("multiple-values", arm.fk, (1, 2), {"theta_a": 2}, TypeError),
    ("multiple-values-new", ARM, (0.7,), {"arm_arc": 0.8}, TypeError),
    ("missing-one", arm.fk, (), {"theta_b": 1.0}, TypeError),
    ("missing-two", arm.fk, (), {}, TypeError),
    ("missing-json", ARM.from_json, (), {}, TypeError),
    ("noargs-given-args", arm.arm_arc, (1,), {}, TypeError),
    # to_double
    ("double-str", arm.fk, ("x", 0.0), {}, TypeError),
    ("double-none", neck.fk, ([0.0, None, 0.0],), {}, TypeError),
    ("double-overflow", ARM, (10**400,), {}, OverflowError),
    ("double-raises", arm.fk, (0.0, RaisingFloat(ValueError)), {}, ValueError),
    ("double-raises-typeerror-with-cause", ARM, (RaisingFloat(TypeError, CAUSE),), {}, TypeError),
    ("double-raises-typeerror-subclass", arm.direction, (RaisingFloat(MyTypeError), 0), {},
     MyTypeError),
    ("double-raises-keyboardinterrupt", arm.fk, (RaisingFloat(KeyboardInterrupt), 0), {},
     KeyboardInterrupt),
    ("double-raises-baseexception", neck.fk, ([0, 0, RaisingFloat(MyBaseException)],), {},
     MyBaseException),
    ("double-wrong-type", arm.is_reachable_joints, (0.0, WrongFloat()), {}, TypeError),
    ("double-index-raises", arm.fk, (RaisingIndex(), 0.0), {}, ValueError),
    # to_bool
    ("bool-int", ARM, (0.7, 0.5, 1), {}, TypeError),
    ("bool-none", ARM, (), {"mirror": None}, TypeError),
    ("bool-numpy-without-bool", ARM, (), {"mirror": NumpyBoolWithoutBool()}, TypeError),
    ("bool-numpy-raising", ARM, (), {"mirror": NumpyBoolRaising()}, ValueError),
    # to_vec3
    ("vec3-not-sequence", neck.fk, (5,), {}, TypeError),
    ("vec3-dict", arm.ik_from_direction, ({0: 1, 1: 2, 2: 3},), {}, TypeError),
    ("vec3-len-raises", neck.fk, (HostileLength(KeyboardInterrupt),), {}, KeyboardInterrupt),
    ("vec3-len-huge", neck.fk, (HostileLength(2**80),), {}, OverflowError),
    ("vec3-len-negative", arm.is_reachable_direction, (HostileLength(-1),), {}, ValueError),
    ("vec3-wrong-length", neck.fk, ([1.0, 2.0],), {}, ValueError),
    ("vec3-short-sequence", neck.fk, (ShortSequence(),), {}, IndexError),
    ("vec3-str", neck.fk, ("abc",), {}, TypeError),
    ("vec3-numpy-wrong-length", neck.fk, (np.zeros(4),), {}, ValueError),
    ("vec3-numpy-matrix", arm.ik_from_direction, (np.eye(3),), {}, TypeError),
    # to_mat3
    ("mat3-not-sequence", neck.ik, (None,), {}, TypeError),
    ("mat3-wrong-length", arm.ik, (IDENTITY[:2],), {}, ValueError),
    ("mat3-numpy-vector", neck.ik, (np.zeros(3),), {}, TypeError),
    ("mat3-row-not-sequence", neck.ik, ([IDENTITY[0], IDENTITY[1], 5],), {}, TypeError),
    ("mat3-row-wrong-length", arm.is_reachable_orientation, ([[1, 0, 0], [0, 1], [0, 0, 1]],), {},
     ValueError),
    ("mat3-element", neck.ik, ([[1, 0, 0], [0, RaisingFloat(TypeError), 0], [0, 0, 1]],), {},
     TypeError),
    # to_optional_joint_pair
    ("near-list", arm.ik_from_direction, (D,), {"near": [0.3, -0.2]}, TypeError),
    ("near-wrong-length", arm.ik_from_direction, (D, (0.3, -0.2, 0.0)), {}, ValueError),
    ("near-element", arm.ik_from_direction, (D, (0.3, "x")), {}, TypeError),
    # to_text
    ("json-bytes", ARM.from_json, (b"{}",), {}, TypeError),
    ("json-lone-surrogate", ARM.from_json, ('{"arm_arc": "\ud800"}',), {}, UnicodeEncodeError),
    # kinematic failures and their reachability counterparts
    ("fk-loop-not-closed", arm.fk, (0.0, 3.0), {}, RuntimeError),
    ("direction-loop-not-closed", right.direction, (0.0, 3.0), {}, RuntimeError),
    ("is_reachable_joints-false", arm.is_reachable_joints, (0.0, 3.0), {}, SUCCESS),
    ("ik-unreachable", arm.ik, (UNREACHABLE_R,), {}, RuntimeError),
    ("is_reachable_orientation-false", arm.is_reachable_orientation, (UNREACHABLE_R,), {},
     SUCCESS),
    ("ik_from_direction-unreachable", arm.ik_from_direction, ([0.0, 0.0, -1.0],), {},
     RuntimeError),
    ("ik_from_direction-zero", arm.ik_from_direction, ([0.0, 0.0, 0.0], (0.0, 0.0)), {},
     RuntimeError),
    ("is_reachable_direction-false", arm.is_reachable_direction, ([0.0, 0.0, -1.0],), {},
     SUCCESS),
    ("neck-gimbal-lock", neck.ik, (GIMBAL,), {}, ValueError),
    ("json-missing-field", ARM.from_json, ('{"coupler_arc": 0.5}',), {}, ValueError),
    ("json-duplicate-field", ARM.from_json, ('{"arm_arc": 1, "arm_arc": 2}',), {}, ValueError),
    ("json-bad-variant", ARM.from_json, ('[1, 2, "Positive"]',), {}, ValueError),
    ("json-syntax", ARM.from_json, ('{"arm_arc": [1, 2,]}',), {}, ValueError),
    ("json-empty", ARM.from_json, ("",), {}, ValueError),
]
IDS = [case[0] for case in CASES]
assert len(set(IDS)) == len(IDS)

# Enough rounds that one object lost per call stands far above the noise of
# the interpreter's caches; fewer when every allocation goes through malloc
# (a sanitizer build), where tracemalloc does the counting.
ROUNDS = 5000 if sys.getallocatedblocks() > 0 else 2000


@pytest.mark.parametrize("name, call, args, kwargs, raises", CASES, ids=IDS)
def test_each_case_takes_the_path_it_names(name, call, args, kwargs, raises):
    if raises is SUCCESS:
        call(*args, **kwargs)
    else:
        with pytest.raises(BaseException) as caught:
            call(*args, **kwargs)
        assert type(caught.value) is raises


def shared_with_interpreter(obj):
    """Singletons, cached small ints and interned strings: their counts move
    with everything else the interpreter does."""
    if obj is None or type(obj) is bool:
        return True
    if type(obj) is int:
        return -5 <= obj <= 256
    return type(obj) is str and sys.intern(obj) is obj


def argument_objects():
    """Every object reachable from the arguments, containers included, whose
    reference count only the calls could change."""
    seen = {}
    stack = [value for case in CASES for value in (*case[2], *case[3].values())]
    while stack:
        obj = stack.pop()
        if id(obj) in seen:
            continue
        seen[id(obj)] = obj
        if isinstance(obj, (list, tuple)):
            stack.extend(obj)
    return [obj for obj in seen.values() if not shared_with_interpreter(obj)]


def run_all(rounds):
    for _ in range(rounds):
        for _name, call, args, kwargs, raises in CASES:
            try:
                call(*args, **kwargs)
            except raises:
                pass


def allocated():
    """Blocks of the interpreter's allocator; with plain malloc, traced bytes
    in units of the smallest object (16 bytes)."""
    if tracemalloc.is_tracing():
        return tracemalloc.get_traced_memory()[0] // 16
    return sys.getallocatedblocks()


def test_repeated_calls_leave_no_blocks_and_no_references():
    objects = argument_objects()
    tracing = sys.getallocatedblocks() == 0
    if tracing:
        tracemalloc.start()
    try:
        run_all(200)  # caches, interned keyword names, freelists
        gc.collect()
        refcounts = [sys.getrefcount(obj) for obj in objects]
        before = allocated()
        run_all(ROUNDS)
        gc.collect()
        grown = allocated() - before
    finally:
        if tracing:
            tracemalloc.stop()
    after = [sys.getrefcount(obj) for obj in objects]
    changed = [(objects[i], refcounts[i], after[i]) for i in range(len(objects))
               if after[i] != refcounts[i]]
    assert changed == [], repr(changed)
    # One object lost per call of any single case would add ROUNDS blocks.
    assert grown < ROUNDS // 10, f"{grown} blocks more after {ROUNDS * len(CASES)} calls"
