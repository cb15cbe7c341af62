# Cross-building Ostrel for 64-bit Windows on Debian with mingw-w64:
#   cmake -S . -B build-win64 -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
# Debian packages: g++-mingw-w64-x86-64-posix, libz-mingw-w64-dev, and wine64
# to run the tests (ctest runs every test program through Wine).
set(OSTREL_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake)
