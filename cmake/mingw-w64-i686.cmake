# Cross-building Ostrel for 32-bit Windows on Debian with mingw-w64:
#   cmake -S . -B build-win32 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
# The DlPortIO driver library that parallel-port users have is 32-bit, and a
# 64-bit program cannot load it. Debian packages: g++-mingw-w64-i686-posix,
# libz-mingw-w64-dev, and wine32 (i386) to run the tests.
set(OSTREL_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
