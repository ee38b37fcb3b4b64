// QUORBEL_API marks the functions of the public API: the only symbols a
// shared build of the library exports (it compiles everything else with
// hidden visibility). A static build needs no marking. The build defines
// QUORBEL_SHARED for a shared library, and passes it on to the programs that
// use it; QUORBEL_BUILDING only while compiling the library itself.
#pragma once

#if defined(QUORBEL_SHARED)
#if defined(_WIN32)
#if defined(QUORBEL_BUILDING)
#define QUORBEL_API __declspec(dllexport)
#else
#define QUORBEL_API __declspec(dllimport)
#endif
#else
#define QUORBEL_API __attribute__((visibility("default")))
#endif
#else
#define QUORBEL_API
#endif
