#!/usr/bin/env bash
# Installs the Debian packages that the build, the tests, the demo and the benchmarks need.
# Only missing packages are installed; when everything is present it returns at once, silently.
# Run as root on Debian 12 (bookworm).
set -euo pipefail

PACKAGES=(
    # compilers and build tools
    build-essential cmake ninja-build pkg-config
    # Qt 6 (Core, Gui, Widgets, Test; the xcb platform plugin comes with qt6-base-dev)
    qt6-base-dev qt6-base-dev-tools libgl-dev
    # archives; mdbtools' programs read the Jet databases in the tests, as the oracle
    libzip-dev zlib1g-dev mdbtools
    # tests
    libgtest-dev googletest
    # demo and UI tests: virtual display, clicking, screenshots, fonts
    xvfb xauth xdotool x11-utils imagemagick fonts-liberation fonts-dejavu-core
    # archive tools used to build and cross-check test archives
    zip unzip libarchive-tools 7zip
    # fuzz targets (libFuzzer runtime lives in libclang-rt-14-dev)
    clang libclang-rt-14-dev
    # benchmarks, scripts, extended attributes
    time python3 attr strace
    # shared compiler cache between the build folders
    ccache
    # a Windows main program in a Wine prefix (64-bit Wine needs no i386 architecture) and the
    # compiler of the end-to-end test's Windows stand-in for it
    wine wine64 gcc-mingw-w64-x86-64
    # reading the window's texts as a screen reader does (a private session bus, AT-SPI, gdbus)
    dbus-daemon at-spi2-core libglib2.0-bin
    # the Debian package: dependencies by dpkg-shlibdeps, the menu entry checked
    dpkg-dev desktop-file-utils binutils
)

missing=()
for pkg in "${PACKAGES[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
    if [[ "$status" != "install ok installed" ]]; then
        missing+=("$pkg")
    fi
done

if ((${#missing[@]} == 0)); then
    exit 0
fi

echo "setup: installing ${missing[*]}"
if [[ $(id -u) -ne 0 ]]; then
    echo "setup: these packages are missing and installing them needs root: ${missing[*]}" >&2
    exit 1
fi
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -q "${missing[@]}"
echo "setup: done"
