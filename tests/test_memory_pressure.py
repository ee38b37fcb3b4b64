"""Allocation failures: for every method, the interpreter's allocator is made
to fail at the first, the second, ... allocation of the call, one at a time,
until the call runs through. Each attempt either raises MemoryError or gives
exactly the normal outcome, never a partial result; afterwards nothing has
leaked and the module works.

Each case runs in its own interpreter (this file is also its script), as a
mistake on an allocation-failure path may crash the interpreter."""
import gc
import json
import re
import subprocess
import sys

import pytest

try:
    import _testcapi
except ImportError:
    _testcapi = None

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
arm = ARM.default_left()
neck = qtk.QuorbelNeckKinematics()
IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
R = arm.fk(0.3, -0.2)
D = arm.direction(0.3, -0.2)


class Items:
    """A sequence that is neither a list nor a tuple: items by index."""

    def __init__(self, *items):
        self.items = items

    def __len__(self):
        return len(self.items)

    def __getitem__(self, i):
        return self.items[i]


class RaisesTypeError:
    def __float__(self):
        raise TypeError("refused")


# name: (callable, positional args, keyword args). Arguments are built here,
# not inside the attempt, so every failed allocation is the call's own.
CASES = {
    "new": (ARM, (0.6, 0.4, True), {}),
    "new-keywords": (ARM, (), {"coupler_arc": 0.4, "mirror": True}),
    "neck-new": (qtk.QuorbelNeckKinematics, (), {}),
    "default_left": (ARM.default_left, (), {}),
    "default_right": (ARM.default_right, (), {}),
    "from_json": (ARM.from_json, ('{"arm_arc": 0.6, "coupler_arc": 0.4, "branch": "negative"}',), {}),
    "arm_arc": (arm.arm_arc, (), {}),
    "coupler_arc": (arm.coupler_arc, (), {}),
    "mirror": (arm.mirror, (), {}),
    "fk": (arm.fk, (0.3, -0.2), {}),
    "fk-keywords": (arm.fk, (), {"theta_b": -0.2, "theta_a": 0.3}),
    "direction": (arm.direction, (0.3, -0.2), {}),
    "is_reachable_joints": (arm.is_reachable_joints, (0.3, -0.2), {}),
    "ik": (arm.ik, (R,), {}),
    "ik-items": (arm.ik, (Items(*map(tuple, R)),), {}),
    "is_reachable_orientation": (arm.is_reachable_orientation, (R,), {}),
    "ik_from_direction": (arm.ik_from_direction, (Items(*D),), {"near": (0.3, -0.2)}),
    "is_reachable_direction": (arm.is_reachable_direction, (D,), {}),
    "neck-fk": (neck.fk, (range(3),), {}),
    "neck-ik": (neck.ik, (R,), {}),
    # failures whose exceptions the module makes
    "too-many-positional": (arm.fk, (1, 2, 3), {}),
    "unexpected-keyword": (ARM, (), {"branch": 1}),
    "missing-arguments": (arm.fk, (), {}),
    "wrong-length": (neck.fk, ([1.0, 2.0],), {}),
    "named-type-error": (arm.fk, (RaisesTypeError(), 0.0), {}),
    "loop-not-closed": (arm.direction, (0.0, 3.0), {}),
    "unreachable": (arm.ik_from_direction, ([0.0, 0.0, -1.0],), {}),
    "gimbal-lock": (neck.ik, ([[0, 0, 1], [0, 1, 0], [-1, 0, 0]],), {}),
    "json-error": (ARM.from_json, ('{"arm_arc": 1, "arm_arc": 2}',), {}),
}

# Interpreters from 3.11 on lose the pending exception when a frame object
# cannot be allocated while it unwinds a Python frame, and report that as
# one of these (a pure-Python raise shows the same). A method of this module
# returning an error without an exception is named in the message instead.
INTERPRETER_LOST_EXCEPTION = re.compile(
    r"error return without exception set|<function \S+ at 0x[0-9a-f]+> returned NULL "
    r"without setting an exception")

CONSECUTIVE_SUCCESSES = 20
PASSES = 4


def describe(value):
    """The outcome as plain data, exact to the bit, types included."""
    if isinstance(value, BaseException):
        return ["raised", type(value).__name__, str(value)]
    if isinstance(value, ARM):
        return ["arm", value.arm_arc().hex(), value.coupler_arc().hex(), value.mirror()]
    if isinstance(value, qtk.QuorbelNeckKinematics):
        return ["neck"]
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return [type(value).__name__, [describe(item) for item in value]]
    return [type(value).__name__, repr(value)]


def emptied_free_lists():
    """Holds enough fresh floats, lists and small tuples that the interpreter's
    free lists are empty and every such object of the call is allocated."""
    return ([i + 0.5 for i in range(200)], [[] for _ in range(100)],
            [(i, i) for i in range(2100)], [(i, i, i) for i in range(2100)])


