"""The viewer's browser side: the scene of scene.py put into a viser server,
with a slider for every joint, a draggable target the arms and the head
follow through Torso.look_at, and each arm's four inverse-kinematics
solutions of the target on demand."""

import json
import threading
from typing import Dict, List, Tuple

import numpy as np
import viser  # type: ignore[import-not-found, unused-ignore]  # the view extra; may be absent
import viser.transforms  # type: ignore[import-not-found, unused-ignore]

from quorbel_torso import AimStatus, Torso
from quorbel_torso._poses import FloatArray
from quorbel_torso.view import scene

COLOURS = {"left_arm": (255, 128, 0), "right_arm": (128, 0, 200)}
VERTEX_COLOUR = (30, 30, 30)
GAZE_COLOUR = (0, 150, 60)
SPHERE_COLOUR = (200, 200, 210)
TARGET_COLOUR = (220, 20, 20)
START_TARGET = (0.7, -0.05, 0.25)  # metres, torso frame: all three reach it
SLOTS = ("(+,+)", "(+,-)", "(-,+)", "(-,-)")
JOINTS = (
    ("left_arm", "theta_a"), ("left_arm", "theta_b"),
    ("right_arm", "theta_a"), ("right_arm", "theta_b"),
    ("neck", "yaw"), ("neck", "pitch"), ("neck", "roll"),
)
# Without limits, every joint turns a whole turn; pitch beyond a quarter
# turn only repeats the head's poses.
FREE_RANGE = {"pitch": (-np.pi / 2, np.pi / 2)}
# Where each arm's four solutions stand side by side: the left arm's row
# above the torso, the right arm's below, each in the order of the slots,
# left to right as seen from the front.
SOLUTION_ROWS = {
    name: np.array([[0.0, y, z] for y in (-0.42, -0.14, 0.14, 0.42)])
    for name, z in (("left_arm", 0.62), ("right_arm", -0.4))
}


def segments(polylines: List[FloatArray]) -> FloatArray:
    """(n, 2, 3) line segments joining each polyline's successive points."""
    return np.concatenate([np.stack([p[:-1], p[1:]], axis=1) for p in polylines])


def joint_ranges(torso: Torso) -> List[Tuple[float, float]]:
    description = json.loads(torso.to_json())
    ranges = []
    for mechanism, joint in JOINTS:
        limits = description[mechanism].get("limits") or {}
        free = FREE_RANGE.get(joint, (-np.pi, np.pi))
        ranges.append(tuple(limits.get(joint, free)))
    return ranges


def status_line(name: str, status: int, leftover: float) -> str:
    what = {
        AimStatus.REACHED: "reached",
        AimStatus.CLAMPED: f"clamped, {np.degrees(leftover):.1f}° short",
        AimStatus.NO_DIRECTION: "no direction to the target",
        AimStatus.UNREACHABLE: "no direction within its limits",
    }[AimStatus(status)]
    return f"- **{name.replace('_', ' ')}**: {what}"


