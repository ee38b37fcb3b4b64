"""What .ci/cross_platform.sh takes on trust from tests/cross_platform/random_poses.py:
its pose stream is splitmix64 made into exact doubles, its comparison misses
no difference, and its two Python sides print the same lines."""

import importlib.util
import pathlib

import numpy as np
import pytest

_PATH = pathlib.Path(__file__).parent / "cross_platform" / "random_poses.py"
_SPEC = importlib.util.spec_from_file_location("random_poses", _PATH)
random_poses = importlib.util.module_from_spec(_SPEC)
_SPEC.loader.exec_module(random_poses)


def test_splitmix64_is_the_published_sequence(monkeypatch):
    # Vigna's reference outputs for the seed 1234567.
    monkeypatch.setattr(random_poses, "SEED", 1234567)
    assert random_poses.splitmix64(5).tolist() == [
        6457827717110365317, 3203168211198807973, 9817491932198370423,
        4593380528125082431, 16408922859458223821]


@pytest.mark.parametrize("name, bound", [
    ("theta_a", 2.0), ("theta_b", 2.0), ("direction", 1.0), ("near", 4.0),
    ("rate", 1.0), ("omega", 1.0)])
def test_draws_are_53_bit_grid_points_of_their_range(name, bound):
    values = random_poses.draw(2000)[name]
    assert values.min() >= -bound and values.max() < bound
    steps = values / bound * 2.0**52
    assert np.array_equal(steps, np.floor(steps))
    assert len(np.unique(values)) == values.size


LINE = "0 left fk : 3ff0000000000000 0000000000000000"


@pytest.mark.parametrize("reference, other, status, message", [
    ([LINE], [LINE], 0, "1 lines compared, 0 differ"),
    ([LINE], ["0 left fk : 3ff0000000000001 0000000000000000"], 1, "left fk: 1 lines differ"),
    ([LINE], ["0 left fk : 3ff0000000000000 8000000000000000"], 1, "1 differ"),
    ([LINE], ["0 left fk : none"], 1, "1 differ"),
    (["0 neck ik : nan 3ff0000000000000"], ["0 neck ik : nan 3ff0000000000000"], 0, "0 differ"),
    ([LINE, "0 left ik : none", "1 neck fk : none"], [LINE, "1 neck fk : none"], 0, "2 lines"),
    ([LINE, "1 neck fk : none"], ["1 neck fk : none", LINE], 1, "has no line"),
    ([LINE], ["0 right fk : none"], 1, "has no line"),
    ([LINE], [], 1, "0 lines compared"),
])
def test_compare_finds_every_difference(tmp_path, capsys, reference, other, status, message):
    files = []
    for name, lines in (("reference.txt", reference), ("other.txt", other)):
        files.append(tmp_path / name)
        files[-1].write_text("".join(line + "\n" for line in lines), encoding="ascii")
    assert random_poses.compare(*files) == status
    assert message in capsys.readouterr().out


def test_module_lines_are_the_arrays_lines():
    arrays = list(random_poses.arrays_results(300))
    module = list(random_poses.module_results(300))
    assert set(module) <= set(arrays)
    assert len(module) == sum(line.split()[2] in {
        "fk", "direction", "ik", "ik_from_direction", "ik_from_direction_near"}
        for line in arrays)