def attempt(call, args, kwargs, k):
    """The outcome of the call with allocation k failing, as plain data (no
    exception is kept: its traceback would tie it to this frame)."""
    # Passed as a ready tuple: an argument tuple built for the call and freed
    # after it would refill the free list of pairs.
    window = (k, k + 1)
    held = emptied_free_lists()
    _testcapi.set_nomemory(*window)
    try:
        result = call(*args, **kwargs)
    except BaseException as error:
        _testcapi.remove_mem_hooks()
        return describe(error)
    _testcapi.remove_mem_hooks()
    del held
    return describe(result)


def lost_exception(outcome):
    return outcome[:2] == ["raised", "SystemError"] and bool(
        INTERPRETER_LOST_EXCEPTION.fullmatch(outcome[2]))


def sweep(case, expected):
    """Fails each allocation point in turn; returns how many raised MemoryError."""
    memory_errors = 0
    successes = 0
    k = 0
    while successes < CONSECUTIVE_SUCCESSES:
        outcome = attempt(*case, k)
        if outcome[:2] == ["raised", "MemoryError"] or lost_exception(outcome):
            memory_errors += 1
            successes = 0
        else:
            assert outcome == expected, f"allocation {k}: {outcome}"
            successes += 1
        k += 1
    return memory_errors


def expected_outcome(call, args, kwargs):
    try:
        return describe(call(*args, **kwargs))
    except BaseException as error:
        return describe(error)


def sweeps(case):
    """MemoryErrors met by each sweep after a first one (which fills caches),
    and the blocks gained over those sweeps."""
    expected = expected_outcome(*case)
    sweep(case, expected)
    counts = [0] * PASSES
    gc.collect()
    before = sys.getallocatedblocks()
    for i in range(PASSES):
        counts[i] = sweep(case, expected)
    gc.collect()
    return counts, sys.getallocatedblocks() - before


def run_case(name):
    counts, grown = sweeps(CASES[name])
    return {"memory_errors": counts, "grown": grown,
            "returns_bool": expected_outcome(*CASES[name])[0] == "bool"}


@pytest.mark.skipif(_testcapi is None or not hasattr(_testcapi, "set_nomemory"),
                    reason="needs _testcapi.set_nomemory")
@pytest.mark.slow  # an interpreter per method, a sweep of every allocation in it
@pytest.mark.parametrize("name", CASES)
def test_every_allocation_failure_raises_memory_error_and_leaks_nothing(name):
    child = subprocess.run([sys.executable, __file__, name], capture_output=True, text=True,
                           timeout=300)
    assert child.returncode == 0, child.stderr[-3000:]
    report = json.loads(child.stdout.splitlines()[-1])
    assert min(report["memory_errors"]) > 0 or report["returns_bool"], report
    if sys.getallocatedblocks() > 0:  # pymalloc: blocks are counted
        # A block lost at any failure point would be lost once per sweep.
        assert report["grown"] <= 4, report


# Initialisation, in an interpreter that has not loaded the module yet: each
# failed attempt raises MemoryError, or the class-creation RuntimeError
# caused by one, and leaves nothing that spoils the next attempt.
FIRST_IMPORT = """
import importlib.util, re, sys, _testcapi
spec = importlib.util.find_spec("quorbel_torso_kinematics")
lost = re.compile(sys.argv[1])
failures = 0
for k in range(10000):
    window = (k, k + 1)
    _testcapi.set_nomemory(*window)
    try:
        module = importlib.util.module_from_spec(spec)
    except BaseException as error:
        _testcapi.remove_mem_hooks()
        cause = error.__cause__
        assert (type(error) is MemoryError
                or type(error) is RuntimeError and type(cause) is MemoryError
                and str(error).startswith("An error occurred while initializing class ")
                or type(error) is SystemError and lost.fullmatch(str(error))), repr(error)
        failures += 1
        continue
    _testcapi.remove_mem_hooks()
    break
assert failures > 0
import quorbel_torso_kinematics as qtk
assert qtk is module
assert qtk.__all__ == ["QuorbelArmKinematics", "QuorbelNeckKinematics"]
ARM = qtk.QuorbelArmKinematics
assert ARM.__text_signature__ == "(arm_arc=0.7, coupler_arc=0.5, mirror=False)"
assert ARM.__doc__ == "" and qtk.QuorbelNeckKinematics.__text_signature__ == "()"
assert ARM.default_right().fk(0.3, -0.2) == ARM(mirror=True).fk(0.3, -0.2)
assert qtk.QuorbelNeckKinematics().ik([[1, 0, 0], [0, 1, 0], [0, 0, 1]]) == (0.0, -0.0, 0.0)
"""


@pytest.mark.skipif(_testcapi is None or not hasattr(_testcapi, "set_nomemory"),
                    reason="needs _testcapi.set_nomemory")
@pytest.mark.skipif(sys.version_info[:3] == (3, 13, 0),
                    reason="CPython 3.13.0 itself crashes in PyType_FromSpec when an "
                           "allocation fails (seen with a plain C type)")
def test_initialisation_under_allocation_failures():
    child = subprocess.run([sys.executable, "-c", FIRST_IMPORT, INTERPRETER_LOST_EXCEPTION.pattern],
                           capture_output=True, text=True, timeout=300)
    assert child.returncode == 0, child.stderr[-3000:]


if __name__ == "__main__":
    print(json.dumps(run_case(sys.argv[1])))
