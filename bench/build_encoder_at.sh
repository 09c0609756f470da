#!/bin/sh
# Builds the shot benchmark of this source tree with the PNG encoder of an older commit, for the
# "before" columns of bench/compare_shots.py: the same program, benchmark and scenes, only the
# encoder differs.
#
#   bench/build_encoder_at.sh 50da166 build/encoder-50da166
#   -> build/encoder-50da166/build/bench/ruvello_shot_bench
set -eu
commit=$1
out=$(realpath -m "$2")
top=$(cd "$(dirname "$0")/.." && pwd)

rm -rf "$out/src"
mkdir -p "$out/src"
# This tree as it is (committed or not), without its build folders.
tar -C "$top" --exclude=./build --exclude=./.git -cf - . | tar -C "$out/src" -xf -
rm -f "$out"/src/png/png_encoder.* "$out"/src/png/png_filters.* "$out"/src/png/png_row_kernels* \
    "$out"/src/png/deflate_*
# Older commits kept the encoder in capture/: its files go to png/, with their includes and build
# list pointed there.
folder=png
git -C "$top" cat-file -e "$commit:png/png_encoder.cpp" 2>/dev/null || folder=capture
files=$(git -C "$top" ls-tree -r --name-only "$commit" $folder cmake |
    grep -E "^($folder/(png_encoder|png_filters|png_row_kernels|deflate_)|cmake/png_encoder.cmake)")
# shellcheck disable=SC2086  # one path a word
git -C "$top" archive "$commit" $files | tar -C "$out/src" -xf -
if [ "$folder" = capture ]; then
    for f in "$out"/src/capture/png_encoder.* "$out"/src/capture/png_filters.* \
        "$out"/src/capture/png_row_kernels* "$out"/src/capture/deflate_*; do
        [ -f "$f" ] && mv "$f" "$out/src/png/"
    done
    sed -i -E 's#(["/])capture/(png_|deflate_)#\1png/\2#g' "$out"/src/png/* \
        "$out/src/cmake/png_encoder.cmake"
fi

cmake -S "$out/src" -B "$out/build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DRUVELLO_BENCH=ON -DRUVELLO_TESTS=OFF >/dev/null
cmake --build "$out/build" --target ruvello_shot_bench
echo "$out/build/bench/ruvello_shot_bench"
