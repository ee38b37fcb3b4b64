"""The examples run as users run them (a subprocess, from another directory),
print what they promise, and the workspace map counts solutions truthfully."""
import importlib.util
import itertools
import math
import re
import subprocess
import sys
from pathlib import Path

import matplotlib.image
import matplotlib.pyplot
import numpy as np
import pytest
from hypothesis import assume, given, settings
from hypothesis import strategies as st

import quorbel_torso as qt
from quorbel_torso_kinematics import QuorbelArmKinematics

ROOT = Path(__file__).resolve().parent.parent
EXAMPLES = ROOT / "examples"
ARMS = EXAMPLES / "arms"


def run_example(name, *args, cwd):
    result = subprocess.run([sys.executable, str(EXAMPLES / name), *map(str, args)], cwd=cwd,
                            capture_output=True, text=True, timeout=300)
    assert result.returncode == 0, result.stdout + result.stderr
    return result.stdout


def load_example(name):
    location = importlib.util.spec_from_file_location(name, EXAMPLES / f"{name}.py")
    module = importlib.util.module_from_spec(location)
    location.loader.exec_module(module)
    return module


def test_torso_demo_round_trips_both_arms_and_the_neck(tmp_path):
    out = run_example("torso_demo.py", cwd=tmp_path)
    assert re.findall(r"^(\w+) arm: ", out, re.M) == ["left", "right"]
    assert out.count("  ik(fk) -> (+0.300000, -0.200000)\n") == 2
    assert out.count("ik_from_direction(v_3, near=(1.1, -0.2)) -> (+1.144746, -0.200000)") == 2
    assert "  ik(fk) -> (+0.300000, -0.700000, +1.100000)\n" in out
    assert "Gimbal lock: pitch is too close to ±π/2." in out
    assert out.count("fk(pi, 0): Spherical 5-bar loop does not close") == 2


def test_load_arms_reads_every_example_file_and_shows_a_refused_one(tmp_path):
    out = run_example("load_arms.py", cwd=tmp_path)
    assert re.findall(r"^(\S+\.json): ", out, re.M) == sorted(p.name for p in ARMS.glob("*.json"))
    assert ('Invalid arms.json: invalid type: string "yes", expected a boolean at line 4 column 17'
            in out)


# Each example file: the preset with the same arcs and mirror, and whether it
# also has the same (positive) branch, which shows in forward kinematics.
ARM_FILES = [
    ("left_arm.json", "default_left", True),
    ("right_arm.json", "default_right", True),
    ("right_arm_negative_branch.json", "default_right", False),
]


def test_every_arm_file_is_in_the_table():
    assert sorted(p.name for p in ARMS.glob("*.json")) == sorted(f for f, _, _ in ARM_FILES)


@pytest.mark.parametrize("file, preset, same_branch", ARM_FILES)
def test_arm_file_loads_the_documented_geometry(file, preset, same_branch):
    arm = QuorbelArmKinematics.from_json((ARMS / file).read_text(encoding="utf-8"))
    reference = getattr(QuorbelArmKinematics, preset)()
    assert (arm.arm_arc(), arm.coupler_arc(), arm.mirror()) == \
        (reference.arm_arc(), reference.coupler_arc(), reference.mirror())
    assert (arm.fk(0.3, -0.2) == reference.fk(0.3, -0.2)) is same_branch


@pytest.mark.parametrize("arm_file", [None, "right_arm.json", "right_arm_negative_branch.json"])
def test_workspace_map_draws_both_pictures(tmp_path, arm_file):
    args = [] if arm_file is None else [ARMS / arm_file]
    out = run_example("workspace_map.py", *args, "--step", 15, "--out", tmp_path / "maps",
                      cwd=tmp_path)
    shares = [float(s) for s in re.findall(r"^  \d solutions: +([\d.]+)% of the sphere$", out,
                                           re.M)]
    assert len(shares) == 5 and abs(sum(shares) - 100) < 0.5 and sum(shares[1:]) > 0
    for name in ("workspace_directions.png", "workspace_joints.png"):
        image = matplotlib.image.imread(tmp_path / "maps" / name)
        assert image.ndim == 3 and image.shape[0] > 300 and image.shape[1] > 300
        assert image[..., :3].std() > 0.05  # not a blank canvas


workspace_map = load_example("workspace_map")
EXAMPLE_ARMS = {
    "left": QuorbelArmKinematics.default_left(),
    "right": QuorbelArmKinematics.default_right(),
    "right, negative branch": QuorbelArmKinematics.from_json('[0.7, 0.5, "negative", true]'),
}
# The same arms as array-package values, as workspace_map takes them.
ARRAY_ARMS = {
    "left": qt.Arm.default_left(),
    "right": qt.Arm.default_right(),
    "right, negative branch": qt.Arm(mirror=True, branch="negative"),
}
angles = st.floats(-1.2, 1.2)


