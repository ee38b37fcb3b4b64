"""Load arms from arms.json files, and see what a broken file reports.

    python examples/load_arms.py                       # the files in examples/arms/
    python examples/load_arms.py my_left.json my_right.json

from_json takes the JSON text, not a file name: read the file yourself, so the
module never touches the file system. Each file here holds one arm, as an
object with named members or as the short array [arm_arc, coupler_arc,
branch, mirror]; members with other keys (such as "name") are ignored.
"""
import sys
from pathlib import Path

from quorbel_torso_kinematics import QuorbelArmKinematics

ARMS_DIR = Path(__file__).resolve().parent / "arms"


def load_arm(path):
    with open(path, encoding="utf-8") as file:
        return QuorbelArmKinematics.from_json(file.read())


def same_geometry(a, b):
    return (a.arm_arc(), a.coupler_arc(), a.mirror()) == (b.arm_arc(), b.coupler_arc(), b.mirror())


def main(paths):
    presets = {"default_left()": QuorbelArmKinematics.default_left(),
               "default_right()": QuorbelArmKinematics.default_right()}
    for path in paths:
        arm = load_arm(path)
        print(f"{Path(path).name}: arm_arc={arm.arm_arc()} coupler_arc={arm.coupler_arc()} "
              f"mirror={arm.mirror()}")
        same = [name for name, preset in presets.items() if same_geometry(arm, preset)]
        if same:
            # The branch is not readable from Python; forward kinematics shows
            # it: the negative branch puts the apex on the other side.
            agrees = arm.fk(0.3, -0.2) == presets[same[0]].fk(0.3, -0.2)
            print(f"  arcs and mirror as {same[0]}; fk(0.3, -0.2) "
                  f"{'is the same' if agrees else 'differs (other branch)'}")
        x, y, z = arm.direction(0.0, 0.0)
        print(f"  direction(0, 0) = ({x:+.6f}, {y:+.6f}, {z:+.6f})")

    broken = '{\n  "arm_arc": 0.7,\n  "coupler_arc": 0.5,\n  "mirror": "yes"\n}'
    try:
        QuorbelArmKinematics.from_json(broken)
    except ValueError as error:
        print(f"a file with \"mirror\": \"yes\" is refused:\n  {error}")


if __name__ == "__main__":
    main(sys.argv[1:] or sorted(ARMS_DIR.glob("*.json")))
