# The keyboard alone: Return and Space press "Elabora", which has the focus at start; the
# question answers No to N, Alt+N and Escape, each followed by the cancellation notice (closed
# with Escape or Return), and Sì to S; the closing notice goes with Escape. Then the archive
# is installed and the new main program started once.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
archive="$INST/Aggiorna/qn45070218.zip"
make_archive "$archive" 4.5 3200000
new_main=$(unzip -p "$archive" Quna.exe | sha256sum)
snapshot "$WORK/before"

start_xvfb
open_main_window

# press KEY_ON_ELABORA ANSWER CLOSE: a refused question, the installation untouched.
declined() {
    key_until_box "$WIN" "$1"
    answer_question "$2" "$3" 10 # then "Aggiornamento versione Qunawin annullata!!"
    if poll 1 any_box; then fail "another box after the notice"; fi
    running "$APP_PID" || fail "the updater ended after answering $2"
    snapshot "$WORK/now"
    diff "$WORK/before" "$WORK/now" >/dev/null || fail "the installation changed after answering $2"
    log "$1 on Elabora, $2 to the question: declined"
}
declined Return n Escape
declined space alt+n Return
declined Return Escape Escape
check_nothing_started

key_until_box "$WIN" Return
answer_question s Escape 60 # then "Elaborazione terminata!!!"
updater_ends 5
[[ $(sha256sum <"$INST/Quna.exe") == "$new_main" ]] || fail "Quna.exe was not replaced"
check_started_once 4.5 "$GONE_AT"
log "passed"
