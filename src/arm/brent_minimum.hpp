// Internal to the arm kinematics: Brent's minimisation of a function of one
// variable over a bracket, for the limit lines' refinement, where the
// function is smooth about its minimum and golden section alone would take
// three times as many evaluations for the same bracket.
#pragma once

#include <cmath>
#include <utility>

namespace quorbel::detail {

// The least f(x) over [lo, hi] by Brent's method: a parabola through the
// three best points so far where it lands well inside the bracket and
// shortens the step, a golden-section step otherwise. Stops when the
// bracket about the best point is within 2 (rel |x| + abs) of it, or after
// `max_evaluations`; returns the best point as (x, f(x)). An infinite or NaN
// value only ever fails the parabola's tests, which then takes the golden
// step, so f may be infinite where it is undefined.
template <typename F>
std::pair<double, double> brent_minimum(F&& f, double lo, double hi, double rel, double abs,
                                        int max_evaluations) noexcept {
    const double golden = 0.5 * (3.0 - std::sqrt(5.0));
    double x = lo + golden * (hi - lo);  // the best point so far
    double w = x;                        // the second best
    double v = x;                        // the previous w
    double fx = f(x);
    double fw = fx;
    double fv = fx;
    double step = 0.0;       // the last step taken
    double step_before = 0.0;  // the one before it
    for (int evaluation = 1; evaluation < max_evaluations; ++evaluation) {
        const double middle = 0.5 * (lo + hi);
        const double tol = rel * std::fabs(x) + abs;
        if (std::fabs(x - middle) <= 2.0 * tol - 0.5 * (hi - lo)) {
            break;
        }
        bool parabolic = false;
        if (std::fabs(step_before) > tol) {
            // The parabola's vertex through (x, fx), (w, fw), (v, fv), as
            // x + p / q.
            const double r = (x - w) * (fx - fv);
            double q = (x - v) * (fx - fw);
            double p = (x - v) * q - (x - w) * r;
            q = 2.0 * (q - r);
            if (q > 0.0) {
                p = -p;
            } else {
                q = -q;
            }
            // Taken only when it lands inside the bracket and moves less
            // than half the step before last (so the steps shrink).
            if (std::fabs(p) < std::fabs(0.5 * q * step_before) && p > q * (lo - x) &&
                p < q * (hi - x)) {
                step_before = step;
                step = p / q;
                const double u = x + step;
                if (u - lo < 2.0 * tol || hi - u < 2.0 * tol) {
                    step = x < middle ? tol : -tol;
                }
                parabolic = true;
            }
        }
        if (!parabolic) {
            step_before = x < middle ? hi - x : lo - x;
            step = golden * step_before;
        }
        const double u = std::fabs(step) >= tol ? x + step : x + (step > 0.0 ? tol : -tol);
        const double fu = f(u);
        if (fu <= fx) {
            (u < x ? hi : lo) = x;
            v = w;
            fv = fw;
            w = x;
            fw = fx;
            x = u;
            fx = fu;
        } else {
            (u < x ? lo : hi) = u;
            if (fu <= fw || w == x) {
                v = w;
                fv = fw;
                w = u;
                fw = fu;
            } else if (fu <= fv || v == x || v == w) {
                v = u;
                fv = fu;
            }
        }
    }
    return {x, fx};
}

}  // namespace quorbel::detail
