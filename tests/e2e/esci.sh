# "Esci" starts the main program once and ends the updater at once; the main program goes on.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
start_xvfb
open_main_window
click_control "$WIN" "${ESCI[@]}"
updater_ends 5
check_started_once 4.4 "$GONE_AT"
log "passed"
