#!/usr/bin/env bash
# The Debian package as a workstation gets it: built by CPack from this build, its control
# data and contents read back with dpkg-deb, unpacked into a throw-away root, and the unpacked
# programs run there: qunadiag on a freshly written installation's databases and on an
# archive, quna-updater-link on that installation (link, menu entry, removal), the updater
# without a display. lintian checks the package against Debian's policy. As root, the package
# is then installed with apt, two installations are linked (one for every user, one by an
# ordinary user account), and apt remove and apt purge must leave nothing of them behind.
#   tests/package_test.sh BUILD_DIR VERSION JETWRITE
set -euo pipefail
build=$1 version=$2 jetwrite=$3
source_dir=$(cd "$(dirname "$0")/.." && pwd)

for tool in cpack dpkg-deb dpkg-shlibdeps desktop-file-validate readelf zip lintian; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is missing (scripts/setup.sh installs it)"; exit 77; }
done

work=$(mktemp -d)
chmod 755 "$work" # an ordinary user account works in it too
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
check "Wine is recommended" contains "$info" "Recommends: wine64 | wine"
check "removal scripts" contains "$info" "prerm"
check "purge script" contains "$info" "postrm"

# Debian's policy checker: no error and no warning (root runs it with a notice of its own).
lintian_output=$(lintian "$deb" 2>&1 | grep -v 'running with root privileges' || true)
echo "lintian: ${lintian_output:-(nothing to say)}"
check "lintian finds no error or warning" test -z "$(grep -E '^[EW]: ' <<<"$lintian_output")"

contents=$(dpkg-deb --contents "$deb")
for path in ./usr/lib/quna-updater/QunaAgg2 ./usr/lib/quna-updater/qunadiag \
    "./usr/bin/qunadiag -> ../lib/quna-updater/qunadiag" ./usr/bin/quna-updater-link \
    ./usr/share/icons/hicolor/16x16/apps/quna-updater.png \
    ./usr/share/icons/hicolor/24x24/apps/quna-updater.png \
    ./usr/share/icons/hicolor/32x32/apps/quna-updater.png \
    ./usr/share/icons/hicolor/48x48/apps/quna-updater.png \
    ./usr/share/icons/hicolor/128x128/apps/quna-updater.png \
    ./usr/share/doc/quna-updater/copyright ./usr/share/doc/quna-updater/THIRD-PARTY-NOTICES \
    ./usr/share/doc/quna-updater/CHANGELOG.md ./usr/share/doc/quna-updater/changelog.gz \
    ./usr/share/man/man1/QunaAgg2.1.gz ./usr/share/man/man1/qunadiag.1.gz \
    ./usr/share/man/man1/quna-updater-link.1.gz; do
    check "holds $path" contains "$contents" "$path"
done

# ---------------------------------------------------------------- the unpacked programs
root="$work/root"
dpkg -x "$deb" "$root"
check "qunadiag --version" test "$("$root/usr/bin/qunadiag" --version)" = "qunadiag $version"
check "the updater's version section" \
    contains "$(readelf -p .quna.version "$root/usr/lib/quna-updater/QunaAgg2")" "quna-updater $version"
check "the changelog has this release" contains "$(cat "$root/usr/share/doc/quna-updater/CHANGELOG.md")" "## $version"
check "the Debian changelog has this release" \
    contains "$(zcat "$root/usr/share/doc/quna-updater/changelog.gz")" "quna-updater ($version) unstable"
check "the qunadiag manual page describes check" \
    contains "$(zcat "$root/usr/share/man/man1/qunadiag.1.gz")" "check"

# The updater without a display: a message and status 1, not Qt's abort. Started from its
# package folder it also says to start it through an installation's link.
status=0
no_display=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    "$root/usr/lib/quna-updater/QunaAgg2" 2>&1 >/dev/null) || status=$?
check "no display: status 1" test "$status" -eq 1
check "no display: said on standard error" contains "$no_display" "no display"
check "from the package folder: the hint to use the link" \
    contains "$no_display" "through the QunaAgg2 link in an installation folder"
