# At a scale factor whose window would not fit the screen, the window is drawn at the largest
# scale that fits: the whole window, the caption bar and both buttons with their captions are
# on the screen. E2E_SCALE and E2E_SCREEN set the case (default 2 on 1920x1080); the screenshot
# goes to the artifacts. The caption bar still drags the window and its close box closes it.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

scale=${E2E_SCALE:-2} screen=${E2E_SCREEN:-1920x1080}
SW=${screen%x*} SH=${screen#*x}
XVFB_SCREEN=${screen}x24
UPDATER_ENV=(QT_SCALE_FACTOR="$scale")
make_installation
start_xvfb
open_main_window
window_origin "$WIN"
log "scale $scale on $screen: main window $WIN at ${WX},${WY} ${WW}x${WH}"
((WX >= 0 && WY >= 0 && WX + WW <= SW && WY + WH <= SH)) || fail "the window is not all on the screen"
# The largest scale that fits: the designed size times the scale, or else as wide or as high
# as the screen (within the rounding of each).
designed=$(awk -v s="$scale" 'BEGIN { printf "%d %d", 792 * s + 0.5, (546 + 24) * s + 0.5 }')
if ((${designed% *} <= SW && ${designed#* } <= SH)); then
    [[ "$WW $WH" == "$designed" ]] || fail "the window is ${WW}x${WH}, not ${designed/ /x}"
else
    ((WW >= SW - 4 || WH >= SH - 4)) || fail "the window (${WW}x${WH}) is smaller than it needs be"
fi

# k: physical pixels per designed pixel; at(N): N designed pixels on the screen.
k=$(awk -v w="$WW" 'BEGIN { print w / 792 }')
at() { awk -v k="$k" -v n="$1" 'BEGIN { printf "%d", k * n + 0.5 }'; }
bar=$(at $((CAPTION_HEIGHT / 2)))
shot="$WORK/screenshot.png"
painted() {
    import -window root "$shot" && [[ $(pixel "$shot" $((WX + $(at 30))) $((WY + bar))) == "$CAPTION_RGB" ]]
}
poll 10 painted || fail "the caption bar is $(pixel "$shot" $((WX + $(at 30))) $((WY + bar))), not $CAPTION_RGB"
if [[ -n "${E2E_ARTIFACTS_DIR:-}" ]]; then
    mkdir -p "$E2E_ARTIFACTS_DIR" && cp "$shot" "$E2E_ARTIFACTS_DIR/screenshot.png"
fi
# dark RECT: the number of dark pixels (text) in a designed client-area rectangle.
dark() {
    local x=$((WX + $(at "$1"))) y=$((WY + $(at $((CAPTION_HEIGHT + $2))))) w h
    w=$(at $(($3 - $1))) h=$(at $(($4 - $2)))
    convert "$shot" -crop "${w}x${h}+${x}+${y}" +repage -colorspace gray -threshold 30% -negate \
        -format '%[fx:int(mean*w*h+0.5)]' info:
}
for button in ELABORA ESCI; do
    declare -n r=$button
    # The lower half of the button holds its caption, under the picture.
    text=$(dark "${r[0]}" $(((r[1] + r[3]) / 2)) "${r[2]}" "${r[3]}")
    log "$button: $text dark pixels of its caption"
    ((text > 20)) || fail "the caption of $button is not on the screen"
done

# The close box: the caption bar's colour up to it, and its white cross (light pixels, however
# smoothed) on the screen.
right=$(pixel "$shot" $((WX + WW - $(at 35))) $((WY + bar)))
[[ "$right" == "$CAPTION_RGB" ]] || fail "the caption bar before the close box is $right"
cross=$(convert "$shot" -crop "$(at 24)x$(at 20)+$((WX + WW - $(at 36)))+$((WY + $(at 2)))" +repage \
    -colorspace gray -threshold 70% -format '%[fx:int(mean*w*h+0.5)]' info:)
((cross > 0)) || fail "no white cross of the close box on the screen"
log "the close box's cross: $cross white pixels"

# Dragging the caption bar moves the window (no window manager here offers a system move).
sx=$((WX + $(at 150))) sy=$((WY + bar)) ox=$WX oy=$WY
xdotool mousemove --sync "$sx" "$sy" mousedown 1
xdotool mousemove --sync $((sx + 50)) $((sy + 20))
xdotool mousemove --sync $((sx + 100)) $((sy + 40)) mouseup 1
moved() {
    window_origin "$WIN"
    # Within a pixel's rounding: the window moves in the scale's pixels.
    ((WX >= ox + 98 && WX <= ox + 102 && WY >= oy + 38 && WY <= oy + 42))
}
poll 5 moved || fail "the window is at ${WX},${WY} after a drag of (100, 40) from ${ox},${oy}"
log "dragged to ${WX},${WY}"

click_caption "$WIN" $((WW - $(at 24))) "$bar" # the close box
updater_ends 5
check_started_once 4.4 "$GONE_AT"
log "passed"
