# Two updaters on one installation, as users start them: the second one starts while the
# first one's update is running. E2E_DURING says when: "staging" (each staged file slowed
# down, so the first is still writing its staging folder) or "box" (its update is done and its
# "Elaborazione terminata!!!" box is up). The second says that another update is running and
# ends without starting QUNA or touching the first one's files; the first then ends as it would
# alone and starts the new main program once.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
during=${E2E_DURING:-box}

make_installation
archive="$INST/Aggiorna/qn45070218.zip"
make_archive "$archive" 4.5 3200000
new_main=$(unzip -p "$archive" Quna.exe | sha256sum)
if [[ "$during" == staging ]]; then
    build_slowing_library
    UPDATER_ENV=("${SLOWED[@]}" SLOW_CREATE_MS=3000) # three entries: about 9 s of staging
fi

start_xvfb
open_main_window
FIRST=$APP_PID
click_until_box "$WIN" "${ELABORA[@]}"
if [[ "$during" == staging ]]; then
    answer_box Return 10 # "Sì"; the update begins
    poll 10 eval 'compgen -G "$INST/.quna-staging-*" >/dev/null' || fail "no staging folder appeared"
    staging=$(compgen -G "$INST/.quna-staging-*")
    log "the first updater is staging in $staging"
else
    answer_box Return 10
    done_box=$(wait_window "$BOX_TITLE" 60) || fail "no box after the update"
    log "the first updater's box $done_box is up"
fi
snapshot "$WORK/during"

# The second updater, started from the menu again.
(cd "$INST" && exec env QT_QPA_PLATFORM=xcb ./QunaAgg2) >"$WORK/second.log" 2>&1 &
SECOND=$!
log "second updater started (pid $SECOND)"
second_box=""
poll 20 eval 'second_box=$(xdotool search --all --onlyvisible --pid '"$SECOND"' --name "^$BOX_TITLE\$" 2>/dev/null | head -n 1); [[ -n "$second_box" ]]' ||
    { kill -9 "$SECOND" 2>/dev/null; fail "the second updater showed no box"; }
[[ -z "$(find_window "$MAIN_TITLE" | grep -vx "$WIN")" ]] ||
    { kill -9 "$SECOND" 2>/dev/null; fail "the second updater opened its window"; }
log "the second updater's box $second_box: pressing Return"
timeout 5 xdotool windowfocus --sync "$second_box" 2>/dev/null || true
xdotool key --clearmodifiers Return
wait_gone "$SECOND" 10 || { kill -9 "$SECOND"; fail "the second updater did not end"; }
second_rc=0
wait "$SECOND" || second_rc=$?
log "second updater ended (status $second_rc)"
check_nothing_started
if [[ "$during" == staging ]]; then
    [[ -d "$staging" ]] || fail "the second updater removed the first one's staging folder"
else
    snapshot "$WORK/after-second"
    diff "$WORK/during" "$WORK/after-second" || fail "the second updater changed the installation"
fi

# The first one goes on to its end.
APP_PID=$FIRST
if [[ "$during" == staging ]]; then
    answer_box Return 60 # "Elaborazione terminata!!!"
else
    timeout 5 xdotool windowfocus --sync "$done_box" 2>/dev/null || true
    xdotool key --clearmodifiers Return
fi
updater_ends 10
[[ $(sha256sum <"$INST/Quna.exe") == "$new_main" ]] || fail "Quna.exe was not replaced"
left=$(cd "$INST" && find . -maxdepth 1 \( -iname 'quna.old' -o -name '.quna-*' \) -print)
[[ -z "$left" ]] || fail "left behind: $left"
check_started_once 4.5 "$GONE_AT"
log "passed"
