#!/usr/bin/env bash
# Builds the libraries the Windows build links (Qt 6 base, libzip, GoogleTest) for
# x86_64-w64-mingw32 from Debian's own sources, into a cache folder outside any clone.
#
# The cache is keyed by what it is built from: the versions of the source packages (the same
# versions the machine's Linux build uses, so both builds link the same library releases), the
# MinGW-w64 compiler, headers and zlib, and this script's own text (the recipe). A keyed folder is
# only used once its completion marker exists; the marker is written last, so a build that was
# interrupted is never taken for a finished one, and a new run resumes where it stopped.
#
# Usage: scripts/windows-toolchain.sh [--print-path]
#   Prints the keyed cache folder as its last line on stdout (hand it to CMake as
#   -DQUNA_WINDOWS_TOOLCHAIN=<folder> together with -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake).
#   --print-path only computes the folder and says whether it is complete (exit 0) or not (exit 1).
# Environment:
#   QUNA_WINDOWS_TOOLCHAIN_CACHE  the folder holding the keyed caches
#                                 (default /var/cache/quna-updater-toolchain)
#   JOBS                          parallel compile jobs (default 2)
#   QUNA_TOOLCHAIN_NICE           niceness of the compiles (default 19: other builds keep priority)
#
# Network: only Debian's package archive (apt-get install / apt-get source).
set -euo pipefail

readonly TRIPLE=x86_64-w64-mingw32
readonly CACHE_ROOT=${QUNA_WINDOWS_TOOLCHAIN_CACHE:-/var/cache/quna-updater-toolchain}
readonly JOBS=${JOBS:-2}
readonly NICE=${QUNA_TOOLCHAIN_NICE:-19}
# How long a second run waits for a first one building the same key before giving up.
readonly LOCK_WAIT_SECONDS=${QUNA_TOOLCHAIN_LOCK_WAIT:-7200}
readonly SCRIPT_PATH=$(readlink -f "${BASH_SOURCE[0]}")

# Host packages: the compilers and the target zlib, the host Qt whose tools (moc, rcc, uic)
# the cross build runs, and the packages whose source versions the cache is built from.
readonly HOST_PACKAGES=(
    gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev
    libz-mingw-w64-dev mingw-w64-tools
    cmake ninja-build dpkg-dev perl python3
    qt6-base-dev qt6-base-dev-tools libzip-dev googletest
)

log() { printf 'windows-toolchain: %s\n' "$*" >&2; }
die() { printf 'windows-toolchain: error: %s\n' "$*" >&2; exit 1; }

print_only=0
case "${1:-}" in
    "") ;;
    --print-path) print_only=1 ;;
    -h|--help) sed -n '2,23p' "$SCRIPT_PATH" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) die "unknown argument '$1' (see --help)" ;;
esac

installed_version() {
    dpkg-query -W -f='${Status} ${Version}' "$1" 2>/dev/null \
        | sed -n 's/^install ok installed //p'
}

source_version() {
    dpkg-query -W -f='${Status} ${source:Version}' "$1" 2>/dev/null \
        | sed -n 's/^install ok installed //p'
}

