"""Workspace map of one arm: where it can point, with how many inverse-kinematics
solutions, and where in joint space its loop closes.

    python examples/workspace_map.py                        # the left preset
    python examples/workspace_map.py examples/arms/right_arm.json --out /tmp/maps
    python examples/workspace_map.py --step 3               # a coarser, faster map

The arm comes from an arms.json file (read with quorbel_torso.Arm.from_json)
or, without one, is the left preset. Two PNG files are written to --out:

- workspace_directions.png: directions over the whole sphere, sampled on a
  longitude-latitude grid every --step degrees, coloured by the number of
  distinct joint pairs (θ_A, θ_B) that point the arm exactly there (0 where
  it cannot point at all); a flat map, cut along the meridian opposite the
  reachable patch so that the patch is whole and in the middle, and a view of
  the sphere from above the patch.
- workspace_joints.png: the joint square [-π, π]², sampled every --step
  degrees, showing where reachable_joints is true (the loop closes), with
  the solutions of one direction marked on it.

How the solutions are counted. For a direction d the inverse kinematics
considers at most four joint pairs: tip A on either of the two points at arc
`arm_arc` from joint A's axis and `coupler_arc` from d, and tip B likewise
about joint B's axis, with each joint angle read off its tip. The array
package's `ik_solutions` returns, for a whole grid of directions at once, each
of the four in its slot where it is an accepted solution (its forward
kinematics lands within 1e-6 of d) and NaN where it is not; a candidate whose
loop closes on the other side points at the mirror image of d and is not
counted. Candidates equal to within 1e-9 rad count once. As a check, the
script also asks `reachable_direction` about every sample and exits with
status 1 if it disagrees with "at least one solution" anywhere.
"""
import argparse
import math
import sys
from pathlib import Path

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402
from matplotlib.colors import BoundaryNorm, ListedColormap  # noqa: E402

import quorbel_torso as qt  # noqa: E402

# Solutions of one direction that differ by less than this (rad) in both
# joints are one solution (candidates agree to rounding).
SAME_PAIR = 1e-9

COUNT_COLOURS = ["#e6e6e6", "#fdd49e", "#fc8d59", "#d7301f", "#7f0000"]
COUNT_CMAP = ListedColormap(COUNT_COLOURS)
COUNT_NORM = BoundaryNorm(np.arange(-0.5, 5.0), COUNT_CMAP.N)


def distinct_solutions(arm, directions):
    """For directions (..., 3): the four slots of ik_solutions, (..., 4, 2),
    and a mask (..., 4) of the slots that hold a solution not already held by
    an earlier slot."""
    pairs = arm.ik_solutions(directions)
    distinct = ~np.isnan(pairs[..., 0])
    for later in range(1, 4):
        for earlier in range(later):
            same = (np.abs(pairs[..., later, :] - pairs[..., earlier, :]) < SAME_PAIR).all(axis=-1)
            distinct[..., later] &= ~(distinct[..., earlier] & same)
    return pairs, distinct


def solutions_of(arm, direction):
    """The distinct joint pairs that point the arm at one direction."""
    pairs, distinct = distinct_solutions(arm, direction)
    return [tuple(pair) for pair in pairs[distinct].tolist()]


def sphere_grid(step_deg):
    """Cell centres of a longitude-latitude grid: longitudes, latitudes (deg)
    and the unit directions, shape (lat, lon, 3)."""
    lon = np.arange(-180.0 + step_deg / 2, 180.0, step_deg)
    lat = np.arange(-90.0 + step_deg / 2, 90.0, step_deg)
    lon_r, lat_r = np.meshgrid(np.radians(lon), np.radians(lat))
    dirs = np.stack([np.cos(lat_r) * np.cos(lon_r), np.cos(lat_r) * np.sin(lon_r),
                     np.sin(lat_r)], axis=-1)
    return lon, lat, dirs


def lon_lat(v):
    return math.degrees(math.atan2(v[1], v[0])), math.degrees(math.asin(max(-1.0, min(1.0, v[2]))))


def patch_centre(lon, lat, counts):
    """The mean longitude (deg) of the reachable cells, weighted by their
    area; 0 when nothing is reachable."""
    weights = (counts > 0) * np.cos(np.radians(lat))[:, None]
    if not weights.any():
        return 0.0
    east = (weights * np.sin(np.radians(lon))[None, :]).sum()
    north = (weights * np.cos(np.radians(lon))[None, :]).sum()
    return math.degrees(math.atan2(east, north))


def degrees_text(radians):
    return f"{math.degrees(radians):.1f}°".replace("-", "\N{MINUS SIGN}")


def wrap_longitude(x):
    """x (deg) as a longitude in (-180, 180]."""
    wrapped = (x + 180.0) % 360.0 - 180.0
    return 180.0 if wrapped == -180.0 else wrapped


def centre_on_patch(lon, lat, counts):
    """The map cut along the meridian opposite the reachable patch, so that the
    patch is whole and in the middle: the west edge's longitude (deg) and the
    counts with their columns turned to start there."""
    step = lon[1] - lon[0]
    # A centre on a round longitude keeps round tick marks.
    shift = round(round(patch_centre(lon, lat, counts) / 30.0) * 30.0 / step)
    return -180.0 + shift * step, np.roll(counts, -shift, axis=1)


