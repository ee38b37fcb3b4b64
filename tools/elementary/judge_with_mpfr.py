"""Judges the disagreements compare_with_oracle lists: for each, MPFR's
correctly rounded result says who is right.

    python tools/elementary/judge_with_mpfr.py misses.txt [--quiet]

Each line is "function arguments : subject oracle", every number in C99
hexadecimal. MPFR (through gmpy2) evaluates the function in IEEE binary64's
own context, gmpy2.ieee(64): 53 bits, the double exponent range and
subnormals, rounding to nearest once, so its result is the correctly
rounded double with no double rounding. The value at 300 bits is shown too,
in units in the last place of the correct result, to say how hard the
argument is. NaN equals NaN. Prints a verdict per line (only the subject's
errors with --quiet) and the counts; exits 1 if the subject is wrong
anywhere.
"""

import math
import sys
from collections import Counter

import gmpy2
from gmpy2 import mpfr

FUNCTIONS = {
    "sin": gmpy2.sin, "cos": gmpy2.cos, "asin": gmpy2.asin, "acos": gmpy2.acos,
    "atan2": gmpy2.atan2,
}


def correctly_rounded(function, arguments):
    with gmpy2.context(gmpy2.ieee(64)):
        return float(FUNCTIONS[function](*(mpfr(a) for a in arguments)))


def ulps_from(function, arguments, result):
    """The exact value (to 300 bits) minus result, in ulps of result."""
    if not math.isfinite(result):
        return math.nan
    with gmpy2.context(precision=300, emin=-100000, emax=100000):
        exact = FUNCTIONS[function](*(mpfr(a) for a in arguments))
        ulp = math.ulp(result) if result != 0.0 else math.ulp(0.0)
        return float((exact - mpfr(result)) / mpfr(ulp))


def same(a, b):
    if math.isnan(a) and math.isnan(b):
        return True
    return a == b and math.copysign(1.0, a) == math.copysign(1.0, b)


def judge(line):
    head, _, results = line.partition(" : ")
    words = head.split()
    function, arguments = words[0], [float.fromhex(w) for w in words[1:]]
    subject, oracle = (float.fromhex(w) for w in results.split())
    truth = correctly_rounded(function, arguments)
    if same(subject, truth):
        verdict = "subject"
    elif same(oracle, truth):
        verdict = "oracle"
    else:
        verdict = "neither"
    distance = ulps_from(function, arguments, truth)
    return verdict, (f"{line}  mpfr {truth.hex()} (exact - mpfr = {distance:+.6f} ulp): "
                     f"{verdict} right")


def main(argv):
    if len(argv) not in (2, 3) or (len(argv) == 3 and argv[2] != "--quiet"):
        print(__doc__, file=sys.stderr)
        return 2
    quiet = len(argv) == 3
    verdicts = Counter()
    with open(argv[1], encoding="ascii") as file:
        for line in file:
            line = line.strip()
            if not line:
                continue
            verdict, text = judge(line)
            verdicts[verdict] += 1
            if not quiet or verdict != "subject":
                print(text)
    print(f"{sum(verdicts.values())} disagreements: subject right {verdicts['subject']}, "
          f"oracle right {verdicts['oracle']}, neither {verdicts['neither']}")
    return 1 if verdicts["oracle"] or verdicts["neither"] else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
