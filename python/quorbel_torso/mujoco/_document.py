"""An MJCF document under construction: its sections, the defaults every
body of the torso shares, and numbers written so that they read back as the
same doubles."""

import xml.etree.ElementTree as ET
from typing import Iterable, Mapping, Optional, Sequence

import numpy as np

from quorbel_torso._poses import FloatArray

# The simulation step (s) and the loop-closure constraints' time constant:
# MuJoCo keeps a constraint's time constant at two steps or more, and at that
# bound the closures are as stiff as this step allows.
TIMESTEP = 0.002
CLOSURE_TIME_CONSTANT = 2 * TIMESTEP


def numbers(values: Iterable[float]) -> str:
    """Space-separated shortest round-trip digits of each value."""
    return " ".join(repr(float(v)) for v in values)


def xyaxes(rotation: FloatArray) -> str:
    """A frame's orientation as MJCF's xyaxes: its x and y axes (the first
    two columns of the rotation that maps it into its parent)."""
    return numbers(np.concatenate([rotation[:, 0], rotation[:, 1]]))


def hinge(document: "Document", body: ET.Element, name: str, axis: FloatArray, ref: float = 0.0,
          limits: Optional[Sequence[float]] = None,
          servo: Optional[Mapping[str, str]] = None) -> None:
    """An actuated hinge through the body's origin and its position servo,
    both named `name`, limited (joint range and command range) to `limits`;
    `servo` overrides the servo's default gains."""
    joint = ET.SubElement(body, "joint", name=name, type="hinge", pos="0 0 0",
                          axis=numbers(axis), ref=repr(ref))
    actuator = ET.SubElement(document.actuator, "position", name=name, joint=name)
    for key, value in (servo or {}).items():
        actuator.set(key, value)
    if limits is not None:
        joint.set("range", numbers(limits))
        actuator.set("ctrlrange", numbers(limits))


class Document:
    """The sections of one MJCF model, filled in by the mechanisms' writers."""

    def __init__(self, name: str) -> None:
        self.root = ET.Element("mujoco", model=name)
        ET.SubElement(self.root, "compiler", angle="radian", autolimits="true")
        # No gravity: the links' masses are placeholders, not a robot's, and
        # their weight would only show as the servos' steady error.
        # The servos' damping integrated implicitly: explicitly, at this step,
        # the neck's light yaw stage under its servo diverges within 0.05 s.
        ET.SubElement(self.root, "option", timestep=repr(TIMESTEP), gravity="0 0 0",
                      integrator="implicitfast")
        default = ET.SubElement(self.root, "default")
        # The drawn links cross one another where the real ones pass beside
        # each other: no contacts among them.
        ET.SubElement(default, "geom", contype="0", conaffinity="0", density="1000")
        ET.SubElement(default, "joint", damping="0.002", armature="1e-4")
        # The arms' servos: with the links' small inertia, overdamped, their
        # slow mode's time constant kv / kp = 0.02 s.
        ET.SubElement(default, "position", kp="2", kv="0.04")
        ET.SubElement(default, "equality",
                      solref=f"{CLOSURE_TIME_CONSTANT!r} 1", solimp="0.99 0.999 0.001")
        ET.SubElement(default, "site", size="0.004", rgba="0.9 0.9 0.9 1")
        visual = ET.SubElement(self.root, "visual")
        ET.SubElement(visual, "global", offwidth="1280", offheight="960")
        asset = ET.SubElement(self.root, "asset")
        ET.SubElement(asset, "texture", type="skybox", builtin="gradient", rgb1="0.92 0.94 0.97",
                      rgb2="0.6 0.66 0.74", width="256", height="256")
        ET.SubElement(asset, "texture", name="floor", type="2d", builtin="checker",
                      rgb1="0.82 0.84 0.86", rgb2="0.74 0.76 0.78", width="256", height="256")
        ET.SubElement(asset, "material", name="floor", texture="floor", texrepeat="8 8")
        self.worldbody = ET.SubElement(self.root, "worldbody")
        ET.SubElement(self.worldbody, "light", pos="0.4 0.6 1.5", dir="-0.3 -0.4 -1",
                      directional="true")
        ET.SubElement(self.worldbody, "geom", name="floor", type="plane", size="1 1 0.01",
                      pos="0 0 -0.35", material="floor")
        self.tendon = ET.SubElement(self.root, "tendon")
        self.equality = ET.SubElement(self.root, "equality")
        self.actuator = ET.SubElement(self.root, "actuator")

    def text(self) -> str:
        # Empty sections are valid MJCF but say nothing: left out.
        for section in (self.tendon, self.equality, self.actuator):
            if len(section) == 0:
                self.root.remove(section)
        ET.indent(self.root)
        return ET.tostring(self.root, encoding="unicode") + "\n"
