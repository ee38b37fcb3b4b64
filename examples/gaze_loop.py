"""A simulated 500 Hz gaze loop: both arms and the head of the example torso
follow a moving target, within their joint limits and joint speed limits.

    python examples/gaze_loop.py                      # 6 s, draws docs/gaze_loop.png
    python examples/gaze_loop.py --seconds 2 --out /tmp/loop.png
    python examples/gaze_loop.py --torso-json examples/torso.json

Every tick (2 ms) the controller
1. asks `torso.look_at(target, previous=pose)` for the goal: each arm's
   joints that point it from its mount at the target (or at the nearest
   direction it can reach, within its limits), nearest the current joints,
   and the neck's yaw and pitch that point the head's gaze axis there;
2. turns each arm toward its goal with a velocity command: the wanted rate
   of the arm's pointing direction is a gain times the way to the goal's
   direction, and `arm.joint_rates(..., damping=0.05)` gives the joint rates
   for it, damped so that they stay bounded near singular poses; the rates
   are scaled down as a whole when a joint would exceed its speed limit, and
   the joints are kept within their limits;
3. moves the neck's yaw and pitch toward their goals at a bounded speed.

The target sweeps in front of the torso, then jumps aside to where the arms
cannot point (they clamp to their nearest reachable direction) and back. The
script checks its promises (joint limits and speed limits hold, and at the
end of each steady phase every mechanism is on its goal), prints the cost of
look_at and of a whole tick, and draws the target, gaze and joint
trajectories.
"""
import argparse
import json
import math
import os
import sys
import time

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import quorbel_torso as qt  # noqa: E402

RATE_HZ = 500
DT = 1.0 / RATE_HZ
ARM_SPEED_LIMIT = 4.0  # rad/s, each arm joint
NECK_SPEED_LIMIT = 3.0  # rad/s, yaw and pitch
DIRECTION_GAIN = 25.0  # 1/s: wanted direction rate per radian of way left
NECK_GAIN = 25.0
DAMPING = 0.05
# The target jumps aside, out of the arms' reach, between these times (s).
JUMP = (3.0, 4.2)
# How long a phase must last for its end to be checked (s).
SETTLING = 0.8


def target_at(t):
    """The target (metres, torso frame): a sweep in front, and the jump."""
    y = 0.3 * np.sin(2 * np.pi * 0.25 * t)
    z = 0.1 + 0.15 * np.sin(2 * np.pi * 0.4 * t)
    if JUMP[0] <= t < JUMP[1]:
        return np.array([0.15, 0.9, 0.6])
    return np.array([0.7, y, z])


def mounts(torso):
    """Each mechanism's mount rotation and offset, from the torso's JSON."""
    description = json.loads(torso.to_json())
    return {
        name: (np.array(description[name]["mount"]["rotation"]),
               np.array(description[name]["mount"]["offset"]),
               description[name].get("limits"))
        for name in ("left_arm", "right_arm", "neck")
    }


def azimuth_elevation(v):
    v = np.asarray(v)
    return np.degrees(np.arctan2(v[..., 1], v[..., 0])), np.degrees(
        np.arcsin(np.clip(v[..., 2] / np.linalg.norm(v, axis=-1), -1, 1)))


def step_arm(arm, joints, goal, last_goal):
    """The arm's joints after one tick toward `goal` (joints, NaN: hold), and
    their rates; `last_goal` is the previous tick's goal direction, whose
    change is fed forward."""
    if np.isnan(goal).any():
        return joints, np.zeros(2), None
    here = arm.direction(joints[0], joints[1])
    there = arm.direction(goal[0], goal[1])
    moving = (there - last_goal) / DT if last_goal is not None else 0.0
    rates = arm.joint_rates(joints[0], joints[1], moving + DIRECTION_GAIN * (there - here),
                            damping=DAMPING)
    if np.isnan(rates).any():
        # On the closing limit (where a clamped arm may stand) the direction
        # moves like a square root of the joints and has no Jacobian: step
        # off it in joint space.
        rates = DIRECTION_GAIN * (goal - joints)
    fastest = np.max(np.abs(rates))
    if fastest > ARM_SPEED_LIMIT:
        rates = rates * (ARM_SPEED_LIMIT / fastest)
    return joints + rates * DT, rates, there


def clip_to(joints, limits):
    if limits is None:
        return joints
    return np.array([np.clip(joints[0], *limits["theta_a"]), np.clip(joints[1], *limits["theta_b"])])


