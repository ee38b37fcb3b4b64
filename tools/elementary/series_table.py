"""The Taylor tables that table_series.hpp sums (asin_tables.py and
atan_series_tables.py): one row a point c = j / 2^step_bits, a_0 and a_1 as
hi + mid, a_2 ... a_degree rounded to nearest, and the bounds of its error
analysis, relative to the function on each interval, over all the rows."""
import math

import gmpy2
from gmpy2 import mpfr

from table_writer import hexd, split_nearest

EXTRA_TERMS = 12             # terms summed beyond the degree for the truncation bound


def rounding_weighted(a, h, degree):
    """sum_k w_k |a_k h^k| for k = 2 ... degree: the roundings that the tail
    h^2 q(h) of table_series.hpp puts on each term, in units of u (w_2 = 5.5,
    w_3 = 6.5, and 12 bounds those of the terms beyond)."""
    weights = {2: 5.5, 3: 6.5}
    return sum(weights.get(k, 12) * abs(a[k]) * h ** k for k in range(2, degree + 1))


def log2_up(v):
    """log2(v) rounded up to one decimal, for printed bounds."""
    return f"{math.ceil(float(gmpy2.log2(v)) * 10) / 10:.1f}"


def series_rows(taylor, smallest, points, step_bits, degree):
    """The rows of hexadecimal coefficients and the worst bounds over them.

    taylor(c, n) gives a_0 ... a_n about c; smallest(j, c) what the bounds of
    the interval about c are relative to (the least |f| on it, or |h|'s bound
    where f(c) = 0). Returns (rows, (truncation, tail, weighted)): the terms
    beyond h^degree, the terms h^2 ... h^degree in absolute value, and those
    weighted by their roundings (rounding_weighted)."""
    h = mpfr(2) ** -(step_bits + 1)
    worst = [0, 0, 0]
    rows = []
    for j in range(points):
        c = mpfr(j) / (1 << step_bits)
        a = taylor(c, degree + EXTRA_TERMS)
        low = smallest(j, c)
        bounds = (sum(abs(a[k]) * h ** k for k in range(degree + 1, degree + EXTRA_TERMS)) / low,
                  sum(abs(a[k]) * h ** k for k in range(2, degree + 1)) / low,
                  rounding_weighted(a, h, degree) / low)
        worst = [max(w, b) for w, b in zip(worst, bounds)]
        a0 = split_nearest(a[0], 2)
        a1 = split_nearest(a[1], 2)
        rows.append([hexd(a0[0]), hexd(a0[1]), hexd(a1[0]), hexd(a1[1])] +
                    [hexd(float(a[k])) for k in range(2, degree + 1)])
    return rows, worst


def series_lines(name, rows, step_bits, degree):
    """The table's C++ lines: one row a point, three coefficients a line."""
    out = ["// One row a point: a_0 hi, a_0 mid, a_1 hi, a_1 mid, a_2, ..., a_%d." % degree,
           f"inline constexpr double {name}[{len(rows)}][{degree + 3}] = {{"]
    for j, r in enumerate(rows):
        out.append(f"    // c = {j} / {1 << step_bits}")
        out.append("    {" + ", ".join(r[:3]) + ",")
        for k in range(3, len(r), 3):
            out.append("     " + ", ".join(r[k:k + 3]) + ("}," if k + 3 >= len(r) else ","))
    out.append("};")
    return out
