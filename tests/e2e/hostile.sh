# Three updates that cannot succeed, each in the real window, on one installation:
#  1. an archive holding QUNA.OLD (the backup's name) and no main program is refused with an
#     error box: the window stays, the installation keeps its main program, and "Esci"
#     starts that program;
#  2. a good archive under a 1 MiB file-size limit: the write fails, an error box tells it,
#     the updater is not killed and nothing changes;
#  3. neither a main program nor a backup, and an archive without a main program: the
#     restore notice, then the critical box that nothing can be started, and the end.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
archive="$INST/Aggiorna/qn45070218.zip"
stage="$WORK/stage"

# stage_archive NAME...: zips the named files of $stage, with dati/tabelle.bin of random
# bytes that bring the archive past 3,000,000 bytes, as the update archive.
stage_archive() {
    mkdir -p "$stage/dati"
    head -c 3200000 /dev/urandom >"$stage/dati/tabelle.bin"
    rm -f "$archive"
    (cd "$stage" && zip -q -r "$archive" "$@" dati)
    rm -rf "$stage"
}

# without_backup FILE: a snapshot without the lines of Quna.OLD, which a failed update keeps.
without_backup() { grep -v 'Quna\.OLD$' "$1"; }

# elabora_until_error: Elabora, "Sì" to the question, then the error box; the window stays.
elabora_until_error() {
    click_until_box "$WIN" "${ELABORA[@]}"
    answer_question Return Return 30 # "Sì", then the error
    if poll 2 any_box; then fail "another box appeared"; fi
    running "$APP_PID" || fail "the updater ended after the error"
    [[ -n "$(find_window "$MAIN_TITLE")" ]] || fail "the main window is gone"
    check_nothing_started
}

# leave_with_esci TAG: "Esci" starts the main program tagged TAG once; its markers are then
# kept apart for the next part.
leave_with_esci() {
    click_control "$WIN" "${ESCI[@]}"
    updater_ends 5
    check_started_once "$1" "$GONE_AT"
    mv "$MARKS/first.log" "$MARKS/first.$1.log"
    mv "$MARKS/second.log" "$MARKS/second.$1.log"
}

start_xvfb

log "part 1: an archive with QUNA.OLD and no main program"
mkdir -p "$stage"
main_program "$stage/QUNA.OLD" 9.9
stage_archive QUNA.OLD
snapshot "$WORK/before"
open_main_window
elabora_until_error
leave_with_esci 4.4
snapshot "$WORK/after"
diff <(without_backup "$WORK/before") <(without_backup "$WORK/after") ||
    fail "the installation changed"
cmp -s "$INST/Quna.exe" "$INST/Quna.OLD" || fail "Quna.OLD is not the backup of Quna.exe"

log "part 2: a good archive under a 1 MiB file-size limit"
make_archive "$archive" 4.5 3200000
snapshot "$WORK/before"
(cd "$INST" && ulimit -f 1024 && exec env QT_QPA_PLATFORM=xcb ./QunaAgg2) >"$WORK/updater.log" 2>&1 &
APP_PID=$!
WIN=$(wait_window "$MAIN_TITLE") || fail "the main window did not appear"
elabora_until_error
leave_with_esci 4.4
snapshot "$WORK/after"
diff "$WORK/before" "$WORK/after" || fail "the installation changed"

log "part 3: no main program, no backup, an archive without a main program"
rm "$INST/Quna.exe" "$INST/Quna.OLD"
stage_archive
open_main_window
click_until_box "$WIN" "${ELABORA[@]}"
answer_box Return 10 # the question
answer_box Return 30 # "Ripristino la versione precedente"
restore=$BOX_ID
answer_box Return 10 # "Impossibile avviare il programma QUNA:"
[[ "$BOX_ID" != "$restore" ]] || fail "the same box twice"
updater_ends 5
check_nothing_started
left=$(cd "$INST" && find . -maxdepth 1 -name '.quna-*' -print)
[[ -z "$left" ]] || fail "left behind: $left"
log "passed"