class TorsoViewer:
    """One torso in one viser server; every client sees the same pose."""

    def __init__(self, server: viser.ViserServer, torso: Torso) -> None:
        self.server = server
        self.torso = torso
        self.layout = scene.layout(torso)
        self.arms = {"left_arm": torso.left_arm, "right_arm": torso.right_arm}
        self.lock = threading.RLock()
        self.syncing = False
        server.scene.set_up_direction("+z")
        server.initial_camera.position = (1.2, 0.3, 0.32)
        server.initial_camera.look_at = (0.1, 0.0, 0.14)
        self._add_fixed_parts()
        self._add_gui()
        self.follow_target()

    def _add_fixed_parts(self) -> None:
        s = self.server.scene
        s.add_frame("/torso", axes_length=0.08, axes_radius=0.003)
        for name in scene.ARMS:
            mount: scene.Mount = getattr(self.layout, name)
            s.add_icosphere(f"/{name}/sphere", radius=scene.ARM_SPHERE, color=SPHERE_COLOUR,
                            opacity=0.25, position=mount.offset, cast_shadow=False,
                            receive_shadow=False)
            r, g, b = (int(c + (255 - c) * 0.55) for c in COLOURS[name])
            pale = (r, g, b)
            s.add_point_cloud(f"/{name}/workspace", scene.workspace(self.arms[name], mount),
                              colors=pale, point_size=0.0025, point_shape="circle")
        s.add_icosphere("/head/skull", radius=0.05, color=SPHERE_COLOUR, opacity=0.3,
                        position=self.layout.neck.offset, cast_shadow=False)
        self.target = s.add_transform_controls("/target", scale=0.1, position=START_TARGET,
                                               disable_rotations=True)
        s.add_icosphere("/target/ball", radius=0.015, color=TARGET_COLOUR)
        self.target.on_update(lambda _: self.follow_target())

    def _add_gui(self) -> None:
        gui = self.server.gui
        with gui.add_folder("Target"):
            self.follow = gui.add_checkbox("Arms and head follow it", initial_value=True)
            self.status = gui.add_markdown("")
        with gui.add_folder("Joints (rad)"):
            self.sliders: List[viser.GuiSliderHandle[float]] = []
            for (mechanism, joint), (low, high) in zip(JOINTS, joint_ranges(self.torso)):
                label = f"{mechanism.split('_')[0]} {joint}"
                slider = gui.add_slider(label, min=float(low), max=float(high), step=0.001,
                                        initial_value=float(np.clip(0.0, low, high)))
                slider.on_update(lambda _: self.joints_moved())
                self.sliders.append(slider)
            self.loop_status = gui.add_markdown("")
        with gui.add_folder("Inverse kinematics"):
            self.show_solutions = gui.add_checkbox("Show the four solutions", initial_value=False)
            self.solution_text = gui.add_markdown("")
        self.follow.on_update(lambda _: self.follow_target())
        self.show_solutions.on_update(lambda _: self.draw_solutions())

    def pose(self) -> FloatArray:
        return np.array([slider.value for slider in self.sliders])

    def follow_target(self) -> None:
        with self.lock:
            if self.follow.value:
                # Nearest the pose on show, which the sliders may have moved.
                target = np.array(self.target.position, float)
                aim = self.torso.look_at(target, previous=self.pose())
                self.status.content = "\n".join(
                    status_line(name, status, leftover) for name, status, leftover in
                    zip(("left_arm", "right_arm", "neck"), aim.status, aim.leftover))
                # A mechanism without an aim (NaN joints) stays where it was.
                self.syncing = True
                try:
                    for slider, value in zip(self.sliders, aim.pose):
                        if np.isfinite(value):
                            # viser defines this setter apart from its getter,
                            # which mypy takes for a read-only property.
                            slider.value = float(  # type: ignore[misc, unused-ignore]
                                np.clip(value, slider.min, slider.max))
                finally:
                    self.syncing = False
            else:
                self.status.content = "Not following: move the joints with the sliders."
            self.draw_pose()
            self.draw_solutions()

    def joints_moved(self) -> None:
        with self.lock:
            if not self.syncing:
                self.draw_pose()

    def draw_pose(self) -> None:
        s = self.server.scene
        pose = self.pose()
        open_loops = []
        with self.server.atomic():
            for name, joints in (("left_arm", pose[0:2]), ("right_arm", pose[2:4])):
                drawn = scene.arm_scene(self.arms[name], getattr(self.layout, name), *joints)
                self._draw_arm(f"/{name}/loop", drawn, COLOURS[name])
                if not drawn.closed:
                    open_loops.append(name.replace("_", " "))
            head = scene.head_scene(self.layout, *pose[4:7])
            wxyz = viser.transforms.SO3.from_matrix(head.rotation).wxyz
            s.add_frame("/head/frame", axes_length=0.1, axes_radius=0.004, wxyz=wxyz,
                        position=head.position)
            s.add_line_segments("/head/gaze", head.gaze[None], GAZE_COLOUR, thickness=0.006)
        self.loop_status.content = (
            f"The loop does not close: {', '.join(open_loops)} (couplers not drawn)."
            if open_loops else "")

    def _draw_arm(self, name: str, drawn: scene.ArmScene, colour: Tuple[int, int, int]) -> None:
        s = self.server.scene
        s.add_line_segments(f"{name}/links", segments(drawn.arcs), colour, thickness=0.008)
        finite = drawn.vertices[np.isfinite(drawn.vertices).all(axis=1)]
        s.add_point_cloud(f"{name}/vertices", finite, colors=VERTEX_COLOUR, point_size=0.014,
                          point_shape="circle")
        s.add_line_segments(f"{name}/pointing", drawn.pointing[None], colour, thickness=0.003,
                            visible=drawn.closed)

    def draw_solutions(self) -> None:
        s = self.server.scene
        with self.lock, self.server.atomic():
            for name in scene.ARMS:
                for k in range(len(SLOTS)):
                    s.add_frame(f"/solutions/{name}/{k}", show_axes=False, visible=False)
            if not self.show_solutions.value:
                self.solution_text.content = ""
                return
            lines = []
            target = np.array(self.target.position, float)
            for name in scene.ARMS:
                mount = getattr(self.layout, name)
                found: Dict[int, scene.ArmScene] = scene.solution_scenes(
                    self.arms[name], mount, target, SOLUTION_ROWS[name])
                for k, drawn in found.items():
                    path = f"/solutions/{name}/{k}"
                    s.add_frame(path, show_axes=False)
                    s.add_icosphere(f"{path}/sphere", radius=scene.ARM_SPHERE,
                                    color=SPHERE_COLOUR, opacity=0.2,
                                    position=drawn.pointing[0], cast_shadow=False)
                    self._draw_arm(f"{path}/loop", drawn, COLOURS[name])
                    s.add_label(f"{path}/label", f"{name.split('_')[0]} {SLOTS[k]}",
                                position=drawn.pointing[0] + (0.0, 0.0, -0.15))
                missing = [SLOTS[k] for k in range(len(SLOTS)) if k not in found]
                lines.append(f"- **{name.replace('_', ' ')}**: {len(found)} of 4"
                             + (f" (none at {', '.join(missing)})" if missing else ""))
            self.solution_text.content = (
                "Tip placements (A, B) in a row per arm, the left one above, within the limits:\n" + "\n".join(lines))


def serve(torso: Torso, host: str, port: int) -> viser.ViserServer:
    """A running viser server showing the torso; the caller keeps it alive."""
    server = viser.ViserServer(host=host, port=port, verbose=False)
    TorsoViewer(server, torso)
    return server
