# "Esci" starts the main program once and ends the updater at once; the main program goes on.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
start_xvfb
start_updater
win=$(wait_window "$MAIN_TITLE") || fail "the main window did not appear"
log "main window $win"
click_control "$win" "${ESCI[@]}"
updater_ends 5
check_started_once 4.4 "$GONE_AT"
log "passed"
