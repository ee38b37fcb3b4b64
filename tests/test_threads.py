"""Threads sharing one arm, one neck and the same argument objects get
exactly the outcomes one thread gets. The interpreter is told to switch
threads as often as it can, and some arguments switch threads themselves in
the middle of their conversion. It runs in a fresh interpreter, so that the
first keyword calls, which fill the module's one-time cells of interned
keyword names, also race."""
import os
import subprocess
import sys
import threading
import time

import quorbel_torso_kinematics as qtk

ARM = qtk.QuorbelArmKinematics
THREADS = 8
ROUNDS = 400


class Yielding:
    """A number that lets other threads run while it is being converted."""

    def __init__(self, value):
        self.value = value

    def __float__(self):
        time.sleep(0)
        return self.value


def calls():
    arm = ARM(0.7, 0.5, True)
    neck = qtk.QuorbelNeckKinematics()
    r = [[0.73, -0.68, -0.02], [0.23, 0.26, -0.94], [0.64, 0.68, 0.35]]
    direction = [0.66, 0.58, 0.47]
    return [
        (ARM, (), {"arm_arc": Yielding(0.6), "coupler_arc": 0.4}),
        (ARM.from_json, ('{"arm_arc": 0.6, "coupler_arc": 0.4, "mirror": true}',), {}),
        (arm.fk, (), {"theta_a": Yielding(0.3), "theta_b": -0.2}),
        (arm.direction, (0.3,), {"theta_b": -0.2}),
        (arm.is_reachable_joints, (), {"theta_a": 0.0, "theta_b": 3.0}),
        (arm.ik, (), {"r_target": arm.fk(-0.3, 0.2)}),
        (arm.is_reachable_orientation, (), {"r_target": r}),
        (arm.ik_from_direction, (), {"v3": arm.direction(-0.3, 0.2), "near": (Yielding(-0.3), 0.2)}),
        (arm.is_reachable_direction, (), {"v3": direction}),
        (arm.fk, (0.0,), {"theta_b": 3.0}),
        (arm.fk, (Yielding(0.1),), {"theta_c": 1}),
        (neck.fk, (), {"joints": [0.3, Yielding(-0.7), 1.1]}),
        (neck.ik, (), {"r": r}),
        (neck.ik, (), {"r": [[0, 0, 1], [0, 1, 0], [-1, 0, 0]]}),
        (arm.arm_arc, (), {}),
    ]


def outcome(call, args, kwargs):
    try:
        result = call(*args, **kwargs)
    except Exception as error:
        return type(error).__name__, str(error)
    if isinstance(result, ARM):
        return "arm", result.arm_arc(), result.coupler_arc(), result.mirror()
    return result


def hammer():
    """Runs every call from THREADS threads at once; exits non-zero on any
    outcome that differs from a single thread's."""
    shared = calls()
    sys.setswitchinterval(1e-6)
    start = threading.Barrier(THREADS)
    outcomes = [[] for _ in range(THREADS)]

    def work(slot):
        start.wait()
        for _ in range(ROUNDS):
            outcomes[slot].append([outcome(*c) for c in shared])

    threads = [threading.Thread(target=work, args=(slot,)) for slot in range(THREADS)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    expected = [outcome(*c) for c in shared]
    wrong = [(slot, i, got) for slot in range(THREADS) for rnd in outcomes[slot]
             for i, got in enumerate(rnd) if got != expected[i]]
    count = sum(len(rnd) for slot in outcomes for rnd in slot)
    assert count == THREADS * ROUNDS * len(shared)
    if wrong:
        sys.exit(f"{len(wrong)} outcomes differ from one thread's, first {wrong[0]}")


def test_threads_sharing_objects_get_single_thread_results():
    here = os.path.dirname(os.path.abspath(__file__))
    child = subprocess.run(
        [sys.executable, "-X", "dev", "-c",
         f"import sys; sys.path.insert(0, {here!r}); import test_threads; test_threads.hammer()"],
        capture_output=True, text=True, timeout=300)
    assert child.returncode == 0, child.stderr[-3000:]
