"""The example torso in MuJoCo: writes its MJCF model, lets the simulated
torso look at a few targets through its position servos, checks that each
arm's end-effector site and the head's gaze point at the target as the
kinematics says, and renders the settled poses off screen.

    MUJOCO_GL=egl python examples/mujoco_torso.py            # draws docs/mujoco_torso.png
    python examples/mujoco_torso.py --mjcf torso.xml --no-render
    python examples/mujoco_torso.py --torso-json examples/torso.json --out /tmp/torso.png

Needs `pip install '.[sim,examples]'`. Rendering needs an OpenGL that works
without a display: MUJOCO_GL=egl (Mesa's EGL) or MUJOCO_GL=osmesa.
"""
import argparse
import json
import os
import sys

import numpy as np

import quorbel_torso as qt
from quorbel_torso.mujoco import torso_mjcf

try:
    import mujoco
except ImportError:
    sys.exit("this example needs MuJoCo: pip install 'quorbel_torso_kinematics[sim]'")

# Points in front of the torso (metres, torso frame), as the gaze loop's
# target passes them, and one to the side.
TARGETS = [(0.7, 0.0, 0.1), (0.7, 0.3, 0.25), (0.7, -0.25, -0.05), (0.5, 0.45, 0.3)]
SETTLE_SECONDS = 2.5


def settle_at(model, data, torso, target, previous):
    """Commands the look-at pose for `target` and simulates until settled;
    returns the aim."""
    aim = torso.look_at(np.array(target, dtype=float), previous=previous)
    data.ctrl[:] = np.where(np.isnan(aim.pose), data.ctrl, aim.pose)
    for _ in range(int(SETTLE_SECONDS / model.opt.timestep)):
        mujoco.mj_step(model, data)
    return aim


def angles_off(model, data, description, target):
    """Radians between each simulated mechanism's direction and the
    direction from its mount to the target."""
    out = {}
    for name, site, axis in (("left arm", "left_end_effector", 2),
                             ("right arm", "right_end_effector", 2), ("neck", "head", None)):
        key = "neck" if name == "neck" else name.replace(" ", "_")
        frame = data.site(site).xmat.reshape(3, 3)
        pointing = frame @ np.array(description["neck"]["gaze_axis"]) if axis is None \
            else frame[:, axis]
        way = np.array(target) - np.array(description[key]["mount"]["offset"])
        out[name] = float(np.arctan2(np.linalg.norm(np.cross(pointing, way)), pointing @ way))
    return out


def mark(scene, point, rays):
    """The target and rays toward it drawn into the rendered scene (not
    part of the model): `rays` are (start, direction, rgba)."""
    if scene.ngeom + 1 + len(rays) > scene.maxgeom:
        return
    mujoco.mjv_initGeom(scene.geoms[scene.ngeom], mujoco.mjtGeom.mjGEOM_SPHERE,
                        np.array([0.02, 0, 0]), np.array(point, dtype=float),
                        np.eye(3).ravel(), np.array((0.9, 0.1, 0.1, 1), dtype=np.float32))
    scene.ngeom += 1
    for start, direction, rgba in rays:
        end = start + direction * np.linalg.norm(np.array(point) - start)
        geom = scene.geoms[scene.ngeom]
        mujoco.mjv_initGeom(geom, mujoco.mjtGeom.mjGEOM_CAPSULE, np.zeros(3), np.zeros(3),
                            np.eye(3).ravel(), np.array(rgba, dtype=np.float32))
        mujoco.mjv_connector(geom, mujoco.mjtGeom.mjGEOM_CAPSULE, 0.003, start, end)
        scene.ngeom += 1


def rays(data, description):
    """From each arm's centre along its simulated pointing direction, and
    from the head along its gaze."""
    out = []
    for side in ("left", "right"):
        out.append((np.array(description[f"{side}_arm"]["mount"]["offset"], dtype=float),
                    data.site(f"{side}_end_effector").xmat.reshape(3, 3)[:, 2],
                    (0.9, 0.3, 0.3, 0.6)))
    head = data.site("head")
    out.append((head.xpos.copy(), head.xmat.reshape(3, 3) @ np.array(
        description["neck"]["gaze_axis"]), (0.2, 0.75, 0.35, 0.6)))
    return out


def draw(frames, path):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(2, 2, figsize=(12, 9))
    for ax, (image, target) in zip(axes.ravel(), frames):
        ax.imshow(image)
        ax.set_title(f"look at ({target[0]:+.2f}, {target[1]:+.2f}, {target[2]:+.2f}) m")
        ax.axis("off")
    fig.suptitle("The example torso in MuJoCo, settled on each target: arms (input arms orange "
                 "and blue, couplers lighter),\nthe head's gaze axis (green), the target (red) and "
                 "rays along each simulated direction (the last target is out of the arms' reach)",
                 fontsize=12)
    fig.tight_layout()
    os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
    fig.savefig(path, dpi=80)


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--torso-json", help="a torso.json file (default: the example torso)")
    parser.add_argument("--mjcf", help="also write the model's MJCF to this file")
    parser.add_argument("--out", default=os.path.join(os.path.dirname(__file__), "..", "docs",
                                                      "mujoco_torso.png"))
    parser.add_argument("--no-render", action="store_true",
                        help="simulate and check only, without OpenGL")
    args = parser.parse_args()
    if args.torso_json:
        with open(args.torso_json, encoding="utf-8") as file:
            torso = qt.Torso.from_json(file.read())
    else:
        torso = qt.Torso.example()
    description = json.loads(torso.to_json())
    text = torso_mjcf(torso)
    if args.mjcf:
        with open(args.mjcf, "w", encoding="utf-8") as file:
            file.write(text)
        print(f"wrote {args.mjcf}")
    model = mujoco.MjModel.from_xml_string(text)
    data = mujoco.MjData(model)
    print(f"model: {model.nbody - 1} bodies, {model.njnt} joints, {model.neq} equality "
          f"constraints, {model.nu} position servos")
    renderer = None if args.no_render else mujoco.Renderer(model, 480, 640)
    camera = mujoco.MjvCamera()
    camera.lookat[:] = (0.3, 0.08, 0.1)
    camera.distance, camera.azimuth, camera.elevation = 1.05, -25.0, -24.0
    frames, aim = [], None
    for target in TARGETS:
        aim = settle_at(model, data, torso, target, aim)
        off = angles_off(model, data, description, target)
        # What the simulation points at, against what the kinematics says is
        # left over (0 where the target is reached).
        print(f"target {target}:")
        for (name, angle), state, leftover in zip(off.items(), aim.status, aim.leftover):
            print(f"  {name}: {qt.AimStatus(state).name.lower()}, {angle:.3e} rad off the target "
                  f"(look_at: {leftover:.3e}), differs by {abs(angle - leftover):.1e}")
        if renderer is not None:
            renderer.update_scene(data, camera)
            mark(renderer.scene, target, rays(data, description))
            frames.append((renderer.render().copy(), target))
    if frames:
        draw(frames, args.out)
        print(f"drew {args.out}")


if __name__ == "__main__":
    main()
