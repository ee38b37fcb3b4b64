"""Draw one arm's five-bar loop on the unit sphere at a joint pair.

    python examples/draw_five_bar.py                           # left preset at (0.3, -0.2)
    python examples/draw_five_bar.py --joints 0.6 0.1 --out /tmp/loop.png
    python examples/draw_five_bar.py --arms-json examples/arms/right_arm.json

The five vertices are unit vectors from the sphere's centre: the joint axes
v_1 = (0, 0, 1) and v_5 = (m, 0, 0), the arm tips v_2 and v_4 (placed by the
formulas in docs/concepts.md), and the apex v_3 that the module's `direction`
returns. Before drawing, the script checks that the loop really closes: both
coupler segments must be `coupler_arc` long. The title names the branch the
loop closed on, read off the drawing: the apex lies toward v_2 × v_4 on the
positive branch.
"""
import argparse
import math
import os
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from mpl_toolkits.mplot3d import proj3d  # noqa: E402

from quorbel_torso_kinematics import QuorbelArmKinematics  # noqa: E402

# Arc lengths from the module and from the tip formulas agree to rounding.
ARC_TOLERANCE = 1e-9


def loop_vertices(arm, theta_a, theta_b):
    """v_1 to v_5 as unit vectors (rows of a 5x3 array)."""
    a = arm.arm_arc()
    m = -1.0 if arm.mirror() else 1.0
    v_1 = [0.0, 0.0, 1.0]
    v_2 = [m * math.sin(a) * math.cos(theta_a), m * math.sin(a) * math.sin(theta_a), math.cos(a)]
    v_3 = arm.direction(theta_a, theta_b)
    v_4 = [m * math.cos(a), -m * math.sin(a) * math.sin(theta_b), math.sin(a) * math.cos(theta_b)]
    v_5 = [m, 0.0, 0.0]
    return np.array([v_1, v_2, v_3, v_4, v_5])


def arc(p, q, n=60):
    """Points of the great-circle arc from p to q (unit vectors)."""
    angle = math.acos(max(-1.0, min(1.0, float(p @ q))))
    t = np.linspace(0.0, 1.0, n)[:, None]
    return (np.sin((1 - t) * angle) * p + np.sin(t * angle) * q) / math.sin(angle)


def branch_of(v):
    """The branch the loop closed on: the apex lies toward v_2 × v_4 on the
    positive one."""
    return "positive" if float(np.cross(v[1], v[3]) @ v[2]) > 0 else "negative"


def to_screen(ax, points):
    """Display coordinates (pixels) of 3D points, and their projected 2D data
    coordinates, for the axes' current view."""
    x, y, _ = proj3d.proj_transform(*np.asarray(points).T, ax.get_proj())
    projected = np.column_stack([x, y])
    return ax.transData.transform(projected), projected


def place_labels(fig, ax, points, names, obstacles, distance=9):
    """Write each name beside its point, on the side where the label's box
    covers the fewest obstacle pixels (arcs, spokes, markers) and no label
    placed before it; ties go to the side away from the loop's middle."""
    renderer = fig.canvas.get_renderer()
    screen, projected = to_screen(ax, points)
    middle = screen.mean(axis=0)
    taken = []
    for anchor, xy, name in zip(screen, projected, names):
        outward = math.atan2(*(anchor - middle)[::-1])
        best = None
        for k in range(16):
            angle = outward + k * math.pi / 8
            dx, dy = math.cos(angle), math.sin(angle)
            label = ax.annotate(
                name, xy, xytext=(distance * dx, distance * dy), textcoords="offset points",
                ha="left" if dx > 0.3 else "right" if dx < -0.3 else "center",
                va="bottom" if dy > 0.3 else "top" if dy < -0.3 else "center",
                fontsize=9, zorder=10,
                bbox=dict(boxstyle="round,pad=0.15", fc="white", ec="none", alpha=0.8))
            box = label.get_window_extent(renderer).expanded(1.05, 1.15)
            covered = int(np.count_nonzero((obstacles >= box.p0).all(axis=1)
                                           & (obstacles <= box.p1).all(axis=1)))
            clash = sum(box.overlaps(other) for other in taken)
            outside = not (fig.bbox.contains(*box.p0) and fig.bbox.contains(*box.p1))
            score = (1000 * (clash + outside) + covered, min(k, 16 - k))
            if best is None or score < best[0]:
                if best is not None:
                    best[1].remove()
                best = (score, label, box)
            else:
                label.remove()
        taken.append(best[2])


