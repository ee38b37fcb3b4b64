// qtk_elementary_speed: nanoseconds per call of the library's elementary
// functions beside glibc's and LLVM libc's correctly rounded ones, for
// arguments in the kinematics' ranges and over all binades.
//
//   qtk_elementary_speed [--rounds R]      Markdown tables of medians:
//                                          throughput, then latency
//
// Each cell: 4096 seeded arguments (a cache-resident array), the function
// called on each in turn and the results summed so that no call can be
// dropped, repeated until about 2 ms of the thread's CPU time has passed;
// the median over R rounds (default 15) of the time per call. Rounds of all
// implementations are interleaved, so that a busy machine slows all alike.
// The first table lets independent calls overlap in the CPU (throughput, as
// a loop over poses sees it); the second chains each call to the previous
// result (latency, as one pose's dependent steps see it). A measurement, not
// a test.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include <quorbel/maths/elementary.hpp>
#include "llvmlibc_oracle.hpp"

namespace {

struct Random {
    std::uint64_t state;

    std::uint64_t next() {
        std::uint64_t z = (state += 0x9e3779b97f4a7c15u);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
        return z ^ (z >> 31);
    }
    // Uniform on [-bound, bound).
    double uniform(double bound) {
        return (static_cast<double>(static_cast<std::int64_t>(next() >> 11) - (std::int64_t{1} << 52)) *
                0x1p-52) * bound;
    }
    // Random sign and mantissa, binary exponent uniform in [low, high].
    double binades(int low, int high) {
        double x;
        const std::uint64_t bits = 0x3ff0000000000000u | (next() >> 12);
        std::memcpy(&x, &bits, sizeof x);
        x = std::ldexp(x, low + static_cast<int>(next() % static_cast<std::uint64_t>(high - low + 1)));
        return (next() >> 63) ? -x : x;
    }
};

template <typename T>
void opaque(T& value) {
    asm volatile("" : : "r"(&value) : "memory");
}

double thread_seconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

constexpr std::size_t COUNT = 4096;

struct Arguments {
    std::vector<double> a;
    std::vector<double> b;  // atan2's x
};

double ours_sincos(double x) {
    const quorbel::elementary::SinCos sc = quorbel::elementary::sincos(x);
    return sc.sin + sc.cos;
}
double glibc_sincos(double x) { return std::sin(x) + std::cos(x); }
double llvmlibc_sincos(double x) { return llvmlibc_sin(x) + llvmlibc_cos(x); }

struct Row {
    std::string label;
    Arguments arguments;
    int function;  // 0 sin, 1 cos, 2 sin and cos of one argument, 3 asin, 4 acos, 5 atan2
};

// One timed pass: ns per call. The calls are direct to each
// implementation's function (a switch outside the loop), so that no
// implementation pays for an indirect call the others do not.
// Each call's argument is loaded from an index that depends on the previous
// result (through a mask the optimiser cannot see is zero) when `chained`:
// the calls then run one after another and the time is their latency;
// otherwise they are independent and may overlap (throughput).
bool chained = false;

std::uint64_t dependency(double result, std::uint64_t zero) {
    std::uint64_t bits;
    std::memcpy(&bits, &result, sizeof bits);
    return bits & zero;
}

template <typename F>
double time_unary(F f, const std::vector<double>& xs) {
    double sum = 0.0;
    std::uint64_t zero = 0;
    opaque(zero);
    std::size_t calls = 0;
    std::uint64_t link = 0;
    const double start = thread_seconds();
    double now = start;
    do {
        for (std::size_t i = 0; i < COUNT; ++i) {
            double x = xs[(i + link) & (COUNT - 1)];
            opaque(x);
            const double r = f(x);
            if (chained) {
                link = dependency(r, zero);
            }
            sum += r;
        }
        calls += COUNT;
        now = thread_seconds();
    } while (now - start < 2e-3);
    opaque(sum);
    return 1e9 * (now - start) / static_cast<double>(calls);
}

template <typename F>
double time_binary(F f, const std::vector<double>& ys, const std::vector<double>& xs) {
    double sum = 0.0;
    std::uint64_t zero = 0;
    opaque(zero);
    std::size_t calls = 0;
    std::uint64_t link = 0;
    const double start = thread_seconds();
    double now = start;
    do {
        for (std::size_t i = 0; i < COUNT; ++i) {
            const std::size_t k = (i + link) & (COUNT - 1);
            double y = ys[k], x = xs[k];
            opaque(y);
            opaque(x);
            const double r = f(y, x);
            if (chained) {
                link = dependency(r, zero);
            }
            sum += r;
        }
        calls += COUNT;
        now = thread_seconds();
    } while (now - start < 2e-3);
    opaque(sum);
    return 1e9 * (now - start) / static_cast<double>(calls);
}

// Implementation k (0 ours, 1 glibc, 2 LLVM libc) on a row.
double time_cell(int k, const Row& row) {
    const std::vector<double>& a = row.arguments.a;
    const std::vector<double>& b = row.arguments.b;
    switch (k * 10 + row.function) {
        case 0: return time_unary([](double x) { return quorbel::elementary::sin(x); }, a);
        case 1: return time_unary([](double x) { return quorbel::elementary::cos(x); }, a);
        case 2: return time_unary(ours_sincos, a);
        case 3: return time_unary([](double x) { return quorbel::elementary::asin(x); }, a);
        case 4: return time_unary([](double x) { return quorbel::elementary::acos(x); }, a);
        case 5:
            return time_binary([](double y, double x) { return quorbel::elementary::atan2(y, x); },
                               a, b);
        case 10: return time_unary([](double x) { return std::sin(x); }, a);
        case 11: return time_unary([](double x) { return std::cos(x); }, a);
        case 12: return time_unary(glibc_sincos, a);
        case 13: return time_unary([](double x) { return std::asin(x); }, a);
        case 14: return time_unary([](double x) { return std::acos(x); }, a);
        case 15: return time_binary([](double y, double x) { return std::atan2(y, x); }, a, b);
        case 20: return time_unary(llvmlibc_sin, a);
        case 21: return time_unary(llvmlibc_cos, a);
        case 22: return time_unary(llvmlibc_sincos, a);
        case 23: return time_unary(llvmlibc_asin, a);
        case 24: return time_unary(llvmlibc_acos, a);
        case 25: return time_binary(llvmlibc_atan2, a, b);
        default: return NAN;
    }
}

std::vector<Row> rows() {
    Random r{0x5eed};
    auto fill = [&](auto draw) {
        Arguments args;
        for (std::size_t i = 0; i < COUNT; ++i) {
            args.a.push_back(draw());
            args.b.push_back(draw());
        }
        return args;
    };
    const Arguments angles = fill([&] { return r.uniform(4.0); });
    const Arguments angle_binades = fill([&] { return r.binades(-1074 + 52, 1023); });
    const Arguments cosines = fill([&] { return r.uniform(1.0); });
    const Arguments cosine_binades = fill([&] { return r.binades(-26, -1); });
    const Arguments components = fill([&] { return r.uniform(1.0); });
    const Arguments component_binades = fill([&] { return r.binades(-1022, 1023); });
    return {
        {"sin, x in [-4, 4)", angles, 0},
        {"sin, all binades", angle_binades, 0},
        {"cos, x in [-4, 4)", angles, 1},
        {"cos, all binades", angle_binades, 1},
        {"sin and cos (ours: sincos), x in [-4, 4)", angles, 2},
        {"asin, x in [-1, 1)", cosines, 3},
        {"asin, binades 2^-26 to 1", cosine_binades, 3},
        {"acos, x in [-1, 1)", cosines, 4},
        {"acos, binades 2^-26 to 1", cosine_binades, 4},
        {"atan2, x, y in [-1, 1)", components, 5},
        {"atan2, all binades", component_binades, 5},
    };
}

}  // namespace

