# The window's shape is applied: on a screenshot the top corners of the window's outer
# rectangle are cut by the rounded corners, while the caption bar a little inside shows
# its colour.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
start_xvfb
open_main_window
window_origin "$WIN"
log "main window $WIN at ${WX},${WY} ${WW}x${WH}"
((WW == 792 && WH == 546 + CAPTION_HEIGHT)) || fail "the window is ${WW}x${WH}, not 792x$((546 + CAPTION_HEIGHT))"

shot="$WORK/screenshot.png"
# The first paint may come a little after the mapping: shoot until the caption bar shows.
painted() {
    import -window root "$shot" && [[ $(pixel "$shot" $((WX + 30)) $((WY + 12))) == "$CAPTION_RGB" ]]
}
poll 10 painted || fail "the caption bar 30 px inside is $(pixel "$shot" $((WX + 30)) $((WY + 12))), not $CAPTION_RGB"
if [[ -n "${E2E_ARTIFACTS_DIR:-}" ]]; then
    mkdir -p "$E2E_ARTIFACTS_DIR" && cp "$shot" "$E2E_ARTIFACTS_DIR/screenshot.png"
fi

inside_right=$(pixel "$shot" $((WX + WW - 50)) $((WY + 12)))
top_left=$(pixel "$shot" "$WX" "$WY")
top_right=$(pixel "$shot" $((WX + WW - 1)) "$WY")
log "caption 30 px inside: $CAPTION_RGB; near the right end: $inside_right;" \
    "top-left corner: $top_left; top-right corner: $top_right"
[[ "$inside_right" == "$CAPTION_RGB" ]] || fail "the caption bar near its right end is $inside_right"
[[ "$top_left" != "$CAPTION_RGB" ]] || fail "the top-left corner is not cut by the shape"
[[ "$top_right" != "$CAPTION_RGB" ]] || fail "the top-right corner is not cut by the shape"

click_control "$WIN" "${ESCI[@]}"
updater_ends 5
log "passed"
