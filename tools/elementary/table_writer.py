"""What the table scripts of this folder share: doubles written in hexadecimal,
a value split into doubles, the frame of a generated header, and the command
line that prints a table or checks the committed copy against it."""
import pathlib
import sys

REPOSITORY = pathlib.Path(__file__).resolve().parents[2]


def hexd(d):
    """d in hexadecimal, with zero written 0x0p+0."""
    return float(d).hex().replace("0x0.0p+0", "0x0p+0")


def split_nearest(v, parts):
    """v (an exact Fraction or an MPFR number) as a sum of `parts` doubles,
    each the rounding to nearest of what is left; what is left is formed in
    v's own type, so the subtraction is exact (Fraction) or within MPFR's
    precision."""
    out = []
    for _ in range(parts):
        d = float(v)           # correctly rounded for both types
        out.append(d)
        v = v - type(v)(d)
    return out


def detail_header(comments, body, includes=()):
    """The text of a header in quorbel::elementary::detail: the comment lines
    first, then the includes, then the body's lines."""
    out = list(comments) + ["#pragma once", ""]
    for name in includes:
        out += [f"#include <{name}>", ""]
    out += ["namespace quorbel::elementary::detail {", ""]
    out += list(body)
    out += ["", "}  // namespace quorbel::elementary::detail"]
    return "\n".join(out) + "\n"


def main(argv, generate, committed, usage):
    """`script` prints generate()'s text; `script --check [FILE]` compares it
    with FILE (by default the committed file, `committed` relative to the
    repository) and exits 1 where they differ."""
    if len(argv) == 1:
        sys.stdout.write(generate())
        return 0
    if argv[1] != "--check" or len(argv) > 3:
        print(usage, file=sys.stderr)
        return 2
    path = pathlib.Path(argv[2]) if len(argv) == 3 else REPOSITORY / committed
    if path.read_text(encoding="utf-8") != generate():
        print(f"{path} differs from the output of {argv[0]}", file=sys.stderr)
        return 1
    print(f"{path.name} matches")
    return 0