ensure_host_packages() {
    local missing=() pkg
    for pkg in "${HOST_PACKAGES[@]}"; do
        [[ -n $(installed_version "$pkg") ]] || missing+=("$pkg")
    done
    ((${#missing[@]} == 0)) && return 0
    [[ $(id -u) -eq 0 ]] || die "missing packages, installing them needs root: ${missing[*]}"
    log "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >&2
}

# ------------------------------------------------------------------ the key
# The recipe is the text of the functions that build (bash prints them without comments), so
# rewording a comment or a message keeps the cache, and changing a flag makes a new one.
recipe_hash() {
    declare -f write_build_toolchain fetch_source build_libzip build_googletest build_qt \
        finish_cache | sha256sum | cut -d' ' -f1
}

compute_key() {
    QT_SRC_VERSION=$(source_version qt6-base-dev)
    ZIP_SRC_VERSION=$(source_version libzip-dev)
    GTEST_VERSION=$(installed_version googletest)
    [[ -n $QT_SRC_VERSION && -n $ZIP_SRC_VERSION && -n $GTEST_VERSION ]] \
        || die "qt6-base-dev, libzip-dev and googletest must be installed to know which sources to build"
    local host_qt
    host_qt=$(installed_version qt6-base-dev-tools)
    [[ $host_qt == "$QT_SRC_VERSION" ]] \
        || die "the host Qt tools ($host_qt) must be the release being built ($QT_SRC_VERSION)"
    KEY_TEXT=$(cat <<EOF
qt6-base $QT_SRC_VERSION
libzip $ZIP_SRC_VERSION
googletest $GTEST_VERSION
g++-mingw-w64-x86-64-posix $(installed_version g++-mingw-w64-x86-64-posix)
mingw-w64-x86-64-dev $(installed_version mingw-w64-x86-64-dev)
libz-mingw-w64-dev $(installed_version libz-mingw-w64-dev)
recipe $(recipe_hash)
EOF
)
    local upstream_qt=${QT_SRC_VERSION%%+*} upstream_zip=${ZIP_SRC_VERSION%%-*}
    KEY="qt${upstream_qt}-zip${upstream_zip}-$(printf '%s\n' "$KEY_TEXT" | sha256sum | cut -c1-16)"
    DEST="$CACHE_ROOT/$KEY"
}

# ------------------------------------------------------------------ sources
# apt-get source needs a deb-src entry; it is added for the same archive (and suites) the
# machine already installs from, so the sources match the binaries exactly.
ensure_deb_src() {
    if apt-cache showsrc qt6-base 2>/dev/null | grep -qx "Version: $QT_SRC_VERSION" \
        && apt-cache showsrc libzip 2>/dev/null | grep -qx "Version: $ZIP_SRC_VERSION"; then
        return 0
    fi
    [[ $(id -u) -eq 0 ]] || die "no deb-src entry for Debian's archive; adding one needs root"
    local list=/etc/apt/sources.list.d/quna-updater-deb-src.sources
    local tmp
    tmp=$(mktemp)
    # deb822 stanzas that install binaries from a Debian archive, with Types: deb-src.
    local f
    for f in /etc/apt/sources.list.d/*.sources; do
        [[ -e $f && $f != "$list" ]] || continue
        awk 'BEGIN { RS = ""; ORS = "\n\n" }
             /(^|\n)Types:([^\n]* )?deb( |\n|$)/ && /(^|\n)URIs:[^\n]*debian/ {
                 sub(/(^|\n)Types:[^\n]*/, "\nTypes: deb-src"); sub(/^\n/, ""); print }' "$f" >>"$tmp"
    done
    # One-line entries (sources.list and *.list) of a Debian archive.
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [[ -e $f ]] || continue
        sed -n 's/^[[:space:]]*deb\([[:space:]].*debian.*\)$/deb-src\1/p' "$f"
    done >"$tmp.list"
    if [[ -s $tmp.list ]]; then
        mv "$tmp.list" /etc/apt/sources.list.d/quna-updater-deb-src.list
    else
        rm -f "$tmp.list"
    fi
    if [[ -s $tmp ]]; then
        mv "$tmp" "$list"
        chmod 644 "$list"
    else
        rm -f "$tmp"
    fi
    [[ -e $list || -e /etc/apt/sources.list.d/quna-updater-deb-src.list ]] \
        || die "found no Debian archive in the apt sources to add a deb-src entry for"
    log "added deb-src entries for the Debian archive; updating the package lists"
    apt-get update -qq
}

fetch_source() { # package version dir
    local pkg=$1 version=$2 dir=$3
    if [[ -e $dir/.unpacked ]]; then
        return 0
    fi
    rm -rf "$dir" "$dir.dl"
    mkdir -p "$dir.dl"
    log "fetching source $pkg=$version from Debian's archive"
    (cd "$dir.dl" && apt-get source -q --only-source "$pkg=$version" >&2) \
        || die "apt-get source $pkg=$version failed (is that version still in the archive?)"
    local tree
    tree=$(find "$dir.dl" -mindepth 1 -maxdepth 1 -type d | head -n 1)
    [[ -n $tree ]] || die "apt-get source $pkg left no source tree"
    mv "$tree" "$dir"
    rm -rf "$dir.dl"
    touch "$dir/.unpacked"
}

# ------------------------------------------------------------------ building
write_build_toolchain() { # file
    cat >"$1" <<EOF
# Written by windows-toolchain.sh for building the cached libraries.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER $TRIPLE-gcc-posix)
set(CMAKE_CXX_COMPILER $TRIPLE-g++-posix)
set(CMAKE_RC_COMPILER $TRIPLE-windres)
set(CMAKE_FIND_ROOT_PATH /usr/$TRIPLE \${QUNA_EXTRA_ROOTS})
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES QUNA_EXTRA_ROOTS)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF
}

stamped() { [[ -e $DEST/.stamps/$1 ]]; }
stamp() { mkdir -p "$DEST/.stamps"; date -u +%FT%TZ >"$DEST/.stamps/$1"; }

run_nice() { nice -n "$NICE" "$@"; }

