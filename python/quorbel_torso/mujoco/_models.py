"""MJCF text of one arm and of the whole torso."""

import json
import xml.etree.ElementTree as ET
from typing import Any, Dict, Optional, Sequence

import numpy as np

from quorbel_torso._arm import Arm
from quorbel_torso._torso import Torso
from quorbel_torso.mujoco._document import Document, numbers, xyaxes
from quorbel_torso.mujoco._five_bar import write_arm
from quorbel_torso.mujoco._neck import write_neck

# The arms' spheres as drawn, metres: the kinematics is on the unit sphere,
# and only the picture and the links' inertia have a size.
ARM_RADIUS = 0.08


def arm_mjcf(arm: Arm, *, radius: float = ARM_RADIUS,
             pose: Optional[Sequence[float]] = None) -> str:
    """MJCF text of one arm, its centre at the world's origin and its frame the world's.

    Parameters
    ----------
    arm : Arm
        The arm; its limits become joint and command ranges.
    radius : float, default 0.08
        The radius, in metres, of the sphere the arm is drawn on.
    pose : sequence of float, optional
        The joint pair the model is drawn and starts at. Default: (0, 0) if
        the loop closes there with a margin, else the first such pair within
        the limits.

    Returns
    -------
    str
        MJCF text: actuated joints and position servos ``theta_a`` and
        ``theta_b`` (joint positions are the arm's angles), the end-effector
        frame as the site ``end_effector`` (its rotation is fk's, its z axis
        the pointing direction).

    Raises
    ------
    ValueError
        Where the loop does not close at ``pose``.
    """
    document = Document("quorbel_arm")
    write_arm(document, document.worldbody, "", arm, radius, pose)
    return document.text()


def mounted(parent: ET.Element, name: str, mount: Dict[str, Any]) -> ET.Element:
    """A body at a mechanism's mount: p_torso = rotation p + offset."""
    return ET.SubElement(parent, "body", name=name, pos=numbers(mount["offset"]),
                         xyaxes=xyaxes(np.array(mount["rotation"], dtype=float)))


def torso_mjcf(torso: Torso, *, radius: float = ARM_RADIUS) -> str:
    """MJCF text of the whole torso, its frame the world's.

    Parameters
    ----------
    torso : Torso
        The torso; its joint limits become joint and command ranges.
    radius : float, default 0.08
        The radius, in metres, of the spheres the arms are drawn on.

    Returns
    -------
    str
        MJCF text: each arm at its mount with its joints, servos and sites
        prefixed ``left_`` and ``right_`` (``left_theta_a``, ...,
        ``left_end_effector``), drawn at its first reference pose (see
        `arm_mjcf`); the neck at its mount with joints and servos ``yaw``,
        ``pitch``, ``roll`` and the head frame as the site ``head``.
    """
    description = json.loads(torso.to_json())
    document = Document("quorbel_torso")
    trunk = ET.SubElement(document.worldbody, "body", name="torso")
    # A trunk behind the mechanisms, for the picture.
    ET.SubElement(trunk, "geom", type="box", size="0.04 0.1 0.12", pos="-0.15 0 0",
                  rgba="0.55 0.57 0.6 1")
    ET.SubElement(trunk, "geom", type="capsule", size="0.015",
                  fromto=numbers([-0.15, 0, 0.12] + description["neck"]["mount"]["offset"]),
                  rgba="0.55 0.57 0.6 1")
    for side, arm in (("left", torso.left_arm), ("right", torso.right_arm)):
        base = mounted(trunk, f"{side}_mount", description[f"{side}_arm"]["mount"])
        write_arm(document, base, f"{side}_", arm, radius, None)
    neck = description["neck"]
    write_neck(document, mounted(trunk, "neck_mount", neck["mount"]), "",
               neck.get("gaze_axis", [1.0, 0.0, 0.0]), neck.get("limits"))
    return document.text()
