#!/usr/bin/env bash
# Installs the Debian packages that a make target needs, by group; with no group, all of them.
#   scripts/setup.sh [build|package|demo|test|all]...
#     build    the compilers, Qt 6, libzip and mdbtools: building the updater
#     package  build, and what turns the build into the Debian package (make package)
#     demo     build, and the virtual display, clicking and screenshots of the demo (make demo;
#              Wine only for `scripts/demo.sh --wine`)
#     test     everything the whole test suite needs, the package test included (make test)
# Only missing packages are installed; when everything is present it returns at once, silently.
# Run as root on Debian 12 (bookworm).
set -euo pipefail

BUILD=(
    # compilers and build tools
    build-essential cmake ninja-build pkg-config
    # shared compiler cache between the build folders
    ccache
    # Qt 6 (Core, Gui, Widgets, Test; the xcb platform plugin comes with qt6-base-dev)
    qt6-base-dev qt6-base-dev-tools libgl-dev
    # archives
    libzip-dev zlib1g-dev
)
PACKAGE=(
    # the Debian package: ELF files found by file, dependencies by dpkg-shlibdeps, stripping
    dpkg-dev file binutils
)
DEMO=(
    # virtual display, clicking, screenshots, fonts; the demo's archives
    xvfb xauth xdotool x11-utils imagemagick fonts-liberation fonts-dejavu-core zip
)
TEST=(
    # tests
    libgtest-dev googletest
    # archive tools used to build and cross-check test archives
    zip unzip libarchive-tools 7zip
    # fuzz targets (libFuzzer runtime lives in libclang-rt-14-dev)
    clang libclang-rt-14-dev
    # benchmarks, scripts, extended attributes
    time python3 attr strace
    # mdbtools' programs read the Jet databases in the tests, as the oracle
    mdbtools
    # a Windows main program in a Wine prefix (64-bit Wine needs no i386 architecture) and the
    # compiler of the end-to-end test's Windows stand-in for it
    wine wine64 gcc-mingw-w64-x86-64
    # reading the window's texts as a screen reader does (a private session bus, AT-SPI, gdbus)
    dbus-daemon at-spi2-core libglib2.0-bin
    # the package test: the menu entry checked, the package checked against Debian's policy
    desktop-file-utils lintian
)

PACKAGES=()
(($#)) || set -- all
for group in "$@"; do
    case "$group" in
    build) PACKAGES+=("${BUILD[@]}") ;;
    package) PACKAGES+=("${BUILD[@]}" "${PACKAGE[@]}") ;;
    demo) PACKAGES+=("${BUILD[@]}" "${DEMO[@]}") ;;
    test | all) PACKAGES+=("${BUILD[@]}" "${PACKAGE[@]}" "${DEMO[@]}" "${TEST[@]}") ;;
    *)
        echo "usage: scripts/setup.sh [build|package|demo|test|all]..." >&2
        exit 2
        ;;
    esac
done

missing=()
for pkg in $(printf '%s\n' "${PACKAGES[@]}" | sort -u); do
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