def loop_figure(arm, arm_name, theta_a, theta_b, v):
    """The loop with vertices `v` on the unit sphere, labelled, with the body
    axes."""
    fig = plt.figure(figsize=(6.4, 6.6), dpi=110)
    # The sphere is a see-through wireframe: draw the loop over it in a fixed
    # order rather than by depth.
    ax = fig.add_subplot(projection="3d", computed_zorder=False)
    u, w = np.meshgrid(np.linspace(0, 2 * np.pi, 49), np.linspace(0, np.pi, 25))
    ax.plot_wireframe(np.cos(u) * np.sin(w), np.sin(u) * np.sin(w), np.cos(w), color="0.88",
                      linewidth=0.4, zorder=0)
    drawn = [arc(v[0], v[4])]
    ax.plot(*drawn[0].T, color="0.4", linestyle="--", linewidth=1, zorder=2,
            label="$v_1$ to $v_5$: a quarter turn, fixed in the body")
    for i, (colour, label) in enumerate((("#2166ac", "input arms (arm_arc)"),
                                         ("#d7301f", "coupler segments (coupler_arc)"),
                                         ("#d7301f", None),
                                         ("#2166ac", None))):
        drawn.append(arc(v[i], v[i + 1]))
        ax.plot(*drawn[-1].T, color=colour, linewidth=3, label=label, zorder=3)
    for point in v:
        drawn.append(np.linspace(0.0, 1.0, 30)[:, None] * point)
        ax.plot(*drawn[-1].T, color="k", linewidth=0.6, zorder=2)
        ax.scatter(*point, color="k", s=25, depthshade=False, zorder=4)
    # Look at the loop from outside the sphere, over its middle.
    middle = v.mean(axis=0)
    elevation = math.atan2(middle[2], math.hypot(middle[0], middle[1])) - math.radians(15)
    azimuth = math.atan2(middle[1], middle[0]) + math.radians(20)
    ax.view_init(elev=math.degrees(elevation), azim=math.degrees(azimuth))
    toward_viewer = np.array([math.cos(elevation) * math.cos(azimuth),
                              math.cos(elevation) * math.sin(azimuth), math.sin(elevation)])
    # The body frame's axes, from the sphere outward; faint where they leave
    # the far side.
    for axis, axis_name, colour in zip(np.eye(3), "xyz", ("#b2182b", "#1b7837", "#2166ac")):
        alpha = 1.0 if axis @ toward_viewer > -0.2 else 0.35
        drawn.append(np.linspace(1.0, 1.3, 15)[:, None] * axis)
        ax.plot(*drawn[-1].T, color=colour, linewidth=2, alpha=alpha, zorder=1)
        ax.text(*(1.38 * axis), axis_name, color=colour, alpha=alpha, fontsize=11,
                fontweight="bold", ha="center", va="center")
        drawn.append(np.array([1.38 * axis]))
    for set_limits in (ax.set_xlim, ax.set_ylim, ax.set_zlim):
        set_limits(-1.05, 1.05)
    ax.set_box_aspect((1, 1, 1), zoom=1.3)
    ax.set_axis_off()
    ax.legend(loc="lower left", fontsize=8, frameon=False)
    ax.set_title(f"five-bar loop of {arm_name}: mirror={arm.mirror()}, branch {branch_of(v)}\n"
                 f"$\\theta_A$ = {theta_a:g} rad, $\\theta_B$ = {theta_b:g} rad, "
                 f"arm_arc {arm.arm_arc():g} rad, coupler_arc {arm.coupler_arc():g} rad\n"
                 "the apex $v_3$ is the pointing direction", fontsize=10)
    fig.subplots_adjust(left=0, right=1, bottom=0, top=0.88)
    fig.canvas.draw()
    obstacles, _ = to_screen(ax, np.concatenate(drawn))
    names = ("$v_1$ joint A axis", "$v_2$ tip A", "$v_3$ apex", "$v_4$ tip B",
             "$v_5$ joint B axis")
    place_labels(fig, ax, v, names, obstacles)
    return fig


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--arms-json", help="an arms.json file (default: the left preset)")
    parser.add_argument("--joints", nargs=2, type=float, default=(0.3, -0.2),
                        metavar=("THETA_A", "THETA_B"))
    parser.add_argument("--out", default="five_bar_loop.png")
    args = parser.parse_args(argv)

    if args.arms_json:
        with open(args.arms_json, encoding="utf-8") as file:
            arm = QuorbelArmKinematics.from_json(file.read())
        arm_name = os.path.basename(args.arms_json)
    else:
        arm = QuorbelArmKinematics.default_left()
        arm_name = "default_left()"
    theta_a, theta_b = args.joints
    if not arm.is_reachable_joints(theta_a, theta_b):
        print(f"the loop does not close at ({theta_a}, {theta_b})", file=sys.stderr)
        return 1
    v = loop_vertices(arm, theta_a, theta_b)
    arcs = [math.acos(max(-1.0, min(1.0, float(v[i] @ v[i + 1])))) for i in range(4)]
    expected = [arm.arm_arc(), arm.coupler_arc(), arm.coupler_arc(), arm.arm_arc()]
    for name, got, want in zip(("v_1-v_2", "v_2-v_3", "v_3-v_4", "v_4-v_5"), arcs, expected):
        print(f"arc {name}: {got:.9f} rad (expected {want:.9f})")
        if not abs(got - want) <= ARC_TOLERANCE:
            print(f"error: arc {name} is {got}, not {want}", file=sys.stderr)
            return 1

    fig = loop_figure(arm, arm_name, theta_a, theta_b, v)
    fig.savefig(args.out, dpi="figure")
    plt.close(fig)
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
