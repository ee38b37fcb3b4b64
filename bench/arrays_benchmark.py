"""Cost per pose of quorbel_torso, the array package, on 100,000 poses,
against the C++ core's own time per call, the same maths vectorised by hand
with NumPy, and a Python loop over the per-call module that keeps its
results; and two threads each given half the poses against one thread given
all of them. The velocity methods are also set against the core's time for
`direction`, and nearest_reachable against a SciPy optimisation of the same
problem as a user would write it.

Builds, from this checkout and with the project's flags, both extensions and
the core driver (bench/core_driver.cpp, run with --poses on the very poses
timed here), assembles the package from python/quorbel_torso and the built
kernels, then times everything interleaved, in rounds, in one run, and writes
the table of medians to bench/ARRAYS_RESULTS.md with the machine it ran on.

    python bench/arrays_benchmark.py [--rounds N] [--poses N] [--build-dir DIR]

Needs cmake, a C++17 compiler, NumPy and SciPy (the optimisation, and the
machine line). This
is a measurement, not a test: nothing fails on slow numbers. Single-thread
times are the calling thread's CPU time, so time spent descheduled on a busy
machine is not counted; the thread comparison is wall time and needs both
cores free to show the lock being released. The Python loop runs with the
garbage collector on, as in a user's program.

The poses: joint pairs drawn uniformly from the square [-pi, pi]^2 where the
left preset arm's loop closes, their directions and rotations (so every
inverse-kinematics call has a solution to find), `near` within a few
hundredths of the pair, neck angles with |pitch| < 1.4, unit targets spread
over the sphere that the arm cannot reach (for nearest_reachable), and rates
from a standard normal (the direction's for joint_rates, with damping 0, the
angular velocity for the neck).
"""

import argparse
import hashlib
import json
import math
import os
import pathlib
import queue
import random
import shutil
import statistics
import subprocess
import sys
import tempfile
import threading
import time

import numpy as np
import scipy.optimize

BENCH = pathlib.Path(__file__).resolve().parent
ROOT = BENCH.parent
sys.path.insert(0, str(BENCH))

import numpy_vectorised_kinematics as vectorised  # noqa: E402
import run_benchmarks  # noqa: E402

GOAL_CORE_RATIO = 1.2
GOAL_LOOP_SPEEDUP = 20.0
GOAL_THREAD_SPEEDUP = 1.6
# The methods held to the core-ratio goal.
CORE_GOAL_METHODS = {"arm.fk", "arm.direction", "arm.ik_from_direction", "arm.ik", "neck.fk",
                     "neck.ik"}
