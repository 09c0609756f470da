#!/bin/sh
# Sets up a fresh Debian 12 machine, builds both programs and runs every test: unit tests, the
# Linux program end to end on private virtual displays, the Windows program under Wine, the
# unit tests and the program again under AddressSanitizer and UndefinedBehaviorSanitizer, and a
# bounded fuzzing run. Ends with CTest's summary.
set -eu
cd "$(dirname "$0")"
top=$(pwd)

scripts/install-deps.sh

windows_exe=""
if [ -f cmake/mingw-w64.cmake ]; then
    cmake -S . -B build/windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake \
        -DCMAKE_BUILD_TYPE=Release -DRUVELLO_WERROR=ON
    cmake --build build/windows
    windows_exe="$top/build/windows/ruvello.exe"
fi

# Line tables are all that reports and stack traces need; full debug information would double
# the compile time of the test files.
cmake -S . -B build/asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS=-O1 \
    -DCMAKE_CXX_FLAGS_DEBUG=-g1 -DRUVELLO_SANITIZE=ON -DRUVELLO_WERROR=ON
cmake --build build/asan --target ruvello ruvello_unit_tests ruvello_linux_tests ruvello_png_tests \
    ruvello_wayland_tests

cmake -S . -B build/fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRUVELLO_FUZZ=ON -DRUVELLO_WERROR=ON
cmake --build build/fuzz

cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DRUVELLO_WERROR=ON \
    -DRUVELLO_BENCH=ON -DRUVELLO_WINDOWS_EXE="$windows_exe" \
    -DRUVELLO_SANITIZED_DIR="$top/build/asan" -DRUVELLO_FUZZ_DIR="$top/build/fuzz"
cmake --build build/linux

ctest --test-dir build/linux --output-on-failure -j 2
