"""Clamp a gaze target that leaves the arm's workspace to the nearest
direction the arm can point at, and draw what the arm does.

    python examples/gaze_clamp.py                          # left preset
    python examples/gaze_clamp.py --out /tmp/gaze.png --steps 600
    python examples/gaze_clamp.py --arms-json examples/arms/right_arm.json

A commanded pointing direction goes once around a smooth loop that is partly
outside the workspace. At every step the controller aims at
`arm.nearest_reachable(command, near=previous_joints)`: the command itself
while the arm can reach it, otherwise the reachable direction at the smallest
angle from it, with the joint pair nearest the previous one so that the
joints do not jump between solutions. The script checks what it prints
(every achieved direction is reachable, is the command wherever the command
is reachable, and is never further from the command than any direction of a
dense joint grid) and draws three panels: the commanded and achieved
directions over the workspace, the angle between them, and the smaller
singular value of the direction Jacobian, which drops to zero where the
clamp runs along a rim of the workspace (an input arm in line with its
coupler) and stays away from zero along the closing limit.
"""
import argparse
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import quorbel_torso as qt  # noqa: E402

# The joint grid whose directions the achieved ones are compared with, and
# what it may beat them by (the edge is found to 1e-9 rad).
GRID_STEP = 0.01
TOLERANCE = 1e-9
# The commanded loop in longitude and latitude (degrees, as in the workspace
# map): an ellipse about the middle of the left preset's patch, turned for a
# mirrored arm.
CENTRE = (5.0, 40.0)
HALF_AXES = (72.0, 24.0)
# The map's extent (degrees) about the loop, and its shading's resolution.
MAP_MARGIN = 12.0
MAP_STEP = 0.25


def unit_vectors(longitude, latitude):
    """Directions at the given longitudes and latitudes (degrees)."""
    lon, lat = np.broadcast_arrays(np.radians(longitude), np.radians(latitude))
    return np.stack([np.cos(lat) * np.cos(lon), np.cos(lat) * np.sin(lon), np.sin(lat)], -1)


def longitude_latitude(v):
    """Degrees: longitude atan2(y, x) and latitude asin(z) of unit vectors."""
    return (np.degrees(np.arctan2(v[..., 1], v[..., 0])),
            np.degrees(np.arcsin(np.clip(v[..., 2], -1.0, 1.0))))


def angle_between(u, v):
    return np.arctan2(np.linalg.norm(np.cross(u, v), axis=-1), np.sum(u * v, axis=-1))


def commanded_path(arm, steps):
    """The commanded directions, one turn of the ellipse. The right arm is
    the left one turned half a turn about z, and so is its loop."""
    t = np.linspace(0.0, 2.0 * np.pi, steps)
    turn = 180.0 if arm.mirror else 0.0
    return unit_vectors(CENTRE[0] + turn + HALF_AXES[0] * np.cos(t),
                        CENTRE[1] + HALF_AXES[1] * np.sin(t))


def clamp(arm, commands):
    """What the controller aims at, step by step: the nearest reachable
    direction to each command and its joints, near the previous joints."""
    achieved = np.empty_like(commands)
    joints = np.empty((len(commands), 2))
    previous = None
    for k, command in enumerate(commands):
        achieved[k], joints[k] = arm.nearest_reachable(command, near=previous)
        previous = joints[k]
    return achieved, joints


def reached_directions(arm):
    """The directions of every joint pair of a GRID_STEP grid where the loop
    closes: a dense sample of the workspace."""
    grid = np.arange(-np.pi, np.pi, GRID_STEP)
    directions = arm.direction(grid[:, None], grid[None, :]).reshape(-1, 3)
    return directions[~np.isnan(directions[:, 0])]


def check(arm, commands, achieved, sample):
    """The promises, each as (what is claimed, whether it holds)."""
    reachable = arm.reachable_direction(commands)
    gap = angle_between(commands, achieved)
    # The nearest sampled workspace direction to each command: the one of
    # largest cosine, its angle then measured without the cosine's rounding.
    nearest_sample = angle_between(sample[np.argmax(commands @ sample.T, axis=1)], commands)
    return [
        ("every achieved direction is reachable", bool(arm.reachable_direction(achieved).all())),
        ("the achieved direction is the command wherever the command is reachable",
         bool(np.all(gap[reachable] <= TOLERANCE))),
        (f"no achieved direction is further from the command than any of the "
         f"{len(sample):,} directions of a {GRID_STEP} rad joint grid",
         bool(np.all(gap <= nearest_sample + TOLERANCE))),
    ]


