"""Cost of one pose through quorbel_torso, the array package, against the
per-call module's same call on the same pose, both timed in one run.

Each method is called on one pose at a time, cycling through 64 poses, with
its arguments as a controller holds them: Python floats and tuples, then
float64 NumPy arrays of the pose's shape (0-d for an angle), the same objects
given to the per-call module (`near` as a tuple, the only form it takes). Rounds interleave every
method and its per-call peer; each figure is the median over the rounds of
the thread CPU time per call, each ratio the median of the rounds' ratios.

The per-call module has no ik_solutions, no Jacobians, singular values,
joint rates, nearest_reachable, options (limits, wrap) or neck reachable. For
those the peer is what such a per-call method would cost: a per-call call
whose arguments and result have the same structure (the base: fk for a
matrix result, direction for a pair, ...), with the base's core time per pose
replaced by the method's; core times are the kernels' over 4096 poses
writing into results allocated once.

A second table gives each method on 4 poses at once (float64 arrays): the
batch path, which skips broadcasting for arrays the kernels can read as they
are.

    python bench/single_pose_benchmark.py [--rounds N] [--calls N] [--write]

Runs on the installed quorbel_torso and quorbel_torso_kinematics. With
--write, the tables replace the "One pose at a time" section of
bench/ARRAYS_RESULTS.md (arrays_benchmark.py keeps that section when it
rewrites the rest). This is a measurement, not a test: nothing fails on slow
numbers.
"""

import argparse
import datetime
import math
import os
import pathlib
import platform
import statistics
import subprocess
import time

import numpy as np
from machine_info import cpu_model

import quorbel_torso as qt
import quorbel_torso_kinematics as qtk
from quorbel_torso import _kernels

RESULTS = pathlib.Path(__file__).resolve().parent / "ARRAYS_RESULTS.md"
SECTION = "## One pose at a time"
POSES = 64
CORE_POSES = 4096
SMALL_BATCH = 4
GOAL_RATIO = 3.0


def reachable_joints(rng, count):
    """Joint pairs of the left preset whose loop closes, from [-pi, pi]^2."""
    arm = qt.Arm.default_left()
    pairs = rng.uniform(-math.pi, math.pi, (8 * count, 2))
    closed = arm.reachable_joints(pairs[:, 0], pairs[:, 1])
    return pairs[closed][:count]


class Poses:
    """The poses as NumPy arrays (one row per pose)."""

    def __init__(self, count, seed=7):
        rng = np.random.default_rng(seed)
        arm = qt.Arm.default_left()
        joints = reachable_joints(rng, count)
        self.theta_a, self.theta_b = joints[:, 0].copy(), joints[:, 1].copy()
        self.directions = arm.direction(self.theta_a, self.theta_b)
        self.rotations = arm.fk(self.theta_a, self.theta_b)
        self.near = joints + rng.uniform(-0.03, 0.03, joints.shape)
        self.neck_joints = np.column_stack([rng.uniform(-math.pi, math.pi, count),
                                            rng.uniform(-1.4, 1.4, count),
                                            rng.uniform(-math.pi, math.pi, count)])
        self.neck_rotations = qt.Neck().fk(self.neck_joints)
        self.rates = rng.standard_normal((count, 3))
        # Unit targets the arm cannot reach, for nearest_reachable.
        spread = rng.standard_normal((8 * count, 3))
        spread /= np.linalg.norm(spread, axis=1, keepdims=True)
        self.targets = spread[~arm.reachable_direction(spread)][:count]


