"""The MJCF models simulated in MuJoCo agree with the kinematics: the
end-effector site's frame with fk, the head's gaze with the neck's, in
settled poses and along a look-at trajectory.

Tolerances. The loop closures are critically damped constraints with time
constant TAU (two steps), so a moving loop trails its closure by about
2 TAU times its joints' speed; in a settled pose (every joint slower than
SETTLED_SPEED for CALM seconds) that lag is below 1e-10; the solver at its
default tolerance leaves less (a tolerance of 1e-12 changes nothing measured)
and MuJoCo's kinematics rounds at 1e-15: SETTLED = 1e-9 on every entry of the
frame. While moving,
the same lag gives 2 TAU max|qdot| + SETTLED. The servos trail a moving
target like first-order lags of time constant kv / kp, at most 0.05 s (the
neck's); the gaze loop's target turns at most 0.86 rad/s as seen from the
torso (0.6 m/s, 0.7 m out): FOLLOW = 0.05 rad once the start has settled."""
import importlib.util
import json
from pathlib import Path

import numpy as np
import pytest

import quorbel_torso as qt
from quorbel_torso.mujoco import arm_mjcf, torso_mjcf

mujoco = pytest.importorskip("mujoco", reason="mujoco is not installed (the test extra takes it from Python 3.11 on)")

TAU = 0.004
SETTLED_SPEED = 1e-8  # rad/s
CALM = 0.1  # s
SETTLED = 1e-9
FOLLOW = 0.05  # rad
EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def settle(model, data, seconds=10.0):
    calm = 0
    for _ in range(int(seconds / model.opt.timestep)):
        mujoco.mj_step(model, data)
        calm = calm + 1 if np.abs(data.qvel).max() < SETTLED_SPEED else 0
        if calm * model.opt.timestep >= CALM:
            return
    pytest.fail(f"still moving after {seconds} s: {np.abs(data.qvel).max()} rad/s")


def joints(model, data, *names):
    return np.array([data.qpos[model.joint(name).qposadr[0]] for name in names])


def frame(data, site):
    return data.site(site).xmat.reshape(3, 3)


def stays_on_its_branch(arm, start, end):
    """Whether the straight joint path keeps the loop closed and away from
    the poses where the branches meet (the closing edge, or tips that
    coincide where the tip rings cross), where the direction Jacobian's
    largest singular value grows without bound."""
    path = start + np.linspace(0, 1, 81)[:, None] * (end - start)
    return bool(arm.reachable_joints(path[:, 0], path[:, 1]).all()
                and arm.singular_values(path[:, 0], path[:, 1]).max() < 4.0)


ARMS = {
    "left": qt.Arm.default_left(),
    "right": qt.Arm.default_right(),
    "left, negative branch": qt.Arm(branch="negative"),
    "right, negative branch": qt.Arm(mirror=True, branch="negative"),
    # Open at (0, 0): the model is drawn at another reference pose.
    "long arms, short couplers": qt.Arm(1.2, 0.3),
}


@pytest.mark.parametrize("seed, name", list(enumerate(ARMS)))
def test_settled_end_effector_frame_is_fk_of_the_simulated_joints(seed, name):
    arm = ARMS[name]
    model = mujoco.MjModel.from_xml_string(arm_mjcf(arm))
    data = mujoco.MjData(model)
    rng = np.random.default_rng(seed)
    pose = joints(model, data, "theta_a", "theta_b")
    # The mechanism, like the real one, may change branch where the branches
    # meet: driven along paths that keep away from there.
    for _ in range(4):
        goal = pose + rng.uniform(-0.8, 0.8, 2)
        while not stays_on_its_branch(arm, pose, goal):
            goal = pose + rng.uniform(-0.8, 0.8, 2)
        for k in range(1, 151):
            data.ctrl[:] = pose + (goal - pose) * k / 150
            mujoco.mj_step(model, data)
        settle(model, data)
        pose = joints(model, data, "theta_a", "theta_b")
        np.testing.assert_allclose(pose, goal, atol=1e-6)
        np.testing.assert_allclose(frame(data, "end_effector"), arm.fk(*pose), rtol=0,
                                   atol=SETTLED)


def test_mjcf_refuses_a_reference_pose_where_the_loop_is_open():
    with pytest.raises(ValueError, match="does not close"):
        arm_mjcf(qt.Arm(), pose=(np.pi, 0.0))


def load_gaze_loop():
    location = importlib.util.spec_from_file_location("gaze_loop", EXAMPLES / "gaze_loop.py")
    module = importlib.util.module_from_spec(location)
    location.loader.exec_module(module)
    return module


def test_torso_follows_the_gaze_loops_target():
    torso = qt.Torso.example()
    description = json.loads(torso.to_json())
    model = mujoco.MjModel.from_xml_string(torso_mjcf(torso))
    data = mujoco.MjData(model)
    target_at = load_gaze_loop().target_at
    arms = {"left": torso.left_arm, "right": torso.right_arm}
    mounts = {side: description[f"{side}_arm"]["mount"] for side in arms}
    mounts["head"] = description["neck"]["mount"]

    def pointing():
        """Each mechanism's simulated direction in the torso frame, and each
        arm's closure error: its site's frame against fk at its joints."""
        found, errors = {}, []
        for side, arm in arms.items():
            rotation = np.array(mounts[side]["rotation"])
            site = frame(data, f"{side}_end_effector")
            theta = joints(model, data, f"{side}_theta_a", f"{side}_theta_b")
            errors.append(np.abs(site - rotation @ arm.fk(*theta)).max())
            found[side] = site[:, 2]
        found["head"] = frame(data, "head") @ np.array(description["neck"]["gaze_axis"])
        return found, max(errors)

    def angles_to(target, found):
        out = {}
        for key, direction in found.items():
            way = target - np.array(mounts[key]["offset"])
            out[key] = np.arccos(np.clip(direction @ way / np.linalg.norm(way), -1, 1))
        return out

    aim = None
    for k in range(1000):  # 2 s at 500 Hz, one step per tick
        target = target_at(k * model.opt.timestep)
        aim = torso.look_at(target, previous=aim)
        assert (aim.status == qt.AimStatus.REACHED).all()
        data.ctrl[:] = aim.pose
        mujoco.mj_step(model, data)
        found, closure = pointing()
        assert closure <= 2 * TAU * np.abs(data.qvel).max() + SETTLED
        if k * model.opt.timestep > 0.25:
            lag = angles_to(target, found)
            assert max(lag.values()) < FOLLOW, (k, lag)
    settle(model, data)
    found, closure = pointing()
    assert closure <= SETTLED
    assert max(angles_to(target, found).values()) <= SETTLED
