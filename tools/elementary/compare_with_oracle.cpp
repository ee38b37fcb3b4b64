// Compares the library's elementary functions with LLVM libc's correctly
// rounded ones, bit for bit, over seeded random and structured arguments.
//
//   cmake -S tools/elementary -B build-oracle -G Ninja && cmake --build build-oracle
//   build-oracle/compare_with_oracle --count 10000000 --threads 2
//   build-oracle/compare_with_oracle --subject glibc --count 1000000 --list misses.txt
//   python tools/elementary/judge_with_mpfr.py misses.txt
//
// Options: --count N arguments per function (default 10^6); --threads T
// (default 2); --seed S (default 1); --functions sin,cos,sincos,asin,acos,atan2
// (the default: all; sincos checks both of its results); --subject quorbel
// (default) or glibc, whose results are known not to be correctly rounded
// everywhere, which shows that the comparison finds misrounded results;
// --show K disagreements printed per function (default 8); --list FILE
// writes every disagreement as "function arguments : subject oracle", %a
// each, for judge_with_mpfr.py. Exit status 1 on any disagreement.
//
// Argument i of a function is drawn from its own splitmix64 stream, seeded
// from (seed, function, i), so a run gives the same arguments whatever the
// number of threads, and --count N's arguments are the first N of any
// larger run's. The kinds, by i modulo 16: half uniform over every binade
// (random sign, biased exponent uniform over 0..2046 so that subnormals are
// as likely as any binade, random 52-bit mantissa); the rest structured, per
// function (see the draw_* functions). The first arguments of each function
// are its special values (for atan2, every pair of them).
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <quorbel/maths/elementary.hpp>
#include "llvmlibc_oracle.hpp"

namespace {

// --- seeded arguments --------------------------------------------------------

std::uint64_t mix(std::uint64_t z) {
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9u;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebu;
    return z ^ (z >> 31);
}

struct Random {
    std::uint64_t state;

