"""What the viewer draws, as points and polylines in the torso frame (x
forward, y left, z up, metres): pure functions of a Torso and its joints,
with nothing of the browser in them, so that they can be checked alone.

Each arm is drawn on a sphere of radius ARM_SPHERE about its mount: its
unit-sphere vertices scaled by that radius, turned by the mount's rotation
and moved to its offset."""

import json
from typing import Dict, List, NamedTuple

import numpy as np

from quorbel_torso import Arm, Neck, Torso
from quorbel_torso._poses import FloatArray

ARM_SPHERE = 0.12  # metres, radius each arm's unit sphere is drawn at
ARC_SAMPLES = 24  # points along each drawn great-circle arc
GAZE_LENGTH = 0.45  # metres, how far the gaze axis is drawn out
POINTING_LENGTH = 0.3  # metres, how far each arm's pointing direction is drawn out
ARMS = ("left_arm", "right_arm")


class Mount(NamedTuple):
    """p_torso = rotation @ p_mechanism + offset."""

    rotation: FloatArray  # (3, 3)
    offset: FloatArray  # (3,)

    def place(self, points: FloatArray, scale: float = 1.0) -> FloatArray:
        """Points (..., 3) of the mechanism's frame, scaled -> the torso's."""
        return self.offset + scale * np.asarray(points) @ self.rotation.T


class TorsoLayout(NamedTuple):
    """Where each mechanism sits on the torso, read from its torso.json."""

    left_arm: Mount
    right_arm: Mount
    neck: Mount
    gaze_axis: FloatArray  # (3,) in the head frame


class ArmScene(NamedTuple):
    """One arm at one joint pair, in the torso frame."""

    vertices: FloatArray  # (5, 3): v_1 .. v_5; v_3 NaN where the loop does not close
    arcs: List[FloatArray]  # (ARC_SAMPLES, 3) each: input arms, then couplers if closed
    pointing: FloatArray  # (2, 3): mount to POINTING_LENGTH along v_3; NaN if open
    closed: bool


class HeadScene(NamedTuple):
    """The head at one neck pose, in the torso frame."""

    rotation: FloatArray  # (3, 3): head axes as columns
    position: FloatArray  # (3,)
    gaze: FloatArray  # (2, 3): head to GAZE_LENGTH along the gaze axis


def layout(torso: Torso) -> TorsoLayout:
    description = json.loads(torso.to_json())

    def mount(name: str) -> Mount:
        record = description[name]["mount"]
        return Mount(np.array(record["rotation"], float), np.array(record["offset"], float))

    gaze = description["neck"].get("gaze_axis", [1.0, 0.0, 0.0])
    return TorsoLayout(mount("left_arm"), mount("right_arm"), mount("neck"), np.array(gaze, float))


def great_arc(a: FloatArray, b: FloatArray, samples: int = ARC_SAMPLES) -> FloatArray:
    """(samples, 3) unit vectors along the shorter great-circle arc from unit
    vector a to unit vector b (slerp); a straight line where they are
    opposite, which no drawn link is."""
    a, b = np.asarray(a, float), np.asarray(b, float)
    angle = np.arccos(np.clip(a @ b, -1.0, 1.0))
    t = np.linspace(0.0, 1.0, samples)[:, None]
    points: FloatArray
    if np.sin(angle) < 1e-12:
        points = (1 - t) * a + t * b
    else:
        points = (np.sin((1 - t) * angle) * a + np.sin(t * angle) * b) / np.sin(angle)
    return points


def loop_vertices(arm: Arm, theta_a: float, theta_b: float) -> FloatArray:
    """(5, 3) the five vertices of the arm's loop on its unit sphere, in its
    own frame; the apex v_3 is NaN where the loop does not close."""
    m = -1.0 if arm.mirror else 1.0
    s, c = np.sin(arm.arm_arc), np.cos(arm.arm_arc)
    return np.array([
        [0.0, 0.0, 1.0],
        [m * s * np.cos(theta_a), m * s * np.sin(theta_a), c],
        arm.direction(theta_a, theta_b),
        [m * c, -m * s * np.sin(theta_b), s * np.cos(theta_b)],
        [m, 0.0, 0.0],
    ])


def arm_scene(arm: Arm, mount: Mount, theta_a: float, theta_b: float) -> ArmScene:
    """The arm's loop drawn on its sphere: the two input arms always, the two
    coupler segments where the loop closes."""
    v = loop_vertices(arm, theta_a, theta_b)
    closed = bool(np.isfinite(v[2]).all())
    links = [(0, 1), (4, 3)] + ([(1, 2), (3, 2)] if closed else [])
    arcs = [mount.place(great_arc(v[i], v[j]), ARM_SPHERE) for i, j in links]
    pointing = np.array([mount.offset, mount.place(v[2], POINTING_LENGTH)])
    return ArmScene(mount.place(v, ARM_SPHERE), arcs, pointing, closed)


def head_scene(torso_layout: TorsoLayout, yaw: float, pitch: float, roll: float) -> HeadScene:
    neck = torso_layout.neck
    rotation = neck.rotation @ Neck().fk([yaw, pitch, roll])
    tip = neck.offset + GAZE_LENGTH * rotation @ torso_layout.gaze_axis
    return HeadScene(rotation, neck.offset, np.array([neck.offset, tip]))


def fibonacci_sphere(count: int) -> FloatArray:
    """(count, 3) unit vectors spread evenly over the sphere."""
    i = np.arange(count) + 0.5
    z = 1.0 - 2.0 * i / count
    azimuth = np.pi * (3.0 - np.sqrt(5.0)) * i
    r = np.sqrt(1.0 - z * z)
    return np.stack([r * np.cos(azimuth), r * np.sin(azimuth), z], axis=-1)


def workspace(arm: Arm, mount: Mount, samples: int = 60000) -> FloatArray:
    """(n, 3) points on the arm's drawn sphere, in the torso frame, at every
    direction of an even spread that the arm can point in within its
    limits."""
    directions = fibonacci_sphere(samples)
    return mount.place(directions[arm.reachable_direction(directions)], ARM_SPHERE)


def arm_direction_to(mount: Mount, target: FloatArray) -> FloatArray:
    """The unit direction from the mount to a torso-frame point, in the
    mechanism's own frame."""
    d = mount.rotation.T @ (np.asarray(target, float) - mount.offset)
    unit: FloatArray = d / np.linalg.norm(d)
    return unit


def solution_scenes(
    arm: Arm, mount: Mount, target: FloatArray, origins: FloatArray
) -> Dict[int, ArmScene]:
    """The arm at each of its four inverse-kinematics candidates for the
    direction from its mount to a torso-frame target, the k-th drawn about
    origins[k] (4, 3) so that they can stand side by side, turned as the
    mount turns; slots with no solution are left out."""
    candidates = arm.ik_solutions(arm_direction_to(mount, target))
    scenes = {}
    for k, (theta_a, theta_b) in enumerate(candidates):
        if np.isfinite(theta_a):
            moved = Mount(mount.rotation, np.asarray(origins[k], float))
            scenes[k] = arm_scene(arm, moved, theta_a, theta_b)
    return scenes