def draw_flat_map(fig, flat, arm, lon, lat, counts):
    """The sphere as a longitude-latitude map centred on the reachable patch."""
    step = lon[1] - lon[0]
    west, centred = centre_on_patch(lon, lat, counts)
    image = flat.imshow(centred, origin="lower",
                        extent=(west, west + 360, -90, 90), cmap=COUNT_CMAP, norm=COUNT_NORM,
                        interpolation="nearest", aspect="equal")
    middle = west + 180.0

    def mark(vector, marker, label, **style):
        x, y = lon_lat(vector)
        if y > 89.9:  # the pole: every longitude; show it above the middle
            x, y, marker = middle, 90.0, "v"
        else:
            x = west + (x - west) % 360.0
        # Labels lean toward the middle, away from the frame and the colour bar.
        toward_middle = 1 if x <= middle else -1
        flat.plot(x, y, marker=marker, linestyle="none", clip_on=False, **style)
        flat.annotate(label, (x, y), textcoords="offset points", fontsize=8,
                      xytext=(9 * toward_middle, -4 if y < 89.9 else -12),
                      ha="left" if toward_middle > 0 else "right", va="top",
                      color=style.get("color", "k"),
                      bbox=dict(boxstyle="round,pad=0.15", fc="white", ec="none", alpha=0.85))

    m = -1.0 if arm.mirror else 1.0
    mark((0, 0, 1), "v", "joint A axis $v_1$ (the pole)", color="k", ms=7)
    mark((m, 0, 0), "o", "joint B axis $v_5$", color="k", ms=7)
    if arm.reachable_joints(0.0, 0.0):
        # The rest direction lies inside the patch: its label goes beside the
        # patch, below it (or above, for a patch far south), with an arrow.
        x, y = lon_lat(arm.direction(0.0, 0.0))
        x = west + (x - west) % 360.0
        rows = np.flatnonzero((counts > 0).any(axis=1))
        below = lat[rows[0]] - step / 2 - 9
        text_y = below if below > -75 else lat[rows[-1]] + step / 2 + 9
        flat.plot(x, y, marker="*", color="#2166ac", ms=12, mec="white", linestyle="none")
        flat.annotate("direction at $\\theta_A = \\theta_B = 0$", (x, y), (x, text_y),
                      fontsize=8, color="#2166ac", ha="center", va="center",
                      arrowprops=dict(arrowstyle="-", color="#2166ac", lw=0.8, shrinkB=6),
                      bbox=dict(boxstyle="round,pad=0.15", fc="white", ec="none", alpha=0.85))
    ticks = [t for t in range(-360, 361, 60) if west <= t <= west + 360]
    flat.set_xticks(ticks, [f"{t if -180 <= t <= 180 else wrap_longitude(t):g}"
                            .replace("-", "\N{MINUS SIGN}") for t in ticks])
    flat.set_yticks(range(-90, 91, 30))
    flat.set_xlabel("longitude atan2(y, x) [deg]")
    flat.set_ylabel("latitude asin(z) [deg]")
    flat.set_title("pointing directions $v_3$, arm body frame", fontsize=10, pad=14)
    bar = fig.colorbar(image, ax=flat, ticks=range(5), shrink=0.85, pad=0.02)
    bar.set_label("number of IK solutions")
    return middle


def draw_globe(globe, lon, lat, counts, facing):
    """The same counts on the sphere, seen from above the patch's longitude
    `facing` (deg), with the body axes."""
    edges_lon = np.radians(np.linspace(-180, 180, len(lon) + 1))
    edges_lat = np.radians(np.linspace(-90, 90, len(lat) + 1))
    glon, glat = np.meshgrid(edges_lon, edges_lat)
    globe.plot_surface(np.cos(glat) * np.cos(glon), np.cos(glat) * np.sin(glon), np.sin(glat),
                       facecolors=COUNT_CMAP(COUNT_NORM(counts)), rstride=1, cstride=1,
                       linewidth=0, shade=False, zorder=0)
    elevation, azimuth = math.radians(25.0), math.radians(facing)
    toward_viewer = np.array([math.cos(elevation) * math.cos(azimuth),
                              math.cos(elevation) * math.sin(azimuth), math.sin(elevation)])
    for axis, name in zip(np.eye(3), "xyz"):
        if axis @ toward_viewer < -0.2:
            continue  # behind the sphere
        globe.plot(*(np.array([1.0, 1.35])[:, None] * axis).T, color="k", lw=1.2, zorder=1)
        globe.text(*(1.48 * axis), name, ha="center", va="center")
    globe.view_init(elev=math.degrees(elevation), azim=facing)
    for set_limits in (globe.set_xlim, globe.set_ylim, globe.set_zlim):
        set_limits(-1.0, 1.0)
    globe.set_box_aspect((1, 1, 1), zoom=1.05)
    globe.set_axis_off()
    globe.set_title("the same, on the sphere", fontsize=10)


