# A long update shows it is alive: with each extracted file slowed down (a preloaded library
# delays every exclusive file creation), the window is painted during the update and shows
# the entry and the share of bytes under the version label, the bar growing from one
# screenshot to the next, and the question box leaves no trace; a click on "Esci" and the
# window manager's close meanwhile change nothing, and the update ends as usual, starting the
# new main program.
command -v cc >/dev/null || { echo "skipped: no C compiler for the slowing library"; exit 77; }
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

build_slowing_library

make_installation
# The archive: the new main program and 40 files of 80,000 bytes that do not compress.
stage="$WORK/stage"
mkdir -p "$stage/dati"
main_program "$stage/Quna.exe" 4.5
for i in $(seq -w 1 40); do head -c 80000 /dev/urandom >"$stage/dati/tabella$i.bin"; done
(cd "$stage" && zip -q -r "$INST/Aggiorna/qn45070218.zip" Quna.exe dati)
rm -rf "$stage"

UPDATER_ENV=("${SLOWED[@]}")
start_xvfb
open_main_window
window_origin "$WIN"
# The progress bar's place in the client area: under the version label, left of the buttons.
BAR=(40 502 280 524)
bar_area() { # FILE: the bar's place, as a picture's signature
    convert "$1" -crop "$((BAR[2] - BAR[0]))x$((BAR[3] - BAR[1]))+$((WX + BAR[0]))+$((WY + CAPTION_HEIGHT + BAR[1]))" \
        +repage -format '%#' info:
}
import -window root "$WORK/before.png"
before=$(bar_area "$WORK/before.png")

click_until_box "$WIN" "${ELABORA[@]}"
answer_box Return 10 # "Sì": the update begins
question=$BOX_ID
shot=0
changed() {
    import -window root "$WORK/during$shot.png" && [[ $(bar_area "$WORK/during$shot.png") != "$before" ]]
}
poll 10 changed || fail "the window shows no progress during the update"
first=$(bar_area "$WORK/during0.png")
log "progress shown"
click_control "$WIN" "${ESCI[@]}" || true # ignored while the update runs
send_wm_delete "$WIN" || fail "cannot send the window manager's close" # refused meanwhile
sleep 2
shot=1
import -window root "$WORK/during1.png"
[[ $(bar_area "$WORK/during1.png") != "$first" ]] || fail "the progress did not move in 2 s"
any_box && [[ "$(find_window "$BOX_TITLE")" != "$question" ]] && fail "a box came up during the update"
running "$APP_PID" || fail "the updater ended during the update"
if [[ -n "${E2E_ARTIFACTS_DIR:-}" ]]; then
    mkdir -p "$E2E_ARTIFACTS_DIR"
    cp "$WORK/during0.png" "$E2E_ARTIFACTS_DIR/progress-early.png"
    cp "$WORK/during1.png" "$E2E_ARTIFACTS_DIR/progress-later.png"
fi
# Where the question box was, the window is painted again: the frame under its buttons.
[[ $(pixel "$WORK/during1.png" $((WX + 300)) $((WY + CAPTION_HEIGHT + 250))) == "$(pixel "$WORK/before.png" $((WX + 300)) $((WY + CAPTION_HEIGHT + 250)))" ]] ||
    fail "the question box's place is not painted again"
log "the progress moved; Esci and the close were ignored"

answer_box Return 60 # "Elaborazione terminata!!!"
updater_ends 10
check_started_once 4.5 "$GONE_AT"
log "passed"
