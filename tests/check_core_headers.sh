#!/bin/sh
# Fails when a source of the portable core target includes an OS, toolkit or image-library header.
cd "$1" || exit 2
sources=$(sed -n 's/^[[:space:]]*\([a-z_/]*\.cpp\)[[:space:]]*$/\1/p' cmake/core.cmake)
headers=$(for s in $sources; do grep -h -o '#include "[^"]*"' "$s"; done | sed 's/#include "\(.*\)"/\1/' | sort -u)
files=""
for f in $sources $headers; do [ -f "$f" ] && files="$files $f"; done
[ -n "$files" ] || { echo "no core sources found"; exit 2; }
# shellcheck disable=SC2086
hits=$(grep -n -E '#[[:space:]]*include[[:space:]]*[<"](windows|win[a-z]*\.h|shellapi|shlobj|objbase|gdiplus|unistd|fcntl|dirent|pwd|X11/|sys/|Q[A-Za-z]+|qt|xcb|png|zlib|libdeflate)' $files)
if [ -n "$hits" ]; then
    echo "OS headers in the portable core:"
    echo "$hits"
    exit 1
fi
echo "portable core ($(echo $files | wc -w) files): no OS headers"