build_libzip() {
    stamped libzip && return 0
    local src=$WORK/libzip-src build=$WORK/libzip-build
    fetch_source libzip "$ZIP_SRC_VERSION" "$src"
    log "building libzip $ZIP_SRC_VERSION"
    rm -rf "$build" "$DEST/libzip"
    # Windows' own crypto (bcrypt) for the AES archives; no bzip2/lzma/zstd, which the
    # updater's archives do not use and which would mean more cross-built libraries.
    # (1.7.3 has no zstd support and names ENABLE_ZSTD an unused variable; later releases read it.)
    run_nice cmake -G Ninja -S "$src" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$WORK/build-toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEST/libzip" \
        -DBUILD_SHARED_LIBS=ON \
        -DENABLE_BZIP2=OFF -DENABLE_LZMA=OFF -DENABLE_ZSTD=OFF \
        -DENABLE_COMMONCRYPTO=OFF -DENABLE_GNUTLS=OFF -DENABLE_MBEDTLS=OFF -DENABLE_OPENSSL=OFF \
        -DENABLE_WINDOWS_CRYPTO=ON \
        -DBUILD_TOOLS=OFF -DBUILD_REGRESS=OFF -DBUILD_EXAMPLES=OFF -DBUILD_DOC=OFF >&2
    run_nice cmake --build "$build" -j"$JOBS" >&2
    cmake --install "$build" >&2
    stamp libzip
}

build_googletest() {
    stamped googletest && return 0
    local build=$WORK/googletest-build
    log "building GoogleTest $GTEST_VERSION from /usr/src/googletest"
    rm -rf "$build" "$DEST/googletest"
    run_nice cmake -G Ninja -S /usr/src/googletest -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$WORK/build-toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEST/googletest" \
        -DBUILD_GMOCK=ON -DBUILD_SHARED_LIBS=OFF >&2
    run_nice cmake --build "$build" -j"$JOBS" >&2
    cmake --install "$build" >&2
    stamp googletest
}

build_qt() {
    stamped qt && return 0
    local src=$WORK/qt6-base-src build=$WORK/qt6-base-build
    fetch_source qt6-base "$QT_SRC_VERSION" "$src"
    log "building Qt $QT_SRC_VERSION (Core, Gui, Widgets, Test; about 35 min of CPU)"
    rm -rf "$DEST/qt"
    # The host's Qt (the same release) provides moc, rcc and uic. Debian's source leaves out
    # wintab.h, hence no tablet events; the modules the updater does not use stay off. Without
    # OpenGL, the windows platform plugin builds only with its dynamic OpenGL loading off too.
    # A kept build folder is configured again and ninja goes on where an interrupted run stopped.
    run_nice cmake -G Ninja -S "$src" -B "$build" \
        -DCMAKE_TOOLCHAIN_FILE="$WORK/build-toolchain.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$DEST/qt" \
        -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
        -DQT_QMAKE_TARGET_MKSPEC=win32-g++ \
        -DBUILD_SHARED_LIBS=ON -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF \
        -DFEATURE_tabletevent=OFF \
        -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
        -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
        -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF \
        -DFEATURE_gui=ON -DFEATURE_widgets=ON -DFEATURE_testlib=ON >&2
    run_nice cmake --build "$build" -j"$JOBS" >&2
    cmake --install "$build" >&2
    [[ -e $DEST/qt/plugins/platforms/qwindows.dll && -e $DEST/qt/plugins/platforms/qoffscreen.dll ]] \
        || die "Qt built without the windows and offscreen platform plugins"
    stamp qt
}

# zlib's DLL beside the libraries, so the cache holds every DLL a program built with it needs
# apart from the compiler's runtime.
finish_cache() {
    local zlib
    zlib=$(find /usr/$TRIPLE -name 'zlib1.dll' -print -quit)
    [[ -n $zlib ]] || die "zlib1.dll not found under /usr/$TRIPLE (libz-mingw-w64)"
    mkdir -p "$DEST/bin"
    cp "$zlib" "$DEST/bin/"
}

# ------------------------------------------------------------------ main
ensure_host_packages
compute_key

if [[ -e $DEST/.complete ]]; then
    log "cache complete: $DEST"
    printf '%s\n' "$DEST"
    exit 0
fi
if ((print_only)); then
    log "cache not built yet: $DEST"
    printf '%s\n' "$DEST"
    exit 1
fi

mkdir -p "$CACHE_ROOT"
exec 9>"$CACHE_ROOT/$KEY.lock"
if ! flock -n 9; then
    log "another run is building $KEY; waiting up to $LOCK_WAIT_SECONDS s"
    flock -w "$LOCK_WAIT_SECONDS" 9 || die "gave up waiting for the other run building $DEST"
fi
# The other run may have finished it meanwhile.
if [[ -e $DEST/.complete ]]; then
    log "cache complete: $DEST"
    printf '%s\n' "$DEST"
    exit 0
fi

WORK="$CACHE_ROOT/.work/$KEY"
mkdir -p "$WORK" "$DEST"
printf '%s\n' "$KEY_TEXT" >"$DEST/key.txt"
log "building into $DEST (work folder $WORK)"
ensure_deb_src
write_build_toolchain "$WORK/build-toolchain.cmake"

start=$SECONDS
build_libzip
build_googletest
build_qt

finish_cache
du -sh "$DEST"/qt "$DEST"/libzip "$DEST"/googletest >&2
# Last: from here on the folder counts as complete.
date -u +%FT%TZ >"$DEST/.complete"
rm -rf "$WORK"
log "done in $((SECONDS - start)) s: $DEST"
printf '%s\n' "$DEST"
