#!/usr/bin/env bash
# The Debian package as a workstation gets it: built by CPack from this build, its control
# data and contents read back with dpkg-deb, unpacked into a throw-away root, and the unpacked
# programs run there: qunadiag on a freshly written installation's databases and on an
# archive, and quna-updater-link on that installation (link, menu entry, removal).
#   tests/package_test.sh BUILD_DIR VERSION JETWRITE
set -euo pipefail
build=$1 version=$2 jetwrite=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate readelf zip; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/setup.sh installs it)"; exit 77; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
check() { # DESCRIPTION COMMAND...
    local what=$1; shift
    if "$@"; then echo "ok    $what"; else echo "FAIL  $what"; failures=$((failures + 1)); fi
}
contains() { grep -q -F -- "$2" <<<"$1"; }
lacks() { ! grep -q -F -- "$2" <<<"$1"; }

# ---------------------------------------------------------------- the package
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; echo "FAIL  cpack"; exit 1; }
deb="$work/out/quna-updater_${version}_amd64.deb"
[[ -f "$deb" ]] || { ls "$work/out"; echo "FAIL  no $deb"; exit 1; }

info=$(dpkg-deb --info "$deb")
echo "$info"
check "package name" contains "$info" "Package: quna-updater"
check "version from the project" contains "$info" "Version: $version"
check "architecture" contains "$info" "Architecture: amd64"
for library in libqt6widgets6 libqt6core6 libzip4; do
    check "depends on $library (computed by dpkg-shlibdeps)" contains "$info" "$library"
done
check "does not depend on mdbtools (the database layer reads Jet files itself)" \
    lacks "$info" "libmdb"
check "short description" contains "$info" "Description: updater of the QUNA application"
check "long description" contains "$info" "keeping a backup of the main program"

contents=$(dpkg-deb --contents "$deb")
for path in ./usr/lib/quna-updater/QunaAgg2 ./usr/lib/quna-updater/qunadiag \
    "./usr/bin/qunadiag -> ../lib/quna-updater/qunadiag" ./usr/bin/quna-updater-link \
    ./usr/share/icons/hicolor/16x16/apps/quna-updater.png \
    ./usr/share/icons/hicolor/24x24/apps/quna-updater.png \
    ./usr/share/icons/hicolor/32x32/apps/quna-updater.png \
    ./usr/share/icons/hicolor/48x48/apps/quna-updater.png \
    ./usr/share/icons/hicolor/128x128/apps/quna-updater.png \
    ./usr/share/doc/quna-updater/copyright ./usr/share/doc/quna-updater/THIRD-PARTY-NOTICES \
    ./usr/share/doc/quna-updater/CHANGELOG.md; do
    check "holds $path" contains "$contents" "$path"
done

# ---------------------------------------------------------------- the unpacked programs
root="$work/root"
dpkg -x "$deb" "$root"
check "qunadiag --version" test "$("$root/usr/bin/qunadiag" --version)" = "qunadiag $version"
check "the updater's version section" \
    contains "$(readelf -p .quna.version "$root/usr/lib/quna-updater/QunaAgg2")" "quna-updater $version"
check "the changelog has this release" contains "$(cat "$root/usr/share/doc/quna-updater/CHANGELOG.md")" "## $version"

inst="$work/QUNA WIN" data="$work/dati"
"$source_dir/scripts/make-installation.sh" "$inst" "$data" "$jetwrite"
check "qunadiag reads quna.mdb with its password" contains \
    "$("$root/usr/bin/qunadiag" db "$data/quna.mdb" --password BlumoKast)" $'Versione\t4.4'
check "qunadiag reads dbClient.mdb" contains \
    "$("$root/usr/bin/qunadiag" db "$inst/dbClient.mdb" --table Configurazione)" $'VersioPC\t4.4'
mkdir -p "$work/stage/dati"
echo "QUNA 4.5" >"$work/stage/Leggimi.txt"
echo "tabelle" >"$work/stage/dati/tabelle.txt"
(cd "$work/stage" && zip -q -r "$inst/Aggiorna/qn45070218.zip" .)
listing=$("$root/usr/bin/qunadiag" zip "$inst/Aggiorna/qn45070218.zip")
check "qunadiag lists the archive" contains "$listing" "Leggimi.txt"
check "qunadiag describes the archive" contains "$listing" "label: Aggiorna Quna alla ver. 4.5 del 18-02-2007"

# ---------------------------------------------------------------- linking an installation
export HOME="$work/home"
unset XDG_DATA_HOME
"$root/usr/bin/quna-updater-link" "$inst"
check "the link points at the installed updater" \
    test "$(readlink "$inst/QunaAgg2")" = "$(readlink -f "$root/usr/lib/quna-updater/QunaAgg2")"
entries=("$HOME"/.local/share/applications/quna-updater-*.desktop)
check "one menu entry" test "${#entries[@]}" -eq 1 -a -f "${entries[0]}"
entry=$(cat "${entries[0]}")
check "menu entry validates" desktop-file-validate "${entries[0]}"
check "menu entry name" contains "$entry" "Name=Aggiorna QUNA"
check "menu entry starts the link, quoted" contains "$entry" "Exec=\"$inst/QunaAgg2\""
check "menu entry window class" contains "$entry" "StartupWMClass=QunaAgg2"
check "menu entry icon" contains "$entry" "Icon=quna-updater"
"$root/usr/bin/quna-updater-link" "$inst" >/dev/null
check "linking again keeps one entry" test "$(ls "$HOME"/.local/share/applications | wc -l)" -eq 1
"$root/usr/bin/quna-updater-link" --remove "$inst"
check "--remove takes the link away" test ! -e "$inst/QunaAgg2" -a ! -L "$inst/QunaAgg2"
check "--remove takes the entry away" test ! -e "${entries[0]}"
check "the installation is otherwise untouched" test -f "$inst/config.dat" -a -f "$inst/dbClient.mdb"

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
echo "package checks passed"
