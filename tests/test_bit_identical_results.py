"""Every result stays the same double, bit for bit, across optimisations.

tests/data/reference_outputs.json holds recorded reference outputs: inputs
and the results the module gave for them when the file was written by
tests/tools/record_reference_outputs.py (floats as float.hex, failures as the
exception type). The recording is the point of this test, not a statement
that those values are right: the kinematics' correctness is tested
elsewhere, and this test catches any change at all (a reordered sum, a
contracted multiply-add, a trig value cached differently) in arm fk,
direction, ik, ik_from_direction with and without `near`, the reachability
tests and the neck's fk and ik, for left, right and negative-branch arms.
"""

import collections
import json
import pathlib
import subprocess
import sys

import pytest

import quorbel_torso_kinematics as qtk

RECORD = json.loads(
    (pathlib.Path(__file__).parent / "data" / "reference_outputs.json").read_text())


def unhexed(value):
    if isinstance(value, str):
        return float.fromhex(value)
    if isinstance(value, list):
        return [unhexed(item) for item in value]
    return value


def hexed(value):
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return [hexed(item) for item in value]
    return value


def build(name):
    if name == "neck":
        return qtk.QuorbelNeckKinematics()
    recipe = RECORD["arms"][name]
    if "factory" in recipe:
        return getattr(qtk.QuorbelArmKinematics, recipe["factory"])()
    if "from_json" in recipe:
        return qtk.QuorbelArmKinematics.from_json(recipe["from_json"])
    return qtk.QuorbelArmKinematics(*recipe["new"])


def replay(obj, case):
    args = [unhexed(arg) for arg in case["args"]]
    if case["method"] in ("fk", "direction", "is_reachable_joints") and case["object"] != "neck":
        args = args[0]  # the joint pair is recorded as one list
    elif case["method"] == "ik_from_direction" and args[1] is not None:
        args[1] = tuple(args[1])  # `near` must be a tuple
    try:
        result = getattr(obj, case["method"])(*args)
    except Exception as error:
        return {"raises": type(error).__name__}
    return {"returns": hexed(result), "type": type(result).__name__}


GROUPS = collections.defaultdict(list)
for _case in RECORD["cases"]:
    GROUPS[(_case["object"], _case["method"])].append(_case)


def test_record_covers_every_method_and_arm():
    arm_methods = {"fk", "direction", "is_reachable_joints", "ik", "is_reachable_orientation",
                   "ik_from_direction", "is_reachable_direction"}
    for name in RECORD["arms"]:
        assert {method for obj, method in GROUPS if obj == name} == arm_methods
    assert {method for obj, method in GROUPS if obj == "neck"} == {"fk", "ik"}
    # Each group holds successes, most groups failures too.
    for key, cases in GROUPS.items():
        assert any("returns" in case for case in cases), key


@pytest.mark.parametrize("key", sorted(GROUPS), ids=lambda key: f"{key[0]}.{key[1]}")
def test_results_are_bit_identical_to_the_record(key):
    obj = build(key[0])
    mismatches = []
    for case in GROUPS[key]:
        expected = {k: case[k] for k in ("raises", "returns", "type") if k in case}
        got = replay(obj, case)
        if got != expected:
            mismatches.append(f"args={case['args']}: expected {expected}, got {got}")
    assert not mismatches, f"{len(mismatches)} of {len(GROUPS[key])} differ:\n" + "\n".join(
        mismatches[:5])


def test_recorder_writes_the_record(tmp_path):
    # Re-recording on purpose must change only the results meant to change:
    # the recorder's calls are the record's, in its order.
    recorder = pathlib.Path(__file__).parent / "tools" / "record_reference_outputs.py"
    written = tmp_path / "reference_outputs.json"
    subprocess.run([sys.executable, str(recorder), str(written)], check=True,
                   capture_output=True)
    recorded = pathlib.Path(__file__).parent / "data" / "reference_outputs.json"
    assert written.read_bytes() == recorded.read_bytes()
