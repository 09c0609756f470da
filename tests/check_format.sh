#!/bin/sh
# Fails when a C++ source of the project differs from its clang-format form.
clang_format=$1
cd "$2" || exit 2
git ls-files '*.cpp' '*.h' | xargs "$clang_format" --dry-run -Werror
