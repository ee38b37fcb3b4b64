#!/usr/bin/env python3
"""Writes src/maths/elementary/sin_cos_tables.hpp: the constants of sin and cos.

    python3 tools/elementary/sin_cos_tables.py > src/maths/elementary/sin_cos_tables.hpp
    python3 tools/elementary/sin_cos_tables.py --check src/maths/elementary/sin_cos_tables.hpp

Every value is computed with mpmath at 2000 bits, turned into an exact
fraction and rounded to doubles with Python's correctly rounded int / int
division, so the output is the same on every machine. --check exits non-zero
when the committed header differs from what this script writes.
"""
import sys
from fractions import Fraction
from math import factorial

import mpmath

mpmath.mp.prec = 2000

TABLE_STEP_BITS = 9          # table points a = i / 2^9
TABLE_ENTRIES = 403          # i = 0 .. 402 covers |r| <= pi/4 (1 + 2^-40)
TWO_OVER_PI_LIMBS = 48       # 1536 bits of 2/pi, enough for |x| up to DBL_MAX
TAYLOR_TERMS = 40            # 1/n! for n = 0 .. 39


def exact(v):
    """The mpmath number v as an exact fraction."""
    man, exp = v.man, v.exp
    return Fraction(man * 2**exp) if exp >= 0 else Fraction(man, 2**-exp)


def rn(fr):
    """fr rounded to the nearest double (Fraction.__float__ rounds correctly)."""
    return float(fr)


def split(fr, parts):
    """fr as a sum of `parts` doubles, each the rounding of what is left."""
    out = []
    for _ in range(parts):
        d = rn(fr)
        out.append(d)
        fr -= Fraction(d)
    return out


def round_bits(fr, bits):
    """fr rounded to `bits` significant bits."""
    e = 0
    a = abs(fr)
    while a >= 2:
        a /= 2
        e += 1
    while a < 1:
        a *= 2
        e -= 1
    scale = Fraction(2) ** (bits - 1 - e)
    return Fraction(round(fr * scale)) / scale


def hexf(d):
    return float.hex(d)


def generate():
    pi = exact(mpmath.pi)
    pio2 = pi / 2
    two_over_pi = 2 / pi
    out = []
    w = out.append
    w("// The constants of sin and cos: written by tools/elementary/sin_cos_tables.py,")
    w("// do not edit (the script's --check compares this file with its output).")
    w("#pragma once")
    w("")
    w("#include <cstdint>")
    w("")
    w("namespace quorbel::elementary::detail {")
    w("")
    w("// 2/pi rounded to a double, for the quadrant k = round(x 2/pi).")
    w(f"inline constexpr double SC_TWO_OVER_PI = {hexf(rn(two_over_pi))};")
    w("")
    # Cody-Waite parts: 33 + 33 + 33 + 53 bits.
    p1 = round_bits(pio2, 33)
    p2 = round_bits(pio2 - p1, 33)
    p3 = round_bits(pio2 - p1 - p2, 33)
    p4 = round_bits(pio2 - p1 - p2 - p3, 53)
    for p in (p1, p2, p3, p4):
        assert Fraction(rn(p)) == p
    assert abs(p4) < Fraction(1, 2**99)
    tail = abs(pio2 - p1 - p2 - p3 - p4)
    assert tail < Fraction(1, 2**152), float(tail)
    w("// pi/2 = P1 + P2 + P3 + P4 + e: P1, P2 and P3 have 33 significant bits, so")
    w("// k P1, k P2 and k P3 are exact for |k| < 2^20; P4 has 53, |P4| < 2^-99;")
    w("// |e| < 2^-152.")
    w("inline constexpr double SC_PIO2_CW[4] = {")
    for p in (p1, p2, p3, p4):
        w(f"    {hexf(rn(p))},")
    w("};")
    w("")
    hi, mid, lo = split(pio2, 3)
    w("// pi/2 as a triple-double, relative error below 2^-160.")
    w(f"inline constexpr double SC_PIO2_TD[3] = {{{hexf(hi)}, {hexf(mid)}, {hexf(lo)}}};")
    w("")
    n = int(mpmath.floor(mpmath.mpf(2) / mpmath.pi * mpmath.mpf(2) ** (32 * TWO_OVER_PI_LIMBS)))
    w(f"// The first {32 * TWO_OVER_PI_LIMBS} bits of 2/pi after the binary point, 32 to a limb, most")
    w("// significant first: 2/pi = sum of SC_TWO_OVER_PI_BITS[j] 2^(-32 (j + 1)).")
    w(f"inline constexpr std::uint32_t SC_TWO_OVER_PI_BITS[{TWO_OVER_PI_LIMBS}] = {{")
    limbs = [(n >> (32 * (TWO_OVER_PI_LIMBS - 1 - j))) & 0xFFFFFFFF for j in range(TWO_OVER_PI_LIMBS)]
    for j in range(0, TWO_OVER_PI_LIMBS, 6):
        w("    " + " ".join(f"0x{v:08x}u," for v in limbs[j:j + 6]))
    w("};")
    w("")
    w(f"// sin a and cos a at a = i / 2^{TABLE_STEP_BITS}, i = 0 .. {TABLE_ENTRIES - 1}, each a double-double")
    w("// rounded to nearest (relative error below 2^-106): {sin hi, sin lo, cos hi, cos lo}.")
    w(f"inline constexpr double SC_TABLE[{TABLE_ENTRIES}][4] = {{")
    for i in range(TABLE_ENTRIES):
        a = mpmath.mpf(i) / 2**TABLE_STEP_BITS
        s = split(exact(mpmath.sin(a)), 2)
        c = split(exact(mpmath.cos(a)), 2)
        w(f"    {{{hexf(s[0])}, {hexf(s[1])}, {hexf(c[0])}, {hexf(c[1])}}},")
    w("};")
    w("")
    w("// The fast path's polynomials, Taylor coefficients rounded to double:")
    w("// cos h - 1 = h^2 (C2 + h^2 (C4 + h^2 C6)) and sin h / h - 1 = h^2 (S3 + h^2 (S5 + h^2 S7)).")
    for name, fr in (("C2", Fraction(-1, 2)), ("C4", Fraction(1, 24)), ("C6", Fraction(-1, 720)),
                     ("S3", Fraction(-1, 6)), ("S5", Fraction(1, 120)), ("S7", Fraction(-1, 5040))):
        w(f"inline constexpr double SC_{name} = {hexf(rn(fr))};")
    w("")
    w(f"// 1/n! for n = 0 .. {TAYLOR_TERMS - 1} as triple-doubles, the accurate path's series.")
    w(f"inline constexpr double SC_INVERSE_FACTORIAL[{TAYLOR_TERMS}][3] = {{")
    for k in range(TAYLOR_TERMS):
        t = split(Fraction(1, factorial(k)), 3)
        w(f"    {{{hexf(t[0])}, {hexf(t[1])}, {hexf(t[2])}}},")
    w("};")
    w("")
    w("}  // namespace quorbel::elementary::detail")
    return "\n".join(out) + "\n"


def main(argv):
    text = generate()
    if len(argv) == 3 and argv[1] == "--check":
        with open(argv[2], encoding="utf-8") as f:
            if f.read() != text:
                print(f"{argv[2]} differs from the output of {argv[0]}", file=sys.stderr)
                return 1
        return 0
    sys.stdout.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