int main(int argc, char** argv) {
    int rounds = 15;
    if (argc == 3 && std::strcmp(argv[1], "--rounds") == 0) {
        rounds = std::max(1, std::atoi(argv[2]));
    } else if (argc != 1) {
        std::fprintf(stderr, "usage: qtk_elementary_speed [--rounds R]\n");
        return 2;
    }
    const std::vector<Row> table = rows();
    for (const bool latency : {false, true}) {
        chained = latency;
        std::printf("\n%s, ns per call (median of %d rounds)\n\n",
                    latency ? "Latency: each call waits for the previous result"
                            : "Throughput: independent calls", rounds);
        std::printf("| arguments | quorbel::elementary | glibc | LLVM libc |\n|---|---:|---:|---:|\n");
        for (const Row& row : table) {
            std::vector<double> samples[3];
            for (int round = 0; round < rounds; ++round) {
                for (int k = 0; k < 3; ++k) {
                    samples[k].push_back(time_cell(k, row));
                }
            }
            std::printf("| %s |", row.label.c_str());
            for (int k = 0; k < 3; ++k) {
                std::nth_element(samples[k].begin(), samples[k].begin() + rounds / 2,
                                 samples[k].end());
                std::printf(" %.1f |", samples[k][rounds / 2]);
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    return 0;
}
