"""The built documentation site as a browser shows it: its front page and a
reference page render in headless Chromium into pictures that are not
blank. Runs where .ci/run's documentation step has built the site and names
it in QTK_DOCS_SITE."""
import os
import subprocess
from pathlib import Path

import numpy as np
import pytest

SITE = os.environ.get("QTK_DOCS_SITE")

pytestmark = [pytest.mark.slow,
              pytest.mark.skipif(not SITE, reason="no built site (QTK_DOCS_SITE is not set)")]


def png_pixels(path):
    matplotlib_image = pytest.importorskip("matplotlib.image")
    return np.asarray(matplotlib_image.imread(str(path)))


@pytest.mark.parametrize("page", ["index.html", "api/arrays.html"])
def test_page_renders_with_text_and_pictures(page, tmp_path, tools):
    chromium = tools.program("chromium", "Debian's headless browser")
    shot = tmp_path / "page.png"
    env = {key: value for key, value in os.environ.items() if key != "LD_PRELOAD"}
    subprocess.run([chromium, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    "--window-size=1280,1600", f"--screenshot={shot}",
                    (Path(SITE).resolve() / page).as_uri()],
                   env=env, capture_output=True, timeout=120, check=True)
    pixels = png_pixels(shot)[..., :3]
    assert pixels.shape[:2] == (1600, 1280)
    # A page that failed to load or lost its style sheet is one colour, or
    # nearly: a rendered page has dark text on a light ground in both halves
    # (the navigation and the content).
    for half in (pixels[:, :400], pixels[:, 400:]):
        brightness = half.mean(axis=-1)
        assert (brightness < 0.3).mean() > 0.002, "no text"
        assert (brightness > 0.9).mean() > 0.5, "no light ground"
