// Brent's minimisation (src/arm/brent_minimum.hpp), which refines the limit
// lines: it finds the minimum of smooth functions, of one that falls
// linearly to the bracket's end (a limit line next to the closing limit, in
// w), and of one infinite over part of the bracket (where a loop does not
// close), each within its tolerance and in far fewer evaluations than golden
// section would take for the same bracket (38 steps of 0.618 for 1e-8).
#include <cmath>

#include "arm/brent_minimum.hpp"
#include "check.hpp"

namespace {

struct Case {
    const char* name;
    double (*f)(double);
    double lo;
    double hi;
    double at;  // where the least value lies
};

const Case CASES[] = {
    {"parabola", [](double x) { return (x - 0.3) * (x - 0.3); }, 0.0, 1.0, 0.3},
    {"cosine", [](double x) { return std::cos(x); }, 2.0, 4.0, 3.141592653589793},
    {"falls to the lower end", [](double x) { return 0.5 + 2.0 * x; }, 0.0, 1.0, 0.0},
    {"falls to the upper end", [](double x) { return 1.0 - x * x; }, 0.0, 1.0, 1.0},
    {"infinite below 0.5", [](double x) { return x < 0.5 ? INFINITY : (x - 0.7) * (x - 0.7); },
     0.0, 1.0, 0.7},
    {"skewed", [](double x) { return std::exp(x) - 3.0 * x; }, -1.0, 3.0, std::log(3.0)},
};

}  // namespace

void brent_minimum_tests() {
    for (const Case& c : CASES) {
        int evaluations = 0;
        const auto counted = [&](double x) {
            ++evaluations;
            return c.f(x);
        };
        const auto [x, fx] = quorbel::detail::brent_minimum(counted, c.lo, c.hi, 1.5e-8, 1.5e-8, 60);
        CHECK_NEAR(x, c.at, 1e-7 * (c.hi - c.lo));
        CHECK(fx == c.f(x));
        CHECK(evaluations < 38);
    }
}
