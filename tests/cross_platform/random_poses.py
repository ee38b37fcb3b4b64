"""The lines of tests/cross_platform/random_poses.cpp from the Python packages,
and the exact comparison of two sets of such lines.

    python random_poses.py print arrays POSES > arrays.txt
    python random_poses.py print module POSES > module.txt
    python random_poses.py compare REFERENCE.txt OTHER.txt

`print arrays` draws the same poses as the C++ program (the same splitmix64,
evaluated for all draws at once in NumPy's wrapping uint64 arithmetic, and
the same exact conversion to doubles) and writes, line for line, what the C++
program writes, from quorbel_torso: NaN there is "none" here. `print module`
writes the lines of the operations the per-call module offers (fk,
direction, ik, ik_from_direction with and without near, the neck's fk and
ik), from quorbel_torso_kinematics: an exception there is "none".

`compare` walks OTHER's lines and finds each one's pose, object and
operation in REFERENCE, in order (OTHER may hold a subset of REFERENCE's
operations); the values must be the same text, so the same bits. It prints
how many lines it compared and, per operation, how many differ, with the
first differences, and exits non-zero on any difference or missing line.
"""

import sys
from collections import Counter

import numpy as np

SEED = 0x5EED0F7025A11
GAMMA = 0x9E3779B97F4A7C15
DRAWS = 16  # per pose, in the order of the C++ Pose
DAMPING = 2.0**-4
NONE = "none"
ARM_NAMES = ("left", "right", "negative")


