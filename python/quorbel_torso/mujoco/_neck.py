"""The yaw-pitch-roll neck as MJCF bodies: three hinges in the order the
neck's rotation R = Rz(yaw) Ry(pitch) Rx(roll) composes them, each turning
about its own body's axis, and the head frame as a site."""

import xml.etree.ElementTree as ET
from typing import Any, Dict, Optional, Sequence

import numpy as np

from quorbel_torso.mujoco._document import Document, hinge, numbers

# Each joint's name and the axis of its own body it turns about.
NECK_JOINTS = (("yaw", (0.0, 0.0, 1.0)), ("pitch", (0.0, 1.0, 0.0)), ("roll", (1.0, 0.0, 0.0)))
HEAD_SIZE = 0.05  # m, half the head's width
# The head weighs about 0.5 kg: servos stiff and damped enough to turn it
# overdamped, their slow mode's time constant kv / kp = 0.05 s.
NECK_SERVO = {"kp": "20", "kv": "1"}


def write_neck(document: Document, parent: ET.Element, prefix: str,
               gaze_axis: Sequence[float], limits: Optional[Dict[str, Any]]) -> None:
    """The neck's bodies under `parent` (whose frame is the neck's mount):
    joints and servos `prefix` + "yaw", "pitch", "roll", the site
    `prefix` + "head" (the head frame, whose rotation is the neck's fk) and
    the gaze axis drawn from the head's centre."""
    body = parent
    for name, axis in NECK_JOINTS:
        body = ET.SubElement(body, "body", name=f"{prefix}{name}")
        if name != "roll":
            # The yaw and pitch stages carry no drawn part, but a moving body
            # needs a mass: a small one; the roll stage is the head.
            ET.SubElement(body, "inertial", pos="0 0 0", mass="0.02",
                          diaginertia="2e-6 2e-6 2e-6")
        hinge(document, body, f"{prefix}{name}", np.array(axis),
              limits=None if limits is None else limits.get(name), servo=NECK_SERVO)
    ET.SubElement(body, "geom", type="box", size=numbers(np.array([0.8, 1.0, 0.7]) * HEAD_SIZE), rgba="0.6 0.62 0.66 1")
    gaze = np.asarray(gaze_axis, dtype=float)
    ET.SubElement(body, "geom", type="capsule", size=repr(0.1 * HEAD_SIZE),
                  fromto=numbers(np.concatenate([0.8 * HEAD_SIZE * gaze, 4.0 * HEAD_SIZE * gaze])),
                  rgba="0.2 0.75 0.35 1")
    ET.SubElement(body, "site", name=f"{prefix}head")
