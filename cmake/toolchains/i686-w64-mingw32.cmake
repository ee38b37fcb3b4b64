# Cross-compiling for 32-bit Windows with MinGW-w64's GCC, linked statically,
# run under wine (which needs its 32-bit part, Debian's wine32:i386). The
# project's CMakeLists.txt adds -msse2 -mfpmath=sse to the core's flags on
# 32-bit x86; the program's own code gets them here too, so that no part of
# it computes in x87 registers.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++)
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_FIND_ROOT_PATH /usr/i686-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
