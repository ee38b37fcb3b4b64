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

from table_writer import detail_header, main, split_nearest

mpmath.mp.prec = 2000

TABLE_ENTRIES = 1025         # sin(j pi/2048), j = 0 .. 1024: a quadrant
TWO_OVER_PI_LIMBS = 48       # 1536 bits of 2/pi, enough for |x| up to DBL_MAX
TAYLOR_TERMS = 40            # 1/n! for n = 0 .. 39


def exact(v):
    """The mpmath number v as an exact fraction."""
    man, exp = v.man, v.exp
    return Fraction(man * 2**exp) if exp >= 0 else Fraction(man, 2**-exp)


def rn(fr):
    """fr rounded to the nearest double (Fraction.__float__ rounds correctly)."""
    return float(fr)


def exponent(fr):
    """e with 2^e <= |fr| < 2^(e+1), fr non-zero."""
    e = 0
    a = abs(fr)
    while a >= 2:
        a /= 2
        e += 1
    while a < 1:
        a *= 2
        e -= 1
    return e


def round_bits(fr, bits):
    """fr rounded to `bits` significant bits."""
    scale = Fraction(2) ** (bits - 1 - exponent(fr))
    return Fraction(round(fr * scale)) / scale


def truncate_bits(fr, bits):
    """fr > 0 truncated to `bits` significant bits."""
    r = round_bits(fr, bits)
    if r > fr:
        r -= Fraction(2) ** (exponent(fr) - bits + 1)
    return r


def hexf(d):
    """d in hexadecimal as float.hex writes it (zero as 0x0.0p+0, unlike
    table_writer.hexd: this header has always been written so)."""
    return float.hex(d)


