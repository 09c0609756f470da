#!/bin/sh
# Fails when a portable core file (no _win32/_qt/_x11/_posix suffix) includes an OS or toolkit header.
cd "$1" || exit 2
hits=$(find app settings capture retention tray flash autostart platform -type f \
         \( -name '*.h' -o -name '*.cpp' \) \
         ! -name '*_win32.*' ! -name '*_qt.*' ! -name '*_x11.*' ! -name '*_posix.*' |
       xargs grep -n -E '#[[:space:]]*include[[:space:]]*[<"](windows|winuser|shellapi|shlobj|objbase|gdiplus|unistd|fcntl|dirent|pwd|X11/|sys/|Q[A-Za-z]+|qt|xcb|png|zlib|libdeflate)' )
if [ -n "$hits" ]; then
    echo "OS headers in the portable core:"; echo "$hits"; exit 1
fi
echo "portable core: no OS headers"