    std::uint64_t next() { return mix(state += 0x9e3779b97f4a7c15u); }
    // Uniform integer in [0, n), n small: the bias of a 64-bit modulus is
    // below 2^-40 and does not matter for test arguments.
    std::uint64_t below(std::uint64_t n) { return next() % n; }
    bool coin() { return (next() >> 63) != 0; }
    double sign(double x) { return coin() ? -x : x; }
};

double from_bits(std::uint64_t bits) {
    double x;
    std::memcpy(&x, &bits, sizeof x);
    return x;
}

std::uint64_t to_bits(double x) {
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// k units in the last place away from x (k may be negative), through the
// bits: monotonic within a sign.
double ulps_away(double x, std::int64_t k) {
    const std::uint64_t bits = to_bits(x);
    return from_bits(static_cast<std::uint64_t>(static_cast<std::int64_t>(bits) + k));
}

// Random sign, biased exponent uniform over 0..2046, random mantissa.
double any_binade(Random& r) {
    const std::uint64_t exponent = r.below(2047);
    const std::uint64_t mantissa = r.next() >> 12;
    return r.sign(from_bits(exponent << 52 | mantissa));
}

// Random 52-bit mantissa, exponent uniform in [low, high].
double in_binades(Random& r, int low, int high) {
    const std::uint64_t mantissa = r.next() >> 12;
    const int e = low + static_cast<int>(r.below(static_cast<std::uint64_t>(high - low + 1)));
    return std::ldexp(from_bits(0x3ff0000000000000u | mantissa), e);
}

double subnormal(Random& r) { return r.sign(from_bits(r.next() >> 12)); }

constexpr double HARD_ARGUMENTS[] = {
#include "hard_arguments.inc"
};
constexpr std::size_t HARD_COUNT = sizeof HARD_ARGUMENTS / sizeof HARD_ARGUMENTS[0];

const double INF = std::numeric_limits<double>::infinity();
const double NAN_ = std::numeric_limits<double>::quiet_NaN();
const double MAX = std::numeric_limits<double>::max();
const double MIN_NORMAL = std::numeric_limits<double>::min();
const double MIN_SUBNORMAL = std::numeric_limits<double>::denorm_min();

const std::vector<double> SPECIALS = {
    0.0, -0.0, INF, -INF, NAN_, -NAN_, 1.0, -1.0, 0.5, -0.5, 2.0, -2.0,
    MAX, -MAX, MIN_NORMAL, -MIN_NORMAL, MIN_SUBNORMAL, -MIN_SUBNORMAL,
    ulps_away(1.0, -1), ulps_away(-1.0, -1), ulps_away(1.0, 1), ulps_away(-1.0, 1),
    0x1.921fb54442d18p+0, -0x1.921fb54442d18p+0, 0x1.921fb54442d18p+1, 0x1p-1022 * 3.0,
};

// The double nearest k pi/2 (k pi/4 for quarter), within an ulp or so: pi/2
// as three doubles, k below 2^30 so that k times the first is exact.
double near_multiple(std::uint64_t k, bool quarter) {
    const double scale = quarter ? 0.5 : 1.0;
    const double hi = 0x1.921fb54442d18p+0 * scale;
    const double mid = 0x1.1a62633145c07p-54 * scale;
    const double kd = static_cast<double>(k);
    const double p = kd * hi;  // k < 2^30 and hi's 53 bits: rounded once
    // The error of p, from a Dekker product written out.
    const double c = 134217729.0 * kd, kh = c - (c - kd), kl = kd - kh;
    const double d = 134217729.0 * hi, hh = d - (d - hi), hl = hi - hh;
    const double e = ((kh * hh - p) + kh * hl + kl * hh) + kl * hl;
    return p + (e + kd * mid);
}

// sin and cos: near multiples of pi/2 and pi/4 (small k, large k, and the
// hardest double of each binade), typical kinematics angles, tiny and
// subnormal arguments, arguments near DBL_MAX.
double draw_trigonometric(Random& r, std::uint64_t kind) {
    switch (kind) {
        case 0: return r.sign(ulps_away(near_multiple(1 + r.below(64), r.coin()),
                                        static_cast<std::int64_t>(r.below(9)) - 4));
        case 1: return r.sign(ulps_away(near_multiple(1 + r.below(1u << 30), r.coin()),
                                        static_cast<std::int64_t>(r.below(5)) - 2));
        case 2: return r.sign(ulps_away(HARD_ARGUMENTS[r.below(HARD_COUNT)],
                                        static_cast<std::int64_t>(r.below(5)) - 2));
        case 3: return r.sign(in_binades(r, -4, 2));  // |x| in [2^-4, 8): joint angles
        case 4: return r.sign(in_binades(r, -30, -4));
        case 5: return r.coin() ? subnormal(r) : r.sign(in_binades(r, -1022, -27));
        case 6: return r.sign(ulps_away(MAX, -static_cast<std::int64_t>(r.below(1u << 20))));
        default: return r.sign(in_binades(r, 3, 60));
    }
}

// asin and acos: next to +-1 (1 - k 2^-53 for k up to 10^5), next to +-0.5
// on both sides, typical values, tiny and subnormal, out of [-1, 1].
double draw_inverse(Random& r, std::uint64_t kind) {
    switch (kind) {
        case 0: return r.sign(1.0 - static_cast<double>(1 + r.below(100000)) * 0x1p-53);
        case 1: return r.sign(1.0 - static_cast<double>(1 + r.below(1u << 30)) * 0x1p-53);
        case 2: return r.sign(ulps_away(0.5, static_cast<std::int64_t>(r.below(200001)) - 100000));
        case 3: return r.sign(in_binades(r, -8, -1));
        case 4: return r.sign(in_binades(r, -30, -8));
        case 5: return r.coin() ? subnormal(r) : r.sign(in_binades(r, -1022, -27));
        case 6: return r.sign(ulps_away(1.0, 1 + static_cast<std::int64_t>(r.below(1000))));
        default: return r.sign(in_binades(r, -1, -1));  // [0.5, 1)
    }
}

struct Pair {
    double y;
    double x;
};

// atan2: |y/x| tiny (where the result is y/x up to a cube far below half an
// ulp, or underflows), huge, near 1, exact powers of two in every quadrant,
// typical kinematics components, subnormal operands, zeros and infinities
// against finite values.
Pair draw_atan2(Random& r, std::uint64_t kind) {
    switch (kind) {
        case 0: {
            const double x = in_binades(r, -60, 60);
            return {r.sign(x * std::ldexp(1.0 + static_cast<double>(r.next() >> 12) * 0x1p-52,
                                          -static_cast<int>(20 + r.below(1100)))),
                    r.sign(x)};
        }
        case 1: {
            const double y = in_binades(r, -60, 60);
            return {r.sign(y), r.sign(y * std::ldexp(1.0 + static_cast<double>(r.next() >> 12) * 0x1p-52,
                                                     -static_cast<int>(20 + r.below(1100))))};
        }
        case 2: {
            const double x = in_binades(r, -1000, 1000);
            return {r.sign(ulps_away(x, static_cast<std::int64_t>(r.below(2001)) - 1000)), r.sign(x)};
        }
        case 3: return {r.sign(std::ldexp(1.0, static_cast<int>(r.below(2099)) - 1074)),
                        r.sign(std::ldexp(1.0, static_cast<int>(r.below(2099)) - 1074))};
        case 4: return {r.sign(in_binades(r, -30, 0)), r.sign(in_binades(r, -30, 0))};
        case 5: return {r.coin() ? subnormal(r) : any_binade(r), r.coin() ? subnormal(r) : any_binade(r)};
        case 6: {
            const double special = SPECIALS[r.below(6)];
            return r.coin() ? Pair{special, any_binade(r)} : Pair{any_binade(r), special};
        }
        default: {
            const double y = in_binades(r, -20, 20), x = in_binades(r, -20, 20);
            return {r.sign(y), r.sign(x)};
        }
    }
}

// --- the functions compared --------------------------------------------------

enum class Function { sin, cos, sincos, asin, acos, atan2 };
constexpr Function ALL[] = {Function::sin,  Function::cos,  Function::sincos,
                            Function::asin, Function::acos, Function::atan2};

const char* name(Function f) {
    switch (f) {
        case Function::sin: return "sin";
        case Function::cos: return "cos";
        case Function::sincos: return "sincos";
        case Function::asin: return "asin";
        case Function::acos: return "acos";
        case Function::atan2: return "atan2";
    }
    return "?";
}

bool unary(Function f) { return f != Function::atan2; }

// The arguments of number i: specials first, then by kind.
Pair arguments(Function f, std::uint64_t seed, std::uint64_t i) {
    if (unary(f) && i < SPECIALS.size()) {
        return {SPECIALS[i], 0.0};
    }
    if (!unary(f) && i < SPECIALS.size() * SPECIALS.size()) {
        return {SPECIALS[i / SPECIALS.size()], SPECIALS[i % SPECIALS.size()]};
    }
    Random r{mix(seed * 0x2545f4914f6cdd1du + static_cast<std::uint64_t>(f) * 0x9e3779b97f4a7c15u) ^
             mix(i)};
    const std::uint64_t kind = i % 16;
    if (kind >= 8) {
        return {any_binade(r), any_binade(r)};
    }
    switch (f) {
        case Function::sin:
        case Function::cos:
        case Function::sincos: return {draw_trigonometric(r, kind), 0.0};
        case Function::asin:
        case Function::acos: return {draw_inverse(r, kind), 0.0};
        case Function::atan2: return draw_atan2(r, kind);
    }
    return {0.0, 0.0};
}

struct Results {
    double first;
    double second;  // sincos's cos
};

// The subject under test: the library's functions, or glibc's.
bool use_glibc = false;

Results subject(Function f, Pair a) {
    if (!use_glibc) {
        namespace e = quorbel::elementary;
        switch (f) {
            case Function::sin: return {e::sin(a.y), 0.0};
            case Function::cos: return {e::cos(a.y), 0.0};
            case Function::sincos: {
                const e::SinCos sc = e::sincos(a.y);
                return {sc.sin, sc.cos};
            }
            case Function::asin: return {e::asin(a.y), 0.0};
            case Function::acos: return {e::acos(a.y), 0.0};
            case Function::atan2: return {e::atan2(a.y, a.x), 0.0};
        }
    }
    switch (f) {
        case Function::sin: return {std::sin(a.y), 0.0};
        case Function::cos: return {std::cos(a.y), 0.0};
        case Function::sincos: return {std::sin(a.y), std::cos(a.y)};
        case Function::asin: return {std::asin(a.y), 0.0};
        case Function::acos: return {std::acos(a.y), 0.0};
        case Function::atan2: return {std::atan2(a.y, a.x), 0.0};
    }
    return {0.0, 0.0};
}

Results oracle(Function f, Pair a) {
    switch (f) {
        case Function::sin: return {llvmlibc_sin(a.y), 0.0};
        case Function::cos: return {llvmlibc_cos(a.y), 0.0};
        case Function::sincos: return {llvmlibc_sin(a.y), llvmlibc_cos(a.y)};
        case Function::asin: return {llvmlibc_asin(a.y), 0.0};
        case Function::acos: return {llvmlibc_acos(a.y), 0.0};
        case Function::atan2: return {llvmlibc_atan2(a.y, a.x), 0.0};
    }
    return {0.0, 0.0};
}

// The same result: the same bits, or both NaN (a NaN's sign and payload
// are not specified).
bool same(double a, double b) { return to_bits(a) == to_bits(b) || (a != a && b != b); }

// LLVM libc 22's atan2 returns +0 where a negative y over a positive x
// underflows: the exact atan(y/x) is negative, and a result rounded to zero
// keeps the exact value's sign, so -0 is right (MPFR agrees). Such a case is
// counted apart, not as a disagreement, when the subject has the right
// sign: that needs no oracle.
bool oracle_zero_of_wrong_sign(Function f, Pair a, double s, double o) {
    return f == Function::atan2 && s == 0.0 && o == 0.0 && a.x > 0.0 && a.x <= MAX &&
           a.y != 0.0 && std::fabs(a.y) <= MAX && std::signbit(s) == std::signbit(a.y) &&
           std::signbit(o) != std::signbit(a.y);
}

struct Disagreement {
    std::uint64_t index;
    const char* which;  // the function whose result differs (sincos: "sin" or "cos")
    Pair arguments;
    double subject;
    double oracle;
};

struct Tally {
    std::uint64_t count = 0;
    std::uint64_t oracle_faults = 0;  // oracle_zero_of_wrong_sign
    std::vector<Disagreement> kept;  // the first ones by index, at most `keep`
};

void check_range(Function f, std::uint64_t seed, std::uint64_t begin, std::uint64_t end,
                 std::size_t keep, Tally& tally) {
    for (std::uint64_t i = begin; i < end; ++i) {
        const Pair a = arguments(f, seed, i);
        const Results s = subject(f, a);
        const Results o = oracle(f, a);
        const bool first_same = same(s.first, o.first);
        const bool second_same = same(s.second, o.second);
        if (first_same && second_same) {
            continue;
        }
        if (oracle_zero_of_wrong_sign(f, a, s.first, o.first)) {
            ++tally.oracle_faults;
            continue;
        }
        const bool cos_part = f == Function::sincos && first_same;
        ++tally.count;
        if (tally.kept.size() < keep) {
            const char* which = f == Function::sincos ? (cos_part ? "cos" : "sin") : name(f);
            tally.kept.push_back({i, which, a, cos_part ? s.second : s.first,
                                  cos_part ? o.second : o.first});
        }
    }
}

void print_disagreement(std::FILE* out, const Disagreement& d, const char* prefix) {
    if (std::strcmp(d.which, "atan2") == 0) {
        std::fprintf(out, "%satan2 %a %a : %a %a\n", prefix, d.arguments.y, d.arguments.x,
                     d.subject, d.oracle);
    } else {
        std::fprintf(out, "%s%s %a : %a %a\n", prefix, d.which, d.arguments.y, d.subject,
                     d.oracle);
    }
}

struct Options {
    std::uint64_t count = 1000000;
    unsigned threads = 2;
    std::uint64_t seed = 1;
    std::size_t show = 8;
    std::vector<Function> functions{std::begin(ALL), std::end(ALL)};
    const char* list = nullptr;
};

[[noreturn]] void usage() {
    std::fprintf(stderr,
                 "usage: compare_with_oracle [--count N] [--threads T] [--seed S] [--show K]\n"
                 "       [--functions sin,cos,sincos,asin,acos,atan2] [--subject quorbel|glibc]\n"
                 "       [--list FILE]\n");
    std::exit(2);
}

std::uint64_t number(const char* text) {
    char* end = nullptr;
    const double value = std::strtod(text, &end);  // accepts 1e9
    if (end == text || *end != '\0' || !(value >= 0.0) || value > 0x1p63) {
        usage();
    }
    return static_cast<std::uint64_t>(value);
}

Options parse(int argc, char** argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (i + 1 >= argc) {
            usage();
        }
        const char* value = argv[++i];
        if (option == "--count") {
            o.count = number(value);
        } else if (option == "--threads") {
            o.threads = static_cast<unsigned>(std::max<std::uint64_t>(1, number(value)));
        } else if (option == "--seed") {
            o.seed = number(value);
        } else if (option == "--show") {
            o.show = static_cast<std::size_t>(number(value));
        } else if (option == "--list") {
            o.list = value;
        } else if (option == "--subject") {
            if (std::strcmp(value, "glibc") == 0) {
                use_glibc = true;
            } else if (std::strcmp(value, "quorbel") != 0) {
                usage();
            }
        } else if (option == "--functions") {
            o.functions.clear();
            std::string rest = value;
            while (!rest.empty()) {
                const std::size_t comma = rest.find(',');
                const std::string item = rest.substr(0, comma);
                rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
                const Function* f = std::find_if(std::begin(ALL), std::end(ALL),
                                                 [&](Function g) { return item == name(g); });
                if (f == std::end(ALL)) {
                    usage();
                }
                o.functions.push_back(*f);
            }
        } else {
            usage();
        }
    }
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const Options options = parse(argc, argv);
    std::FILE* list = nullptr;
    if (options.list != nullptr && (list = std::fopen(options.list, "w")) == nullptr) {
        std::perror(options.list);
        return 2;
    }
    // The list gets every disagreement up to a million per function.
    const std::size_t keep = list != nullptr ? std::max<std::size_t>(options.show, 1000000)
                                             : options.show;
    std::printf("subject %s, oracle LLVM libc, seed %" PRIu64 ", %u threads\n",
                use_glibc ? "glibc" : "quorbel::elementary", options.seed, options.threads);
    std::uint64_t total = 0;
    for (Function f : options.functions) {
        const auto started = std::chrono::steady_clock::now();
        std::vector<Tally> tallies(options.threads);
        std::vector<std::thread> threads;
        // Blocks of 2^16 arguments handed out in turn, so that the threads
        // finish together whatever the kinds cost.
        std::atomic<std::uint64_t> next_block{0};
        constexpr std::uint64_t BLOCK = 1 << 16;
        for (unsigned t = 0; t < options.threads; ++t) {
            threads.emplace_back([&, t] {
                for (;;) {
                    const std::uint64_t begin = next_block.fetch_add(1) * BLOCK;
                    if (begin >= options.count) {
                        return;
                    }
                    check_range(f, options.seed, begin, std::min(options.count, begin + BLOCK),
                                keep, tallies[t]);
                }
            });
        }
        for (std::thread& thread : threads) {
            thread.join();
        }
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
        std::uint64_t count = 0;
        std::uint64_t oracle_faults = 0;
        std::vector<Disagreement> kept;
        for (const Tally& tally : tallies) {
            count += tally.count;
            oracle_faults += tally.oracle_faults;
            kept.insert(kept.end(), tally.kept.begin(), tally.kept.end());
        }
        std::sort(kept.begin(), kept.end(),
                  [](const Disagreement& a, const Disagreement& b) { return a.index < b.index; });
        std::printf("%-7s %12" PRIu64 " arguments %9.2f s %10" PRIu64 " disagreements (%.4g %%)\n",
                    name(f), options.count, seconds, count,
                    options.count ? 100.0 * static_cast<double>(count) / static_cast<double>(options.count) : 0.0);
        if (oracle_faults != 0) {
            std::printf("        %" PRIu64 " more where the oracle's zero has the wrong sign"
                        " and the subject's the right one\n", oracle_faults);
        }
        for (std::size_t k = 0; k < kept.size() && k < options.show; ++k) {
            print_disagreement(stdout, kept[k], "    ");
        }
        if (list != nullptr) {
            for (const Disagreement& d : kept) {
                print_disagreement(list, d, "");
            }
        }
        total += count;
        std::fflush(stdout);
    }
    if (list != nullptr) {
        std::fclose(list);
    }
    return total == 0 ? 0 : 1;
}
