"""The single-pose benchmark rewrites only its own section of the results
file: the sections after it (the SIMD benchmark's) stay as they were."""
import pathlib
import sys

import pytest

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "bench"))
import single_pose_benchmark  # noqa: E402

SECTION = single_pose_benchmark.SECTION
NEW = f"{SECTION}\n\nnew table"


@pytest.mark.parametrize("before, after", [
    ("# Results\n\n## Earlier\n\nkept\n", "## SIMD paths\n\nkept too\n"),
    ("# Results\n\n## Earlier\n\nkept\n", ""),
    ("", "## SIMD paths\n\nkept too\n"),
])
@pytest.mark.parametrize("present", [True, False])
def test_single_pose_section_replaces_only_itself(tmp_path, monkeypatch, before, after, present):
    results = tmp_path / "ARRAYS_RESULTS.md"
    old = f"{SECTION}\n\nold table\n\n" if present else ""
    results.write_text(before + "\n" + old + after)
    monkeypatch.setattr(single_pose_benchmark, "RESULTS", results)
    single_pose_benchmark.write_section(NEW)
    text = results.read_text()
    assert text.count(SECTION) == 1 and "new table" in text and "old table" not in text
    for kept in (before.strip(), after.strip()):
        assert kept in text
    if present and after:
        assert text.index("new table") < text.index(after.strip())
