"""The pose table of examples/cpp/pose_table.cpp, from the Python module, and
the bit-for-bit comparison of two such tables.

    python tests/consumer/pose_table.py print ARMS_JSON_FILE > python.txt
    python tests/consumer/pose_table.py compare python.txt cpp.txt

`print` writes, line for line, what the C++ program prints for the same poses
(floats as float.hex). `compare` reads two tables, takes every token that is
a hexadecimal float as a double (float.fromhex) and every other token as
text, and requires the same lines with the same tokens: doubles by their
bits (so 0.0 and -0.0 differ), NaN equal to NaN. It prints how many lines
and values it compared, or the first lines that differ, and exits non-zero
on any difference.
"""

import math
import struct
import sys

from quorbel_torso_kinematics import QuorbelArmKinematics, QuorbelNeckKinematics

JOINT_STEPS = 16      # theta = k / 8 for k in [-16, 16]
DIRECTION_STEPS = 2   # d = (i, j, k) for each in [-2, 2]
NECK_STEPS = 6        # yaw, roll = k / 2; pitch = k / 4; k in [-6, 6]
NONE = "none"


def line(obj, operation, inputs, results):
    values = [x.hex() for x in inputs]
    return " ".join([obj, operation, *values, ":",
                     *([NONE] if results is None else [x.hex() for x in results])])


def attempt(call, *failures):
    try:
        return call()
    except failures:
        return None


def flat(rotation):
    return None if rotation is None else [x for row in rotation for x in row]


def arm_lines(name, arm):
    steps = range(-JOINT_STEPS, JOINT_STEPS + 1)
    for i in steps:
        for j in steps:
            theta_a, theta_b = i * 0.125, j * 0.125
            rotation = attempt(lambda: arm.fk(theta_a, theta_b), RuntimeError)
            yield line(name, "fk", (theta_a, theta_b), flat(rotation))
            v_3 = attempt(lambda: arm.direction(theta_a, theta_b), RuntimeError)
            yield line(name, "direction", (theta_a, theta_b), v_3)
            if rotation is None:
                continue
            yield line(name, "ik", (theta_a, theta_b),
                       attempt(lambda: arm.ik(rotation), RuntimeError))
            yield line(name, "ik_from_direction", (theta_a, theta_b),
                       attempt(lambda: arm.ik_from_direction(v_3), RuntimeError))
            yield line(name, "ik_from_direction_near", (theta_a, theta_b, theta_b, theta_a),
                       attempt(lambda: arm.ik_from_direction(v_3, near=(theta_b, theta_a)),
                               RuntimeError))
    steps = range(-DIRECTION_STEPS, DIRECTION_STEPS + 1)
    for i in steps:
        for j in steps:
            for k in steps:
                d = (float(i), float(j), float(k))
                yield line(name, "ik_from_direction", d,
                           attempt(lambda: arm.ik_from_direction(list(d)), RuntimeError))


def neck_lines():
    neck = QuorbelNeckKinematics()
    steps = range(-NECK_STEPS, NECK_STEPS + 1)
    for i in steps:
        for j in steps:
            for k in steps:
                angles = (i * 0.5, j * 0.25, k * 0.5)
                rotation = neck.fk(list(angles))
                yield line("neck", "fk", angles, flat(rotation))
                yield line("neck", "ik", angles, attempt(lambda: neck.ik(rotation), ValueError))


def table(arms_json_path):
    with open(arms_json_path, encoding="utf-8") as file:
        from_json = QuorbelArmKinematics.from_json(file.read())
    yield from arm_lines("left", QuorbelArmKinematics.default_left())
    yield from arm_lines("right", QuorbelArmKinematics.default_right())
    yield from arm_lines("from_json", from_json)
    yield from neck_lines()


def token_value(token):
    """('double', bits) for a hexadecimal float, NaN as one value; ('text', token)
    otherwise."""
    if not token.lstrip("-").startswith(("0x", "inf", "nan")):
        return ("text", token)
    value = float.fromhex(token)
    if math.isnan(value):
        return ("double", "nan")
    return ("double", struct.unpack("<Q", struct.pack("<d", value))[0])


def compare(expected_path, actual_path):
    with open(expected_path, encoding="ascii") as file:
        expected = file.read().splitlines()
    with open(actual_path, encoding="ascii") as file:
        actual = file.read().splitlines()
    differing = []
    values = 0
    for number, (a, b) in enumerate(zip(expected, actual), start=1):
        left = [token_value(t) for t in a.split()]
        right = [token_value(t) for t in b.split()]
        values += sum(kind == "double" for kind, _ in left)
        if left != right:
            differing.append((number, a, b))
    if len(expected) != len(actual):
        differing.append((min(len(expected), len(actual)) + 1,
                          f"{len(expected)} lines", f"{len(actual)} lines"))
    for number, a, b in differing[:5]:
        print(f"line {number} differs:\n  {expected_path}: {a}\n  {actual_path}: {b}")
    if differing:
        print(f"{len(differing)} of {len(expected)} lines differ")
        return 1
    print(f"{len(expected)} lines, {values} doubles compared: the same bits in both tables")
    return 0


def main(argv):
    if len(argv) == 3 and argv[1] == "print":
        sys.stdout.writelines(text + "\n" for text in table(argv[2]))
        return 0
    if len(argv) == 4 and argv[1] == "compare":
        return compare(argv[2], argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
