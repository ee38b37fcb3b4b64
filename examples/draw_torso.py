"""Draw a torso's frames: the torso frame, each mechanism's mount frame,
the directions each arm can point in (its workspace, from its mount) and the
head's gaze axis at the neck's zero pose.

    python examples/draw_torso.py                       # the example torso
    python examples/draw_torso.py --torso-json my_torso.json --out /tmp/torso.png
"""
import argparse
import json
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import quorbel_torso as qt  # noqa: E402

AXIS_LENGTH = 0.1  # metres, each frame's drawn axes
REACH = 0.35  # metres, how far the workspace directions are drawn out
GRID = 121  # joint samples per axis for the workspace


def draw_frame(ax, rotation, offset, label, length=AXIS_LENGTH, width=2.0):
    for j, colour in enumerate(("tab:red", "tab:green", "tab:blue")):
        tip = offset + length * rotation[:, j]
        ax.plot(*zip(offset, tip), color=colour, lw=width)
    ax.text(*(offset + np.array([0.0, 0.0, -0.05])), label, fontsize=8, ha="center")


def workspace_points(arm, rotation, offset):
    """Points at REACH along every direction the arm points in, torso frame."""
    theta = np.linspace(-np.pi, np.pi, GRID)
    directions = arm.direction(theta[:, None], theta[None, :]).reshape(-1, 3)
    directions = directions[~np.isnan(directions[:, 0])]
    return offset + REACH * directions @ rotation.T


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--torso-json", help="a torso.json file (default: the example torso)")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "docs",
                                                      "torso_frames.png"))
    args = parser.parse_args(argv)
    if args.torso_json:
        with open(args.torso_json, encoding="utf-8") as file:
            torso = qt.Torso.from_json(file.read())
    else:
        torso = qt.Torso.example()
    description = json.loads(torso.to_json())

    fig = plt.figure(figsize=(8, 7))
    ax = fig.add_subplot(projection="3d")
    draw_frame(ax, np.eye(3), np.zeros(3), "torso", length=0.15, width=1.0)
    for name, arm, colour in (("left_arm", torso.left_arm, "tab:orange"),
                              ("right_arm", torso.right_arm, "tab:purple")):
        mount = description[name]["mount"]
        rotation, offset = np.array(mount["rotation"]), np.array(mount["offset"])
        draw_frame(ax, rotation, offset, name.replace("_", " "))
        points = workspace_points(arm, rotation, offset)
        ax.scatter(*points.T, s=2, color=colour, alpha=0.35, depthshade=False,
                   label=f"{name.replace('_', ' ')}: where it points")
        print(f"{name}: mount at {offset.tolist()} m, "
              f"{len(points)} of {GRID * GRID} joint samples close the loop")
    neck = description["neck"]
    rotation, offset = np.array(neck["mount"]["rotation"]), np.array(neck["mount"]["offset"])
    draw_frame(ax, rotation, offset, "neck")
    gaze = offset + 0.4 * rotation @ np.array(neck.get("gaze_axis", [1.0, 0.0, 0.0]))
    ax.plot(*zip(offset, gaze), color="k", lw=1.5, ls="--")
    ax.text(*gaze, "gaze at zero pose", fontsize=8)
    ax.legend(loc="upper left", fontsize=8, markerscale=4)
    ax.set_xlabel("x (forward), m")
    ax.set_ylabel("y (left), m")
    ax.set_zlabel("z (up), m")
    ax.set_xlim(-0.1, 0.5)
    ax.set_ylim(-0.3, 0.3)
    ax.set_zlim(-0.25, 0.35)
    ax.set_box_aspect((0.6, 0.6, 0.6))
    ax.view_init(elev=18, azim=-150)
    ax.set_title("The example torso: frames (x red, y green, z blue), each arm's\n"
                 f"pointing directions drawn {REACH} m out from its mount, the head's gaze axis")
    fig.tight_layout()
    fig.savefig(args.out, dpi=90)
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
