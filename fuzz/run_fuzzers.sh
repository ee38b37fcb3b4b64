#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
#   fuzz/run_fuzzers.sh [SECONDS]   (default 60)
# Exits non-zero on any finding (crash, sanitizer report, broken invariant,
# leak or timeout); the input that triggered it is kept under
# build/fuzz/artifacts/.
set -euo pipefail

seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build=${QTK_FUZZ_BUILD_DIR:-$root/build/fuzz}

CC=clang CXX=clang++ cmake -S "$root" -B "$build" \
  -DQTK_BUILD_FUZZERS=ON -DQTK_BUILD_PYTHON_MODULE=OFF -DQTK_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target fuzz_arms_json fuzz_torso_json

mkdir -p "$build/artifacts"
# New inputs go to a scratch corpus; the seeds in the repository stay as
# they are.
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

run() {
  local name=$1 seeds=$2
  mkdir -p "$scratch/$name"
  echo "== $name for ${seconds}s"
  "$build/fuzz/$name" \
    -max_len=4096 \
    -max_total_time="$seconds" \
    -timeout=10 \
    -print_final_stats=1 \
    -artifact_prefix="$build/artifacts/$name-" \
    "$scratch/$name" "$seeds"
}

run fuzz_arms_json "$root/fuzz/corpus/arms_json"
run fuzz_torso_json "$root/fuzz/corpus/torso_json"
