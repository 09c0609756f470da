#!/bin/sh
# Installs what building, running and testing Ruvello needs on Debian 12, without questions.
# Packages already present are not touched.
# With "run", only what building and running the Linux program needs; with "package", that and
# what building its Debian package needs; with "windows", what cross-building the Windows program,
# its zip and its setup program needs.
set -eu

RUN_PACKAGES="cmake ninja-build g++ pkg-config qt6-base-dev qt6-wayland libgl-dev libx11-dev
  libxext-dev libxrandr-dev libwayland-dev libwayland-bin wayland-protocols libpng-dev
  libdeflate-dev libxxhash-dev zlib1g-dev libpipewire-0.3-dev libspa-0.2-dev xvfb trayer x11-utils"
TEST_PACKAGES="clang clang-format libclang-rt-14-dev libgtest-dev libgmock-dev libbenchmark-dev
  mingw-w64 nsis wine wine64 xdotool scrot imagemagick python3 dbus-daemon python3-dbus python3-gi
  x11-xserver-utils tigervnc-standalone-server
  sway swaybg grim xwayland dbus dbus-bin libglib2.0-bin
  pipewire pipewire-bin wireplumber xdg-desktop-portal xdg-desktop-portal-gnome mutter
  kwin-wayland plasma-wayland-protocols"
# Building the Debian package, and the checkers its test runs on it.
PACKAGE_PACKAGES="dpkg-dev file"
PACKAGE_TEST_PACKAGES="lintian desktop-file-utils appstream"
# Cross-building the Windows program and making its setup program (NSIS).
WINDOWS_PACKAGES="cmake ninja-build mingw-w64 nsis"

case "${1:-all}" in
    run) PACKAGES="$RUN_PACKAGES" ;;
    package) PACKAGES="$RUN_PACKAGES $PACKAGE_PACKAGES" ;;
    windows) PACKAGES="$WINDOWS_PACKAGES" ;;
    *) PACKAGES="$RUN_PACKAGES $TEST_PACKAGES $PACKAGE_PACKAGES $PACKAGE_TEST_PACKAGES" ;;
esac

missing=""
for package in $PACKAGES; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
        missing="$missing $package"
done
[ -z "$missing" ] && exit 0

echo "Installing:$missing"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get update -q
# shellcheck disable=SC2086
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $missing
