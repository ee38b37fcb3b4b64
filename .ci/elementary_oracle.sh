#!/usr/bin/env bash
# The elementary functions against LLVM libc's correctly rounded ones, a
# bounded run of tools/elementary/compare_with_oracle (the long run and its
# result are in tools/elementary/ORACLE_RUN.md):
#
#   .ci/elementary_oracle.sh [PYTHON] [COUNT]
#
# COUNT arguments per function (default 10^7). PYTHON gets gmpy2 (by default
# a virtual environment is made here). First the generated table of hard
# arguments must be what its script writes, and the comparison and the
# judge must find glibc's misrounded results (else they check nothing); then any
# disagreement of ours fails, unless MPFR finds ours right and the oracle
# wrong, which is printed.
set -euo pipefail
cd "$(dirname "$0")/.."
PYTHON=${1:-}
COUNT=${2:-1e7}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
fail() { printf 'elementary_oracle: %s\n' "$*" >&2; exit 1; }

if ! ls /usr/lib/llvm-*/lib/libllvmlibc.a >/dev/null 2>&1; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq libllvmlibc-22-dev >/dev/null
fi
if [ -z "$PYTHON" ]; then
  python3 -m venv "$WORK/venv"
  PYTHON=$WORK/venv/bin/python
fi
"$PYTHON" -c 'import gmpy2' 2>/dev/null || "$PYTHON" -m pip install -q gmpy2

"$PYTHON" tools/elementary/hard_arguments.py --check tools/elementary/hard_arguments.inc ||
  fail "tools/elementary/hard_arguments.inc differs from what hard_arguments.py writes"
cmake -S tools/elementary -B "$WORK/build" -G Ninja >/dev/null
cmake --build "$WORK/build" -j2 >/dev/null
tool=$WORK/build/compare_with_oracle

# The tool and the judge on glibc, which misrounds: both must see it.
if "$tool" --subject glibc --functions sin,asin --count 1e5 --show 0 \
    --list "$WORK/glibc.txt" >/dev/null; then
  fail "the comparison finds none of glibc's misrounded results: it compares nothing"
fi
if "$PYTHON" tools/elementary/judge_with_mpfr.py "$WORK/glibc.txt" --quiet >/dev/null; then
  fail "MPFR finds glibc right wherever it differs from LLVM libc: the judge judges nothing"
fi
status=0
"$tool" --count "$COUNT" --threads 2 --list "$WORK/disagreements.txt" || status=$?
case $status in
  0) ;;
  1) "$PYTHON" tools/elementary/judge_with_mpfr.py "$WORK/disagreements.txt" ||
       fail "the elementary functions disagree with the correctly rounded result"
     echo "every disagreement is the oracle's error" ;;
  *) fail "the comparison could not run" ;;
esac
