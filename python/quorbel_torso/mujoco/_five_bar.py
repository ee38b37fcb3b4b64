"""One spherical five-bar arm as MJCF bodies: two hinge chains from the base,
closed at the apex by equality constraints, with the end-effector frame of
forward kinematics as a site."""

import xml.etree.ElementTree as ET
from typing import Optional, Sequence, Tuple

import numpy as np

from quorbel_torso._arm import Arm
from quorbel_torso._poses import FloatArray
from quorbel_torso.mujoco._document import Document, hinge, numbers, xyaxes

# Straight capsules drawn along each arc (per radian of arc).
SEGMENTS_PER_RADIAN = 8
# A reference pose is refused when a joint moved by this much (rad) opens the
# loop: near that edge the two apexes merge and the closure is ill-conditioned.
REFERENCE_MARGIN = 0.05


def tips(arm: Arm, theta_a: float, theta_b: float) -> Tuple[FloatArray, FloatArray]:
    """v_2 and v_4, the tips of the input arms, in the arm's frame."""
    m = -1.0 if arm.mirror else 1.0
    a = arm.arm_arc
    v_2 = np.array([m * np.sin(a) * np.cos(theta_a), m * np.sin(a) * np.sin(theta_a), np.cos(a)])
    v_4 = np.array([m * np.cos(a), -m * np.sin(a) * np.sin(theta_b), np.sin(a) * np.cos(theta_b)])
    return v_2, v_4


def closes_with_margin(arm: Arm, theta_a: float, theta_b: float) -> bool:
    offsets = [(0.0, 0.0), (REFERENCE_MARGIN, 0.0), (-REFERENCE_MARGIN, 0.0),
               (0.0, REFERENCE_MARGIN), (0.0, -REFERENCE_MARGIN)]
    return bool(all(arm.reachable_joints(theta_a + da, theta_b + db) for da, db in offsets))


def reference_pose(arm: Arm, pose: Optional[Sequence[float]]) -> Tuple[float, float]:
    """The joints the model is drawn at: `pose`, or (0, 0), or the first
    pair on a grid over each joint's limits (a whole turn without them)
    whose loop closes with a margin. ValueError when there is none."""
    if pose is not None:
        theta_a, theta_b = map(float, pose)
        if not closes_with_margin(arm, theta_a, theta_b):
            raise ValueError(f"the loop does not close (with a margin of {REFERENCE_MARGIN} rad) "
                             f"at the reference pose ({theta_a!r}, {theta_b!r})")
        return theta_a, theta_b
    spans = arm.limits or ((-np.pi, np.pi), (-np.pi, np.pi))
    grid = [np.concatenate([[0.0], np.linspace(lower, upper, 33)]) for lower, upper in spans]
    for theta_a in grid[0]:
        for theta_b in grid[1]:
            inside = all(lo <= t <= hi for t, (lo, hi) in zip((theta_a, theta_b), spans))
            if inside and closes_with_margin(arm, theta_a, theta_b):
                return float(theta_a), float(theta_b)
    raise ValueError("the arm's loop closes nowhere within its limits")


def arc_points(start: FloatArray, end: FloatArray) -> FloatArray:
    """Points along the great-circle arc from start to end (unit vectors)."""
    angle = float(np.arccos(np.clip(start @ end, -1.0, 1.0)))
    count = max(2, int(np.ceil(angle * SEGMENTS_PER_RADIAN)) + 1)
    t = np.linspace(0.0, 1.0, count)[:, None]
    # Spherical linear interpolation; the arcs are shorter than a half turn.
    points: FloatArray = (np.sin((1 - t) * angle) * start + np.sin(t * angle) * end) / np.sin(angle)
    return points


def draw_arc(body: ET.Element, start: FloatArray, end: FloatArray, radius: float,
             rgba: str) -> None:
    points = arc_points(start, end) * radius
    for p, q in zip(points[:-1], points[1:]):
        ET.SubElement(body, "geom", type="capsule", size=repr(0.05 * radius),
                      fromto=numbers(np.concatenate([p, q])), rgba=rgba)


