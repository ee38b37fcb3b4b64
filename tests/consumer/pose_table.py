"""The pose table of examples/cpp/pose_table.cpp, from the Python module, and
the bit-for-bit comparison of two such tables.

    python tests/consumer/pose_table.py print ARMS_JSON_FILE > python.txt
    python tests/consumer/pose_table.py compare python.txt cpp.txt

`print` writes, line for line, what the C++ program prints for the same poses
(floats as float.hex). The kinematics come from the module; the tips and
the vector, matrix and rotation operations, which the module does not
offer, are evaluated here in the summation orders the C++ headers state
(Python's float arithmetic is IEEE double, never contracted, and its math
functions are the C library's). `compare` reads two tables, takes every token that is
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


# The operations of quorbel/maths/vector.hpp and rotation.hpp.

def dot(a, b):
    return (a[0] * b[0] + a[1] * b[1]) + a[2] * b[2]


def cross(a, b):
    return [a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]]


def divide(x, s):
    """x / s as C computes it, a zero divisor included."""
    if s != 0.0:
        return x / s
    if x == 0.0 or math.isnan(x):
        return math.nan
    return math.copysign(math.inf, x) * math.copysign(1.0, s)


def normalise(a):
    n = math.sqrt(dot(a, a))
    return [divide(x, n) for x in a]


def matrix_product(a, b):
    return [[(a[i][0] * b[0][j] + a[i][1] * b[1][j]) + a[i][2] * b[2][j] for j in range(3)]
            for i in range(3)]


def columns(r):
    return [[r[0][j], r[1][j], r[2][j]] for j in range(3)]


IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]


def rotation_about_axis(axis, angle):
    """R[i][j] = (c I[i][j] + s K[i][j]) + ((1 - c) k_i) k_j, K = [k]x."""
    if angle == 0.0:
        return IDENTITY
    c, s = math.cos(angle), math.sin(angle)
    kx, ky, kz = axis
    skew = [[0.0, -kz, ky], [kz, 0.0, -kx], [-ky, kx, 0.0]]
    return [[(c * IDENTITY[i][j] + s * skew[i][j]) + ((1.0 - c) * axis[i]) * axis[j]
             for j in range(3)] for i in range(3)]


def arm_tips(arm, theta_a, theta_b):
    """v_2 and v_4 of quorbel/arm/geometry.hpp."""
    m = -1.0 if arm.mirror() else 1.0
    sin_arm, cos_arm = math.sin(arm.arm_arc()), math.cos(arm.arm_arc())
    radius = m * sin_arm
    return [radius * math.cos(theta_a), radius * math.sin(theta_a), cos_arm,
            m * cos_arm, (-m * sin_arm) * math.sin(theta_b), sin_arm * math.cos(theta_b)]


def arm_lines(name, arm):
    steps = range(-JOINT_STEPS, JOINT_STEPS + 1)
    for i in steps:
        for j in steps:
            theta_a, theta_b = i * 0.125, j * 0.125
            yield line(name, "tips", (theta_a, theta_b), arm_tips(arm, theta_a, theta_b))
            # The loop closed on the arm's own arcs and branch: its direction.
            v_3 = attempt(lambda: arm.direction(theta_a, theta_b), RuntimeError)
            yield line(name, "close_loop", (theta_a, theta_b), v_3)
            rotation = attempt(lambda: arm.fk(theta_a, theta_b), RuntimeError)
            yield line(name, "fk", (theta_a, theta_b), flat(rotation))
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
                yield from matrix_operation_lines(rotation, list(angles))


def matrix_operation_lines(r, v):
    x, y, z = columns(r)
    yield line("maths", "products", v,
               [dot(row, v) for row in r] + flat(matrix_product(r, r)) + flat(columns([y, z, x])))
    yield line("maths", "vectors", v,
               [dot(x, v), math.sqrt(dot(v, v))] + cross(x, v) + normalise(v)
               + [a + b for a, b in zip(x, v)] + [a - b for a, b in zip(y, v)]
               + [v[0] * a for a in z] + [a / 3.0 for a in z])


def rotation_lines():
    for i in (-1, 0, 1):
        for j in (-1, 0, 1):
            for k in (-1, 0, 1):
                axis = [float(i), float(j), float(k)]
                for a in range(-NECK_STEPS, NECK_STEPS + 1):
                    angle = a * 0.25
                    yield line("maths", "rotation_about_axis", axis + [angle],
                               flat(rotation_about_axis(axis, angle)))


def table(arms_json_path):
    with open(arms_json_path, encoding="utf-8") as file:
        from_json = QuorbelArmKinematics.from_json(file.read())
    yield from arm_lines("left", QuorbelArmKinematics.default_left())
    yield from arm_lines("right", QuorbelArmKinematics.default_right())
    yield from arm_lines("from_json", from_json)
    yield from neck_lines()
    yield from rotation_lines()


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
