# The Windows build as a workstation gets it: the zip unpacked into C:\QUNAWIN of a fresh Wine
# prefix with config.dat, both databases and an archive in Aggiorna; QunaAgg2.exe started by
# Wine on a private Xvfb display and driven with xdotool; Windows stand-ins for Quna.exe that
# note each start in C:\marks\started.log. E2E_CASE picks what is tried:
#   update    config.dat names C:\QUNAWIN\DATI; "Elabora" installs the archive and the new
#             main program starts, once, in C:\QUNAWIN
#   unc       the same with the data on the share \\server\quna, named so in config.dat
#   in_use    another program holds a file the archive replaces (opened without sharing, as
#             Windows programs do): the update stops with the error, nothing is changed, the
#             main program is still there
#   running   the old main program still runs while the update replaces it
#   recovery  the updater is killed while it moves the new files into place; the next start
#             completes the update (or undoes it), and the installation is wholly new or old
#   windows/e2e.sh ZIP JETWRITE
missing=""
for cmd in wine wineboot wineserver x86_64-w64-mingw32-gcc unzip flock; do
    command -v "$cmd" >/dev/null || missing+=" $cmd"
done
if [[ -n "$missing" ]]; then
    echo "skipped: Wine or the MinGW compiler is missing ($missing); scripts/setup.sh installs them"
    exit 77
fi
ZIP=$1
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/../e2e/lib.sh"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# A box under Wine may take a few seconds to go: a key sent again meanwhile would reach the
# main window and press its focused button.
export E2E_BOX_GRACE=6
CASE=${E2E_CASE:?E2E_CASE names the case}

use_wine_prefix
WMARKS="$PFX/drive_c/marks"

# A fresh prefix: a copy of one made once for the build (making one takes half a minute).
template=${E2E_PREFIX_TEMPLATE:-$WORK/template}
(
    flock 9
    if [[ ! -f "$template/system.reg" ]]; then
        rm -rf "$template"
        DISPLAY='' WINEPREFIX="$template" timeout 120 wineboot -i >"$WORK/wineboot.log" 2>&1
        WINEPREFIX="$template" timeout 30 wineserver -w
    fi
) 9>"$template.lock" || fail "wineboot failed: $(tail -n 5 "$WORK/wineboot.log" 2>/dev/null)"
cp -a "$template" "$PFX"
[[ -L "$PFX/dosdevices/c:" ]] || fail "the prefix has no drive c:"
export WINEPREFIX="$PFX"

# windows_program FILE SOURCE: a Windows console program compiled from C text.
windows_program() {
    printf '%s\n' "$2" >"$WORK/program.c"
    x86_64-w64-mingw32-gcc -O2 -o "$1" "$WORK/program.c" || fail "cannot compile $1"
}

