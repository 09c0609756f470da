#!/bin/sh
# Sets up a fresh Debian 12 machine, builds both programs and runs every test (unit, end-to-end
# on a virtual X display, Windows under Wine). Ends with CTest's summary.
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

cmake -S . -B build/linux -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRUVELLO_WERROR=ON \
    -DRUVELLO_BENCH=ON -DRUVELLO_WINDOWS_EXE="$windows_exe"
cmake --build build/linux

ctest --test-dir build/linux --output-on-failure -j 2
