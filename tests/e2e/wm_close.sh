# Closing the window as a window manager does (WM_DELETE_WINDOW): like "Esci", the main
# program starts once and the updater ends at once.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

command -v python3 >/dev/null || { echo "python3 is missing: skipped"; exit 77; }
make_installation
start_xvfb
open_main_window
log "main window $WIN: sending WM_DELETE_WINDOW"
send_wm_delete "$WIN" || fail "could not send WM_DELETE_WINDOW"
updater_ends 5
check_started_once 4.4 "$GONE_AT"
log "passed"
