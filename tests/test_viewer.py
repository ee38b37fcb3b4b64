"""The viewer (quorbel_torso.view): what it draws, checked against the
kinematics; its command line's two refusals; and the page a browser gets."""

import base64
import io
import json
import os
import shutil
import socket
import subprocess
import sys
import time
import urllib.request

import numpy as np
import pytest
from hypothesis import example, given, settings
from hypothesis import strategies as st

import quorbel_torso as qt
from quorbel_torso.view import scene

EXAMPLE = qt.Torso.example()


def turned_torso():  # the example, its neck mounted turned, its gaze axis off the head's x
    description = json.loads(EXAMPLE.to_json())
    c, s = np.cos(0.5), np.sin(0.5)
    description["neck"]["mount"]["rotation"] = [[c, -s, 0], [s, c, 0], [0, 0, 1]]
    description["neck"]["gaze_axis"] = [0.8, 0.0, 0.6]
    return qt.Torso.from_json(json.dumps(description))


def angle(u, v):
    u, v = np.asarray(u) / np.linalg.norm(u), np.asarray(v) / np.linalg.norm(v)
    return np.arctan2(np.linalg.norm(np.cross(u, v)), u @ v)


@settings(max_examples=80, deadline=None)
@example("left_arm", 0.3, -0.2)
@given(st.sampled_from(scene.ARMS), st.floats(-np.pi, np.pi), st.floats(-np.pi, np.pi))
def test_the_loop_is_drawn_with_the_arm_arcs_on_the_arm_sphere(name, theta_a, theta_b):
    arm, mount = getattr(EXAMPLE, name), getattr(scene.layout(EXAMPLE), name)
    v1, v2, v3, v4, v5 = scene.loop_vertices(arm, theta_a, theta_b)
    assert v1 == pytest.approx([0, 0, 1]) and v5 == pytest.approx([-1 if arm.mirror else 1, 0, 0])
    assert angle(v1, v2) == pytest.approx(arm.arm_arc) and angle(v5, v4) == pytest.approx(arm.arm_arc)
    drawn = scene.arm_scene(arm, mount, theta_a, theta_b)
    assert drawn.closed == np.isfinite(v3).all() == arm.reachable_joints(theta_a, theta_b)
    if drawn.closed:  # the apex is the kernel's: a tip turned wrongly would not sit a coupler arc off
        assert [angle(v2, v3), angle(v4, v3)] == pytest.approx([arm.coupler_arc] * 2, abs=1e-12)
    assert len(drawn.arcs) == (4 if drawn.closed else 2)
    for arc in drawn.arcs:  # on the sphere, in the plane of its centre and the arc's ends
        radial = arc - mount.offset
        assert np.linalg.norm(radial, axis=1) == pytest.approx(scene.ARM_SPHERE)
        assert np.abs(radial @ np.cross(radial[0], radial[-1])).max() < 1e-12


@pytest.mark.parametrize("torso", [EXAMPLE, turned_torso()], ids=["example", "turned_neck"])
@pytest.mark.parametrize("target", [(0.7, 0.1, 0.2), (0.6, -0.25, 0.0), (0.2, 0.9, -0.4)])
def test_drawn_gaze_and_pointing_miss_the_target_by_what_look_at_leaves(torso, target):
    aim = torso.look_at(target)
    layout = scene.layout(torso)
    head = scene.head_scene(layout, *aim.neck)
    assert angle(head.gaze[1] - head.gaze[0], np.subtract(target, head.position)) == pytest.approx(
        aim.leftover[2], abs=1e-9)
    for k, name in enumerate(scene.ARMS):
        drawn = scene.arm_scene(getattr(torso, name), getattr(layout, name), *aim.pose[2 * k:2 * k + 2])
        ray = drawn.pointing[1] - drawn.pointing[0]
        # A clamped arm's leftover is from the direction its search refined, its joints' to ~1e-9.
        assert angle(ray, np.subtract(target, drawn.pointing[0])) == pytest.approx(
            aim.leftover[k], abs=1e-8)