THREAD_METHODS = ["arm.fk", "arm.ik_from_direction", "arm.ik", "neck.fk", "neck.ik"]
# The velocity methods held to GOAL_VELOCITY_RATIO times the core's time for
# `direction` (pointing_direction) on the same joints.
GOAL_VELOCITY_RATIO = 2.0
VELOCITY_GOAL_METHODS = ["arm.direction_jacobian", "arm.singular_values"]
# nearest_reachable against SciPy's SLSQP: targets per round, the speedup
# aimed at, and how much further than nearest_reachable an answer may end up
# before it counts as a miss (a local optimum or a failed run).
SCIPY_TARGETS_PER_ROUND = 20
GOAL_SCIPY_SPEEDUP = 100.0
SCIPY_MISS = 1e-6
# The method run beside Python code to see whether the lock is released.
SHARE_METHOD = "arm.ik"
AGREEMENT_TOLERANCE = 1e-12
# A control for the thread comparison: hashing a large buffer releases the
# interpreter lock in CPython itself, so its speedup is what the machine
# allows two threads at that moment.
CONTROL = "control: hashlib.sha256"
CONTROL_BYTES = 32 << 20
CONTROL_DATA = memoryview(bytes(CONTROL_BYTES))
CONTROL_HALVES = [(CONTROL_DATA[:CONTROL_BYTES // 2],), (CONTROL_DATA[CONTROL_BYTES // 2:],)]


def hash_buffer(data):
    return hashlib.sha256(data).digest()


def load_checkout_package(build_dir, into):
    """Imports quorbel_torso as python/quorbel_torso with the kernels just
    built, and the per-call module from the same build."""
    package = into / "quorbel_torso"
    shutil.copytree(ROOT / "python" / "quorbel_torso", package)
    for kernels in (build_dir / "qtk").glob("_kernels.*"):
        shutil.copy2(kernels, package)
    sys.path[:0] = [str(into), str(build_dir / "qtk")]
    import quorbel_torso
    import quorbel_torso_kinematics
    for module, home in ((quorbel_torso, package), (quorbel_torso_kinematics, build_dir)):
        if not pathlib.Path(module.__file__).resolve().is_relative_to(home.resolve()):
            raise SystemExit(f"{module.__name__} came from {module.__file__}, not this build")
    return quorbel_torso, quorbel_torso_kinematics


class Poses:
    def __init__(self, qt, count, seed=13):
        rng = np.random.default_rng(seed)
        arm, neck = qt.Arm.default_left(), qt.Neck()
        theta_a, theta_b = np.empty(0), np.empty(0)
        while theta_a.size < count:
            a, b = rng.uniform(-np.pi, np.pi, (2, count))
            closes = arm.reachable_joints(a, b)
            theta_a, theta_b = np.concatenate([theta_a, a[closes]]), np.concatenate(
                [theta_b, b[closes]])
        self.count = count
        self.theta_a, self.theta_b = theta_a[:count].copy(), theta_b[:count].copy()
        self.directions = arm.direction(self.theta_a, self.theta_b)
        self.near = np.stack([self.theta_a, self.theta_b], axis=1) + rng.normal(0, 0.03, (count, 2))
        self.arm_rotations = arm.fk(self.theta_a, self.theta_b)
        self.neck_joints = np.stack([rng.uniform(-np.pi, np.pi, count),
                                     rng.uniform(-1.4, 1.4, count),
                                     rng.uniform(-np.pi, np.pi, count)], axis=1)
        self.neck_rotations = neck.fk(self.neck_joints)
        targets = np.empty((0, 3))
        while len(targets) < count:
            v = rng.normal(size=(count, 3))
            v /= np.linalg.norm(v, axis=1, keepdims=True)
            targets = np.concatenate([targets, v[~arm.reachable_direction(v)]])
        self.targets = targets[:count].copy()
        self.rates = rng.normal(size=(count, 3))

    def write(self, path):
        """The layout qtk_core_driver --poses reads."""
        np.concatenate([[float(self.count)], self.theta_a, self.theta_b, self.directions.ravel(),
                        self.near.ravel(), self.arm_rotations.ravel(), self.neck_joints.ravel(),
                        self.neck_rotations.ravel(), self.targets.ravel(),
                        self.rates.ravel()]).astype(np.float64).tofile(path)


def cases(qt, qtk, poses):
    """name -> (array call's arguments as a function of a pose slice, the
    array method, the core function, a Python loop over the per-call method
    or None). Slices let the thread comparison split the poses."""
    arm, neck = qt.Arm.default_left(), qt.Neck()
    per_call_arm, per_call_neck = qtk.QuorbelArmKinematics.default_left(), \
        qtk.QuorbelNeckKinematics()
    p = poses
    joints = lambda s: (p.theta_a[s], p.theta_b[s])  # noqa: E731
    directions = lambda s: (p.directions[s],)  # noqa: E731
    with_near = lambda s: (p.directions[s], p.near[s])  # noqa: E731
    arm_rotations = lambda s: (p.arm_rotations[s],)  # noqa: E731
    neck_joints = lambda s: (p.neck_joints[s],)  # noqa: E731
    neck_rotations = lambda s: (p.neck_rotations[s],)  # noqa: E731
    joints_and_rates = lambda s: (p.theta_a[s], p.theta_b[s], p.rates[s])  # noqa: E731
    targets = lambda s: (p.targets[s],)  # noqa: E731
    neck_joints_and_rates = lambda s: (p.neck_joints[s], p.rates[s])  # noqa: E731

    # Python values built once, outside the timing, as a loop's user holds them.
    angle_pairs = list(zip(p.theta_a.tolist(), p.theta_b.tolist()))
    vectors = p.directions.tolist()
    nears = [tuple(n) for n in p.near.tolist()]
    matrices = p.arm_rotations.tolist()
    neck_angles = p.neck_joints.tolist()
    neck_matrices = p.neck_rotations.tolist()

    def loop(method, items, star=False):
        if star:
            return lambda: [method(*item) for item in items]
        return lambda: [method(item) for item in items]

    return {
        "arm.fk": (joints, arm.fk, "forward_kinematics", loop(per_call_arm.fk, angle_pairs, True)),
        "arm.direction": (joints, arm.direction, "pointing_direction",
                          loop(per_call_arm.direction, angle_pairs, True)),
        "arm.reachable_joints": (joints, arm.reachable_joints, "pointing_direction",
                                 loop(per_call_arm.is_reachable_joints, angle_pairs, True)),
        "arm.ik_from_direction": (directions, arm.ik_from_direction, "ik_from_direction",
                                  loop(per_call_arm.ik_from_direction, vectors)),
        "arm.ik_from_direction(near=)": (
            with_near, arm.ik_from_direction, "ik_from_direction_near",
            loop(per_call_arm.ik_from_direction, list(zip(vectors, nears)), True)),
        "arm.reachable_direction": (directions, arm.reachable_direction, "ik_from_direction",
                                    loop(per_call_arm.is_reachable_direction, vectors)),
        "arm.ik_solutions": (directions, arm.ik_solutions, "ik_solutions", None),
        "arm.ik": (arm_rotations, arm.ik, "ik", loop(per_call_arm.ik, matrices)),
        "arm.reachable_orientation": (arm_rotations, arm.reachable_orientation, "ik",
                                      loop(per_call_arm.is_reachable_orientation, matrices)),
        "neck.fk": (neck_joints, neck.fk, "neck_forward_kinematics",
                    loop(per_call_neck.fk, neck_angles)),
        "neck.ik": (neck_rotations, neck.ik, "neck_inverse_kinematics",
                    loop(per_call_neck.ik, neck_matrices)),
        "neck.reachable": (neck_rotations, neck.reachable, "neck_inverse_kinematics", None),
        "arm.direction_jacobian": (joints, arm.direction_jacobian, "direction_jacobian", None),
        "arm.angular_jacobian": (joints, arm.angular_jacobian, "angular_jacobian", None),
        "arm.singular_values": (joints, arm.singular_values, "singular_values", None),
        "arm.joint_rates": (joints_and_rates, arm.joint_rates, "joint_rates", None),
        "arm.nearest_reachable": (targets, arm.nearest_reachable, "nearest_reachable", None),
        "neck.angular_jacobian": (neck_joints, neck.angular_jacobian, "neck_angular_jacobian",
                                  None),
        "neck.joint_rates": (neck_joints_and_rates, neck.joint_rates, "neck_joint_rates", None),
    }


def kernel_jobs(qt, poses):
    """name -> the method's kernel alone, writing into a result allocated once:
    what the method costs without checking its arguments and without the
    first touch of fresh result memory (page faults), which a new result
    array pays on every call."""
    from quorbel_torso import _kernels

    p = poses
    geometry = (0.7, 0.5, False, "positive")
    floats = lambda *shape: np.empty((p.count, *shape))  # noqa: E731
    flags = np.empty(p.count, dtype=np.bool_)
    calls = {
        "arm.fk": (_kernels.arm_fk, *geometry, p.theta_a, p.theta_b, floats(3, 3)),
        "arm.direction": (_kernels.arm_direction, *geometry, p.theta_a, p.theta_b, floats(3)),
        "arm.reachable_joints": (_kernels.arm_reachable_joints, *geometry, p.theta_a, p.theta_b,
                                 flags),
        "arm.ik_from_direction": (_kernels.arm_ik_from_direction, *geometry, p.directions, None,
                                  floats(2)),
        "arm.ik_from_direction(near=)": (_kernels.arm_ik_from_direction, *geometry,
                                         p.directions, p.near, floats(2)),
        "arm.reachable_direction": (_kernels.arm_reachable_direction, *geometry, p.directions,
                                    flags),
        "arm.ik_solutions": (_kernels.arm_ik_solutions, *geometry, p.directions, floats(4, 2)),
        "arm.ik": (_kernels.arm_ik, *geometry, p.arm_rotations, floats(2)),
        "arm.reachable_orientation": (_kernels.arm_reachable_orientation, *geometry,
                                      p.arm_rotations, flags),
        "neck.fk": (_kernels.neck_fk, p.neck_joints, floats(3, 3)),
        "neck.ik": (_kernels.neck_ik, p.neck_rotations, floats(3)),
        "neck.reachable": (_kernels.neck_reachable, p.neck_rotations, flags),
        "arm.direction_jacobian": (_kernels.arm_direction_jacobian, *geometry, p.theta_a,
                                   p.theta_b, floats(3, 2)),
        "arm.angular_jacobian": (_kernels.arm_angular_jacobian, *geometry, p.theta_a, p.theta_b,
                                 floats(3, 2)),
        "arm.singular_values": (_kernels.arm_singular_values, *geometry, p.theta_a, p.theta_b,
                                floats(2)),
        "arm.joint_rates": (_kernels.arm_joint_rates, *geometry, p.theta_a, p.theta_b, p.rates,
                            0.0, floats(2)),
        "arm.nearest_reachable": (_kernels.arm_nearest_reachable, *geometry, p.targets, None,
                                  floats(3), floats(2)),
        "neck.angular_jacobian": (_kernels.neck_angular_jacobian, p.neck_joints, floats(3, 3)),
        "neck.joint_rates": (_kernels.neck_joint_rates, p.neck_joints, p.rates, floats(3)),
    }
    return {name: (lambda call=call: call[0](*call[1:])) for name, call in calls.items()}


class SlsqpNearestReachable:
    """The nearest reachable direction as a user would find it without
    nearest_reachable: SLSQP over the joints from (0, 0), maximising the
    cosine to the target through the per-call module's `direction`, with the
    loop's closure (tips at most 2 coupler_arc apart) as an inequality
    constraint. A trial step where the loop does not close, which the
    per-call method refuses, counts as the worst cosine."""

    def __init__(self, arm):
        self.kinematics = arm.kinematics()
        self.sin_arm, self.cos_arm = math.sin(arm.arm_arc), math.cos(arm.arm_arc)
        self.m = -1.0 if arm.mirror else 1.0
        self.cos_double = math.cos(2.0 * arm.coupler_arc)

    def closing_margin(self, q):
        """v_2.v_4 - cos(2 coupler_arc), from the tips' formulas: >= 0 where
        the loop closes."""
        theta_a, theta_b = q
        m, s, c = self.m, self.sin_arm, self.cos_arm
        v_2 = (m * s * math.cos(theta_a), m * s * math.sin(theta_a), c)
        v_4 = (m * c, -m * s * math.sin(theta_b), s * math.cos(theta_b))
        return sum(x * y for x, y in zip(v_2, v_4)) - self.cos_double

    def __call__(self, target):
        def cost(q):
            try:
                v = self.kinematics.direction(q[0], q[1])
            except (RuntimeError, ValueError):
                return 2.0
            return -sum(x * y for x, y in zip(v, target))

        found = scipy.optimize.minimize(
            cost, x0=[0.0, 0.0], method="SLSQP",
            constraints=[{"type": "ineq", "fun": self.closing_margin}])
        try:
            return np.array(self.kinematics.direction(*found.x))
        except (RuntimeError, ValueError):
            return np.full(3, np.nan)


def angles_from(directions, targets):
    return np.arctan2(np.linalg.norm(np.cross(directions, targets), axis=-1),
                      np.sum(directions * targets, axis=-1))


def vectorised_peers(poses):
    """name -> the hand-vectorised NumPy call of the same maths."""
    peer = vectorised.VectorisedArm()
    p = poses
    return {
        "arm.fk": lambda: peer.fk(p.theta_a, p.theta_b),
        "arm.ik_from_direction": lambda: peer.ik_from_direction(p.directions),
        "arm.ik_from_direction(near=)": lambda: peer.ik_from_direction(p.directions, p.near),
    }


def check_agreement(table, peers):
    """Each vectorised peer gives the package's results to AGREEMENT_TOLERANCE,
    with NaN in the same places."""
    everything = slice(None)
    for name, peer in peers.items():
        arguments, method, _, _ = table[name]
        expected, got = method(*arguments(everything)), peer()
        if got.shape != expected.shape or not np.array_equal(np.isnan(got), np.isnan(expected)) \
                or not np.allclose(got, expected, rtol=0, atol=AGREEMENT_TOLERANCE,
                                   equal_nan=True):
            worst = np.nanmax(np.abs(got - expected))
            raise SystemExit(f"the NumPy version of {name} disagrees (largest difference {worst})")


def thread_seconds(function):
    start = time.thread_time_ns()
    function()
    return (time.thread_time_ns() - start) * 1e-9


# The worker threads' job queues, kept across measurements as a planner's
# pool keeps its threads: each thread allocates from its own arena of the C
# allocator, and a new thread may be given an arena whose memory it must
# first take fresh from the system, a first touch (page faults, 2 MB pages
# where NumPy asks for them) that costs fk, whose 14 MB result is the
# largest, more than its kinematics, in whichever run it falls.
_WORKERS = []


def _work(jobs):
    while True:
        start, done, method, part, times = jobs.get()
        start.wait()
        began = time.perf_counter()
        method(*part)
        times.append((began, time.perf_counter()))
        done.wait()


def wall_seconds_in_threads(method, argument_parts):
    """Wall time from the first worker thread's start until the last has run
    method(*part), the first part on the first worker, and so on. The
    workers read the clock themselves: the calling thread, woken with them,
    may find no free core until one of them is done."""
    while len(_WORKERS) < len(argument_parts):
        jobs = queue.SimpleQueue()
        threading.Thread(target=_work, args=(jobs,), daemon=True).start()
        _WORKERS.append(jobs)
    start = threading.Barrier(len(argument_parts) + 1)
    done = threading.Barrier(len(argument_parts) + 1)
    times = []
    for jobs, part in zip(_WORKERS, argument_parts):
        jobs.put((start, done, method, part, times))
    start.wait()
    done.wait()
    return max(ended for _, ended in times) - min(began for began, _ in times)


def thread_speedup(method, whole, halves):
    """(one thread's wall time over two threads', one thread's, two threads')
    for method(*whole) against method(*half) in two threads at once, each
    way timed after one untimed run: the workers' allocator arenas then
    already hold the results' memory, and no timed run pays its first touch."""
    wall_seconds_in_threads(method, whole)
    wall_seconds_in_threads(method, halves)
    one = wall_seconds_in_threads(method, whole)
    two = wall_seconds_in_threads(method, halves)
    return one / two, one, two


def interpreter_share(method, arguments):
    """How fast this thread runs Python while another runs method(*arguments),
    as a share of its speed alone: near 0 if the call held the interpreter
    lock, about 1 with two free cores, about 1/2 where both threads share one."""
    def count_until(event):
        count = 0
        start = time.perf_counter()
        while not event.is_set():
            count += 1
        return count / (time.perf_counter() - start)

    elapsed = threading.Event()
    timer = threading.Timer(0.02, elapsed.set)
    timer.start()
    alone = count_until(elapsed)
    finished = threading.Event()

    def work():
        method(*arguments)
        finished.set()

    worker = threading.Thread(target=work)
    worker.start()
    beside = count_until(finished)
    worker.join()
    return beside / alone


def run_core_driver(driver, pose_file):
    out = subprocess.run([str(driver), "--poses", str(pose_file), "--rounds", "3"], check=True,
                         capture_output=True, text=True).stdout
    return json.loads(out)


def measure(table, peers, kernels, driver, pose_file, count, rounds, slsqp):
    """Samples of every job by round: ns per pose (the core driver's run is
    one job among them, at a shuffled place in each round), the thread
    comparison's wall times after each round, and `slsqp` (ns per target) on
    a new share of the unreachable targets each round, with how much
    further than nearest_reachable its answers are."""
    everything = slice(None)
    halves = [slice(0, count // 2), slice(count // 2, None)]
    jobs = {("core", ""): lambda: run_core_driver(driver, pose_file)}
    for name, (arguments, method, _, loop) in table.items():
        jobs[("array", name)] = (lambda a=arguments, m=method: m(*a(everything)))
        if loop is not None:
            jobs[("loop", name)] = loop
    for name, peer in peers.items():
        jobs[("numpy", name)] = peer
    for name, kernel in kernels.items():
        jobs[("kernel", name)] = kernel
    samples = {key: [] for key in jobs}
    threads = {name: [] for name in [*THREAD_METHODS, CONTROL]}
    shares = []
    targets = table["arm.nearest_reachable"][0](everything)[0]
    samples[("scipy", "arm.nearest_reachable")] = []
    excess = []
    keys = list(jobs)
    shuffle = random.Random(6)
    for round_index in range(rounds):
        print(f"round {round_index + 1} of {rounds} ...", flush=True)
        shuffle.shuffle(keys)
        for key in keys:
            if key[0] == "core":
                samples[key].append(jobs[key]())
            else:
                samples[key].append(thread_seconds(jobs[key]) * 1e9 / count)
        control = thread_speedup(hash_buffer, [(CONTROL_DATA,)], CONTROL_HALVES)
        for name in THREAD_METHODS:
            arguments, method, _, _ = table[name]
            speedup = thread_speedup(method, [arguments(everything)],
                                     [arguments(s) for s in halves])
            after = thread_speedup(hash_buffer, [(CONTROL_DATA,)], CONTROL_HALVES)
            threads[name].append((speedup, min(control[0], after[0])))
            threads[CONTROL].append(control)
            control = after
        arguments, method, _, _ = table[SHARE_METHOD]
        shares.append(interpreter_share(method, arguments(everything)))
        # SLSQP on this round's share of the targets, against the package's answers.
        chosen = targets[round_index * SCIPY_TARGETS_PER_ROUND:
                         (round_index + 1) * SCIPY_TARGETS_PER_ROUND]
        start = time.thread_time_ns()
        answers = np.array([slsqp(t) for t in chosen])
        samples[("scipy", "arm.nearest_reachable")].append(
            (time.thread_time_ns() - start) / len(chosen))
        ours, _ = table["arm.nearest_reachable"][1](chosen)
        excess.extend(angles_from(answers, chosen) - angles_from(ours, chosen))
    return samples, threads, shares, excess


def median_ratio(numerators, denominators):
    """The median over rounds of each round's ratio: a slow stretch of a busy
    machine slows both sides of a round alike."""
    return statistics.median(n / d for n, d in zip(numerators, denominators))


def format_velocity_lines(table, samples, excess):
    """The velocity goals: the Jacobians' cost against `direction`'s core
    time, and nearest_reachable against SLSQP."""
    missed = []
    core_rounds = samples[("core", "")]
    direction_core = [run["pointing_direction"] for run in core_rounds]
    lines = ["| method | ns/pose | ratio to the core's `direction` "
             f"({statistics.median(direction_core):.1f} ns) |", "|---|---|---|"]
    for name in [n for n in table if n.startswith("arm.") and
                 table[n][2] in ("direction_jacobian", "angular_jacobian", "singular_values",
                                 "joint_rates")]:
        array = samples[("array", name)]
        ratio = median_ratio(array, direction_core)
        lines.append(f"| `{name}` | {statistics.median(array):.1f} | {ratio:.2f} |")
        if name in VELOCITY_GOAL_METHODS and ratio > GOAL_VELOCITY_RATIO:
            missed.append(f"`{name}` costs {ratio:.2f}× the core's `direction`")
    ours = samples[("array", "arm.nearest_reachable")]
    theirs = samples[("scipy", "arm.nearest_reachable")]
    speedup = median_ratio(theirs, ours)
    excess = np.array(excess)
    failed = np.isnan(excess)
    misses = int(np.count_nonzero(failed | (excess > SCIPY_MISS)))
    lines += ["", f"`arm.nearest_reachable` on unreachable targets: "
              f"{statistics.median(ours) / 1e3:.2f} µs per target. SciPy's SLSQP over the joints "
              "(from (0, 0), through the per-call `direction`, the loop's closure as a "
              f"constraint; {len(excess)} targets, {SCIPY_TARGETS_PER_ROUND} per round): "
              f"{statistics.median(theirs) / 1e6:.2f} ms per target, {speedup:.0f}× slower; "
              f"it ended more than {SCIPY_MISS:g} rad further than nearest_reachable on {misses} "
              f"of them ({int(np.count_nonzero(failed))} outside the workspace), and nearer "
              f"by more than 1e-9 rad on {int(np.count_nonzero(excess < -1e-9))}."]
    if speedup < GOAL_SCIPY_SPEEDUP:
        missed.append(f"`arm.nearest_reachable` is only {speedup:.0f}× faster than SLSQP")
    lines += ["", f"Goals: at most {GOAL_VELOCITY_RATIO}× the core's `direction` for "
              + ", ".join(f"`{n}`" for n in VELOCITY_GOAL_METHODS)
              + f"; `arm.nearest_reachable` at least {GOAL_SCIPY_SPEEDUP:.0f}× faster than "
              "SLSQP. " + ("Missed: " + "; ".join(missed) + "." if missed else "All met.")]
    return lines


def format_tables(table, samples, threads, shares):
    lines = ["| method | ns/pose | core ns/call | ratio to core | kernel alone, result reused "
             "(ratio to core) | NumPy vectorised | Python loop over the per-call method |",
             "|---|---|---|---|---|---|---|"]
    missed = []
    core_rounds = samples[("core", "")]
    for name, (_, _, core_function, _) in table.items():
        array = samples[("array", name)]
        core = [run[core_function] for run in core_rounds]
        ratio = median_ratio(array, core)
        kernel = samples[("kernel", name)]
        row = [f"`{name}`", f"{statistics.median(array):.1f}", f"{statistics.median(core):.1f}",
               f"{ratio:.2f}",
               f"{statistics.median(kernel):.1f} ({median_ratio(kernel, core):.2f})"]
        for kind in ("numpy", "loop"):
            other = samples.get((kind, name))
            if other is None:
                row.append("")
                continue
            slower = median_ratio(other, array)
            row.append(f"{statistics.median(other):.0f} ({slower:.1f}× slower)")
            if kind == "numpy" and slower <= 1.0:
                missed.append(f"`{name}` is not faster than NumPy vectorised")
            if kind == "loop" and slower <= GOAL_LOOP_SPEEDUP:
                missed.append(f"`{name}` is only {slower:.1f}× faster than the Python loop")
        if name in CORE_GOAL_METHODS and ratio > GOAL_CORE_RATIO:
            missed.append(f"`{name}` costs {ratio:.2f}× the core")
        lines.append("| " + " | ".join(row) + " |")
    lines += ["", "| method | one thread, all poses (ms) | two threads, half each (ms) | "
              "speedup, all rounds | speedup while the control had two cores (rounds) |",
              "|---|---|---|---|---|"]
    for name, runs in threads.items():
        if name == CONTROL:
            free = [run for run in runs if run[0] >= GOAL_THREAD_SPEEDUP]
            measured = runs
        else:
            free = [run for run, control in runs if control >= GOAL_THREAD_SPEEDUP]
            measured = [run for run, _ in runs]
        speedup = statistics.median(run[0] for run in measured)
        free_speedup = statistics.median(run[0] for run in free) if free else math.nan
        lines.append(f"| `{name}` | {statistics.median(run[1] for run in measured) * 1e3:.2f} | "
                     f"{statistics.median(run[2] for run in measured) * 1e3:.2f} | "
                     f"{speedup:.2f} | {free_speedup:.2f} ({len(free)} of {len(runs)}) |")
        if name != CONTROL and not free_speedup >= GOAL_THREAD_SPEEDUP:
            missed.append(f"two threads run `{name}` {free_speedup:.2f}× sooner while the "
                          "machine had two free cores")
    lines += ["", f"While one thread ran `{SHARE_METHOD}` on all the poses, another ran Python "
              f"at {statistics.median(shares):.2f} of its speed alone (median of the rounds; "
              "near 0 if the call held the interpreter lock, 1 with a free core for each, "
              "about 0.5 where the two share one core)."]
    lines += ["", "Goals: at most " f"{GOAL_CORE_RATIO}× the core for "
              + ", ".join(f"`{n}`" for n in sorted(CORE_GOAL_METHODS))
              + f"; faster than NumPy vectorised; more than {GOAL_LOOP_SPEEDUP:.0f}× faster "
              f"than the Python loop; two threads at least {GOAL_THREAD_SPEEDUP}× sooner. "
              + ("Missed: " + "; ".join(missed) + "." if missed else "All met.")]
    return lines


def write_results(path, machine, lines, rounds, count, load):
    text = [
        "# quorbel_torso: cost per pose over arrays",
        "",
        f"Written by `python bench/arrays_benchmark.py`; medians of {rounds} interleaved rounds "
        f"over {count:,} poses, in nanoseconds per pose; each ratio is the median of the "
        "rounds' own ratios.",
        "",
        "- **ns/pose**: one call of the `quorbel_torso` method on all the poses (checking, "
        "broadcasting and allocating included), divided by their number; thread CPU time.",
        "- **core ns/call**: the C++ core function alone on the same poses, one call per pose "
        "(`qtk_core_driver --poses`, built with the project's flags).",
        "- **kernel alone, result reused**: the method's kernel (`quorbel_torso._kernels`) "
        "writing into a result array allocated once, so without the argument checks and "
        "without the page faults of fresh result memory that a new result pays for.",
        "- **NumPy vectorised**: the same maths written by hand over whole arrays "
        "(`bench/numpy_vectorised_kinematics.py`), checked against the package to "
        f"{AGREEMENT_TOLERANCE} first.",
        "- **Python loop**: a list comprehension over the per-call method "
        "(`quorbel_torso_kinematics`) keeping every result, its arguments already Python "
        "floats, lists and tuples; the garbage collector on.",
        "- **threads**: wall time for one thread given all the poses and for two threads "
        "given half each, started together, back to back in every round. The control hashes "
        "32 MiB the same two ways with `hashlib.sha256`, which releases the lock in CPython "
        "itself, just before and just after each method: its speedup is what the shared "
        "machine allowed two threads at that moment. The last column keeps the rounds where "
        f"the control reached {GOAL_THREAD_SPEEDUP} on both sides (two cores free).",
        "",
        "Machine:",
        "",
        *[f"- {line}" for line in machine],
        f"- Load average (1 min) before and after the run: {load[0]:.2f}, {load[1]:.2f} "
        "(the machine is shared)",
        "",
        *lines,
        "",
    ]
    # single_pose_benchmark.py writes the section on one pose at a time.
    single_pose = "## One pose at a time"
    if path.exists() and single_pose in path.read_text():
        text += [single_pose + path.read_text().split(single_pose, 1)[1]]
    path.write_text("\n".join(text))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--rounds", type=int, default=7)
    parser.add_argument("--poses", type=int, default=100_000)
    parser.add_argument("--build-dir", type=pathlib.Path,
                        help="where to build (default: a fresh temporary directory)")
    parser.add_argument("--output", type=pathlib.Path, default=BENCH / "ARRAYS_RESULTS.md")
    options = parser.parse_args()

    work = tempfile.TemporaryDirectory(prefix="qtk-arrays-bench-")
    build_dir = (options.build_dir or pathlib.Path(work.name) / "build").resolve()
    print(f"building in {build_dir} ...", flush=True)
    run_benchmarks.build(build_dir, jobs=2)
    qt, qtk = load_checkout_package(build_dir, pathlib.Path(work.name))
    driver = build_dir / "qtk_core_driver"

    poses = Poses(qt, options.poses)
    pose_file = pathlib.Path(work.name) / "poses.f64"
    poses.write(pose_file)
    table = cases(qt, qtk, poses)
    peers = vectorised_peers(poses)
    check_agreement(table, peers)

    load_before = os.getloadavg()[0]
    slsqp = SlsqpNearestReachable(qt.Arm.default_left())
    samples, threads, shares, excess = measure(table, peers, kernel_jobs(qt, poses), driver,
                                               pose_file, options.poses, options.rounds, slsqp)
    load_after = os.getloadavg()[0]

    lines = format_tables(table, samples, threads, shares)
    lines += ["", "## Velocity kinematics and the workspace edge", ""]
    lines += format_velocity_lines(table, samples, excess)
    machine = run_benchmarks.machine_description(build_dir)
    print("\n".join(lines))
    write_results(options.output, machine, lines, options.rounds, options.poses,
                  (load_before, load_after))
    print(f"\nwritten to {options.output}")


if __name__ == "__main__":
    main()