def single_cases(poses):
    """name -> (quorbel_torso method, per-call peer, or (its core, the case of
    its base) for a method the per-call module lacks, the argument columns
    of a pose)."""
    arm, neck = qt.Arm.default_left(), qt.Neck()
    limited = qt.Arm(limits=((-2.5, 2.5), (-2.5, 2.5)))
    per_arm, per_neck = qtk.QuorbelArmKinematics.default_left(), qtk.QuorbelNeckKinematics()
    p = poses
    joints = (p.theta_a, p.theta_b)
    return {
        "arm.fk": (arm.fk, per_arm.fk, joints),
        "arm.direction": (arm.direction, per_arm.direction, joints),
        "arm.reachable_joints": (arm.reachable_joints, per_arm.is_reachable_joints, joints),
        "arm.ik_from_direction": (arm.ik_from_direction, per_arm.ik_from_direction,
                                  (p.directions,)),
        "arm.ik_from_direction(near=)": (arm.ik_from_direction, per_arm.ik_from_direction,
                                         (p.directions, p.near)),
        "arm.reachable_direction": (arm.reachable_direction, per_arm.is_reachable_direction,
                                    (p.directions,)),
        "arm.ik": (arm.ik, per_arm.ik, (p.rotations,)),
        "arm.reachable_orientation": (arm.reachable_orientation,
                                      per_arm.is_reachable_orientation, (p.rotations,)),
        "neck.fk": (neck.fk, per_neck.fk, (p.neck_joints,)),
        "neck.ik": (neck.ik, per_neck.ik, (p.neck_rotations,)),
        "arm.ik_solutions": (arm.ik_solutions, ("ik_solutions", "arm.fk"), (p.directions,)),
        "arm.ik_from_direction(limits, wrap)": (
            lambda v3, near: limited.ik_from_direction(v3, near, wrap=True),
            ("ik_from_direction_within", "arm.ik_from_direction(near=)"), (p.directions, p.near)),
        "arm.direction_jacobian": (arm.direction_jacobian, ("direction_jacobian", "arm.fk"), joints),
        "arm.angular_jacobian": (arm.angular_jacobian, ("angular_jacobian", "arm.fk"), joints),
        "arm.singular_values": (arm.singular_values, ("singular_values", "arm.direction"), joints),
        "arm.joint_rates": (arm.joint_rates, ("joint_rates", "arm.direction"), joints + (p.rates,)),
        "arm.nearest_reachable": (arm.nearest_reachable, ("nearest_reachable", "arm.ik_from_direction"), (p.targets,)),
        "arm.nearest_reachable(limits)": (limited.nearest_reachable,
                                          ("nearest_reachable_within", "arm.ik_from_direction"),
                                          (p.targets,)),
        "neck.reachable": (neck.reachable, ("neck_reachable", "arm.reachable_orientation"), (p.neck_rotations,)),
        "neck.angular_jacobian": (neck.angular_jacobian, ("neck_angular_jacobian", "neck.fk"),
                                  (p.neck_joints,)),
        "neck.joint_rates": (neck.joint_rates, ("neck_joint_rates", "neck.ik"), (p.neck_joints, p.rates)),
    }


def core_jobs(poses):
    """name -> one call of a kernel over CORE_POSES poses into reused results."""
    p = poses
    n = CORE_POSES
    geometry = (0.7, 0.5, False, "positive")  # the left preset

    def tile(column):
        reps = (n + len(column) - 1) // len(column)
        return np.ascontiguousarray(np.concatenate([column] * reps)[:n])

    a, b = tile(p.theta_a), tile(p.theta_b)
    v3, near, targets = tile(p.directions), tile(p.near), tile(p.targets)
    rates, neck_joints = tile(p.rates), tile(p.neck_joints)
    neck_rotations, rotations = tile(p.neck_rotations), tile(p.rotations)
    bounds = np.tile([-2.5, 2.5, -2.5, 2.5], (n, 1))
    out2, out3, out6, out8, out9 = (np.empty((n, k)) for k in (2, 3, 6, 8, 9))
    flags = np.empty(n, dtype=np.bool_)
    k = _kernels
    return {
        "arm.fk": lambda: k.arm_fk(*geometry, a, b, out9),
        "arm.direction": lambda: k.arm_direction(*geometry, a, b, out3),
        "arm.ik_from_direction": lambda: k.arm_ik_from_direction(*geometry, v3, None, out2),
        "arm.ik_from_direction(near=)": lambda: k.arm_ik_from_direction(*geometry, v3, near,
                                                                        out2),
        "arm.reachable_orientation": lambda: k.arm_reachable_orientation(*geometry, rotations,
                                                                         flags),
        "neck.fk": lambda: k.neck_fk(neck_joints, out9),
        "neck.ik": lambda: k.neck_ik(neck_rotations, out3),
        "ik_solutions": lambda: k.arm_ik_solutions(*geometry, v3, out8),
        "ik_from_direction_within": lambda: k.arm_ik_from_direction_within(
            *geometry, v3, near, bounds, 1.0, out2),
        "direction_jacobian": lambda: k.arm_direction_jacobian(*geometry, a, b, out6),
        "angular_jacobian": lambda: k.arm_angular_jacobian(*geometry, a, b, out6),
        "singular_values": lambda: k.arm_singular_values(*geometry, a, b, out2),
        "joint_rates": lambda: k.arm_joint_rates(*geometry, a, b, rates, 0.0, out2),
        "nearest_reachable": lambda: k.arm_nearest_reachable(*geometry, targets, None, out3,
                                                             out2),
        "nearest_reachable_within": lambda: k.arm_nearest_reachable_within(
            *geometry, targets, None, bounds, 0.0, out3, out2),
        "neck_reachable": lambda: k.neck_reachable(neck_rotations, flags),
        "neck_angular_jacobian": lambda: k.neck_angular_jacobian(neck_joints, out9),
        "neck_joint_rates": lambda: k.neck_joint_rates(neck_joints, rates, out3),
    }


