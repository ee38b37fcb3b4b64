#!/usr/bin/env bash
# The package as a user receives it: the sdist and the wheel built from the
# committed tree, their metadata and README as a package index renders them,
# the wheel's contents and platform tag, and the test suite run against the
# sdist installed into a fresh virtual environment. Fails on any problem.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
PYTHON=${PYTHON:-python3}
export PIP_DISABLE_PIP_VERSION_CHECK=1
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

step() { printf '\n==== %s\n' "$*"; }

# Only committed files: a file that git does not track never reaches a user.
step "sdist and wheel from a clean checkout of $(git -C "$ROOT" rev-parse --short HEAD)"
mkdir "$WORK/checkout"
git -C "$ROOT" archive HEAD | tar -x -C "$WORK/checkout"
"$PYTHON" -m venv "$WORK/tools"
"$WORK/tools/bin/pip" install -q build twine 'readme_renderer[md]' trove-classifiers auditwheel
"$WORK/tools/bin/python" -m build --outdir "$WORK/dist" "$WORK/checkout" >"$WORK/build.log" 2>&1 \
  || { cat "$WORK/build.log"; exit 1; }
sdist=$(ls "$WORK"/dist/*.tar.gz)
wheel=$(ls "$WORK"/dist/*.whl)
ls -l "$sdist" "$wheel"

step "twine check --strict, with the Markdown renderer"
"$WORK/tools/bin/twine" check --strict "$sdist" "$wheel"

# twine checks only that the README renders. Its in-page links must also land
# on the anchors the index's renderer makes; its relative links and images
# resolve beside the files (in a repository, or the unpacked sdist, where the
# README test below checks them), not on an index page: they are listed.
step "README as the package index renders it"
"$WORK/tools/bin/python" - "$WORK/checkout/README.md" <<'EOF'
import re, sys
import readme_renderer.markdown

html = readme_renderer.markdown.render(open(sys.argv[1], encoding="utf-8").read())
ids = set(re.findall(r'id="([^"]+)"', html))
dangling = sorted({h for h in re.findall(r'href="#([^"]+)"', html)} - ids)
relative = sorted({t for t in re.findall(r'(?:href|src)="([^"#][^"]*)"', html) if "://" not in t})
print(f"{len(ids)} anchors; relative links and images: {' '.join(relative)}")
sys.exit(f"in-page links with no anchor: {dangling}" if dangling else None)
EOF

step "metadata: licence and classifiers"
"$WORK/tools/bin/python" - "$sdist" "$wheel" <<'EOF'
import sys, tarfile, zipfile
from email.parser import HeaderParser
from trove_classifiers import classifiers as known

sdist, wheel = sys.argv[1:]
with zipfile.ZipFile(wheel) as archive:
    metadata = HeaderParser().parsestr(archive.read(
        next(n for n in archive.namelist() if n.endswith(".dist-info/METADATA"))).decode())
with tarfile.open(sdist) as archive:
    sdist_files = {name.split("/", 1)[1] for name in archive.getnames() if "/" in name}
problems = [f"unknown classifier: {c}" for c in metadata.get_all("Classifier", [])
            if c not in known]
if metadata["License-Expression"] != "MIT":
    problems.append(f"License-Expression is {metadata['License-Expression']!r}")
problems += [f"licence file {name} is not in the sdist"
             for name in metadata.get_all("License-File", []) if name not in sdist_files]
print(f"License-Expression: {metadata['License-Expression']}, "
      f"License-File: {metadata.get_all('License-File')}, "
      f"{len(metadata.get_all('Classifier', []))} classifiers")
sys.exit("\n".join(problems) or None)
EOF

# A wheel holds the extension modules, the Python packages, the stubs and
# the licence; anything else (a build tree, a test, a stray header) is a leak.
step "wheel contents"
"$WORK/tools/bin/python" - "$wheel" <<'EOF'
import re, sys, zipfile

ALLOWED = re.compile(r"""
    quorbel_torso_kinematics\.[\w.-]+\.so
  | quorbel_torso_kinematics-stubs/__init__\.pyi
  | quorbel_torso/(\w+/)*(\w+\.(py|pyi)|py\.typed|\w+\.[\w.-]+\.so)
  | quorbel_torso_kinematics-[\w.]+\.dist-info/(METADATA|WHEEL|RECORD|licenses/LICENSE)
""", re.X)
REQUIRED = (r"quorbel_torso_kinematics\..+\.so", r"quorbel_torso_kinematics-stubs/__init__\.pyi",
            r"quorbel_torso/__init__\.py", r"quorbel_torso/py\.typed",
            r"quorbel_torso/_kernels\..+\.so", r".+\.dist-info/licenses/LICENSE")

names = [n for n in zipfile.ZipFile(sys.argv[1]).namelist() if not n.endswith("/")]
print("\n".join(names))
unexpected = [n for n in names if not ALLOWED.fullmatch(n)]
missing = [p for p in REQUIRED if not any(re.fullmatch(p, n) for n in names)]
sys.exit("\n".join([f"unexpected in the wheel: {n}" for n in unexpected]
                   + [f"missing from the wheel: {p}" for p in missing]) or None)
EOF

step "auditwheel show"
"$WORK/tools/bin/auditwheel" show "$wheel"

# The tests run from the unpacked sdist (they read its README and run its
# examples), with -I so that neither the working directory nor PYTHONPATH
# can put a copy of the package ahead of the installed one; conftest.py
# reports where each package is imported from, and that must be the venv.
step "test suite against the sdist installed into a fresh virtual environment"
"$PYTHON" -m venv "$WORK/user"
"$WORK/user/bin/pip" install -q "$sdist[test,view]"
mkdir "$WORK/source"
tar -xzf "$sdist" -C "$WORK/source" --strip-components=1
# The JSON conformance corpus lives beside the checkout, not in the sdist.
(cd "$WORK/source" && QTK_JSON_CONFORMANCE="$ROOT/../shared/conformance/json" \
  "$WORK/user/bin/python" -I -m pytest -p no:cacheprovider) | tee "$WORK/pytest.log"
imported=$(grep -E '^quorbel_torso[a-z_]*: ' "$WORK/pytest.log" || true)
printf '%s\n' "$imported"
site_packages=$("$WORK/user/bin/python" -c 'import sysconfig; print(sysconfig.get_path("platlib"))')
if [ -z "$imported" ] || printf '%s\n' "$imported" | grep -v -F ": $site_packages/"; then
  echo "error: the tests did not import the installed package from $site_packages" >&2
  exit 1
fi