@settings(max_examples=200, deadline=None)
@given(arm_name=st.sampled_from(sorted(EXAMPLE_ARMS)), theta_a=angles, theta_b=angles)
def test_counted_solutions_point_the_right_way_and_include_the_pose(arm_name, theta_a, theta_b):
    arm = ARRAY_ARMS[arm_name]
    if not arm.reachable_joints(theta_a, theta_b):
        return
    d = arm.direction(theta_a, theta_b)
    found = workspace_map.solutions_of(arm, d)
    assert 1 <= len(found) <= 4
    assert any(math.hypot(a - theta_a, b - theta_b) < 1e-7 for a, b in found)
    for pair in found:
        assert np.linalg.norm(arm.direction(*pair) - d) < 1e-6


unit_vectors = st.tuples(st.floats(-1, 1), st.floats(-1, 1), st.floats(-1, 1)).filter(
    lambda v: 0.1 < math.sqrt(sum(c * c for c in v)))


@settings(max_examples=200, deadline=None)
@given(v=unit_vectors)
def test_counts_agree_with_reachability_and_mirror_symmetry(v):
    d = np.array(v) / np.linalg.norm(v)
    half_turn = d * np.array([-1.0, -1.0, 1.0])
    left, right = ARRAY_ARMS["left"], ARRAY_ARMS["right"]
    count_left = len(workspace_map.solutions_of(left, d))
    count_right = len(workspace_map.solutions_of(right, half_turn))
    assert (count_left > 0) == left.reachable_direction(d)
    # The right arm is the left one turned half a turn about Z.
    assert count_right == count_left


@pytest.mark.parametrize("arm_args, joints", [
    ([], (0.3, -0.2)),
    (["--arms-json", ARMS / "right_arm.json"], (-0.5, 0.4)),
    (["--arms-json", ARMS / "right_arm_negative_branch.json"], (0.3, -0.2)),
])
def test_draw_five_bar_checks_every_arc_and_draws(tmp_path, arm_args, joints):
    out = run_example("draw_five_bar.py", *arm_args, "--joints", *joints,
                      "--out", tmp_path / "loop.png", cwd=tmp_path)
    assert len(re.findall(r"^arc v_\d-v_\d: ", out, re.M)) == 4
    image = matplotlib.image.imread(tmp_path / "loop.png")
    assert image.shape[0] > 300 and image[..., :3].std() > 0.05


@pytest.mark.parametrize("arm_args", [[], ["--arms-json", ARMS / "right_arm_negative_branch.json"]])
def test_gaze_clamp_keeps_its_promises_and_draws(tmp_path, arm_args):
    out = run_example("gaze_clamp.py", *arm_args, "--steps", 200, "--out", tmp_path / "gaze.png",
                      cwd=tmp_path)
    out_of_reach = int(re.search(r"^200 steps, the command out of reach at (\d+)$", out,
                                 re.M).group(1))
    assert 0 < out_of_reach < 200
    claims = re.findall(r"^(ok|FAILED): (.*)$", out, re.M)
    assert [verdict for verdict, _ in claims] == ["ok"] * 3, claims
    image = matplotlib.image.imread(tmp_path / "gaze.png")
    assert image.shape[0] > 600 and image[..., :3].std() > 0.05


# Arms whose tip rings cross, which the example used to refuse: it now
# clamps for them too and keeps every promise (a negative arm_arc among them,
# for which the clamp once answered 0.03 rad too far).
@pytest.mark.parametrize("arcs", ["[1.0, 0.5]", "[-0.79, 0.5]", "[2.3, 0.5, \"negative\"]"])
def test_gaze_clamp_keeps_its_promises_for_an_arm_whose_tip_rings_cross(tmp_path, arcs):
    (tmp_path / "arm.json").write_text(arcs)
    out = run_example("gaze_clamp.py", "--arms-json", tmp_path / "arm.json", "--steps", 200,
                      "--out", tmp_path / "gaze.png", cwd=tmp_path)
    claims = re.findall(r"^(ok|FAILED): (.*)$", out, re.M)
    assert [verdict for verdict, _ in claims] == ["ok"] * 3, claims
    assert (tmp_path / "gaze.png").exists()


def test_draw_five_bar_refuses_joints_where_the_loop_is_open(tmp_path):
    result = subprocess.run([sys.executable, str(EXAMPLES / "draw_five_bar.py"), "--joints",
                             "3.14", "0", "--out", str(tmp_path / "loop.png")],
                            capture_output=True, text=True, timeout=120)
    assert result.returncode == 1 and "does not close" in result.stderr
    assert not (tmp_path / "loop.png").exists()


draw_five_bar = load_example("draw_five_bar")


