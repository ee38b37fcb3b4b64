"""MuJoCo models of the arms and the torso, written as MJCF text (this
module does not import mujoco; load the text with
``mujoco.MjModel.from_xml_string``).

Each five-bar is two hinge chains from its base, input joint A and the
coupler hinged at tip A, input joint B and the coupler hinged at tip B,
closed at the apex by equality constraints; the input joints carry position
servos, and the end-effector frame of ``Arm.fk`` is a site. The neck is three
hinges, yaw, pitch and roll, with the head frame as a site."""

from quorbel_torso.mujoco._models import arm_mjcf, torso_mjcf

__all__ = ["arm_mjcf", "torso_mjcf"]
