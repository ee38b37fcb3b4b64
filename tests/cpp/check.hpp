// A minimal check harness: counters, and checks that report the failing
// expression with its file and line. Distances are compared as
// `isnan(err) || err > tol` so that a NaN fails rather than slipping past.
#pragma once

#include <string>

#include <quorbel/maths/vector.hpp>

namespace check {

void record(bool ok, const char* file, int line, const std::string& what);
int passed();
int failed();

double max_abs_diff(double a, double b);
double max_abs_diff(quorbel::Vec3 a, quorbel::Vec3 b);
double max_abs_diff(const quorbel::Mat3& a, const quorbel::Mat3& b);
bool all_nan(quorbel::Vec3 v);
bool all_nan(const quorbel::Mat3& m);
// Bitwise equality of doubles: the sign of zero counts, NaN equals NaN.
bool same_bits(double a, double b);
bool same_bits(const quorbel::Mat3& a, const quorbel::Mat3& b);
std::string num(double v);

}  // namespace check

#define CHECK(cond) ::check::record(static_cast<bool>(cond), __FILE__, __LINE__, #cond)

// err = |actual - expected| (largest entry for vectors and matrices).
#define CHECK_NEAR(actual, expected, tol)                                            \
    do {                                                                             \
        const double check_err_ = ::check::max_abs_diff((actual), (expected));       \
        ::check::record(!(std::isnan(check_err_) || check_err_ > (tol)), __FILE__,   \
                        __LINE__,                                                    \
                        std::string(#actual " ~ " #expected ", error ") +            \
                            ::check::num(check_err_));                            \
    } while (0)

// A tolerance check on an already computed error value.
#define CHECK_SMALL(err, tol)                                                       \
    do {                                                                            \
        const double check_err_ = (err);                                            \
        ::check::record(!(std::isnan(check_err_) || check_err_ > (tol)), __FILE__,  \
                        __LINE__,                                                   \
                        std::string(#err " <= " #tol ", was ") +                    \
                            ::check::num(check_err_));                            \
    } while (0)