def write_arm(document: Document, parent: ET.Element, prefix: str, arm: Arm, radius: float,
              pose: Optional[Sequence[float]]) -> None:
    """The arm's bodies under `parent` (whose frame is the arm's), named
    `prefix` + "theta_a", "end_effector", ...; its actuators (one position
    servo per input joint, named as the joint) and its closure constraints
    go to the document's sections."""
    theta_a, theta_b = reference_pose(arm, pose)
    v_1 = np.array([0.0, 0.0, 1.0])
    v_5 = np.array([-1.0 if arm.mirror else 1.0, 0.0, 0.0])
    v_2, v_4 = tips(arm, theta_a, theta_b)
    frame = arm.fk(theta_a, theta_b)
    v_3 = frame[:, 2]
    limits = arm.limits or (None, None)

    # Every body's frame is the arm's frame at the reference pose, where the
    # joints read theta_a and theta_b (`ref`) and the passive ones 0.
    base = ET.SubElement(parent, "body", name=f"{prefix}base")
    ET.SubElement(base, "geom", type="sphere", size=repr(0.12 * radius),
                  rgba="0.35 0.37 0.4 1")
    for axis in (v_1, v_5):
        ET.SubElement(base, "geom", type="cylinder", size=repr(0.08 * radius),
                      fromto=numbers(np.concatenate([0.7 * radius * axis, 1.05 * radius * axis])),
                      rgba="0.35 0.37 0.4 1")

    arm_a = ET.SubElement(base, "body", name=f"{prefix}arm_a")
    hinge(document, arm_a, f"{prefix}theta_a", v_1, theta_a, limits[0])
    draw_arc(arm_a, v_1, v_2, radius, "0.85 0.45 0.2 1")
    coupler_a = ET.SubElement(arm_a, "body", name=f"{prefix}coupler_a")
    ET.SubElement(coupler_a, "joint", name=f"{prefix}tip_a", type="hinge", pos="0 0 0",
                  axis=numbers(v_2))
    draw_arc(coupler_a, v_2, v_3, radius, "0.95 0.75 0.3 1")
    ET.SubElement(coupler_a, "site", name=f"{prefix}tip_a", pos=numbers(radius * v_2))

    arm_b = ET.SubElement(base, "body", name=f"{prefix}arm_b")
    hinge(document, arm_b, f"{prefix}theta_b", v_5, theta_b, limits[1])
    draw_arc(arm_b, v_5, v_4, radius, "0.2 0.45 0.85 1")
    coupler_b = ET.SubElement(arm_b, "body", name=f"{prefix}coupler_b")
    ET.SubElement(coupler_b, "joint", name=f"{prefix}tip_b", type="hinge", pos="0 0 0",
                  axis=numbers(v_4))
    draw_arc(coupler_b, v_4, v_3, radius, "0.35 0.7 0.95 1")
    ET.SubElement(coupler_b, "site", name=f"{prefix}tip_b", pos=numbers(radius * v_4))

    # The loop closes where the couplers meet at the apex. Every body already
    # turns about the centre, so coupler B has three degrees of freedom
    # relative to coupler A (rotations) and the apex hinge keeps one of them:
    # the closure must take away exactly two. A `connect` at the apex pins a
    # point of each coupler together; about the centre that leaves the turn
    # about the line through both points, the apex hinge, free: two
    # constraints (its third row, along the radius, is only second order at
    # closure, which the solver's regularisation absorbs). A `weld` would
    # also lock the apex hinge, and leave the mechanism rigid.
    ET.SubElement(document.equality, "connect", name=f"{prefix}closure",
                  body1=f"{prefix}coupler_a", body2=f"{prefix}coupler_b",
                  anchor=numbers(radius * v_3))

    # The end-effector frame is z = v_3 with x along the bisector of the two
    # couplers at the apex, so it belongs to neither coupler: a body hinged
    # on coupler A about v_3, its turn set by one more constraint. Its x axis
    # at the sphere is as far from tip A as from tip B (two tendons of equal
    # length) exactly where x bisects the apex's angle.
    effector = ET.SubElement(coupler_a, "body", name=f"{prefix}end_effector")
    ET.SubElement(effector, "joint", name=f"{prefix}end_effector_turn", type="hinge",
                  pos="0 0 0", axis=numbers(v_3))
    ET.SubElement(effector, "geom", type="sphere", size=repr(0.07 * radius),
                  pos=numbers(radius * v_3), rgba="0.9 0.2 0.25 1")
    ET.SubElement(effector, "geom", type="capsule", size=repr(0.025 * radius),
                  fromto=numbers(np.concatenate([radius * v_3, 1.6 * radius * v_3])),
                  rgba="0.9 0.2 0.25 1")
    ET.SubElement(effector, "site", name=f"{prefix}end_effector", pos=numbers(radius * v_3),
                  xyaxes=xyaxes(frame))
    ET.SubElement(effector, "site", name=f"{prefix}end_effector_x",
                  pos=numbers(radius * frame[:, 0]))
    for tip in ("a", "b"):
        spatial = ET.SubElement(document.tendon, "spatial", name=f"{prefix}x_to_tip_{tip}")
        ET.SubElement(spatial, "site", site=f"{prefix}end_effector_x")
        ET.SubElement(spatial, "site", site=f"{prefix}tip_{tip}")
    # Both lengths are equal at the reference pose, where the compiler
    # measures them; the constraint keeps their changes equal.
    ET.SubElement(document.equality, "tendon", name=f"{prefix}end_effector_bisects",
                  tendon1=f"{prefix}x_to_tip_a", tendon2=f"{prefix}x_to_tip_b",
                  polycoef="0 1 0 0 0")