def run(torso, seconds):
    """Simulates the loop; returns the recorded trajectories and timings."""
    arms = {"left_arm": torso.left_arm, "right_arm": torso.right_arm}
    frames = mounts(torso)
    neck = qt.Neck()
    slices = {"left_arm": slice(0, 2), "right_arm": slice(2, 4)}
    pose = np.zeros(7)
    ticks = int(round(seconds * RATE_HZ))
    record = {key: [] for key in ("t", "target", "goal", "pose", "status", "gaze", "left", "right",
                                  "rates")}
    look_at_times = []
    neck_goal = None
    arm_goals = {name: None for name in arms}
    start = time.perf_counter()
    for k in range(ticks):
        t = k * DT
        target = target_at(t)
        before = time.perf_counter()
        aim = torso.look_at(target, previous=pose)
        look_at_times.append(time.perf_counter() - before)
        new_pose = pose.copy()
        rates = np.zeros(6)
        for name, part in slices.items():
            joints, rates[part], arm_goals[name] = step_arm(arms[name], pose[part], aim.pose[part],
                                                            arm_goals[name])
            new_pose[part] = clip_to(joints, frames[name][2])
        way = aim.neck[:2] - pose[4:6]
        if not np.isnan(way).any():
            # The goal's own rate, fed forward, and a gain on the way left.
            moving = (aim.neck[:2] - neck_goal) / DT if neck_goal is not None else 0.0
            neck_goal = aim.neck[:2].copy()
            neck_rates = np.clip(moving + NECK_GAIN * way, -NECK_SPEED_LIMIT, NECK_SPEED_LIMIT)
            new_pose[4:6] = pose[4:6] + neck_rates * DT
            rates[4:6] = neck_rates
        pose = new_pose
        record["t"].append(t)
        record["target"].append(target)
        record["goal"].append(aim.pose)
        record["pose"].append(pose.copy())
        record["status"].append(aim.status)
        record["rates"].append(rates)
    elapsed = time.perf_counter() - start
    record = {key: np.array(value) for key, value in record.items() if len(value)}
    # What each mechanism points at, in the torso frame (after the loop, so
    # that the timing above is the controller's alone).
    p = record["pose"]
    record["gaze"] = neck.fk(np.stack([p[:, 4], p[:, 5], p[:, 6]], -1))[:, :, 0]
    for name, key in (("left_arm", "left"), ("right_arm", "right")):
        rotation = frames[name][0]
        part = p[:, slices[name]]
        record[key] = arms[name].direction(part[:, 0], part[:, 1]) @ rotation.T
    record["look_at_time"] = np.array(look_at_times)
    return record, elapsed / ticks


def check(record, torso):
    """The promises: limits and speed limits hold; on goal after each phase."""
    frames = mounts(torso)
    p = record["pose"]
    for name, part in (("left_arm", slice(0, 2)), ("right_arm", slice(2, 4))):
        limits = frames[name][2]
        for j, key in enumerate(("theta_a", "theta_b")):
            lower, upper = limits[key]
            assert np.all((p[:, part][:, j] >= lower) & (p[:, part][:, j] <= upper)), name
    speeds = np.abs(np.diff(p, axis=0)) / DT
    assert np.all(speeds[:, :4] <= ARM_SPEED_LIMIT * (1 + 1e-9)), speeds[:, :4].max()
    assert np.all(speeds[:, 4:6] <= NECK_SPEED_LIMIT * (1 + 1e-9)), speeds[:, 4:6].max()
    t = record["t"]
    # The end of each phase (the sweep, the jump, the sweep again) that lasted
    # long enough to settle.
    for begin, end in ((0.0, JUMP[0]), JUMP, (JUMP[1], t[-1] + DT)):
        k = np.searchsorted(t, end) - 1
        if k < 0 or t[k] - begin < SETTLING:
            continue
        way = np.abs(record["goal"][k] - p[k])
        assert np.nanmax(way) < 0.02, (end, way)
    return speeds.max(axis=0)


def look_at_costs(record):
    """Median microseconds of look_at over the ticks where every mechanism
    reached the target, and over those where one was clamped."""
    reached = np.all(record["status"] == qt.AimStatus.REACHED, axis=1)
    times = record["look_at_time"] * 1e6
    return (float(np.median(times[reached])) if reached.any() else math.nan,
            float(np.median(times[~reached])) if (~reached).any() else math.nan)


