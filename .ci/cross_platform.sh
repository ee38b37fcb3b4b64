#!/usr/bin/env bash
# The same doubles on every machine: tests/cross_platform/random_poses.cpp,
# built with the core by five toolchains and C libraries, must print the
# same bytes, and those must be the Python packages' doubles.
#
#   .ci/cross_platform.sh [PYTHON] [POSES]
#
# PYTHON has quorbel_torso_kinematics and quorbel_torso installed (by
# default a virtual environment is made here and the checkout installed into
# it); POSES defaults to 200000. The builds, each with the core's own flags
# and the toolchain file of cmake/toolchains/:
#   native      the host's GCC and glibc (with FMA where the CPU has it)
#   no-fma      the same program, glibc told to pretend the CPU has no FMA or
#               AVX2, so that its libm takes its other code paths
#   aarch64     GCC for aarch64 Linux, run under qemu-aarch64
#   mingw64     MinGW-w64 GCC for 64-bit Windows, static, run under wine
#   mingw32     MinGW-w64 GCC for 32-bit Windows with SSE2 arithmetic,
#               static, run under wine (its 32-bit part, Debian's
#               wine32:i386, needs the i386 architecture enabled)
# Every output is compared with the native one byte for byte (cmp); where
# they differ, random_poses.py counts the differing lines per operation.
# Fails on any difference; prints each part's time.
set -euo pipefail
cd "$(dirname "$0")/.."
ROOT=$PWD
PYTHON=${1:-}
POSES=${2:-200000}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

step() { printf '\n==== %s\n' "$*"; }
fail() { printf 'cross_platform: %s\n' "$*" >&2; exit 1; }
started=$(date +%s)
timed() {  # timed LABEL COMMAND...: runs it, prints its seconds
  local label=$1 t0 t1
  shift
  t0=$(date +%s.%N)
  "$@"
  t1=$(date +%s.%N)
  printf '%-34s %6.1f s\n' "$label" "$(echo "$t1 - $t0" | bc)"
}

# System packages, installed when missing.
missing=()
command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || missing+=(qemu-user)
command -v x86_64-w64-mingw32-g++ >/dev/null || missing+=(g++-mingw-w64-x86-64)
command -v i686-w64-mingw32-g++ >/dev/null || missing+=(g++-mingw-w64-i686)
command -v wine >/dev/null || missing+=(wine wine64)
command -v bc >/dev/null || missing+=(bc)
dpkg -s wine32:i386 >/dev/null 2>&1 || missing+=(wine32:i386)
if [ ${#missing[@]} -gt 0 ]; then
  step "installing ${missing[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi

if [ -z "$PYTHON" ]; then
  step "installing the packages into a virtual environment"
  python3 -m venv "$WORK/venv"
  timed "pip install .[arrays]" "$WORK/venv/bin/pip" install -q "$ROOT[arrays]"
  PYTHON=$WORK/venv/bin/python
fi

step "building random_poses with each toolchain"
build() {  # build NAME [TOOLCHAIN]
  local toolchain=()
  [ -n "${2:-}" ] && toolchain=("-DCMAKE_TOOLCHAIN_FILE=$ROOT/cmake/toolchains/$2.cmake")
  cmake -S tests/cross_platform -B "$WORK/build-$1" -G Ninja "${toolchain[@]}" >/dev/null
  cmake --build "$WORK/build-$1" -j2 >/dev/null
}
timed "native" build native
timed "aarch64" build aarch64 aarch64-linux-gnu
timed "mingw64" build mingw64 x86_64-w64-mingw32
timed "mingw32" build mingw32 i686-w64-mingw32

step "running $POSES poses on each"
export WINEDEBUG=-all WINEPREFIX=$WORK/wine
timed "wine prefix" wineboot -i
run() {  # run NAME COMMAND...: the lines into $WORK/NAME.txt
  local name=$1
  shift
  "$@" "$POSES" > "$WORK/$name.txt" || fail "$name: the pose program failed"
}
timed "native" run native "$WORK/build-native/random_poses"
timed "no-fma (glibc tunables)" run no-fma env \
  GLIBC_TUNABLES=glibc.cpu.hwcaps=-AVX2_Usable,-FMA_Usable,-FMA4_Usable,-AVX2,-FMA \
  "$WORK/build-native/random_poses"
timed "aarch64 (qemu)" run aarch64 qemu-aarch64 -L /usr/aarch64-linux-gnu \
  "$WORK/build-aarch64/random_poses"
timed "mingw64 (wine)" run mingw64 wine "$WORK/build-mingw64/random_poses.exe"
timed "mingw32 (wine)" run mingw32 wine "$WORK/build-mingw32/random_poses.exe"
timed "python: quorbel_torso" run python-arrays \
  "$PYTHON" tests/cross_platform/random_poses.py print arrays
timed "python: quorbel_torso_kinematics" run python-module \
  "$PYTHON" tests/cross_platform/random_poses.py print module

step "comparing with the native output ($(wc -l < "$WORK/native.txt") lines)"
differing=()
for name in no-fma aarch64 mingw64 mingw32 python-arrays python-module; do
  if [ "$name" != python-module ] && cmp -s "$WORK/native.txt" "$WORK/$name.txt"; then
    echo "$name: byte-identical"
    continue
  fi
  # The per-call module offers a subset of the operations: compared by line.
  if "$PYTHON" tests/cross_platform/random_poses.py compare "$WORK/native.txt" "$WORK/$name.txt" \
      > "$WORK/compare-$name.txt"; then
    echo "$name: $(tail -n 1 "$WORK/compare-$name.txt")"
  else
    echo "$name: DIFFERS"
    sed 's/^/  /' "$WORK/compare-$name.txt"
    differing+=("$name")
  fi
done
echo "whole check: $(( $(date +%s) - started )) s"
[ ${#differing[@]} -eq 0 ] || fail "results differ from the native build's: ${differing[*]}"
echo "all builds print the same doubles as the Python packages"
