// asin, acos and atan2 of quorbel::elementary against LLVM's C library, whose
// asin, acos and atan2 are correctly rounded (linked under renamed symbols,
// in this test only): bit for bit over random arguments in every binade and
// over the structured hard cases (next to +-1 and +-1/2, tiny and subnormal
// arguments, ratios next to the table points, tiny ratios in every quadrant),
// plus the C99 Annex F special values and the odd symmetries. The accurate
// path, which the fast path leaves about once in 20000 calls, and the
// fixed-point last resort, which that never seems to leave, are also
// compared on their own.
#include <cmath>
#include <cstdint>
#include <string_view>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <type_traits>

#include <quorbel/maths/elementary.hpp>

#include "check.hpp"
#include "maths/elementary/atan_accurate.hpp"
#include "maths/elementary/asin_fast.hpp"
#include "maths/elementary/atan_fast.hpp"
#include "maths/elementary/atan_fixed_point.hpp"
#include "maths/elementary/fma_dispatch.hpp"

extern "C" double llvmlibc_asin(double);
extern "C" double llvmlibc_acos(double);
extern "C" double llvmlibc_atan2(double, double);

namespace qe = quorbel::elementary;

namespace {

constexpr double PI = 0x1.921fb54442d18p+1;  // pi rounded to nearest
constexpr double HALF_PI = 0x1.921fb54442d18p+0;
constexpr double THREE_QUARTER_PI = 0x1.2d97c7f3321d2p+1;
const double NaN = std::nan("");

// Bitwise equality, any NaN matching any NaN.
bool same(double a, double b) { return check::same_bits(a, b) || (std::isnan(a) && std::isnan(b)); }

void record(bool ok, int line, const std::string& what) { check::record(ok, __FILE__, line, what); }

std::string args(double a, double b) {
    char text[80];
    std::snprintf(text, sizeof text, "(%a, %a)", a, b);
    return text;
}

// A result that underflows to zero: LLVM's atan2 gives it the sign of +0
// whatever the sign of y, where round to nearest keeps the sign of the
// (nonzero) exact value, that of y; the magnitude is checked against LLVM,
// the sign against y.
void check_atan2(double y, double x) {
    const double ours = qe::atan2(y, x);
    const double oracle = llvmlibc_atan2(y, x);
    const bool underflow = ours == 0.0 && oracle == 0.0 && y != 0.0 && std::isfinite(y);
    const bool ok = underflow ? std::signbit(ours) == std::signbit(y) : same(ours, oracle);
    record(ok, __LINE__, "atan2" + args(y, x) + " = " + check::num(ours));
    record(same(qe::atan2(-y, x), -ours), __LINE__, "atan2(-y, x) = -atan2(y, x) at " + args(y, x));
}

void check_asin_acos(double x) {
    const double s = qe::asin(x);
    record(same(s, llvmlibc_asin(x)), __LINE__, "asin" + args(x, 0) + " = " + check::num(s));
    record(same(qe::asin(-x), -s), __LINE__, "asin(-x) = -asin(x) at " + args(x, 0));
    const double c = qe::acos(x);
    record(same(c, llvmlibc_acos(x)), __LINE__, "acos" + args(x, 0) + " = " + check::num(c));
}

double random_double(std::mt19937_64& rng, int min_exponent, int max_exponent) {
    const double mantissa = 1.0 + static_cast<double>(rng() >> 12) * 0x1p-52;
    const int span = max_exponent - min_exponent + 1;
    const double v = std::ldexp(mantissa, min_exponent + static_cast<int>(rng() % span));
    return (rng() & 1) ? -v : v;
}

void test_special_values() {
    struct Atan2Case {
        double y, x, expected;
    };
    const Atan2Case atan2_table[] = {
        {0.0, 0.0, 0.0},         {-0.0, 0.0, -0.0},        {0.0, -0.0, PI},
        {-0.0, -0.0, -PI},       {0.0, 3.0, 0.0},          {-0.0, 3.0, -0.0},
        {0.0, -3.0, PI},         {-0.0, -3.0, -PI},        {2.0, 0.0, HALF_PI},
        {2.0, -0.0, HALF_PI},    {-2.0, 0.0, -HALF_PI},    {-2.0, -0.0, -HALF_PI},
        {INFINITY, INFINITY, 0.25 * PI},                   {-INFINITY, INFINITY, -0.25 * PI},
        {INFINITY, -INFINITY, THREE_QUARTER_PI},
        {-INFINITY, -INFINITY, -THREE_QUARTER_PI},
        {INFINITY, 5.0, HALF_PI},                          {-INFINITY, -5.0, -HALF_PI},
        {5.0, INFINITY, 0.0},    {-5.0, INFINITY, -0.0},   {5.0, -INFINITY, PI},
        {-5.0, -INFINITY, -PI},  {NaN, 1.0, NaN},          {1.0, NaN, NaN},
        {NaN, NaN, NaN},         {NaN, INFINITY, NaN},     {0.0, NaN, NaN},
    };
    for (const Atan2Case& c : atan2_table) {
        const double got = qe::atan2(c.y, c.x);
        record(same(got, c.expected), __LINE__,
               "Annex F atan2" + args(c.y, c.x) + " = " + check::num(got));
    }
    struct UnaryCase {
        double x, asin, acos;
    };
    const UnaryCase unary_table[] = {
        {0.0, 0.0, HALF_PI},   {-0.0, -0.0, HALF_PI},  {1.0, HALF_PI, 0.0},
        {-1.0, -HALF_PI, PI},  {0x1.0000000000001p0, NaN, NaN},  {-2.0, NaN, NaN},
        {INFINITY, NaN, NaN},  {-INFINITY, NaN, NaN},  {NaN, NaN, NaN},
    };
    for (const UnaryCase& c : unary_table) {
        const double s = qe::asin(c.x);
        const double co = qe::acos(c.x);
        record(same(s, c.asin), __LINE__, "Annex F asin" + args(c.x, 0) + " = " + check::num(s));
        record(same(co, c.acos), __LINE__, "Annex F acos" + args(c.x, 0) + " = " + check::num(co));
    }
}

void test_atan2_against_oracle() {
    std::mt19937_64 rng(20261207);
    // Every binade of both arguments, including subnormals and overflowing
    // ratios, in the four quadrants.
    for (int i = 0; i < 60000; ++i) {
        check_atan2(random_double(rng, -1074, 1023), random_double(rng, -1074, 1023));
    }
    // Ratios near the table points k / 256 and near 1, in every quadrant.
    for (int i = 0; i < 30000; ++i) {
        const double x = std::fabs(random_double(rng, 0, 0));
        const double offset = std::ldexp(static_cast<double>(static_cast<int>(rng() % 64) - 32),
                                         -52 - static_cast<int>(rng() % 40));
        const double y = x * (static_cast<double>(rng() % 257) / 256.0) + offset;
        check_atan2(y, x);
        check_atan2(x, -y);
    }
    // Tiny ratios down to subnormal results. At the exact midpoints of the
    // subnormal grid, t = M 2^-1075 with M odd (y = M D 2^-1074, x = 2 D),
    // atan(t) lies just below the midpoint and rounds toward zero, to
    // (M - 1) / 2 units of 2^-1074 (LLVM rounds the tie to even there, as
    // MPFR at 3000 bits shows it should not).
    for (int m = 1; m < 600; m += 2) {
        for (const double d : {1.0, 3.0, 5.0}) {
            const double y = std::ldexp(m * d, -1074);
            const double toward_zero = std::ldexp((m - 1) / 2, -1074);
            const bool rounded_down = same(qe::atan2(y, 2.0 * d), toward_zero) &&
                                      same(qe::atan2(-y, 2.0 * d), -toward_zero);
            record(rounded_down, __LINE__, "atan2 at a subnormal midpoint " + args(y, 2.0 * d));
            check_atan2(y, -2.0 * d);
            check_atan2(2.0 * d, y);
            check_atan2(std::ldexp(m * 0x1.fffffffffffffp0, -1074), 2.0 * d);
        }
    }
    for (int i = 0; i < 20000; ++i) {
        const double x = random_double(rng, -60, 1023);
        const double scale = 1.0 + 0x1p-40 * static_cast<double>(rng() % 7);
        const double y = std::ldexp(x, -54 - static_cast<int>(rng() % 1100)) * scale;
        check_atan2(y, x);
        check_atan2(x, y);
    }
}

void test_asin_acos_against_oracle() {
    std::mt19937_64 rng(19);
    for (int i = 0; i < 60000; ++i) {
        check_asin_acos(random_double(rng, -1074, -1));
    }
    for (int k = 0; k < 20000; ++k) {
        check_asin_acos(1.0 - k * 0x1p-53);                     // next to 1
        check_asin_acos(0.5 + (k - 10000) * 0x1p-54);           // next to 1/2
        check_asin_acos(0x1p-26 + (k - 10000) * 0x1p-79);       // next to the tiny bound
        check_asin_acos(std::ldexp(1.0 + static_cast<double>(rng() >> 12) * 0x1p-52,
                                   -1 - static_cast<int>(rng() % 60)) *
                        (1.0 - 0x1p-53 * (rng() % 1000)));
    }
}

// The triple-double path by itself, on arguments of every kind the scalar
// entry points hand it (both in [2^-500, 2^500] for atan2, 2^-26 <= |x| < 1
// for asin and acos), and on some of them the fixed point.
void test_accurate_path_against_oracle() {
    namespace qd = quorbel::elementary::detail;
    std::mt19937_64 rng(5);
    for (int i = 0; i < 30000; ++i) {
        const double y = random_double(rng, -200, 200);
        const double near_table = static_cast<double>(rng() % 257) / 256.0;
        const double nudge = 1.0 + 0x1p-52 * static_cast<double>(rng() % 9);
        const double x = (i % 2) ? random_double(rng, -200, 200) : y * near_table * nudge;
        const double got =
            qd::to_double(qd::atan2_accurate_theta(qd::to_triple(y), qd::to_triple(x)));
        record(same(got, llvmlibc_atan2(y, x)), __LINE__,
               "accurate atan2" + args(y, x) + " = " + check::num(got));
        if (i % 10 == 0) {
            const double fixed = qd::atan2_fixed_point(y, x);
            record(same(fixed, llvmlibc_atan2(y, x)), __LINE__,
                   "fixed-point atan2" + args(y, x) + " = " + check::num(fixed));
        }
    }
    for (int i = 0; i < 30000; ++i) {
        const double below_one = 1.0 - std::ldexp(static_cast<double>(rng() >> 11),
                                                  -53 - static_cast<int>(rng() % 40));
        const double x = (i % 2) ? random_double(rng, -26, -1) : below_one;
        if (!(std::fabs(x) < 1.0)) {
            continue;
        }
        const qd::TripleDouble s = qd::asin_cosine_accurate(x);
        const double as = qd::to_double(qd::atan2_accurate_theta(qd::to_triple(x), s));
        const double ac = qd::to_double(qd::atan2_accurate_theta(s, qd::to_triple(x)));
        record(same(as, llvmlibc_asin(x)) && same(ac, llvmlibc_acos(x)), __LINE__,
               "accurate asin, acos" + args(x, 0));
        if (i % 10 == 0) {
            const bool fixed = same(qd::asin_fixed_point(x, true), llvmlibc_asin(x)) &&
                               same(qd::asin_fixed_point(x, false), llvmlibc_acos(x));
            record(fixed, __LINE__, "fixed-point asin, acos" + args(x, 0));
        }
    }
}

#if QTK_FMA_VARIANTS
namespace qd = quorbel::elementary::detail;

// The three fast paths with fused products, as the FMA entry points call
// them.
struct FastTriple {
    qd::FastResult<double> atan2, asin, acos;
};
template <class Products>
FastTriple fast_paths(double y, double x, double s) {
    const auto unary = [](double v, auto is_asin) {
        constexpr bool a = decltype(is_asin)::value;
        return std::fabs(v) <= 0.5 ? qd::asin_series_fast<a, Products>(v)
                                   : qd::asin_upper_fast<a, Products>(v);
    };
    return {qd::atan2_fast<Products>(y, x), unary(s, std::true_type{}),
            unary(s, std::false_type{})};
}
QTK_FMA_ENTRY FastTriple fused_fast_paths(double y, double x, double s) {
    return fast_paths<qd::FusedProducts>(y, x, s);
}

// The fused variant (products and multiply-adds) and Dekker's may differ in
// a candidate's last bits, but wherever both prove theirs they agree bit for
// bit, and the fused one proves at least as many as the rounding test's
// failure rate allows.
void test_fused_and_dekker_fast_paths_agree() {
    if (!qd::use_fma()) {
        return;
    }
    std::mt19937_64 rng(77);
    int unproven = 0;
    for (int i = 0; i < 200000; ++i) {
        const double y = random_double(rng, -40, 40);
        const double x = random_double(rng, -40, 40);
        const double s = random_double(rng, -30, -1);
        const FastTriple f = fused_fast_paths(y, x, s);
        const FastTriple d = fast_paths<qd::DekkerProducts>(y, x, s);
        const auto agree = [](qd::FastResult<double> a, qd::FastResult<double> b) {
            return !(a.proven && b.proven) || same(a.value, b.value);
        };
        record(agree(f.atan2, d.atan2) && agree(f.asin, d.asin) && agree(f.acos, d.acos),
               __LINE__, "fused and Dekker fast paths" + args(y, x) + ", " + check::num(s));
        unproven += !f.atan2.proven + !f.asin.proven + !f.acos.proven;
    }
    record(unproven < 3 * 200000 / 5000, __LINE__,
           "fused fast paths unproven " + std::to_string(unproven) + " times in 600000");
}
#else
void test_fused_and_dekker_fast_paths_agree() {}
#endif

}  // namespace

// --dekker: Dekker's products on an FMA machine too, the fast paths' other
// variant.
int main(int argc, char** argv) {
    if (argc > 1 && std::string_view(argv[1]) == "--dekker") {
        quorbel::elementary::detail::force_dekker_products();
    }
    test_special_values();
    test_atan2_against_oracle();
    test_asin_acos_against_oracle();
    test_accurate_path_against_oracle();
    test_fused_and_dekker_fast_paths_agree();
    std::printf("%d passed, %d failed\n", check::passed(), check::failed());
    return check::failed() == 0 ? 0 : 1;
}