def splitmix64(count):
    """The first `count` outputs of splitmix64 from SEED: state i is
    SEED + (i + 1) GAMMA modulo 2^64, then mixed."""
    with np.errstate(over="ignore"):
        z = np.uint64(SEED) + np.arange(1, count + 1, dtype=np.uint64) * np.uint64(GAMMA)
        z = (z ^ (z >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)
        z = (z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)
    return z ^ (z >> np.uint64(31))


def draw(count):
    """The poses' draws, columns in the C++ Pose's order, each uniform on
    [-bound, bound) exactly as the C++ program computes it."""
    k = (splitmix64(count * DRAWS) >> np.uint64(11)).astype(np.int64) - (1 << 52)
    unit = (k.astype(np.float64) * 2.0**-52).reshape(count, DRAWS)
    bounds = np.array([2, 2, 1, 1, 1, 4, 4, 1, 1, 1, 4, 2, 4, 1, 1, 1], dtype=np.float64)
    d = unit * bounds
    return {
        "theta_a": d[:, 0], "theta_b": d[:, 1], "direction": d[:, 2:5], "near": d[:, 5:7],
        "rate": d[:, 7:10], "neck": d[:, 10:13], "omega": d[:, 13:16],
    }


def hex_rows(values):
    """Each row of `values` (poses, ...) as its line's values: the 16 hex
    digits of each double's bits, "nan" for NaN, "none" for a row all NaN."""
    flat = np.ascontiguousarray(values, dtype=np.float64).reshape(len(values), -1)
    bits = flat.view(np.uint64).tolist()
    nan = np.isnan(flat)
    rows = []
    for row_bits, row_nan in zip(bits, nan.tolist()):
        if all(row_nan):
            rows.append(NONE)
        else:
            rows.append(" ".join("nan" if n else "%016x" % b for b, n in zip(row_bits, row_nan)))
    return rows


def targets(direction, p):
    """target() of the C++ program: the direction plus a quarter of the rate
    where the loop closes, the random direction elsewhere."""
    closed = ~np.isnan(direction[:, :1])
    return np.where(closed, direction + 0.25 * p["rate"], p["direction"])


def arrays_results(count):
    """{(pose, object, operation): values text} from quorbel_torso, in a
    per-pose list of lines."""
    from quorbel_torso import Arm, Neck

    p = draw(count)
    arms = (Arm.default_left(), Arm.default_right(), Arm(0.7, 0.5, True, "negative"))
    lines = [[] for _ in range(count)]
    for index, (name, arm) in enumerate(zip(ARM_NAMES, arms)):
        poses = np.arange(index, count, 3)
        a, b = p["theta_a"][poses], p["theta_b"][poses]
        q = {key: value[poses] for key, value in p.items()}
        fk = arm.fk(a, b)
        direction = arm.direction(a, b)
        wanted = targets(direction, q)
        reached, joints = arm.nearest_reachable(wanted, q["near"])
        closed = ~np.isnan(fk[:, 0, 0])
        ik = arm.ik(np.where(closed[:, None, None], fk, np.eye(3)))
        columns = [
            ("fk", hex_rows(fk)),
            ("direction", hex_rows(direction)),
            ("ik", hex_rows(ik)),
            ("ik_from_direction", hex_rows(arm.ik_from_direction(wanted))),
            ("ik_from_direction_near", hex_rows(arm.ik_from_direction(wanted, q["near"]))),
            ("direction_jacobian", hex_rows(arm.direction_jacobian(a, b))),
            ("angular_jacobian", hex_rows(arm.angular_jacobian(a, b))),
            ("singular_values", hex_rows(arm.singular_values(a, b))),
            ("joint_rates", hex_rows(arm.joint_rates(a, b, q["rate"]))),
            ("joint_rates_damped", hex_rows(arm.joint_rates(a, b, q["rate"], DAMPING))),
            ("nearest_reachable_near", hex_rows(np.concatenate([reached, joints], axis=1))),
        ]
        for row, pose in enumerate(poses.tolist()):
            for operation, rows in columns:
                if operation == "ik" and not closed[row]:
                    continue  # the C++ program asks ik only for a closed loop
                lines[pose].append(f"{pose} {name} {operation} : {rows[row]}")
    neck = Neck()
    rotation = neck.fk(p["neck"])
    columns = [
        ("fk", hex_rows(rotation)),
        ("ik", hex_rows(neck.ik(rotation))),
        ("angular_jacobian", hex_rows(neck.angular_jacobian(p["neck"]))),
        ("joint_rates", hex_rows(neck.joint_rates(p["neck"], p["omega"]))),
    ]
    for pose in range(count):
        for operation, rows in columns:
            lines[pose].append(f"{pose} neck {operation} : {rows[pose]}")
    for pose_lines in lines:
        yield from pose_lines


def module_results(count):
    """The per-call module's lines, for the operations it offers."""
    from quorbel_torso_kinematics import QuorbelArmKinematics, QuorbelNeckKinematics
    from quorbel_torso import Arm

    def text(values):
        if values is None:
            return NONE
        return " ".join("nan" if v != v else "%016x" % b for v, b in
                        zip(values, np.array(values, dtype=np.float64).view(np.uint64).tolist()))

    def attempt(call, *arguments, **keywords):
        try:
            return call(*arguments, **keywords)
        except (RuntimeError, ValueError):
            return None

    p = draw(count)
    arms = (QuorbelArmKinematics.default_left(), QuorbelArmKinematics.default_right(),
            Arm(0.7, 0.5, True, "negative").kinematics())
    neck = QuorbelNeckKinematics()
    theta_a, theta_b = p["theta_a"].tolist(), p["theta_b"].tolist()
    direction_draws, near, rate = p["direction"].tolist(), p["near"].tolist(), p["rate"].tolist()
    neck_angles = p["neck"].tolist()
    for pose in range(count):
        name, arm = ARM_NAMES[pose % 3], arms[pose % 3]
        a, b = theta_a[pose], theta_b[pose]
        rotation = attempt(arm.fk, a, b)
        yield f"{pose} {name} fk : {text(None if rotation is None else sum(rotation, []))}"
        direction = attempt(arm.direction, a, b)
        yield f"{pose} {name} direction : {text(direction)}"
        if rotation is not None:
            yield f"{pose} {name} ik : {text(attempt(arm.ik, rotation))}"
        if direction is None:
            wanted = direction_draws[pose]
        else:
            wanted = [d + 0.25 * r for d, r in zip(direction, rate[pose])]
        yield f"{pose} {name} ik_from_direction : {text(attempt(arm.ik_from_direction, wanted))}"
        solution = attempt(arm.ik_from_direction, wanted, near=tuple(near[pose]))
        yield f"{pose} {name} ik_from_direction_near : {text(solution)}"
        neck_rotation = neck.fk(neck_angles[pose])
        yield f"{pose} neck fk : {text(sum(neck_rotation, []))}"
        yield f"{pose} neck ik : {text(attempt(neck.ik, neck_rotation))}"


def split(line):
    head, _, values = line.partition(" : ")
    return head, values


def compare(reference_path, other_path):
    differing = Counter()
    shown = []
    compared = 0
    with open(reference_path, encoding="ascii") as reference, \
            open(other_path, encoding="ascii") as other:
        for line in other:
            key, values = split(line.rstrip("\n"))
            for candidate in reference:
                reference_key, reference_values = split(candidate.rstrip("\n"))
                if reference_key == key:
                    break
            else:
                print(f"{reference_path} has no line {key!r} (in order)")
                return 1
            compared += 1
            if values != reference_values:
                operation = " ".join(key.split()[1:])
                differing[operation] += 1
                if len(shown) < 5:
                    shown.append(f"{key}:\n  {reference_path}: {reference_values}\n"
                                 f"  {other_path}: {values}")
    for text in shown:
        print(text)
    for operation, number in sorted(differing.items()):
        print(f"  {operation}: {number} lines differ")
    total = sum(differing.values())
    print(f"{compared} lines compared, {total} differ ({other_path} against {reference_path})")
    return 1 if total or compared == 0 else 0


def main(argv):
    if len(argv) == 4 and argv[1] == "print" and argv[2] in ("arrays", "module"):
        lines = (arrays_results if argv[2] == "arrays" else module_results)(int(argv[3]))
        sys.stdout.writelines(line + "\n" for line in lines)
        return 0
    if len(argv) == 4 and argv[1] == "compare":
        return compare(argv[2], argv[3])
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
