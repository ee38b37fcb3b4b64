// The correctly rounded sin, cos and sincos alone against the C library's:
// ns per call, throughput (independent calls) and latency (each argument
// depending on the previous result), best of 7 rounds of 200000 arguments
// uniform on [-range, range].
//
//   g++ -O2 -std=c++17 -Iinclude bench/elementary_timing.cpp
//       build-core/libquorbel_core.a -o elementary_timing
//   ./elementary_timing [range]
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <vector>

#include <quorbel/maths/elementary.hpp>

namespace {

namespace el = quorbel::elementary;

double now_ns() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e9 + t.tv_nsec;
}

template <class F>
double throughput(const std::vector<double>& xs, F f) {
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        double sum = 0.0;
        const double t0 = now_ns();
        for (double x : xs) sum += f(x);
        const double t1 = now_ns();
        asm volatile("" : : "r"(&sum) : "memory");
        best = std::min(best, (t1 - t0) / static_cast<double>(xs.size()));
    }
    return best;
}

// y * 0.0 is not folded (NaN and infinities), so every call waits for the last.
template <class F>
double latency(const std::vector<double>& xs, F f) {
    double best = 1e30;
    for (int round = 0; round < 7; ++round) {
        double y = 0.0;
        const double t0 = now_ns();
        for (double x : xs) y = f(x + y * 0.0);
        const double t1 = now_ns();
        asm volatile("" : : "r"(&y) : "memory");
        best = std::min(best, (t1 - t0) / static_cast<double>(xs.size()));
    }
    return best;
}

template <class Libc, class Ours>
void row(const char* name, const std::vector<double>& xs, Libc libc, Ours ours) {
    std::printf("%-7s %8.2f %8.2f   %8.2f %8.2f\n", name, throughput(xs, libc), throughput(xs, ours),
                latency(xs, libc), latency(xs, ours));
}

}  // namespace

int main(int argc, char** argv) {
    const double range = argc > 1 ? std::atof(argv[1]) : 3.0;
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> uniform(-range, range);
    std::vector<double> xs(200000);
    for (double& x : xs) x = uniform(rng);
    std::printf("|x| <= %g    throughput ns: libc    ours    latency ns: libc    ours\n", range);
    row("sin", xs, [](double x) { return std::sin(x); }, [](double x) { return el::sin(x); });
    row("cos", xs, [](double x) { return std::cos(x); }, [](double x) { return el::cos(x); });
    row("sincos", xs,
        [](double x) {
            double s, c;
            sincos(x, &s, &c);
            return s + c;
        },
        [](double x) {
            const el::SinCos r = el::sincos(x);
            return r.sin + r.cos;
        });
    return 0;
}
