"""The module object and the two classes as seen from Python."""
import copy
import inspect
import pickle
import subprocess
import sys
import textwrap
import weakref

import pytest

import quorbel_torso_kinematics as qtk

CLASSES = [qtk.QuorbelArmKinematics, qtk.QuorbelNeckKinematics]
ARM = qtk.QuorbelArmKinematics


def test_module_attributes():
    assert qtk.__all__ == ["QuorbelArmKinematics", "QuorbelNeckKinematics"]
    assert qtk.__doc__ == ""
    public = {name for name in dir(qtk) if not name.startswith("__")}
    assert public == set(qtk.__all__)


@pytest.mark.parametrize(
    "cls, signature",
    [
        (qtk.QuorbelArmKinematics, "(arm_arc=0.7, coupler_arc=0.5, mirror=False)"),
        (qtk.QuorbelNeckKinematics, "()"),
    ],
)
def test_class_identity_and_signature(cls, signature):
    assert cls.__module__ == "quorbel_torso_kinematics"
    assert cls.__name__ == cls.__qualname__ == cls.__name__
    assert cls.__doc__ == ""
    assert cls.__text_signature__ == signature
    assert str(inspect.signature(cls)) == signature
    assert cls.__bases__ == (object,)


@pytest.mark.parametrize("cls", CLASSES)
def test_classes_cannot_be_subclassed(cls):
    with pytest.raises(TypeError, match="not an acceptable base type"):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("make", [ARM.default_left, qtk.QuorbelNeckKinematics])
def test_instances_are_closed(make):
    obj = make()
    with pytest.raises(AttributeError):
        obj.extra = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)
    assert repr(obj).startswith(f"<quorbel_torso_kinematics.{type(obj).__name__} object at 0x")
    other = make()
    assert obj == obj and obj != other
    assert hash(obj) != hash(other) or obj is other


def test_arm_has_no_copy_or_pickle_support():
    obj = ARM.default_left()
    with pytest.raises(TypeError):
        pickle.dumps(obj)
    with pytest.raises(TypeError):
        copy.copy(obj)


def test_reimport_returns_the_same_module():
    arm_type, neck_type = qtk.QuorbelArmKinematics, qtk.QuorbelNeckKinematics
    saved = sys.modules.pop("quorbel_torso_kinematics")
    try:
        import quorbel_torso_kinematics as again

        assert again is saved
        assert again.QuorbelArmKinematics is arm_type
        assert again.QuorbelNeckKinematics is neck_type
        assert again.__all__ == ["QuorbelArmKinematics", "QuorbelNeckKinematics"]
    finally:
        sys.modules["quorbel_torso_kinematics"] = saved


def test_second_interpreter_is_refused(tmp_path):
    pytest.importorskip("_testcapi")
    report = tmp_path / "report.txt"
    inner = textwrap.dedent(
        f"""
        try:
            import quorbel_torso_kinematics
            outcome = "imported"
        except ImportError as error:
            outcome = "ImportError: " + str(error)
        with open({str(report)!r}, "w") as f:
            f.write(outcome)
        """
    )
    outer = textwrap.dedent(
        f"""
        import _testcapi
        import quorbel_torso_kinematics as q
        _testcapi.run_in_subinterp({inner!r})
        print(q.QuorbelArmKinematics.default_right().mirror())
        """
    )
    done = subprocess.run([sys.executable, "-c", outer], capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert done.stdout.strip() == "True"  # the first interpreter keeps working
    outcome = report.read_text()
    assert outcome.startswith("ImportError: ")
    assert "do not yet support subinterpreters" in outcome


def _method_docs():
    neck = qtk.QuorbelNeckKinematics
    return [
        (ARM.fk, "($self, theta_a, theta_b)",
         "Forward kinematics: `(θ_A, θ_B)` → 3×3 rotation of the end-effector.\n"
         "Raises `RuntimeError` when the loop fails to close (target joint\n"
         "pair is outside the workspace)."),
        (ARM.direction, "($self, theta_a, theta_b)",
         "Forward kinematics that returns just the end-effector pointing\n"
         "direction (the third column of the FK rotation, equal to `v_3`)."),
        (ARM.is_reachable_joints, "($self, theta_a, theta_b)",
         "Whether `(θ_A, θ_B)` lands inside the workspace (loop closes)."),
        (ARM.ik, "($self, r_target)",
         "Inverse kinematics: 3×3 rotation → `(θ_A, θ_B)`.\n"
         "Raises `RuntimeError` when the target orientation isn't reachable."),
        (ARM.is_reachable_orientation, "($self, r_target)",
         "Whether `r_target` is on the reachable manifold (IK succeeds)."),
        (ARM.ik_from_direction, "($self, v3, near=None)",
         "Inverse kinematics from just the end-effector pointing direction\n"
         "(3-vector, automatically normalized). When multiple `(θ_A, θ_B)`\n"
         "branches reach the same direction, `near` (an optional current\n"
         "joint pair) picks the closest one; otherwise the smallest-norm\n"
         "solution wins."),
        (ARM.is_reachable_direction, "($self, v3)",
         "Whether the pointing direction `v3` (3-vector, auto-normalized)\n"
         "is on the reachable manifold."),
        (ARM.default_left, "()", "Build the default left-arm geometry."),
        (ARM.default_right, "()", "Build the default right-arm geometry (mirror of left)."),
        (ARM.from_json, "(json)",
         "Build the arm from a JSON string matching `SphericalLinkGeometry`."),
        (ARM.arm_arc, "($self)", None),
        (ARM.coupler_arc, "($self)", None),
        (ARM.mirror, "($self)", None),
        (neck.fk, "($self, joints)",
         "Forward kinematics. `joints = [yaw, pitch, roll]` in radians.\n"
         "Returns the 3×3 rotation matrix of the head frame in the body frame."),
        (neck.ik, "($self, r)",
         "Inverse kinematics. `r` is a 3×3 rotation matrix (row-major).\n"
         "Returns `(yaw, pitch, roll)` in radians.\n\n"
         "Raises `ValueError` near gimbal lock (|pitch| ≈ π/2). The neck's\n"
         "pitch range is well under that limit in practice."),
    ]


@pytest.mark.parametrize("method, signature, doc", _method_docs())
def test_method_docstrings(method, signature, doc):
    assert method.__text_signature__ == signature
    assert method.__doc__ == doc


def test_method_table_is_complete_and_nothing_more():
    own = [name for name, value in vars(ARM).items() if not name.startswith("__")]
    assert own == [
        "default_left", "default_right", "from_json", "fk", "ik", "ik_from_direction",
        "direction", "is_reachable_joints", "is_reachable_orientation",
        "is_reachable_direction", "arm_arc", "coupler_arc", "mirror",
    ]
    neck_own = [n for n in vars(qtk.QuorbelNeckKinematics) if not n.startswith("__")]
    assert neck_own == ["fk", "ik"]
