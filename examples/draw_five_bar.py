"""Draw one arm's five-bar loop on the unit sphere at a joint pair.

    python examples/draw_five_bar.py                           # left preset at (0.3, -0.2)
    python examples/draw_five_bar.py --joints 0.6 0.1 --out /tmp/loop.png
    python examples/draw_five_bar.py --arms-json examples/arms/right_arm.json

The five vertices are unit vectors from the sphere's centre: the joint axes
v_1 = (0, 0, 1) and v_5 = (m, 0, 0), the arm tips v_2 and v_4 (placed by the
formulas in the README), and the apex v_3 that the module's `direction`
returns. Before drawing, the script checks that the loop really closes: both
coupler segments must be `coupler_arc` long.
"""
import argparse
import math
import sys

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

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
    else:
        arm = QuorbelArmKinematics.default_left()
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

    fig = plt.figure(figsize=(6.4, 6.4))
    ax = fig.add_subplot(projection="3d")
    u, w = np.meshgrid(np.linspace(0, 2 * np.pi, 49), np.linspace(0, np.pi, 25))
    ax.plot_wireframe(np.cos(u) * np.sin(w), np.sin(u) * np.sin(w), np.cos(w), color="0.85",
                      linewidth=0.4)
    ax.plot(*arc(v[0], v[4]).T, color="0.4", linestyle="--", linewidth=1,
            label="v_1 to v_5: a quarter turn, fixed in the body")
    for i, (colour, label) in enumerate((("#2166ac", "input arms (arm_arc)"),
                                         ("#d7301f", "coupler segments (coupler_arc)"),
                                         ("#d7301f", None),
                                         ("#2166ac", None))):
        ax.plot(*arc(v[i], v[i + 1]).T, color=colour, linewidth=3, label=label)
    names = ("v_1 joint A axis", "v_2 tip A", "v_3 apex",
             "v_4 tip B", "v_5 joint B axis")
    for point, name in zip(v, names):
        ax.plot([0, point[0]], [0, point[1]], [0, point[2]], color="k", linewidth=0.6)
        ax.scatter(*point, color="k", s=25)
        ax.text(*(1.06 * point), name, fontsize=9)
    # Look at the loop from outside the sphere, over its middle.
    middle = v.mean(axis=0)
    ax.view_init(elev=math.degrees(math.atan2(middle[2], math.hypot(middle[0], middle[1]))) - 15,
                 azim=math.degrees(math.atan2(middle[1], middle[0])) + 20)
    ax.set_box_aspect((1, 1, 1), zoom=1.35)
    ax.set_axis_off()
    ax.legend(loc="lower left", fontsize=8, frameon=False)
    ax.set_title(f"five-bar loop at θ_A = {theta_a:g}, θ_B = {theta_b:g} "
                 f"(arm_arc {arm.arm_arc():g}, coupler_arc {arm.coupler_arc():g});\n"
                 "the apex v_3 is the pointing direction", fontsize=10)
    fig.subplots_adjust(left=0, right=1, bottom=0, top=0.9)
    fig.savefig(args.out, dpi=110)
    plt.close(fig)
    print(f"wrote {args.out}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
