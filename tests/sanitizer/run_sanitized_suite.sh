#!/usr/bin/env bash
# Builds the extension with AddressSanitizer and UndefinedBehaviorSanitizer
# into a fresh virtual environment and runs the whole pytest suite against it,
# with the sanitizer runtime preloaded into the interpreter, every Python
# allocation going through malloc (with the interpreter's debug hooks, which
# also check that each allocator call holds the interpreter lock and that
# memory is freed by the allocator family that gave it), and leak detection
# on in the interpreter that runs the tests. Leaks of the interpreter's own
# allocations are suppressed by lsan.supp. Any sanitizer report, in that
# interpreter or in any process it starts, fails the run.
#
# Usage: tests/sanitizer/run_sanitized_suite.sh [python] [pytest arguments...]
# The compiler is $CXX (default g++), whose libasan is the one preloaded.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/../.." && pwd)
PYENV_VERSIONS=${PYENV_ROOT:-/root/.pyenv}/versions

python=${1:-}
shift || true
if [ -z "$python" ]; then
  python=$(ls -d "$PYENV_VERSIONS"/3.11.*/bin/python 2>/dev/null | sort -V | tail -n 1 || true)
  python=${python:-$(command -v python3)}
fi
export CXX=${CXX:-g++}
asan_runtime=$("$CXX" -print-file-name=libasan.so)
# Preloaded after the runtime so that its C++ exception interceptor finds the
# real __cxa_throw: the interpreter itself does not link the C++ library.
cxx_runtime=$("$CXX" -print-file-name=libstdc++.so)
for runtime in "$asan_runtime" "$cxx_runtime"; do
  if [ ! -e "$runtime" ]; then
    echo "no $runtime for $CXX" >&2
    exit 1
  fi
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
REPORTS=$WORK/reports
mkdir -p "$REPORTS"

export PIP_DISABLE_PIP_VERSION_CHECK=1
"$python" -m venv "$WORK/venv"
# shellcheck disable=SC1091
source "$WORK/venv/bin/activate"
# Read by CMake for the extension and by the tests' own small CMake builds.
export CXXFLAGS="-O1 -g -fno-omit-frame-pointer -fsanitize=address,undefined,float-cast-overflow -fno-sanitize-recover=all -D_GLIBCXX_ASSERTIONS"
export LDFLAGS="-fsanitize=address,undefined"
pip install -q "$ROOT[test,view]" -C cmake.build-type=Debug

# Found without importing them: they cannot load before the runtime is preloaded.
module=$(python -c 'import importlib.util as u; print(u.find_spec("quorbel_torso_kinematics").origin)')
package=$(python -c 'import importlib.util as u; print(u.find_spec("quorbel_torso").submodule_search_locations[0])')
for extension in "$module" "$package"/_kernels.*.so; do
  # Read whole first: grep -q stopping early would fail nm with SIGPIPE under pipefail.
  symbols=$(nm -D "$extension")
  for symbol in __asan_report_load8 __ubsan_handle_; do
    if ! grep -q "$symbol" <<<"$symbols"; then
      echo "$extension is not instrumented ($symbol missing)" >&2
      exit 1
    fi
  done
done

sanitized() {
  LD_PRELOAD="$asan_runtime $cxx_runtime" PYTHONMALLOC=malloc_debug \
  ASAN_OPTIONS=detect_leaks=1:halt_on_error=1:detect_stack_use_after_return=1:check_initialization_order=1:strict_init_order=1:log_path=$REPORTS/asan \
  LSAN_OPTIONS=suppressions=$HERE/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1:log_path=$REPORTS/ubsan \
  "$@"
}

# The runtime must be live and the suppressions narrow: a heap overflow and a
# leak of plain malloc memory, both from Python through ctypes, must be caught.
canary() {
  if sanitized python -c "$1" 2>/dev/null; then
    echo "sanitizer canary not caught: $2" >&2
    exit 1
  fi
  if ! grep -q "$2" "$REPORTS"/asan.* 2>/dev/null; then
    echo "sanitizer canary without a report: $2" >&2
    exit 1
  fi
  rm -f "$REPORTS"/*
}
canary 'import ctypes; b = ctypes.create_string_buffer(1000); ctypes.memset(b, 0, 1100)' heap-buffer-overflow
canary 'import ctypes; libc = ctypes.CDLL(None); libc.malloc.restype = ctypes.c_void_p; libc.malloc(40)' 'detected memory leaks'

cd "$ROOT"
# Processes the tests start inherit the runtime and are checked for memory
# errors and undefined behaviour, but not for leaks: LeakSanitizer's scan of
# thread-local storage crashes in processes that load matplotlib's libraries
# (tests/test_examples.py), and their interpreters may ignore PYTHONMALLOC.
status=0
sanitized python -c '
import os, sys
import pytest
os.environ["ASAN_OPTIONS"] = os.environ["ASAN_OPTIONS"].replace("detect_leaks=1", "detect_leaks=0")
sys.exit(pytest.main(sys.argv[1:]))
' -q -p no:cacheprovider "$@" || status=$?
if compgen -G "$REPORTS/*" >/dev/null; then
  cat "$REPORTS"/* >&2
  echo "sanitizer reports above" >&2
  exit 1
fi
if [ "$status" -ne 0 ]; then
  echo "pytest failed under the sanitizers (status $status)" >&2
  exit "$status"
fi
echo "sanitized suite passed: no AddressSanitizer, LeakSanitizer or UndefinedBehaviorSanitizer report"
