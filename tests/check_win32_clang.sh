#!/bin/sh
# Compiles the sources of the Windows program with clang for the MinGW-w64 target (syntax and
# warnings only, the project's warning options as errors), against the C++ library of
# MinGW-w64's g++: clang finds the Windows headers itself, not that library.
#   check_win32_clang.sh CLANG MINGW_GXX PROJECT_DIR OPTION... -- SOURCE...
set -eu
clang=$1 gxx=$2 top=$3
shift 3
options=""
while [ "$1" != "--" ]; do
    options="$options $1"
    shift
done
shift
library=""
for folder in $("$gxx" -E -x c++ - -v </dev/null 2>&1 |
                sed -n '/search starts here:/,/End of search list/p' | grep 'include/c++'); do
    library="$library -isystem $folder"
done
[ -n "$library" ] || { echo "no C++ library of $gxx found"; exit 1; }
# shellcheck disable=SC2086
printf '%s\n' "$@" | xargs -P 2 -I{} "$clang" --target=x86_64-w64-mingw32 -std=c++20 \
    -fsyntax-only -Werror -I"$top" $library $options {}
echo "$# sources compiled without a warning"
