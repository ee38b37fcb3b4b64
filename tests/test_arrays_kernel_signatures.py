"""The widths and names each kernel checks, declared once in C++, against the
package's pose shapes (quorbel_torso._poses) and the stub _kernels.pyi: a
width or a name changed on one side alone fails here."""

import ast
import math
import pathlib

import pytest

from quorbel_torso import _kernels
from quorbel_torso._poses import (
    ANGLE, JACOBIAN, JOINT_PAIR, LIMIT_BOUNDS, MATRIX, MECHANISMS, NECK_ANGLES,
    SINGULAR_VALUE_PAIR, SOLUTIONS, TORSO_POSE, VECTOR,
)

SIGNATURES = _kernels.kernel_signatures()
STUB = pathlib.Path(__file__).parents[1] / "python" / "quorbel_torso" / "_kernels.pyi"
STUB_ARGUMENTS = {
    node.name: [a.arg for a in node.args.posonlyargs + node.args.args]
    for node in ast.parse(STUB.read_text()).body
    if isinstance(node, ast.FunctionDef)
}
ARM_GEOMETRY = ["arm_arc", "coupler_arc", "mirror", "branch"]

INPUTS = {
    "theta_a": ANGLE, "theta_b": ANGLE, "v3": VECTOR, "direction_rate": VECTOR,
    "near": JOINT_PAIR, "limits": LIMIT_BOUNDS, "r_target": MATRIX, "joints": NECK_ANGLES,
    "r": MATRIX, "omega": VECTOR, "targets": VECTOR, "previous": TORSO_POSE,
}
# The shapes the package allocates for each kernel's results; None for a
# truth value per pose.
RESULTS = {
    "arm_fk": [MATRIX], "arm_direction": [VECTOR], "arm_reachable_joints": [None],
    "arm_ik_from_direction": [JOINT_PAIR], "arm_reachable_direction": [None],
    "arm_ik_solutions": [SOLUTIONS], "arm_ik": [JOINT_PAIR],
    "arm_reachable_orientation": [None], "arm_direction_jacobian": [JACOBIAN],
    "arm_angular_jacobian": [JACOBIAN], "arm_singular_values": [SINGULAR_VALUE_PAIR],
    "arm_joint_rates": [JOINT_PAIR], "arm_nearest_reachable": [VECTOR, JOINT_PAIR],
    "arm_ik_from_direction_within": [JOINT_PAIR], "arm_ik_solutions_within": [SOLUTIONS],
    "arm_ik_within": [JOINT_PAIR], "arm_nearest_reachable_within": [VECTOR, JOINT_PAIR],
    "arm_nearest_frame": [JOINT_PAIR, ANGLE, ANGLE], "neck_fk": [MATRIX],
    "neck_ik": [NECK_ANGLES], "neck_reachable": [None], "neck_angular_jacobian": [MATRIX],
    "neck_joint_rates": [NECK_ANGLES], "torso_look_at": [TORSO_POSE, MECHANISMS, MECHANISMS],
}


def test_every_kernel_over_buffers_is_reported():
    assert set(SIGNATURES) == set(RESULTS)


@pytest.mark.parametrize("name", sorted(RESULTS))
def test_widths_match_the_pose_shapes(name):
    _, parameters = SIGNATURES[name]
    results = iter(RESULTS[name])
    for parameter, element, width, access in parameters:
        if access == "number":
            continue
        shape = next(results) if access == "write" else INPUTS[parameter]
        expected = ("bool", 1) if shape is None else ("float64", math.prod(shape))
        assert (element, width) == expected, parameter
    assert next(results, "none left") == "none left"


@pytest.mark.parametrize("name", sorted(RESULTS))
def test_the_stub_names_the_parameters_in_order(name):
    takes_arm, parameters = SIGNATURES[name]
    names = [p[0] for p in parameters]
    leading = ARM_GEOMETRY if takes_arm else (["torso"] if name == "torso_look_at" else [])
    assert STUB_ARGUMENTS[name] == leading + names
    if name != "torso_look_at":
        inputs = [p[0] for p in parameters if p[3] != "write"]
        assert STUB_ARGUMENTS[name + "_single"] == (["arm"] if takes_arm else []) + inputs
