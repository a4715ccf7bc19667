# "Esci" with no main program: a critical box tells why, and the updater ends all the same.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
rm "$INST/Quna.exe"
start_xvfb
open_main_window
click_control "$WIN" "${ESCI[@]}"
answer_box Return 10
updater_ends 5
check_nothing_started
[[ ! -e "$INST/Quna.exe" ]] || fail "a main program appeared"
log "passed"
