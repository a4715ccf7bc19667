# An archive under 3,000,000 bytes is refused with a warning: the window stays, nothing in
# the installation changes, and "Esci" then ends the updater as usual.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
archive="$INST/Aggiorna/qn45070218.zip"
make_archive "$archive" 4.5 100000
bytes=$(wc -c <"$archive")
((bytes < 3000000)) || fail "the archive is $bytes bytes"
snapshot "$WORK/before"

start_xvfb
open_main_window
click_until_box "$WIN" "${ELABORA[@]}"
answer_box Return 10
# The window stays, with no further box.
if poll 2 any_box; then fail "another box appeared"; fi
running "$APP_PID" || fail "the updater ended after the warning"
[[ -n "$(find_window "$MAIN_TITLE")" ]] || fail "the main window is gone"
check_nothing_started
click_control "$WIN" "${ESCI[@]}"
updater_ends 5
check_started_once 4.4 "$GONE_AT"
snapshot "$WORK/after"
diff "$WORK/before" "$WORK/after" || fail "the installation changed"
log "passed"
