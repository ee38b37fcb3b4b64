#!/usr/bin/env bash
# LLVM libc's correctly rounded sin, cos, asin, acos and atan2 as an archive
# that links beside glibc: their objects taken out of libllvmlibc.a (Debian's
# libllvmlibc-22-dev) and their C symbols renamed llvmlibc_sin and so on.
# The objects need nothing from LLVM's libc but what glibc also has
# (__errno_location, __stack_chk_fail); their C++ symbols are in LLVM's own
# namespace. Only the comparison tool and the benchmark link it, never the
# core, the modules or anything installed.
#
#   tools/elementary/make_llvmlibc_oracle.sh OUTPUT.a [libllvmlibc.a]
set -euo pipefail
output=$1
archive=${2:-$(ls /usr/lib/llvm-*/lib/libllvmlibc.a 2>/dev/null | sort -V | tail -n 1)}
[ -f "$archive" ] || { echo "no libllvmlibc.a (apt-get install libllvmlibc-22-dev)" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
objects=()
for name in sin cos asin acos atan2; do
  (cd "$work" && ar x "$archive" "$name.cpp.o")
  objcopy --redefine-sym "$name=llvmlibc_$name" "$work/$name.cpp.o"
  nm "$work/$name.cpp.o" | grep -q " T llvmlibc_$name\$" ||
    { echo "$archive: $name.cpp.o does not define $name" >&2; exit 1; }
  objects+=("$work/$name.cpp.o")
done
rm -f "$output"
ar rcs "$output" "${objects[@]}"
