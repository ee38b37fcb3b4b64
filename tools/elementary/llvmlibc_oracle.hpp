// LLVM libc's correctly rounded functions under the names
// make_llvmlibc_oracle.sh gives them, for the comparison tool and the
// benchmark (never for the core).
#pragma once

extern "C" {
double llvmlibc_sin(double x);
double llvmlibc_cos(double x);
double llvmlibc_asin(double x);
double llvmlibc_acos(double x);
double llvmlibc_atan2(double y, double x);
}