def gaze_figure(arm, arm_name, commands, achieved, smallest):
    """Directions over the workspace; the angle from command to achieved
    (degrees); the smaller singular value (rad/rad). Time is the step."""
    out_of_reach = ~arm.reachable_direction(commands)
    steps = np.arange(len(commands))
    fig, (where, gap_axes, margin_axes) = plt.subplots(
        3, 1, figsize=(7.6, 9.4), height_ratios=(2.2, 1, 1), layout="constrained")
    fig.suptitle(f"gaze clamped by nearest_reachable: {arm_name}\n"
                 f"mirror={arm.mirror}, branch {arm.branch}", fontsize=11)

    c_lon, c_lat = longitude_latitude(commands)
    # The workspace, shaded where reachable_direction holds. Longitudes are
    # unwrapped about the loop's, which may straddle +-180 for a mirrored arm.
    middle = CENTRE[0] + (180.0 if arm.mirror else 0.0)
    c_lon = (c_lon - middle + 180.0) % 360.0 - 180.0 + middle
    lon = np.arange(c_lon.min() - MAP_MARGIN, c_lon.max() + MAP_MARGIN, MAP_STEP)
    lat = np.arange(max(-90.0, c_lat.min() - MAP_MARGIN), min(90.0, c_lat.max() + MAP_MARGIN),
                    MAP_STEP)
    inside = arm.reachable_direction(unit_vectors(lon[None, :], lat[:, None]))
    where.contourf(lon, lat, inside.astype(float), levels=[0.5, 1.5], colors=["0.85"])
    where.fill([], [], color="0.85", label="workspace")
    a_lon, a_lat = longitude_latitude(achieved)
    a_lon = (a_lon - middle + 180.0) % 360.0 - 180.0 + middle
    where.plot(c_lon, c_lat, color="#2166ac", linestyle="--", linewidth=1.4, label="commanded")
    where.plot(a_lon, a_lat, color="#d7301f", linewidth=2.0, label="achieved")
    # Every 20th step, the clamp from command to achieved.
    for k in range(0, len(commands), 20):
        if out_of_reach[k]:
            where.plot([c_lon[k], a_lon[k]], [c_lat[k], a_lat[k]], color="0.45", linewidth=0.6)
    where.annotate("start", (c_lon[0], c_lat[0]), xytext=(8, 0), textcoords="offset points",
                   fontsize=8, ha="left", va="center")
    where.annotate("", (c_lon[6], c_lat[6]), xytext=(c_lon[0], c_lat[0]),
                   arrowprops=dict(arrowstyle="->", color="#2166ac"))
    where.set_xlabel("longitude atan2(y, x) [deg]")
    where.set_ylabel("latitude asin(z) [deg]")
    where.set_title("pointing directions, arm body frame (grey lines: command to achieved, "
                    "every 20th step)", fontsize=9)
    where.set_aspect("equal")
    where.legend(loc="lower center", fontsize=8, ncol=3, bbox_to_anchor=(0.5, 1.07),
                 frameon=False)

    for axes in (gap_axes, margin_axes):
        for start, stop in runs(out_of_reach):
            axes.axvspan(start - 0.5, stop - 0.5, color="#fde0c5", linewidth=0)
        axes.set_xlim(0, len(commands) - 1)
    gap_axes.plot(steps, np.degrees(angle_between(commands, achieved)), color="#d7301f")
    gap_axes.set_ylabel("angle [deg]")
    gap_axes.set_title("angle from the commanded to the achieved direction "
                       "(shaded: command out of reach)", fontsize=9)
    margin_axes.plot(steps, smallest, color="#1b7837")
    margin_axes.set_ylim(bottom=0)
    margin_axes.set_ylabel("[rad/rad]")
    margin_axes.set_xlabel("step")
    margin_axes.set_title("smaller singular value of direction_jacobian at the achieved "
                          "joints (0: an input arm in line)", fontsize=9)
    return fig


def runs(flags):
    """(start, stop) of each run of True in a boolean array."""
    edges = np.diff(np.concatenate([[0], flags.astype(np.int8), [0]]))
    return zip(np.flatnonzero(edges == 1), np.flatnonzero(edges == -1))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arms-json", help="an arms.json file (default: the left preset)")
    parser.add_argument("--steps", type=int, default=400)
    parser.add_argument("--out", default="gaze_clamp.png")
    args = parser.parse_args(argv)

    if args.arms_json:
        with open(args.arms_json, encoding="utf-8") as file:
            arm = qt.Arm.from_json(file.read())
        arm_name = os.path.basename(args.arms_json)
    else:
        arm = qt.Arm.default_left()
        arm_name = "Arm.default_left()"
    commands = commanded_path(arm, args.steps)
    achieved, joints = clamp(arm, commands)
    smallest = arm.singular_values(joints[:, 0], joints[:, 1])[:, 1]
    out_of_reach = ~arm.reachable_direction(commands)
    gap = np.degrees(angle_between(commands, achieved))
    print(f"{args.steps} steps, the command out of reach at {out_of_reach.sum()}")
    print(f"largest angle from command to achieved: {gap.max():.2f} deg")
    print(f"largest joint step: {np.abs(np.diff(joints, axis=0)).max():.3f} rad")
    print(f"smaller singular value while clamped: {np.nanmin(smallest[out_of_reach]):.2g} to "
          f"{np.nanmax(smallest[out_of_reach]):.2g} rad/rad")
    sample = reached_directions(arm)
    failed = False
    for claim, holds in check(arm, commands, achieved, sample):
        print(f"{'ok' if holds else 'FAILED'}: {claim}")
        failed |= not holds

    fig = gaze_figure(arm, arm_name, commands, achieved, smallest)
    fig.savefig(args.out, dpi=110)
    plt.close(fig)
    print(f"wrote {args.out}")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
