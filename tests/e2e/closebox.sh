# The close box at the right end of the caption bar: like "Esci", the main program starts
# once and the updater ends at once.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
start_xvfb
open_main_window
window_origin "$WIN"
# The close box sits 12 px from the right edge, in the middle of the caption bar.
click_caption "$WIN" $((WW - 24)) $((CAPTION_HEIGHT / 2))
updater_ends 5
check_started_once 4.4 "$GONE_AT"
log "passed"