no_display=$(cd "$root/usr/lib/quna-updater" &&
    env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM ./QunaAgg2 2>&1 >/dev/null) || true
check "from the package folder, started as ./QunaAgg2: the hint" \
    contains "$no_display" "through the QunaAgg2 link in an installation folder"
mkdir "$work/linked"
ln -s "$root/usr/lib/quna-updater/QunaAgg2" "$work/linked/QunaAgg2"
no_display=$(cd "$work/linked" && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
    ./QunaAgg2 2>&1 >/dev/null) || true
check "through a link: no hint" test -z "$(grep -F 'package folder' <<<"$no_display")"

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
# This run's records, not the machine's: this part works on the unpacked package.
export QUNA_LINK_RECORD="$work/record/links" QUNA_SYSTEM_APPLICATIONS="$work/system-menu"
link_tool="$root/usr/bin/quna-updater-link"
status=0
help=$("$link_tool" --help) || status=$?
check "quna-updater-link --help: status 0" test "$status" -eq 0
check "quna-updater-link --help: usage on standard output" contains "$help" "usage: quna-updater-link"
status=0
out=$("$link_tool" 2>"$work/err") || status=$?
check "quna-updater-link without a folder: status 2" test "$status" -eq 2
check "quna-updater-link without a folder: usage on standard error" \
    test -z "$out" -a -n "$(grep 'usage:' "$work/err")"
status=0
"$link_tool" --frobnicate "$inst" 2>/dev/null || status=$?
check "quna-updater-link with an unknown option: status 2" test "$status" -eq 2
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
"$link_tool" --system "$inst" >/dev/null
system_entries=("$QUNA_SYSTEM_APPLICATIONS"/quna-updater-*.desktop)
check "--system: the entry for every user" test -f "${system_entries[0]}"
check "--system: the entry validates" desktop-file-validate "${system_entries[0]}"
check "--system: recorded" grep -qxF "entry ${system_entries[0]}" "$QUNA_LINK_RECORD"
"$link_tool" --remove-recorded >/dev/null
check "--remove-recorded: no link, no entry" \
    test ! -L "$inst/QunaAgg2" -a ! -e "${system_entries[0]}"
check "--remove-recorded: the record is empty" test ! -s "$QUNA_LINK_RECORD"
unset QUNA_LINK_RECORD QUNA_SYSTEM_APPLICATIONS

# ---------------------------------------------------------------- installed with apt
# The package installed on this machine, two installations linked, then removed and purged.
# That needs root, and a machine where the package is not installed already (its links and
# menu entries are somebody's).
skipped=""
if (($(id -u) != 0)); then
    skipped="installing with apt needs root"
elif dpkg-query -W -f='${Status}' quna-updater 2>/dev/null | grep -q 'ok installed\|config-files'; then
    skipped="the package quna-updater is installed on this machine already"
elif ! command -v apt-get >/dev/null || ! command -v useradd >/dev/null; then
    skipped="apt-get or useradd is missing"
fi
if [[ -n "$skipped" ]]; then
    echo "SKIP  apt install, link, remove, purge: $skipped"
