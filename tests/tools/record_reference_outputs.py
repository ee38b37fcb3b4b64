"""Record the outputs that tests/test_bit_identical_results.py holds the module to.

Run once against a trusted build; the data file it writes is committed, and
the test then fails on any change of any bit of any result (float.hex is
compared). Re-record only on purpose, when a result is meant to change.

    python tests/tools/record_reference_outputs.py [output.json]
"""

import json
import math
import pathlib
import sys

import quorbel_torso_kinematics as qtk

DEFAULT_OUTPUT = pathlib.Path(__file__).resolve().parent.parent / "data" / "reference_outputs.json"

# How each arm of the record is built; the test builds them the same way.
ARMS = {
    "left": {"factory": "default_left"},
    "right": {"factory": "default_right"},
    "left_negative": {"from_json": '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative"}'},
    "right_negative": {
        "from_json": '{"arm_arc": 0.7, "coupler_arc": 0.5, "branch": "negative", "mirror": true}'
    },
    "wide": {"new": [0.9, 0.55, False]},
}

JOINT_PAIRS = [
    (0.0, 0.0),
    (0.3, -0.2),
    (-0.3, 0.2),
    (0.5, -0.5),
    (-0.2, -0.3),
    (0.7, -1.2),
    (0.2, 0.3),
    (-0.5, 0.9),
    (0.6, 0.1),
    (0.1, -0.6),
    (-0.4, -0.1),
    (0.9, -0.4),
    (-0.0, 0.0),
    (0.05, 1e-9),
    (2.5, -2.0),  # the loop does not close
    (math.pi, 0.0),
    (1.5, -1.5),
    (math.nan, 0.1),
]

EXTRA_DIRECTIONS = [
    (0.66, 0.58, 0.47),
    (0.0, 0.0, 1.0),
    (1.0, 0.0, 0.0),
    (-1.0, 0.0, 0.0),
    (0.0, 0.0, 0.0),
    (1e-12 * 0.6626962244871317, 1e-12 * 0.584017488490181, 1e-12 * 0.46878277185506984),
    (math.nan, 0.0, 1.0),
    (0.2, -0.9, 0.4),
    (-0.5, 0.5, 0.7),
]

NEARS = [None, (0.3, -0.2), (1.1, -0.2), (0.3, -1.5), (math.nan, 0.0), (-3.0, 3.0)]

NECK_JOINTS = [
    (0.0, 0.0, 0.0),
    (-0.0, -0.0, -0.0),
    (0.3, -0.7, 1.1),
    (0.0, math.pi / 2, 0.0),
    (3.0, 0.2, -3.0),
    (2.5, -2.9, 1.9),
    (-2.0, 1.3, 3.1),
    (0.1, 0.0, 0.0),
    (0.0, 0.0, -2.6),
    (math.pi, -math.pi, math.pi),
    (1e-300, 0.0, -1e-300),
    (math.nan, 0.0, 0.0),
    (0.0, math.inf, 0.0),
]


def hexed(value):
    """Inputs and outputs as exact text: floats as float.hex, containers kept."""
    if isinstance(value, bool) or value is None:
        return value
    if isinstance(value, float):
        return value.hex()
    if isinstance(value, (list, tuple)):
        return [hexed(item) for item in value]
    raise TypeError(f"cannot record {value!r}")


def outcome(call):
    try:
        result = call()
    except Exception as error:  # the failure kind is part of the record
        return {"raises": type(error).__name__}
    return {"returns": hexed(result), "type": type(result).__name__}


def build_arm(recipe):
    if "factory" in recipe:
        return getattr(qtk.QuorbelArmKinematics, recipe["factory"])()
    if "from_json" in recipe:
        return qtk.QuorbelArmKinematics.from_json(recipe["from_json"])
    return qtk.QuorbelArmKinematics(*recipe["new"])


def arm_cases(arm):
    cases = []
    directions = []
    rotations = []
    for pair in JOINT_PAIRS:
        for method in ("fk", "direction", "is_reachable_joints"):
            cases.append((method, [list(pair)], outcome(lambda: getattr(arm, method)(*pair))))
        try:
            directions.append(tuple(3.0 * c for c in arm.direction(*pair)))
            rotations.append(arm.fk(*pair))
        except RuntimeError:
            # A NaN angle gave a NaN pose before the loop closure refused
            # NaN; the record keeps the calls made with that pose.
            if any(math.isnan(v) for v in pair):
                directions.append((math.nan,) * 3)
                rotations.append([[math.nan] * 3 for _ in range(3)])
    directions += EXTRA_DIRECTIONS
    for d in directions:
        for near in NEARS:
            cases.append(("ik_from_direction", [list(d), near],
                          outcome(lambda: arm.ik_from_direction(d, near))))
        cases.append(("is_reachable_direction", [list(d)],
                      outcome(lambda: arm.is_reachable_direction(d))))
    nudged = []
    for r in rotations[:4]:
        moved = [row[:] for row in r]
        moved[0][0] += 1e-7
        nudged.append(moved)
        nudged.append([list(col) for col in zip(*r)])
        nudged.append([[2.0 * v for v in row] for row in r])
    identity = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]
    for r in rotations + nudged + [identity]:
        for method in ("ik", "is_reachable_orientation"):
            cases.append((method, [r], outcome(lambda: getattr(arm, method)(r))))
    return cases


def neck_cases(neck):
    cases = []
    rotations = []
    for joints in NECK_JOINTS:
        cases.append(("fk", [list(joints)], outcome(lambda: neck.fk(joints))))
        rotations.append(neck.fk(joints))
    for x in (0.999999, 0.9999990000000001, -0.9999990000000001, 1.5, math.nan):
        rotations.append([[0.1, 0.2, 0.3], [0.4, 0.5, 0.6], [x, 0.8, 0.9]])
    for r in rotations:
        cases.append(("ik", [r], outcome(lambda: neck.ik(r))))
    return cases


def main():
    output = pathlib.Path(sys.argv[1]) if len(sys.argv) > 1 else DEFAULT_OUTPUT
    record = {"arms": ARMS, "cases": []}
    for name, recipe in ARMS.items():
        for method, args, result in arm_cases(build_arm(recipe)):
            record["cases"].append({"object": name, "method": method,
                                    "args": hexed(args), **result})
    for method, args, result in neck_cases(qtk.QuorbelNeckKinematics()):
        record["cases"].append({"object": "neck", "method": method,
                                "args": hexed(args), **result})
    output.parent.mkdir(parents=True, exist_ok=True)
    lines = ['{"arms": ' + json.dumps(record["arms"]) + ',', '"cases": [']
    lines += [json.dumps(case) + "," for case in record["cases"]]
    lines[-1] = lines[-1].rstrip(",")
    lines.append("]}")
    output.write_text("\n".join(lines) + "\n")
    print(f"{len(record['cases'])} cases written to {output}")


if __name__ == "__main__":
    main()
