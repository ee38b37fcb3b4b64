#include "check.hpp"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace check {
namespace {
int passed_count = 0;
int failed_count = 0;
}  // namespace

void record(bool ok, const char* file, int line, const std::string& what) {
    if (ok) {
        ++passed_count;
        return;
    }
    ++failed_count;
    std::printf("FAIL %s:%d: %s\n", file, line, what.c_str());
}

int passed() { return passed_count; }
int failed() { return failed_count; }

double max_abs_diff(double a, double b) { return std::fabs(a - b); }

double max_abs_diff(quorbel::Vec3 a, quorbel::Vec3 b) {
    const double d[3] = {std::fabs(a.x - b.x), std::fabs(a.y - b.y), std::fabs(a.z - b.z)};
    double worst = 0.0;
    for (double e : d) {
        if (std::isnan(e)) {
            return e;
        }
        worst = e > worst ? e : worst;
    }
    return worst;
}

double max_abs_diff(const quorbel::Mat3& a, const quorbel::Mat3& b) {
    double worst = 0.0;
    for (int i = 0; i < 3; ++i) {
        const double e = max_abs_diff(quorbel::Vec3{a[i][0], a[i][1], a[i][2]},
                                      quorbel::Vec3{b[i][0], b[i][1], b[i][2]});
        if (std::isnan(e)) {
            return e;
        }
        worst = e > worst ? e : worst;
    }
    return worst;
}

bool all_nan(quorbel::Vec3 v) { return std::isnan(v.x) && std::isnan(v.y) && std::isnan(v.z); }

bool all_nan(const quorbel::Mat3& m) {
    for (const auto& row : m) {
        if (!all_nan(quorbel::Vec3{row[0], row[1], row[2]})) {
            return false;
        }
    }
    return true;
}

bool same_bits(double a, double b) {
    if (std::isnan(a) || std::isnan(b)) {
        return std::isnan(a) && std::isnan(b);
    }
    std::uint64_t ua = 0;
    std::uint64_t ub = 0;
    std::memcpy(&ua, &a, sizeof a);
    std::memcpy(&ub, &b, sizeof b);
    return ua == ub;
}

bool same_bits(const quorbel::Mat3& a, const quorbel::Mat3& b) {
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) {
            if (!same_bits(a[i][j], b[i][j])) {
                return false;
            }
        }
    }
    return true;
}

std::string num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.3g", v);
    return buf;
}

}  // namespace check