def per_call_ns(function, argument_rows, calls):
    """Thread CPU ns per call of function(*row), cycling through the rows."""
    rows = (argument_rows * (calls // len(argument_rows) + 1))[:calls]
    start = time.thread_time_ns()
    for row in rows:
        function(*row)
    return (time.thread_time_ns() - start) / calls


def rows_of(columns, as_arrays):
    """One argument tuple per pose: Python floats, tuples for a vector or a
    joint pair, lists of lists for a rotation, or float64 arrays of the
    pose's shape (0-d for an angle)."""
    def value(column, i):
        item = column[i]
        if as_arrays:
            return np.array(item)
        if not isinstance(item, np.ndarray):
            return float(item)
        return tuple(item.tolist()) if item.ndim == 1 else item.tolist()
    return [tuple(value(column, i) for column in columns) for i in range(POSES)]


def per_call_array_rows(array_rows):
    """The same arrays for the per-call module, which takes `near` only as a
    tuple (the one pose argument of shape (2,))."""
    return [tuple(tuple(value.tolist()) if value.shape == (2,) else value for value in row)
            for row in array_rows]


def measure(cases, cores, rounds, calls):
    samples = {name: {"python": [], "arrays": [], "peer": [], "peer arrays": []}
               for name in cases}
    core_samples = {name: [] for name in cores}
    prepared = {name: (rows_of(columns, False), rows_of(columns, True))
                for name, (_, _, columns) in cases.items()}
    for _ in range(rounds):
        for name, job in cores.items():
            start = time.thread_time_ns()
            job()
            core_samples[name].append((time.thread_time_ns() - start) / CORE_POSES)
        for name, (method, peer, _) in cases.items():
            python_rows, array_rows = prepared[name]
            samples[name]["python"].append(per_call_ns(method, python_rows, calls))
            samples[name]["arrays"].append(per_call_ns(method, array_rows, calls))
            if not isinstance(peer, tuple):
                samples[name]["peer"].append(per_call_ns(peer, python_rows, calls))
                samples[name]["peer arrays"].append(
                    per_call_ns(peer, per_call_array_rows(array_rows), calls))
    # The peer of a method the per-call module lacks: its base's per-call
    # time in the same round, the base's core time replaced by the method's.
    for name, (_, peer, _) in cases.items():
        if isinstance(peer, tuple):
            core, base = peer
            for column in ("peer", "peer arrays"):
                samples[name][column] = [
                    per_call - base_core + method_core for per_call, base_core, method_core in
                    zip(samples[base][column], core_samples[base], core_samples[core])]
    return samples


def ratio(numerators, denominators):
    return statistics.median(n / d for n, d in zip(numerators, denominators))


def table(cases, samples):
    lines = [
        "| method | Python floats and tuples: per-call module, ns | quorbel_torso, ns (ratio) "
        "| float64 arrays: per-call module, ns | quorbel_torso, ns (ratio) |",
        "|---|---|---|---|---|",
    ]
    missed = []
    for name, (_, peer, _) in cases.items():
        s = samples[name]
        peer_text = f"{statistics.median(s['peer']):.0f}"
        if isinstance(peer, tuple):
            peer_text += f" (none: from `{peer[1]}`)"
        python_ratio = ratio(s["python"], s["peer"])
        array_ratio = ratio(s["arrays"], s["peer arrays"])
        lines.append(
            f"| `{name}` | {peer_text} | {statistics.median(s['python']):.0f} "
            f"({python_ratio:.2f}) | {statistics.median(s['peer arrays']):.0f} | "
            f"{statistics.median(s['arrays']):.0f} ({array_ratio:.2f}) |")
        if max(python_ratio, array_ratio) > GOAL_RATIO:
            missed.append(name)
    lines.append("")
    lines.append(f"Goal: at most {GOAL_RATIO:g}× the per-call module for every method. "
                 + (f"Missed: {', '.join(missed)}." if missed else "All met."))
    return "\n".join(lines)


def small_batch_table(cases, poses, rounds, calls):
    """Each method on SMALL_BATCH poses at once (float64 arrays, the batch
    path without broadcasting), per call and per pose."""
    lines = [f"| method | {SMALL_BATCH} poses in one call | per pose, ns |", "|---|---|---|"]
    for name, (method, _, columns) in cases.items():
        arguments = [(tuple(np.ascontiguousarray(column[:SMALL_BATCH]) for column in columns),)]
        samples = [per_call_ns(lambda args: method(*args), arguments, calls // 4)
                   for _ in range(rounds)]
        per_call = statistics.median(samples)
        lines.append(f"| `{name}` | {per_call / 1000:.2f} µs | {per_call / SMALL_BATCH:.0f} |")
    return "\n".join(lines)


def machine():
    cpu = cpu_model()
    try:
        commit = subprocess.run(["git", "-C", str(RESULTS.parent), "describe", "--always",
                                 "--dirty"], capture_output=True, text=True,
                                check=True).stdout.strip()
    except (OSError, subprocess.CalledProcessError):
        commit = "unknown"
    return (f"{cpu} ({os.cpu_count()} logical cores), Python {platform.python_version()}, "
            f"NumPy {np.__version__}, commit {commit}, "
            f"{datetime.datetime.now(datetime.timezone.utc):%Y-%m-%d %H:%M} UTC, "
            f"load average {os.getloadavg()[0]:.2f} before the run")


def write_section(text):
    """The section replaces its previous version, up to the next section (the
    SIMD benchmark's follows it), or is appended."""
    current = RESULTS.read_text() if RESULTS.exists() else ""
    if SECTION not in current:
        RESULTS.write_text(current.rstrip("\n") + "\n\n" + text + "\n")
        return
    start = current.index(SECTION)
    following = current.find("\n## ", start + len(SECTION))
    rest = "" if following < 0 else "\n" + current[following:].lstrip("\n")
    RESULTS.write_text(current[:start] + text + "\n" + rest)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=9)
    parser.add_argument("--calls", type=int, default=4000)
    parser.add_argument("--write", action="store_true")
    options = parser.parse_args()
    described = machine()
    poses = Poses(POSES)
    cases = single_cases(poses)
    samples = measure(cases, core_jobs(poses), options.rounds, options.calls)
    text = "\n".join([
        SECTION, "",
        f"Written by `python bench/single_pose_benchmark.py`: each method called on one "
        f"pose at a time (64 poses in turn), thread CPU time per call, medians of "
        f"{options.rounds} interleaved rounds; each ratio is the median of the rounds' "
        "ratios to the per-call module's same call on the same arguments. Where the "
        "per-call module has no such call, its peer is the per-call call named, whose "
        "arguments and result have the same structure, with that call's core time "
        "replaced by the method's (both from the kernels over 4096 poses).", "",
        f"Machine: {described}.", "",
        table(cases, samples), "",
        small_batch_table(cases, poses, options.rounds, options.calls),
    ])
    print(text)
    if options.write:
        write_section(text)


if __name__ == "__main__":
    main()