else
    user="qunatest$$"
    apt_get() { DEBIAN_FRONTEND=noninteractive apt-get -q -y -o DPkg::Lock::Timeout=300 "$@"; }
    cleanup() {
        apt_get purge quna-updater >/dev/null 2>&1 || true
        userdel "$user" 2>/dev/null || true
        rm -rf "$work"
    }
    trap cleanup EXIT
    useradd -M -d "$work/$user" -s /usr/sbin/nologin "$user"
    as_user() { runuser -u "$user" -- env -i HOME="$work/$user" PATH=/usr/bin:/bin "$@"; }
    apt_get install --no-install-recommends "$deb" >"$work/apt.log" 2>&1 ||
        { cat "$work/apt.log"; echo "FAIL  apt install"; exit 1; }
    check "apt install" test -x /usr/lib/quna-updater/QunaAgg2 -a -x /usr/bin/quna-updater-link
    check "the manual page is found" test -n "$(man -w quna-updater-link 2>/dev/null)"

    # One installation owned by root, linked for every user; one owned by the user, linked by it.
    shared="$work/shared/QUNAWIN" own="$work/$user/QUNAWIN"
    "$source_dir/scripts/make-installation.sh" "$shared" "$work/shared/dati" "$jetwrite"
    mkdir -p "$work/$user"
    "$source_dir/scripts/make-installation.sh" "$own" "$work/$user/dati" "$jetwrite"
    chown -R "$user:" "$work/$user"

    status=0
    refused=$(as_user quna-updater-link "$shared" 2>&1) || status=$?
    check "a user who may not write the folder: status 1" test "$status" -eq 1
    check "... told which folder and what to ask for" contains "$refused" \
        "you may not write to that folder (owner root). Ask the administrator"
    check "... naming the folder" contains "$refused" "$shared"
    check "... not a bare ln error" test -z "$(grep -F 'Permission denied' <<<"$refused")"

    quna-updater-link --system "$shared" >/dev/null
    sys_entry=(/usr/local/share/applications/quna-updater-*.desktop)
    check "--system: the shared installation's link" test -L "$shared/QunaAgg2"
    check "--system: an entry in /usr/local/share/applications" test -f "${sys_entry[0]}"
    check "--system: the entry can be read by every user" as_user test -r "${sys_entry[0]}"
    check "the machine's record" test -s /var/lib/quna-updater/links
    status=0
    as_user quna-updater-link --system "$own" >/dev/null 2>&1 || status=$?
    check "--system as a user: refused" test "$status" -eq 1
    as_user quna-updater-link "$shared" >/dev/null
    status=0
    as_user quna-updater-link --remove "$shared" >/dev/null 2>&1 || status=$?
    check "--remove by a user of the administrator's link: its own entry goes, the link stays" \
        test "$status" -eq 1 -a -L "$shared/QunaAgg2" \
        -a -z "$(ls "$work/$user"/.local/share/applications/ 2>/dev/null)"
    as_user quna-updater-link "$shared" >/dev/null
    as_user quna-updater-link "$own" >/dev/null
    user_entries=("$work/$user"/.local/share/applications/quna-updater-*.desktop)
    check "the user: its own link and entries" \
        test -L "$own/QunaAgg2" -a "${#user_entries[@]}" -eq 2
    check "the user's record" test -s "$work/$user/.local/state/quna-updater/links"

    apt_get remove quna-updater >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; echo "FAIL  apt remove"; }
    check "apt remove: no link left" test ! -L "$shared/QunaAgg2" -a ! -L "$own/QunaAgg2"
    check "apt remove: no menu entry for every user" \
        test -z "$(ls /usr/local/share/applications/quna-updater-*.desktop 2>/dev/null)"
    check "apt remove: no menu entry of the user" \
        test -z "$(ls "$work/$user"/.local/share/applications/ 2>/dev/null)"
    check "apt remove: nothing left recorded" test ! -s /var/lib/quna-updater/links
    check "apt remove: the user's record is empty" test ! -s "$work/$user/.local/state/quna-updater/links"
    check "the installations are otherwise untouched" \
        test -f "$shared/config.dat" -a -f "$own/dbClient.mdb"
    apt_get purge quna-updater >"$work/apt.log" 2>&1 || { cat "$work/apt.log"; echo "FAIL  apt purge"; }
    check "apt purge: no record" test ! -e /var/lib/quna-updater
    check "apt purge: the package is gone" \
        test -z "$(dpkg-query -W -f='${Status}' quna-updater 2>/dev/null | grep -v not-installed)"
fi

((failures == 0)) || { echo "$failures check(s) failed"; exit 1; }
if [[ -n "$skipped" ]]; then
    echo "package checks passed, except those skipped: $skipped"
    exit 77
fi
echo "package checks passed"
