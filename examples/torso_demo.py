"""Build both preset arms and the neck, and run their kinematics.

Run with:  python examples/torso_demo.py
"""
import math

from quorbel_torso_kinematics import QuorbelArmKinematics, QuorbelNeckKinematics


IDENTITY = [[1.0, 0.0, 0.0], [0.0, 1.0, 0.0], [0.0, 0.0, 1.0]]


def fmt(values):
    return "(" + ", ".join(f"{v:+.6f}" for v in values) + ")"


def show_arm(name, arm, joints):
    print(f"{name} arm: arm_arc={arm.arm_arc()} coupler_arc={arm.coupler_arc()} "
          f"mirror={arm.mirror()}")
    rotation = arm.fk(*joints)
    print(f"  fk{fmt(joints)} rows:")
    for row in rotation:
        print("    " + fmt(row))
    direction = arm.direction(*joints)
    print(f"  pointing direction v_3 = {fmt(direction)}")
    print(f"  ik(fk) -> {fmt(arm.ik(rotation))}")
    print(f"  ik_from_direction(v_3) -> {fmt(arm.ik_from_direction(direction))} (smallest norm)")
    print(f"  ik_from_direction(v_3, near=(1.1, -0.2)) -> "
          f"{fmt(arm.ik_from_direction(direction, near=(1.1, -0.2)))}")
    print(f"  reachable joints (pi, 0)? {arm.is_reachable_joints(math.pi, 0.0)}; "
          f"direction +Z? {arm.is_reachable_direction([0, 0, 1])}; "
          f"orientation identity? {arm.is_reachable_orientation(IDENTITY)}")
    try:
        arm.fk(math.pi, 0.0)
    except RuntimeError as error:
        print(f"  fk(pi, 0): {error}")


def main():
    show_arm("left", QuorbelArmKinematics.default_left(), (0.3, -0.2))
    show_arm("right", QuorbelArmKinematics.default_right(), (0.3, -0.2))

    neck = QuorbelNeckKinematics()
    angles = (0.3, -0.7, 1.1)
    head = neck.fk(list(angles))
    print(f"neck: fk{fmt(angles)} rows:")
    for row in head:
        print("    " + fmt(row))
    print(f"  ik(fk) -> {fmt(neck.ik(head))}")
    try:
        neck.ik(neck.fk([0.0, math.pi / 2, 0.0]))
    except ValueError as error:
        print(f"  looking straight up: {error}")


if __name__ == "__main__":
    main()
