# Started through a link in the installation folder (what quna-updater-link leaves there),
# the updater works on that folder, not on the folder that holds the program file: the
# window opens and "Esci" starts that installation's main program.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
ln -sfn "$(readlink -f "$QUNA_BIN")" "$INST/QunaAgg2"
start_xvfb
open_main_window
click_control "$WIN" "${ESCI[@]}"
updater_ends 5
check_started_once 4.4 "$GONE_AT"
log "passed"