@pytest.mark.parametrize("name", scene.ARMS)
def test_solutions_and_workspace_agree_with_the_arm(name):
    layout, arm = scene.layout(EXAMPLE), getattr(EXAMPLE, name)
    mount, target = getattr(layout, name), np.array([0.7, 0.1, 0.2])
    drawn = scene.solution_scenes(arm, mount, target, origins := np.arange(12.0).reshape(4, 3))
    candidates = arm.ik_solutions(scene.arm_direction_to(mount, target))
    assert len(drawn) >= 2 and sorted(drawn) == [k for k in range(4) if np.isfinite(candidates[k, 0])]
    for k, solution in drawn.items():
        assert solution.pointing[0] == pytest.approx(origins[k])
        assert angle(solution.pointing[1] - origins[k], target - mount.offset) < 1e-9
    points = (scene.workspace(arm, mount) - mount.offset) / scene.ARM_SPHERE
    inside = mount.rotation @ scene.arm_direction_to(mount, target)
    outside = mount.rotation @ [0.0, 0.0, -1.0]  # below both joint axes: out of reach
    assert np.arccos(points @ inside).min() < 0.02 and np.arccos(points @ outside).min() > 0.3


def refusal(*args):  # the viewer's one line on stderr
    done = subprocess.run([sys.executable, "-m", "quorbel_torso.view", *args],
                          capture_output=True, text=True, timeout=120)
    assert (done.returncode, done.stdout) == (2, "")
    [line] = done.stderr.strip().splitlines()
    return line


@pytest.mark.parametrize("text", ['{"format": "quorbel-torso", "version": 2}',
                                  '{"format": "quorbel-torso",\n "version": 1,\n "neck": {"mount": [}}'])
def test_a_torso_file_that_does_not_read_stops_before_serving(tmp_path, text):
    path = tmp_path / "torso.json"
    path.write_text(text)
    with pytest.raises(ValueError, match=" at line [0-9]+ column [0-9]+$") as reader:
        qt.Torso.from_json(text)
    assert refusal(str(path)) == f"quorbel_torso.view: {path}: {reader.value}"


def test_a_port_in_use_is_named_with_how_to_pick_another():
    with socket.create_server(("127.0.0.1", 0)) as taken:
        port = taken.getsockname()[1]
        line = refusal("--port", str(port))
    assert f"port {port}" in line and "--port" in line


def free_port():
    with socket.create_server(("127.0.0.1", 0)) as probe:
        return probe.getsockname()[1]


def wait_for(attempt):  # a minute at most
    for _ in range(300):
        try:
            return attempt()
        except OSError:
            time.sleep(0.2)
    return attempt()


@pytest.mark.slow
def test_the_browser_draws_the_mechanism(tmp_path):
    pytest.importorskip("viser", reason="the viewer's extra is not installed: pip install '.[view]'")
    import matplotlib.pyplot as plt
    from websockets.sync.client import connect

    from quorbel_torso.view.app import COLOURS

    browser = shutil.which("chromium")
    assert browser, "the end-to-end check needs Debian's chromium (apt-get install chromium)"
    port, debug = free_port(), free_port()
    url, quiet = f"http://127.0.0.1:{port}", {"stdout": subprocess.DEVNULL, "stderr": subprocess.DEVNULL}
    server = subprocess.Popen([sys.executable, "-m", "quorbel_torso.view", "--port", str(port)], **quiet)
    # The browser is not ours to check: without a sanitizer runtime the suite may preload.
    chromium = subprocess.Popen([browser, "--headless", "--no-sandbox", "--disable-gpu", "--use-gl=swiftshader",
                                 "--enable-unsafe-swiftshader", "--window-size=1280,800",
                                 f"--remote-debugging-port={debug}", f"--user-data-dir={tmp_path}"],
                                env={k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}, **quiet)
    try:
        wait_for(lambda: urllib.request.urlopen(url).close())
        pages = wait_for(lambda: json.load(urllib.request.urlopen(f"http://127.0.0.1:{debug}/json")))
        with connect(next(p["webSocketDebuggerUrl"] for p in pages if p["type"] == "page"),
                     max_size=None) as devtools:
            devtools.send(json.dumps({"id": 0, "method": "Page.navigate", "params": {"url": url}}))
            for n in range(1, 61):  # a screenshot a second, in real time, until the scene has faded in
                time.sleep(1)
                devtools.send(json.dumps({"id": n, "method": "Page.captureScreenshot"}))
                while (reply := json.loads(devtools.recv())).get("id") != n:
                    pass
                png = io.BytesIO(base64.b64decode(reply["result"]["data"]))
                pixels = np.round(plt.imread(png)[..., :3] * 255)
                drawn = {name: int((np.abs(pixels - colour) <= 40).all(axis=-1).sum())
                         for name, colour in COLOURS.items()}
                if min(drawn.values()) >= 150:
                    break
    finally:
        for process in (chromium, server):
            process.terminate()
            process.wait()
    # The arms' links and pointing rays in their own colours, not a blank or
    # error page (the pale workspace dots are too far from them to count).
    assert min(drawn.values()) >= 150, f"pixels of each arm's colour in the screenshot: {drawn}"
