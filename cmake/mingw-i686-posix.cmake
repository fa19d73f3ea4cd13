# The i686 test flavour: drivers, test hosts and the engine's tests for the 32-bit run. The
# shipping flavour's toolchain with the posix thread model compilers, which GoogleTest needs; the
# binaries it tests come from the win32 tree.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-i686.cmake)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
