# A real installation inside a Wine prefix: the updater in C:\QUNAWIN, config.dat holding
# C:\QUNAWIN\DATI, a drive S: and a share \\server\quna in the prefix, and a Windows main
# program. The window shows both versions and C:\QUNAWIN\DATI\quna.mdb (read over the
# accessibility bus, as a screen reader reads them), "Elabora" installs an archive whose
# Quna.exe is a newer Windows program, and that program runs under Wine in C:\QUNAWIN of this
# prefix, even with the user's WINEPREFIX naming another one.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
skip_without wine wineboot wineserver x86_64-w64-mingw32-gcc dbus-daemon gdbus python3
export WINEDEBUG=-all

use_wine_prefix

# standin FILE VERSION: a Windows console program standing in for Quna.exe; it appends its
# version, its working folder and its own path, as Windows gives them, to C:\marks\started.log.
standin() {
    cat >"$WORK/standin.c" <<'C'
#include <stdio.h>
#include <windows.h>
int main(void) {
    char folder[MAX_PATH] = "", self[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    GetModuleFileNameA(NULL, self, sizeof self);
    FILE *marks = fopen("C:\\marks\\started.log", "a");
    if (!marks) return 1;
    fprintf(marks, "%s|%s|%s\n", QUNA_VERSION, folder, self);
    return fclose(marks) != 0;
}
C
    x86_64-w64-mingw32-gcc -O2 -DQUNA_VERSION="\"$2\"" -o "$1" "$WORK/standin.c" ||
        fail "cannot compile the stand-in main program"
}

log "making a Wine prefix"
DISPLAY='' WINEPREFIX="$PFX" timeout 60 wineboot -i >"$WORK/wineboot.log" 2>&1 ||
    fail "wineboot failed: $(tail -n 5 "$WORK/wineboot.log")"
[[ -L "$PFX/dosdevices/c:" ]] || fail "the prefix has no drive c:"
log "prefix ready"

# The installation, config.dat naming the data folder by its drive C: path.
"$SOURCE_DIR/scripts/make-installation.sh" "$INST" "$DATA" "$JETWRITE" 'C:\QUNAWIN\DATI' \
    >/dev/null || fail "cannot write the installation"
standin "$INST/Quna.exe" 4.4
cp "$QUNA_BIN" "$INST/QunaAgg2"
mkdir -p "$PFX/drive_c/marks" "$WORK/share/QUNA" "$PFX/dosdevices/unc/server"
ln -s "$WORK/share" "$PFX/dosdevices/s:"
ln -s "$WORK/share/QUNA" "$PFX/dosdevices/unc/server/quna"

# The archive: the newer stand-in and 3.2 MB of data that does not compress.
stage="$WORK/stage"
mkdir -p "$stage/modelli"
standin "$stage/Quna.exe" 4.5
head -c 3200000 /dev/urandom >"$stage/modelli/tabelle.bin"
archive="$INST/Aggiorna/qn45070218.zip"
(cd "$stage" && zip -q -r "$archive" Quna.exe modelli)
new_main=$(sha256sum <"$stage/Quna.exe")

start_xvfb
start_accessibility_bus
# The user's own default prefix is elsewhere: the main program must not go there.
export WINEPREFIX="$WORK/elsewhere"
open_main_window
# What the window shows: both versions, the database by its drive C: path, drive c: selected.
read_texts() {
    window_texts >"$WORK/texts" && shows 'C:\QUNAWIN\DATI\quna.mdb' &&
        shows "Aggiorna Quna alla ver. 4.5 del 18-02-2007"
}
poll 20 read_texts || fail "the window shows neither C:\QUNAWIN\DATI\quna.mdb nor the archive: $(cut -f1 "$WORK/texts" | tr '\n' '|')"
shows "4.4  del  10-01-07" || fail "the installed version is not shown"
shows "4.4  del 10-01-07" || fail "the workstation's version is not shown"
grep -q '^c: \[' "$WORK/texts" || fail "the drive list is not on c:"
log "the window shows $(grep -c . "$WORK/texts") texts, the versions and C:\QUNAWIN\DATI\quna.mdb"
! any_box || fail "start-up showed a message box"
click_until_box "$WIN" "${ELABORA[@]}"
answer_question Return Return 60 # "Sì", then "Elaborazione terminata!!!"
updater_ends 5

[[ $(sha256sum <"$INST/Quna.exe") == "$new_main" ]] || fail "Quna.exe was not replaced"
[[ $(sha256sum <"$INST/modelli/tabelle.bin") == $(sha256sum <"$stage/modelli/tabelle.bin") ]] ||
    fail "modelli/tabelle.bin differs"
[[ ! -e "$INST/Quna.OLD" && ! -e "$INST/quna.old" ]] || fail "the backup was left behind"

marks="$PFX/drive_c/marks/started.log"
poll 30 test -s "$marks" || fail "the main program did not run in the installation's prefix"
sleep 1 # a second start, if any, would have noted itself by now
log "main program: $(cat "$marks")"
[[ $(wc -l <"$marks") -eq 1 ]] || fail "the main program started $(wc -l <"$marks") times"
IFS='|' read -r version folder self <"$marks"
folder=${folder%$'\r'} self=${self%$'\r'}
[[ "$version" == 4.5 ]] || fail "the main program that ran is version $version"
[[ "$folder" == 'C:\QUNAWIN' ]] || fail "the main program ran in $folder, not C:\\QUNAWIN"
[[ "${self,,}" == 'c:\qunawin\quna.exe' ]] || fail "the main program ran as $self"
[[ ! -e "$WORK/elsewhere" ]] || fail "Wine made the user's default prefix: the program ran there"
log "passed"