def draw(record, tick_us, path):
    reached_us, clamped_us = look_at_costs(record)
    t = record["t"]
    neck_origin = np.array([0.0, 0.0, 0.25])
    fig, axes = plt.subplots(3, 1, figsize=(10, 10), sharex=True)
    az, el = azimuth_elevation(record["target"] - neck_origin)
    gaze_az, gaze_el = azimuth_elevation(record["gaze"])
    ax = axes[0]
    ax.plot(t, az, "k", lw=2.5, alpha=0.35, label="target azimuth (from the neck)")
    ax.plot(t, el, "k--", lw=2.5, alpha=0.35, label="target elevation")
    ax.plot(t, gaze_az, "C0", lw=1.2, label="head gaze azimuth")
    ax.plot(t, gaze_el, "C0--", lw=1.2, label="head gaze elevation")
    for key, colour in (("left", "C1"), ("right", "C2")):
        a, e = azimuth_elevation(record[key])
        ax.plot(t, a, colour, lw=1, label=f"{key} arm pointing azimuth (from its mount)")
        ax.plot(t, e, colour, lw=1, ls="--", label=f"{key} arm pointing elevation")
    ax.axvspan(*JUMP, color="0.92", zorder=0)
    ax.set_ylabel("degrees")
    ax.set_title(f"500 Hz gaze loop on the example torso: look_at {reached_us:.1f} µs/tick "
                 f"(target reached), {clamped_us:.0f} µs (clamped within limits); "
                 f"whole tick {tick_us:.0f} µs", fontsize=9)
    ax.legend(fontsize=7, ncol=2, loc="lower left")
    ax = axes[1]
    names = ["left θ_A", "left θ_B", "right θ_A", "right θ_B", "neck yaw", "neck pitch"]
    for j, name in enumerate(names):
        ax.plot(t, record["pose"][:, j], f"C{j}", lw=1.2, label=name)
        ax.plot(t, record["goal"][:, j], f"C{j}", lw=0.6, ls=":")
    ax.axhline(1.6, color="0.5", lw=0.8, ls="-.")
    ax.axhline(-1.6, color="0.5", lw=0.8, ls="-.", label="arm joint limits")
    ax.axvspan(*JUMP, color="0.92", zorder=0)
    ax.set_ylabel("joint angle, rad (dotted: look_at's goal)")
    ax.legend(fontsize=7, ncol=4, loc="lower left")
    ax = axes[2]
    for j, name in enumerate(names):
        ax.plot(t, record["rates"][:, j], f"C{j}", lw=1, label=name)
    ax.axhline(ARM_SPEED_LIMIT, color="0.5", lw=0.8, ls="-.", label="arm speed limit")
    ax.axhline(-ARM_SPEED_LIMIT, color="0.5", lw=0.8, ls="-.")
    ax.axvspan(*JUMP, color="0.92", zorder=0, label="target out of the arms' reach")
    ax.set_ylabel("joint rate, rad/s")
    ax.set_xlabel("time, s")
    ax.legend(fontsize=7, ncol=4, loc="lower left")
    fig.tight_layout()
    fig.savefig(path, dpi=90)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--seconds", type=float, default=6.0)
    parser.add_argument("--torso-json", help="a torso.json file (default: the example torso)")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "docs",
                                                      "gaze_loop.png"))
    args = parser.parse_args(argv)
    if args.torso_json:
        with open(args.torso_json, encoding="utf-8") as file:
            torso = qt.Torso.from_json(file.read())
    else:
        torso = qt.Torso.example()
    record, tick_s = run(torso, args.seconds)
    reached_us, clamped_us = look_at_costs(record)
    fastest = check(record, torso)
    statuses = record["status"]
    print(f"ticks: {len(record['t'])} at {RATE_HZ} Hz")
    print(f"look_at: {reached_us:.1f} us per tick where all reach the target, "
          f"{clamped_us:.1f} us where one is clamped; whole tick: {tick_s * 1e6:.1f} us")
    print("fastest joint rates (rad/s): " + ", ".join(f"{v:.2f}" for v in fastest[:6]))
    for m, name in enumerate(("left arm", "right arm", "neck")):
        counts = np.bincount(statuses[:, m], minlength=4)
        print(f"{name}: reached {counts[0]}, clamped {counts[1]}, no direction {counts[2]}, "
              f"unreachable {counts[3]} ticks")
    draw(record, tick_s * 1e6, args.out)
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