# standin FILE VERSION: Quna.exe. It notes "VERSION|working folder|its own path"; while
# C:\marks\hold exists (at most 60 s) it keeps running.
standin() {
    windows_program "$1" "#include <stdio.h>
#include <windows.h>
int main(void) {
    char folder[MAX_PATH] = \"\", self[MAX_PATH] = \"\";
    GetCurrentDirectoryA(sizeof folder, folder);
    GetModuleFileNameA(NULL, self, sizeof self);
    FILE *marks = fopen(\"C:\\\\marks\\\\started.log\", \"a\");
    if (!marks) return 1;
    fprintf(marks, \"%s|%s|%s\\n\", \"$2\", folder, self);
    fclose(marks);
    for (int i = 0; i < 600 && GetFileAttributesA(\"C:\\\\marks\\\\hold\") != INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    return 0;
}"
}

# The installation and the archive: a new Quna.exe, modelli/tabelle.bin (3.2 MB that does not
# compress) and, for the recovery, 1,500 small files more, so that moving them into place
# takes a while.
record='C:\QUNAWIN\DATI'
if [[ "$CASE" == unc ]]; then
    DATA="$WORK/share/QUNA/DATI"
    mkdir -p "$DATA" "$PFX/dosdevices/unc/server"
    ln -s "$WORK/share/QUNA" "$PFX/dosdevices/unc/server/quna"
    record='\\server\quna\DATI'
fi
"$SOURCE_DIR/scripts/make-installation.sh" "$INST" "$DATA" "$JETWRITE" "$record" >/dev/null ||
    fail "cannot write the installation"
unzip -q "$ZIP" -d "$INST" || fail "cannot unpack $ZIP"
standin "$INST/Quna.exe" 4.4
mkdir -p "$INST/modelli" "$WMARKS"
printf 'vecchio' >"$INST/modelli/tabelle.bin"
stage="$WORK/stage"
mkdir -p "$stage/modelli"
standin "$stage/Quna.exe" 4.5
head -c 3200000 /dev/urandom >"$stage/modelli/tabelle.bin"
if [[ "$CASE" == recovery ]]; then
    mkdir -p "$stage/moduli"
    for i in $(seq 1500); do echo "modulo $i" >"$stage/moduli/m$i.txt"; done
fi
archive="$INST/Aggiorna/qn45070218.zip"
(cd "$stage" && zip -q -r "$archive" .)
new_main=$(sha256sum <"$stage/Quna.exe")
old_main=$(sha256sum <"$INST/Quna.exe")

start_updater() {
    (cd "$INST" && exec wine 'C:\QUNAWIN\QunaAgg2.exe') >"$WORK/updater.log" 2>&1 &
    APP_PID=$!
    log "updater started (pid $APP_PID)"
}
started() { # the lines of the main program's marks
    if [[ -f "$WMARKS/started.log" ]]; then tr -d '\r' <"$WMARKS/started.log"; fi
}
same_file() { [[ $(sha256sum <"$1") == $(sha256sum <"$2") ]]; }
# check_new: every file of the archive is in place, the backup is gone.
check_new() {
    [[ $(sha256sum <"$INST/Quna.exe") == "$new_main" ]] || fail "Quna.exe was not replaced"
    same_file "$INST/modelli/tabelle.bin" "$stage/modelli/tabelle.bin" ||
        fail "modelli/tabelle.bin differs"
    if [[ -d "$stage/moduli" ]]; then
        diff -r "$stage/moduli" "$INST/moduli" >/dev/null || fail "moduli differs from the archive"
    fi
}
check_old() {
    [[ $(sha256sum <"$INST/Quna.exe") == "$old_main" ]] || fail "Quna.exe is not the old one"
    [[ $(cat "$INST/modelli/tabelle.bin") == vecchio ]] || fail "modelli/tabelle.bin changed"
    ! compgen -G "$INST/moduli/*" >/dev/null || fail "files of moduli were left behind"
}
# check_main_ran VERSION COUNT: COUNT starts noted, the last one VERSION in C:\QUNAWIN.
check_main_ran() {
    poll 30 eval '[[ $(started | wc -l) -ge '"$2"' ]]' || fail "the main program did not start: $(started)"
    sleep 1 # a second start, if any, would have noted itself by now
    [[ $(started | wc -l) -eq $2 ]] || fail "the main program started $(started | wc -l) times: $(started)"
    local version folder self
    IFS='|' read -r version folder self < <(started | tail -n 1)
    [[ "$version" == "$1" ]] || fail "the main program that ran is version $version"
    [[ "$folder" == 'C:\QUNAWIN' ]] || fail "the main program ran in $folder, not C:\\QUNAWIN"
    [[ "${self,,}" == 'c:\qunawin\quna.exe' ]] || fail "the main program ran as $self"
    log "main program: $(started | tr '\n' ' ')"
}
elabora() {
    click_until_box "$WIN" "${ELABORA[@]}"
    answer_box Return 10 # "Sì"
}

start_xvfb
case "$CASE" in
update | unc)
    open_main_window
    elabora
    answer_box Return 90 # "Elaborazione terminata!!!"
    updater_ends 20
    check_new
    [[ ! -e "$INST/Quna.OLD" ]] || fail "the backup was left behind"
    check_main_ran 4.5 1
    ;;
in_use)
    windows_program "$WORK/holder.exe" '#include <windows.h>
int main(void) {
    HANDLE h = CreateFileA("C:\\QUNAWIN\\modelli\\tabelle.bin", GENERIC_READ, FILE_SHARE_READ,
                           NULL, OPEN_EXISTING, 0, NULL);
    if (h == INVALID_HANDLE_VALUE) return 1;
    CloseHandle(CreateFileA("C:\\marks\\holding", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL));
    for (int i = 0; i < 1200 && GetFileAttributesA("C:\\marks\\release") == INVALID_FILE_ATTRIBUTES; ++i)
        Sleep(100);
    return 0;
}'
    wine "$WORK/holder.exe" >/dev/null 2>&1 &
    holder=$!
    poll 30 test -e "$WMARKS/holding" || fail "the holder did not open the file"
    open_main_window
    elabora
    answer_box Return 90 # the error
    poll 2 any_box && fail "another box appeared"
    running "$APP_PID" || fail "the updater ended after the error"
    check_old
    [[ -z "$(started)" ]] || fail "a main program was started: $(started)"
    touch "$WMARKS/release"
    wait "$holder" || true
    # "Esci" starts the old program.
    click_control "$WIN" "${ESCI[@]}"
    updater_ends 20
    check_main_ran 4.4 1
    ;;
running)
    touch "$WMARKS/hold"
    wine 'C:\QUNAWIN\Quna.exe' >/dev/null 2>&1 &
    old=$!
    poll 30 eval '[[ -n "$(started)" ]]' || fail "the old main program did not start"
    open_main_window
    elabora
    answer_box Return 90 # "Elaborazione terminata!!!"
    updater_ends 20
    running "$old" || fail "the old main program ended during the update"
    check_new
    rm -f "$WMARKS/hold"
    wait "$old" || true
    check_main_ran 4.5 2
    ;;
recovery)
    open_main_window
    elabora
    # The first of the small files under its own name: the commit has begun.
    journal="$INST/.quna-update.journal"
    poll 90 eval 'compgen -G "$INST/moduli/m*.txt" >/dev/null' ||
        fail "the update never reached its commit"
    kill -9 "$APP_PID"
    updater_ends 10
    log "killed during the commit"
    # The next start settles it: "completato" (or "annullato") before the window opens.
    start_updater
    answer_box Return 30
    WIN=$(wait_window "$MAIN_TITLE") || fail "the main window did not appear after the recovery"
    poll 20 eval '[[ ! -e "$journal" ]]' || fail "the journal is still there after the recovery"
    if [[ $(sha256sum <"$INST/Quna.exe") == "$new_main" ]]; then check_new; else check_old; fi
    click_control "$WIN" "${ESCI[@]}"
    updater_ends 20
    [[ $(started | wc -l) -eq 1 ]] || fail "the main program started $(started | wc -l) times"
    ;;
*) fail "no case $CASE" ;;
esac
log "passed"
