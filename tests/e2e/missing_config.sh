# No config.dat: a box says so and the updater ends without showing its window or creating
# anything in its folder.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
rm "$INST/config.dat"
rm -rf "$INST/Aggiorna"
snapshot "$WORK/before"
start_xvfb
start_updater
watch_main_window "$WORK/main-seen"
answer_box Return 20
updater_ends 5
wait "$MAIN_WATCH_PID" 2>/dev/null || true
MAIN_WATCH_PID=""
[[ ! -s "$WORK/main-seen" ]] || fail "the main window was shown"
[[ ! -e "$INST/Aggiorna" ]] || fail "the folder Aggiorna was created"
snapshot "$WORK/after"
diff "$WORK/before" "$WORK/after" || fail "the installation folder changed"
check_nothing_started
log "passed"