@settings(max_examples=100, deadline=None)
@given(arm_name=st.sampled_from(sorted(EXAMPLE_ARMS)), theta_a=angles, theta_b=angles)
def test_pictures_read_the_branch_off_the_loop(arm_name, theta_a, theta_b):
    arm = EXAMPLE_ARMS[arm_name]
    # At the edge of the closing region the two apexes merge and no branch shows.
    assume(all(arm.is_reachable_joints(theta_a + da, theta_b + db)
               for da, db in ((1e-3, 0), (-1e-3, 0), (0, 1e-3), (0, -1e-3))))
    v = draw_five_bar.loop_vertices(arm, theta_a, theta_b)
    assert draw_five_bar.branch_of(v) == ARRAY_ARMS[arm_name].branch


MAP_STEP = 4.0


@pytest.fixture(scope="module")
def left_arm_map():
    lon, lat, dirs = workspace_map.sphere_grid(MAP_STEP)
    return lon, lat, workspace_map.distinct_solutions(ARRAY_ARMS["left"], dirs)[1].sum(axis=-1)


# The left arm's patch turned about Z by whole columns: across the seam, to
# the far side (the right arm's place) and back.
@pytest.mark.parametrize("turn", [0, 20, 45, 70])
def test_direction_map_is_cut_away_from_the_reachable_patch(left_arm_map, turn):
    lon, lat, counts = left_arm_map
    counts = np.roll(counts, turn, axis=1)
    west, centred = workspace_map.centre_on_patch(lon, lat, counts)
    reachable_columns = np.flatnonzero((centred > 0).any(axis=0))
    assert 0 < reachable_columns[0] and reachable_columns[-1] < len(lon) - 1
    # ... and in the middle, to the 30° the cut is rounded to.
    patch_middle = (reachable_columns[0] + reachable_columns[-1] + 1) / 2 * MAP_STEP
    assert abs(patch_middle - 180.0) <= 30.0
    # Every column still shows the longitude it is drawn at.
    shown = (west + (np.arange(len(lon)) + 0.5) * MAP_STEP + 180.0) % 360.0 - 180.0
    assert (centred == counts[:, np.abs(lon[None, :] - shown[:, None]).argmin(axis=1)]).all()


@pytest.mark.parametrize("arm_name, joints", [
    ("left", (0.3, -0.2)), ("left", (-0.9, 0.7)),
    ("right", (-0.5, 0.4)), ("right, negative branch", (0.3, -0.2)),
])
def test_loop_labels_cover_neither_each_other_nor_a_vertex(arm_name, joints):
    arm = EXAMPLE_ARMS[arm_name]
    v = draw_five_bar.loop_vertices(arm, *joints)
    fig = draw_five_bar.loop_figure(arm, arm_name, *joints, v)
    ax = fig.axes[0]
    boxes = [t.get_window_extent(fig.canvas.get_renderer()) for t in ax.texts
             if t.get_text().startswith("$v_")]
    vertices, _ = draw_five_bar.to_screen(ax, v)
    matplotlib.pyplot.close(fig)
    assert len(boxes) == 5
    assert not any(a.overlaps(b) for a, b in itertools.combinations(boxes, 2))
    assert not any(box.contains(x, y) for box in boxes for x, y in vertices)


def test_gaze_loop_keeps_its_limits_and_draws(tmp_path):
    out = run_example("gaze_loop.py", "--seconds", 5.2, "--out", tmp_path / "loop.png",
                      cwd=tmp_path)
    assert "ticks: 2600 at 500 Hz" in out
    assert re.search(r"^look_at: [\d.]+ us per tick where all reach the target, [\d.]+ us where "
                     r"one is clamped; whole tick: [\d.]+ us$", out, re.M)
    # Every mechanism reaches the target in front and clamps while it is aside.
    for name in ("left arm", "right arm", "neck"):
        assert re.search(rf"^{name}: reached 2000, clamped 600, no direction 0, unreachable 0 ",
                         out, re.M)
    assert matplotlib.image.imread(tmp_path / "loop.png").shape[:2] == (900, 900)


def test_draw_torso_draws_the_example_torso(tmp_path):
    out = run_example("draw_torso.py", "--torso-json", EXAMPLES / "torso.json", "--out",
                      tmp_path / "torso.png", cwd=tmp_path)
    assert out.count("of 14641 joint samples close the loop") == 2
    assert matplotlib.image.imread(tmp_path / "torso.png").ndim == 3


# Without rendering: CI machines may have no OpenGL that works without a
# display, and the model, the simulation and its check need none.
def test_mujoco_torso_writes_the_model_and_points_where_look_at_says(tmp_path):
    pytest.importorskip("mujoco", reason="mujoco is not installed (the test extra takes it from Python 3.11 on)")
    out = run_example("mujoco_torso.py", "--no-render", "--mjcf", tmp_path / "torso.xml",
                      cwd=tmp_path)
    assert "7 position servos" in out and (tmp_path / "torso.xml").exists()
    reports = re.findall(r"^  (left arm|right arm|neck): (\w+), .* differs by (\S+)$", out, re.M)
    assert len(reports) == 12
    assert [status for _, status, _ in reports].count("clamped") == 2
    assert max(float(difference) for _, _, difference in reports) < 1e-6