def draw_directions(arm, title, lon, lat, counts, path):
    fig = plt.figure(figsize=(12, 5.0), layout="constrained")
    grid = fig.add_gridspec(1, 2, width_ratios=(1.9, 1))
    middle = draw_flat_map(fig, fig.add_subplot(grid[0]), arm, lon, lat, counts)
    # Only the near side of the sphere and the axes in front of it are drawn:
    # stack them in that order instead of sorting by depth.
    globe = fig.add_subplot(grid[1], projection="3d", computed_zorder=False)
    draw_globe(globe, lon, lat, counts, middle)
    fig.suptitle(title)
    fig.savefig(path, dpi=110)
    plt.close(fig)


def draw_joints(title, angles, closes, marked, marked_label, path):
    fig, ax = plt.subplots(figsize=(6.4, 6.0), layout="constrained")
    ax.imshow(closes, origin="lower", extent=(-180, 180, -180, 180), interpolation="nearest",
              cmap=ListedColormap(["#e6e6e6", "#6baed6"]), vmin=0, vmax=1)
    if marked:
        ax.plot([math.degrees(a) for a, _ in marked], [math.degrees(b) for _, b in marked],
                linestyle="none", marker="o", mfc="#d7301f", mec="k", ms=8,
                label=marked_label)
        ax.legend(loc="upper right", fontsize=8)
    ax.set_xlabel("$\\theta_A$ [deg]")
    ax.set_ylabel("$\\theta_B$ [deg]")
    ax.set_xticks(range(-180, 181, 60))
    ax.set_yticks(range(-180, 181, 60))
    ax.set_title("joint space: blue where the loop closes (reachable_joints)", fontsize=10)
    fig.suptitle(title)
    fig.savefig(path, dpi=110)
    plt.close(fig)


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("arms_json", nargs="?", help="an arms.json file (default: the left preset)")
    parser.add_argument("--out", default=".", help="directory for the PNG files (default: .)")
    parser.add_argument("--step", type=float, default=1.0,
                        help="grid step in degrees, for directions and joints (default: 1)")
    args = parser.parse_args(argv)

    if args.arms_json:
        with open(args.arms_json, encoding="utf-8") as file:
            arm = qt.Arm.from_json(file.read())
        name = Path(args.arms_json).name
    else:
        arm = qt.Arm.default_left()
        name = "default_left()"
    out = Path(args.out)
    out.mkdir(parents=True, exist_ok=True)

    lon, lat, dirs = sphere_grid(args.step)
    counts = distinct_solutions(arm, dirs)[1].sum(axis=-1)
    mismatches = int(np.count_nonzero(arm.reachable_direction(dirs) != (counts > 0)))

    weights = np.broadcast_to(np.cos(np.radians(lat))[:, None], counts.shape)
    print(f"{name}: arm_arc={arm.arm_arc:g}, coupler_arc={arm.coupler_arc:g}, "
          f"mirror={arm.mirror}, branch={arm.branch}")
    print(f"directions: {counts.size} samples every {args.step:g} deg")
    for k in range(5):
        share = weights[counts == k].sum() / weights.sum()
        print(f"  {k} solutions: {100 * share:5.1f}% of the sphere")

    angles = np.radians(np.arange(-180.0 + args.step / 2, 180.0, args.step))
    closes = arm.reachable_joints(angles[None, :], angles[:, None])  # rows: theta_b
    print(f"joint space: the loop closes on {100 * closes.mean():.1f}% of [-pi, pi]^2")

    # The solutions of one direction, marked in joint space: those of
    # (0.3, -0.2), or of the closing pose nearest to (0, 0) if that one is open.
    pose = (0.3, -0.2)
    if not arm.reachable_joints(*pose):
        b, a = np.nonzero(closes)
        nearest = np.argmin(angles[a] ** 2 + angles[b] ** 2) if len(a) else None
        pose = None if nearest is None else (float(angles[a[nearest]]), float(angles[b[nearest]]))
    marked, label = [], ""
    if pose is not None:
        marked = solutions_of(arm, arm.direction(*pose))
        label = (f"the {len(marked)} solutions for the direction at "
                 f"$\\theta_A$ = {degrees_text(pose[0])}, $\\theta_B$ = {degrees_text(pose[1])}")
        print(f"direction({pose[0]:.2f}, {pose[1]:.2f}) is reached by "
              + ", ".join(f"({a:+.4f}, {b:+.4f})" for a, b in marked))

    # The pictures' axes are in degrees, so are the arcs in their titles.
    title = (f"{name}: mirror={arm.mirror}, branch {arm.branch}\n"
             f"arm_arc {degrees_text(arm.arm_arc)}, coupler_arc {degrees_text(arm.coupler_arc)}")
    draw_directions(arm, title, lon, lat, counts, out / "workspace_directions.png")
    draw_joints(title, angles, closes, marked, label, out / "workspace_joints.png")
    print(f"wrote {out / 'workspace_directions.png'} and {out / 'workspace_joints.png'}")

    if mismatches:
        print(f"error: reachable_direction disagrees with the solution count on "
              f"{mismatches} directions", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
