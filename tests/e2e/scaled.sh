# At scale factor 2 on a 1920x1080 screen the window (1584x1140 pixels) is taller than the
# screen: it opens with its caption bar, close box included, on the screen, and the caption
# bar still drags it.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

XVFB_SCREEN=1920x1080x24
UPDATER_ENV=(QT_SCALE_FACTOR=2)
make_installation
start_xvfb
open_main_window
window_origin "$WIN"
log "main window $WIN at ${WX},${WY} ${WW}x${WH}"
((WW == 2 * 792 && WH == 2 * (546 + CAPTION_HEIGHT))) || fail "the window is ${WW}x${WH}"
((WX >= 0 && WY >= 0 && WX + WW <= 1920)) || fail "the window's top edge is off the screen"

shot="$WORK/screenshot.png"
bar=$CAPTION_HEIGHT # the middle of the caption bar, twice as high at scale 2
painted() {
    import -window root "$shot" && [[ $(pixel "$shot" $((WX + 60)) $((WY + bar))) == "$CAPTION_RGB" ]]
}
poll 10 painted || fail "the caption bar is $(pixel "$shot" $((WX + 60)) $((WY + bar))), not $CAPTION_RGB"
if [[ -n "${E2E_ARTIFACTS_DIR:-}" ]]; then
    mkdir -p "$E2E_ARTIFACTS_DIR" && cp "$shot" "$E2E_ARTIFACTS_DIR/screenshot.png"
fi
# The close box: the caption bar's colour up to it, and its white cross on the screen.
right=$(pixel "$shot" $((WX + WW - 70)) $((WY + bar)))
log "caption bar near its left end: $CAPTION_RGB; before the close box: $right"
[[ "$right" == "$CAPTION_RGB" ]] || fail "the caption bar before the close box is $right"
cross=$(convert "$shot" -crop "48x40+$((WX + WW - 72))+$((WY + 4))" +repage -fill black +opaque white \
    -format '%[fx:int(mean*w*h+0.5)]' info:)
((cross > 0)) || fail "no white cross of the close box on the screen"
log "the close box's cross: $cross white pixels"

# Dragging the caption bar moves the window (no window manager here offers a system move).
sx=$((WX + 300)) sy=$((WY + bar))
xdotool mousemove --sync "$sx" "$sy" mousedown 1
xdotool mousemove --sync $((sx + 50)) $((sy + 20))
xdotool mousemove --sync $((sx + 100)) $((sy + 40)) mouseup 1
moved() {
    window_origin "$WIN"
    ((WX == sx - 300 + 100 && WY == sy - bar + 40))
}
poll 5 moved || fail "the window is at ${WX},${WY} after a drag of (100, 40)"
log "dragged to ${WX},${WY}"

click_caption "$WIN" $((WW - 48)) "$bar" # the close box (12 px from the edge, scaled)
updater_ends 5
check_started_once 4.4 "$GONE_AT"
log "passed"