def generate():
    pi = exact(mpmath.pi)
    pio2 = pi / 2
    out = []
    w = out.append
    step = pi / 2048
    w("// 2048/pi rounded to a double, for N = round(x 2048/pi).")
    w(f"inline constexpr double SC_2048_OVER_PI = {hexf(rn(1 / step))};")
    w("")
    # Cody-Waite parts of pi/2048: 27 + 27 + 27 + 53 bits, the first truncated
    # (P1 <= pi/2048 keeps x - N P1 exact for N = 1, see range_reduction.hpp).
    p1 = truncate_bits(step, 27)
    p2 = round_bits(step - p1, 27)
    p3 = round_bits(step - p1 - p2, 27)
    p4 = round_bits(step - p1 - p2 - p3, 53)
    for p in (p1, p2, p3, p4):
        assert Fraction(rn(p)) == p
    assert p1 <= step * (1 - Fraction(1, 2**50))
    assert abs(p2) < Fraction(1, 2**39) and abs(p3) < Fraction(1, 2**67)
    assert abs(p4) < Fraction(1, 2**95)
    tail = abs(step - p1 - p2 - p3 - p4)
    assert tail < Fraction(1, 2**143), float(tail)
    w("// pi/2048 = P1 + P2 + P3 + P4 + e: P1, P2 and P3 have 27 significant bits, so")
    w("// N P1, N P2 and N P3 are exact for |N| < 2^26; P4 has 53; P1 <= (pi/2048)")
    w("// (1 - 2^-50), |P2| < 2^-39, |P3| < 2^-67, |P4| < 2^-95, |e| < 2^-143.")
    w("inline constexpr double SC_PIO2048_CW[4] = {")
    for p in (p1, p2, p3, p4):
        w(f"    {hexf(rn(p))},")
    w("};")
    w("")
    # The FMA reduction's parts: each the rounding of what is left, so C1 is
    # pi/2048 to nearest (its last bit 2^-62, see sin_cos_fused.hpp).
    c1, c2, c3 = (Fraction(d) for d in split_nearest(step, 3))
    assert Fraction(1, 2**10) <= c1 < Fraction(1, 2**9)
    assert abs(c2) < Fraction(1, 2**63) and abs(c3) < Fraction(1, 2**116)
    tail = abs(step - c1 - c2 - c3)
    assert tail < Fraction(1, 2**169), float(tail)
    w("// pi/2048 = C1 + C2 + C3 + e, each part the double nearest what is left, for")
    w("// the reduction with a fused multiply-add: 2^-10 <= C1 < 2^-9 (a multiple of")
    w("// 2^-62), |C2| < 2^-63, |C3| < 2^-116, |e| < 2^-169.")
    w("inline constexpr double SC_PIO2048_FMA[3] = {")
    for c in (c1, c2, c3):
        w(f"    {hexf(rn(c))},")
    w("};")
    w("")
    hi, mid, lo = split_nearest(pio2, 3)
    w("// pi/2 as a triple-double, relative error below 2^-160.")
    w("inline constexpr double SC_PIO2_TD[3] = {")
    w(f"    {hexf(hi)}, {hexf(mid)}, {hexf(lo)}}};")
    w("")
    n = int(mpmath.floor(mpmath.mpf(2) / mpmath.pi * mpmath.mpf(2) ** (32 * TWO_OVER_PI_LIMBS)))
    w(f"// The first {32 * TWO_OVER_PI_LIMBS} bits of 2/pi after the binary point, 32 to a limb,")
    w("// most significant first: 2/pi = sum of SC_TWO_OVER_PI_BITS[j] 2^(-32 (j + 1)).")
    w(f"inline constexpr std::uint32_t SC_TWO_OVER_PI_BITS[{TWO_OVER_PI_LIMBS}] = {{")
    limbs = [(n >> (32 * (TWO_OVER_PI_LIMBS - 1 - j))) & 0xFFFFFFFF
             for j in range(TWO_OVER_PI_LIMBS)]
    for j in range(0, TWO_OVER_PI_LIMBS, 6):
        w("    " + " ".join(f"0x{v:08x}u," for v in limbs[j:j + 6]))
    w("};")
    w("")
    w(f"// sin(j pi/2048) for j = 0 .. {TABLE_ENTRIES - 1}, each a double-double rounded to")
    w("// nearest (relative error below 2^-106); cos(j pi/2048) is entry 1024 - j.")
    w(f"inline constexpr double SC_SIN_TABLE[{TABLE_ENTRIES}][2] = {{")
    for j in range(TABLE_ENTRIES):
        v = split_nearest(exact(mpmath.sin(mpmath.mpf(j) * mpmath.pi / 2048)), 2)
        w(f"    {{{hexf(v[0])}, {hexf(v[1])}}},")
    w("};")
    w("")
    w("// The fast path's polynomials, Taylor coefficients rounded to double:")
    w("// cos h - 1 = h^2 (C2 + h^2 (C4 + h^2 C6)),")
    w("// sin h / h - 1 = h^2 (S3 + h^2 (S5 + h^2 S7)).")
    for name, fr in (("C2", Fraction(-1, 2)), ("C4", Fraction(1, 24)), ("C6", Fraction(-1, 720)),
                     ("S3", Fraction(-1, 6)), ("S5", Fraction(1, 120)), ("S7", Fraction(-1, 5040))):
        w(f"inline constexpr double SC_{name} = {hexf(rn(fr))};")
    w("")
    w(f"// 1/n! for n = 0 .. {TAYLOR_TERMS - 1} as triple-doubles, the accurate path's series.")
    w(f"inline constexpr double SC_INVERSE_FACTORIAL[{TAYLOR_TERMS}][3] = {{")
    for k in range(TAYLOR_TERMS):
        t = split_nearest(Fraction(1, factorial(k)), 3)
        w(f"    {{{hexf(t[0])}, {hexf(t[1])}, {hexf(t[2])}}},")
    w("};")
    return detail_header(
        ["// The constants of sin and cos: written by tools/elementary/sin_cos_tables.py,",
         "// do not edit (the script's --check compares this file with its output)."],
        out, includes=["cstdint"])


if __name__ == "__main__":
    sys.exit(main(sys.argv, generate, "src/maths/elementary/sin_cos_tables.hpp", __doc__))
