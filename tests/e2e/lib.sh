# Shared helpers of the end-to-end tests: each test script sources this file with the
# updater and jetwrite as its two arguments, builds a fresh installation in a temporary
# folder, runs the real updater on its own Xvfb display and drives it with xdotool.
#
#   source lib.sh "$QUNA_BIN" "$JETWRITE"
#
# Every wait is bounded; the EXIT trap kills what the test started (updater, main programs,
# Xvfb) and removes the temporary folder, whatever the outcome. Set E2E_KEEP=1 to keep the
# folder for a look after the run; E2E_ARTIFACTS_DIR (set by CTest) receives the screen at a
# failure and the screenshot test's picture.
# shellcheck disable=SC2034 # globals and results the test scripts read
set -euo pipefail

QUNA_BIN=${1:?usage: $0 QUNA_BIN JETWRITE}
JETWRITE=${2:?usage: $0 QUNA_BIN JETWRITE}
SOURCE_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
[[ -f "$QUNA_BIN" ]] || { echo "$QUNA_BIN is missing" >&2; exit 1; }
[[ -x "$JETWRITE" ]] || { echo "$JETWRITE is not executable" >&2; exit 1; }
for cmd in Xvfb xdotool xdpyinfo import convert zip sha256sum; do
    command -v "$cmd" >/dev/null || { echo "$cmd is missing: run scripts/setup.sh" >&2; exit 1; }
done

# skip_without CMD...: a test that needs more than every test does skips (status 77) when
# one of those commands is missing.
skip_without() {
    local missing=() cmd
    for cmd in "$@"; do
        command -v "$cmd" >/dev/null || missing+=("$cmd")
    done
    if ((${#missing[@]})); then
        echo "skipped: ${missing[*]} missing; scripts/setup.sh installs them"
        exit 77
    fi
}

# The window's title, caption height and the buttons' rectangles (MAIN_TITLE, CAPTION_HEIGHT,
# ELABORA, ESCI).
CAPTION_HEIGHT=24 # as drawn, whatever the caller's environment says
source "$SOURCE_DIR/scripts/window.sh"
BOX_TITLE="QunaAgg2" # every message box
CAPTION_RGB="10,36,106"

TEST_NAME=$(basename "$0" .sh)
# Short: config.dat holds the data folder's Windows path in 50 bytes.
WORK=$(mktemp -d /tmp/qe2e.XXXXXX)
INST="$WORK/quna"    # the installation folder (the updater's own)
DATA="$WORK/data"    # the data folder named in config.dat
MARKS="$WORK/marks"  # what the stand-in main programs write
mkdir -p "$MARKS"
# The update log goes to the test's folder, not to the user's own.
export XDG_STATE_HOME="$WORK/state"

XVFB_PID="" APP_PID="" MAIN_WATCH_PID="" WATCHDOG_PID="" BUS_PID="" OTHER_USER=""

log() { echo "[$TEST_NAME $(date +%H:%M:%S.%N | cut -c1-12)] $*"; }

fail() {
    echo "[$TEST_NAME] FAILED: $*" >&2
    # What there is to look at goes to E2E_ARTIFACTS_DIR when set (the temporary folder goes).
    local keep=${E2E_ARTIFACTS_DIR:-$WORK}
    mkdir -p "$keep"
    if [[ -n "${DISPLAY:-}" && -n "$XVFB_PID" ]] &&
        import -display "$DISPLAY" -window root "$keep/failure.png" 2>/dev/null; then
        echo "[$TEST_NAME] screen at the failure: $keep/failure.png" >&2
    fi
    local f
    for f in xvfb updater; do
        [[ -s "$WORK/$f.log" ]] || continue
        echo "--- $f output" >&2
        cat "$WORK/$f.log" >&2
    done
    exit 1
}

cleanup() {
    local rc=$?
    set +e
    [[ -n "$APP_PID" ]] && kill -9 "$APP_PID" 2>/dev/null
    [[ -n "$MAIN_WATCH_PID" ]] && kill "$MAIN_WATCH_PID" 2>/dev/null
    # The stand-in main programs note their PIDs in the first marker; they may still sleep.
    # Each is started in a session of its own: its process group goes with it (its sleep).
    local pid group own
    own=$(ps -o pgid= -p $$ | tr -d ' ')
    if [[ -f "$MARKS/first.log" ]]; then
        while read -r _ pid _; do
            group=$(ps -o pgid= -p "$pid" 2>/dev/null | tr -d ' ')
            if [[ -n "$group" && "$group" != "$own" ]]; then
                kill -- "-$group" 2>/dev/null
            else
                kill "$pid" 2>/dev/null
            fi
        done <"$MARKS/first.log"
    fi
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null
    # The private session bus; the accessibility bus it started ends with it.
    [[ -n "$BUS_PID" ]] && kill "$BUS_PID" 2>/dev/null
    [[ -n "$WATCHDOG_PID" ]] && kill "$WATCHDOG_PID" 2>/dev/null
    wait 2>/dev/null
    [[ -n "$OTHER_USER" ]] && userdel -f "$OTHER_USER" 2>/dev/null
    if [[ "${E2E_KEEP:-0}" == 1 ]]; then
        echo "[$TEST_NAME] kept $WORK" >&2
    else
        rm -rf "$WORK"
    fi
    exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A test stuck past E2E_DEADLINE seconds (default 100, under CTest's 120) is ended with
# TERM, so its cleanup still runs.
(
    exec >/dev/null 2>&1
    sleep "${E2E_DEADLINE:-100}" &
    sleeper=$!
    trap 'kill $sleeper; exit 0' TERM
    # The script runs its trap once its current command ends: end that command too.
    wait "$sleeper" && kill -TERM $$ && pkill -TERM -P $$
) &
WATCHDOG_PID=$!

# poll SECONDS COMMAND...: runs COMMAND every 50 ms until it succeeds; fails after SECONDS.
poll() {
    local limit=$1
    shift
    local deadline=$((SECONDS + limit))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.05
    done
}

# ------------------------------------------------------------------ the display

# start_xvfb: a private X server on the first free display from :150 up; exports DISPLAY.
# XVFB_SCREEN sets its screen (default 1280x1024x24).
# With -noreset: by default the server resets when its last client leaves (here the probe),
# and a client connecting during that reset is turned away.
start_xvfb() {
    local n
    for ((n = 150; n < 250; n++)); do
        [[ -e /tmp/.X11-unix/X$n || -e /tmp/.X$n-lock ]] && continue
        Xvfb ":$n" -nolisten tcp -noreset -screen 0 "${XVFB_SCREEN:-1280x1024x24}" >"$WORK/xvfb.log" 2>&1 &
        XVFB_PID=$!
        local ok=0 _
        for _ in $(seq 100); do # 10 s
            if ! kill -0 "$XVFB_PID" 2>/dev/null; then break; fi
            # Ours only when the lock names our server: another one may have won the race
            # for this display, and ours then ends.
            if [[ $(tr -d ' \n' 2>/dev/null <"/tmp/.X$n-lock") == "$XVFB_PID" ]] &&
                xdpyinfo -display ":$n" >/dev/null 2>&1; then
                ok=1
                break
            fi
            sleep 0.1
        done
        if ((ok)); then
            export DISPLAY=":$n"
            unset WAYLAND_DISPLAY
            log "Xvfb on $DISPLAY"
            return 0
        fi
        # Taken meanwhile by someone else, or slow: try the next one.
        kill "$XVFB_PID" 2>/dev/null || true
        wait "$XVFB_PID" 2>/dev/null || true
        XVFB_PID=""
    done
    fail "no free display for Xvfb (see $WORK/xvfb.log)"
}

# ------------------------------------------------------------------ the installation


# main_program FILE TAG: a stand-in for Quna.exe. It appends "<PID> <epoch seconds> <TAG>
# <working folder>" to marks/first.log, sleeps 3 s, then appends the same to
# marks/second.log: the second line proves it outlived the updater. It notes in
# marks/environment.log an environment variable the updater sets only for itself.
main_program() {
    cat >"$1" <<EOF
#!/bin/sh
echo "first \$\$ \$(date +%s.%N) $2 \$(pwd)" >> "$MARKS/first.log"
[ -z "\${QT_NO_GLIB+set}" ] || echo "QT_NO_GLIB=\$QT_NO_GLIB" >> "$MARKS/environment.log"
sleep 3
echo "second \$\$ \$(date +%s.%N) $2 \$(pwd)" >> "$MARKS/second.log"
EOF
    chmod +x "$1"
}

# make_archive FILE VERSION BYTES_OF_DATA: an update archive holding a new Quna.exe (a
# stand-in tagged VERSION), dati/tabelle.bin of random bytes (which do not compress, so
# they set the archive's size) and dati/versione.ini.
make_archive() {
    local stage="$WORK/stage"
    rm -rf "$stage"
    mkdir -p "$stage/dati"
    main_program "$stage/Quna.exe" "$2"
    head -c "$3" /dev/urandom >"$stage/dati/tabelle.bin"
    printf '[Versione]\r\nNumero=%s\r\n' "$2" >"$stage/dati/versione.ini"
    (cd "$stage" && zip -q -r "$1" Quna.exe dati)
    rm -rf "$stage"
}

# make_installation: config.dat, DATA/quna.mdb and dbClient.mdb at version 4.4 of
# 10/01/2007, Quna.exe (the stand-in tagged 4.4), the folder Aggiorna (empty) and the
# updater itself. Archives are added by the tests.
make_installation() {
    "$SOURCE_DIR/scripts/make-installation.sh" "$INST" "$DATA" "$JETWRITE" >/dev/null ||
        fail "cannot write the installation"
    main_program "$INST/Quna.exe" 4.4
    # E2E_LINKED=1: the updater is a link to the program file, as quna-updater-link leaves
    # it; it must then work on the link's folder, not on the program file's.
    if [[ "${E2E_LINKED:-0}" == 1 ]]; then
        ln -sfn "$(readlink -f "$QUNA_BIN")" "$INST/QunaAgg2"
    else
        cp "$QUNA_BIN" "$INST/QunaAgg2"
    fi
    log "installation in $INST"
}

# snapshot FILE: every entry of the installation with the checksum of each file.
snapshot() {
    (cd "$INST" && find . -mindepth 1 -printf '%y %p\n' | sort &&
        find . -type f -print0 | sort -z | xargs -0 sha256sum) >"$1"
}

# ------------------------------------------------------------------ the updater

# start_updater: runs the updater from its installation folder; APP_PID is its process.
# UPDATER_ENV holds more settings for it, such as QT_SCALE_FACTOR=2. AS_USER, when set, runs
# the updater and what reads its window as another user (see as_user).
UPDATER_ENV=() AS_USER=()
start_updater() {
    (cd "$INST" && exec "${AS_USER[@]}" env QT_QPA_PLATFORM=xcb "${UPDATER_ENV[@]}" ./QunaAgg2) >"$WORK/updater.log" 2>&1 &
    APP_PID=$!
    log "updater started (pid $APP_PID)"
}

# open_main_window: starts the updater and waits for its window; WIN is the window's id.
open_main_window() {
    start_updater
    WIN=$(wait_window "$MAIN_TITLE") || fail "the main window did not appear"
    log "main window $WIN"
}

# as_other_user: a user of its own for this test (removed at the end), with a home in WORK;
# the updater and what reads its window run as that user from here on (AS_USER). Needs root.
as_other_user() {
    if [[ $EUID != 0 ]] || ! command -v useradd >/dev/null || ! command -v setpriv >/dev/null; then
        echo "skipped: a second user takes root, useradd and setpriv"
        exit 77
    fi
    OTHER_USER="qe2e$$"
    useradd --no-create-home --shell /usr/sbin/nologin "$OTHER_USER" || fail "cannot add a user"
    mkdir -p "$WORK/home"
    chown "$OTHER_USER:" "$WORK/home"
    chmod 755 "$WORK" # the user reaches the installation; what it holds stays as made
    AS_USER=(setpriv "--reuid=$(id -u "$OTHER_USER")" "--regid=$(id -g "$OTHER_USER")"
        --init-groups env "HOME=$WORK/home" "XDG_STATE_HOME=$WORK/home/state")
    # The sanitizers' suppressions are read by the updater: a copy it can read.
    if [[ "${LSAN_OPTIONS:-}" =~ suppressions=([^:]*) && -f "${BASH_REMATCH[1]}" ]]; then
        cp "${BASH_REMATCH[1]}" "$WORK/lsan.supp" && chmod 644 "$WORK/lsan.supp"
        LSAN_OPTIONS=${LSAN_OPTIONS/${BASH_REMATCH[1]}/$WORK/lsan.supp}
    fi
    log "running as $OTHER_USER"
}

# use_wine_prefix: an installation inside a Wine prefix in WORK (PFX, INST, DATA); the
# prefix's Wine server is stopped before the folder goes.
use_wine_prefix() {
    PFX="$WORK/pfx"
    INST="$PFX/drive_c/QUNAWIN"
    DATA="$INST/DATI"
    trap 'rc=$?; set +e; stop_wine; (exit $rc); cleanup' EXIT
}
stop_wine() {
    [[ -d "$PFX" ]] && WINEPREFIX="$PFX" timeout 10 wineserver -k 2>/dev/null
    return 0
}

running() { # PID: alive and not a zombie
    local state
    state=$(awk '{print $3}' "/proc/$1/stat" 2>/dev/null) || return 1
    [[ -n "$state" && "$state" != Z ]]
}

# wait_gone PID SECONDS: succeeds when the process has ended within SECONDS.
wait_gone() {
    poll "$2" eval '! running '"$1"
}

# find_window TITLE: the ids of the visible windows whose whole title is TITLE (none: empty).
find_window() {
    xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true
}

# wait_window TITLE [SECONDS]: prints the id of a visible window titled TITLE; fails when
# none appears in time or the updater ends meanwhile.
wait_window() {
    local title=$1 limit=${2:-20} id=""
    local deadline=$((SECONDS + limit))
    while ((SECONDS < deadline)); do
        id=$(find_window "$title" | head -n 1)
        if [[ -n "$id" ]]; then
            echo "$id"
            return 0
        fi
        [[ -n "$APP_PID" ]] && ! running "$APP_PID" && break
        sleep 0.1
    done
    return 1
}

# window_origin ID: sets WX, WY, WW, WH to the window's outer rectangle on the screen.
window_origin() {
    local X Y WIDTH HEIGHT SCREEN WINDOW
    eval "$(xdotool getwindowgeometry --shell "$1")"
    WX=$X WY=$Y WW=$WIDTH WH=$HEIGHT
}

# click_client ID X Y: a left click at client-area pixel (X, Y) of the main window.
# click_at X Y: a click at a screen point. No --sync on the move: it waits for the pointer to
# report the target, which a busy updater under the sanitizers may not do within the limit.
click_at() {
    timeout 5 xdotool mousemove "$1" "$2" sleep 0.05 click 1 ||
        { log "the click at ($1, $2) did not go through"; return 1; }
}

click_client() {
    window_origin "$1"
    local x=$((WX + $2)) y=$((WY + CAPTION_HEIGHT + $3))
    log "click at client ($2, $3) = screen ($x, $y)"
    click_at "$x" "$y"
}

# click_control ID LEFT TOP RIGHT BOTTOM: a click at the centre of a control.
click_control() {
    click_client "$1" $((($2 + $4) / 2)) $((($3 + $5) / 2))
}

# any_box: some message box is on the screen.
any_box() {
    [[ -n "$(find_window "$BOX_TITLE")" ]]
}

# box_shown ID: the message box ID is still on the screen.
box_shown() {
    find_window "$BOX_TITLE" | grep -qx "$1"
}

# answer_box KEY [SECONDS]: waits for a message box (a window titled QunaAgg2), gives it the
# keyboard and presses KEY; repeats the key on that same box until it closes (a key sent
# while the box is still settling may be lost). E2E_BOX_GRACE (default 2 s) is how long a box
# may take to go before the key is sent again (Wine's windows go more slowly). Prints nothing; BOX_ID is the box answered.
answer_box() {
    local key=$1 limit=${2:-20} try
    BOX_ID=$(wait_window "$BOX_TITLE" "$limit") || fail "no message box appeared within $limit s"
    log "message box $BOX_ID: pressing $key"
    for try in 1 2 3 4 5; do
        timeout 5 xdotool windowfocus --sync "$BOX_ID" 2>/dev/null || true
        xdotool key --clearmodifiers "$key"
        if poll "${E2E_BOX_GRACE:-2}" eval '! box_shown '"$BOX_ID"; then return 0; fi
        log "the box is still open: pressing $key again"
    done
    fail "the message box $BOX_ID did not close on $key"
}

# answer_question ANSWER CLOSE SECONDS: answers the question on screen with the key ANSWER,
# then closes the box that follows it (within SECONDS) with CLOSE; a box must follow.
answer_question() {
    answer_box "$1" 10
    local question=$BOX_ID
    answer_box "$2" "$3"
    [[ "$BOX_ID" != "$question" ]] || fail "no new box after answering $1"
}

# ------------------------------------------------------------------ the main programs

marks() { # FILE: the number of lines in marks/FILE
    if [[ -f "$MARKS/$1" ]]; then wc -l <"$MARKS/$1"; else echo 0; fi
}

# check_started_once TAG GONE_AT: the stand-in tagged TAG started exactly once, outlived the
# updater (gone at GONE_AT, epoch seconds) and wrote its second marker after that.
check_started_once() {
    local tag=$1 gone_at=$2
    poll 5 test -s "$MARKS/first.log" || fail "the main program was not started"
    local pid
    read -r _ pid _ <"$MARKS/first.log"
    running "$pid" || fail "the main program (pid $pid) did not outlive the updater"
    log "main program $tag started (pid $pid), still running after the updater ended"
    poll 10 test -s "$MARKS/second.log" || fail "the main program never wrote its second marker"
    local pid2 when2
    read -r _ pid2 when2 _ <"$MARKS/second.log"
    [[ "$pid2" == "$pid" ]] || fail "the second marker comes from another process ($pid2)"
    awk -v a="$when2" -v b="$gone_at" 'BEGIN { exit !(a > b) }' ||
        fail "the second marker ($when2) is not later than the updater's end ($gone_at)"
    # Every start the updater made was before its end, over 3 s ago: all have noted theirs.
    [[ $(marks first.log) -eq 1 ]] || fail "the main program started $(marks first.log) times: $(cat "$MARKS/first.log")"
    grep -q " $tag " "$MARKS/first.log" || fail "the wrong main program started: $(cat "$MARKS/first.log")"
    grep -q " $INST\$" "$MARKS/first.log" || fail "the main program did not start in $INST"
    [[ ! -e "$MARKS/environment.log" ]] ||
        fail "the main program inherited the updater's own setting: $(cat "$MARKS/environment.log")"
    log "main program $tag started exactly once and outlived the updater"
}

# check_nothing_started: no main program noted a start.
check_nothing_started() {
    [[ ! -e "$MARKS/first.log" ]] || fail "a main program was started: $(cat "$MARKS/first.log")"
}

# updater_ends SECONDS: waits for the updater's end; GONE_AT is the moment it was seen gone
# (epoch seconds) and APP_RC its exit status.
updater_ends() {
    wait_gone "$APP_PID" "$1" || fail "the updater is still running $1 s later"
    GONE_AT=$(date +%s.%N)
    APP_RC=0
    wait "$APP_PID" 2>/dev/null || APP_RC=$?
    APP_PID=""
    log "updater ended (status $APP_RC)"
}

# ------------------------------------------------------------------ more ways to act

# click_caption ID X Y: a left click at pixel (X, Y) of the window's caption bar.
click_caption() {
    window_origin "$1"
    local x=$((WX + $2)) y=$((WY + $3))
    log "click at caption ($2, $3) = screen ($x, $y)"
    click_at "$x" "$y"
}

# click_until_box ID LEFT TOP RIGHT BOTTOM: clicks a control until a message box shows; a
# click that comes while the updater is still listing the selected archive only beeps.
click_until_box() {
    local id=$1 try
    shift
    for try in 1 2 3 4; do
        click_control "$id" "$@" || true
        if poll 3 any_box; then return 0; fi
        running "$APP_PID" || fail "the updater ended instead of showing a box"
        log "no box yet: clicking again"
    done
    fail "no message box appeared after clicking the control"
}

# key_until_box ID KEY: gives the window the keyboard and presses KEY until a message box
# shows; a key that comes while the updater is still listing the selected archive only beeps.
key_until_box() {
    local id=$1 key=$2 try
    for try in 1 2 3 4; do
        timeout 5 xdotool windowfocus --sync "$id" 2>/dev/null || true
        log "window $id: pressing $key"
        xdotool key --clearmodifiers "$key"
        if poll 3 any_box; then return 0; fi
        running "$APP_PID" || fail "the updater ended instead of showing a box"
        log "no box yet: pressing again"
    done
    fail "no message box appeared after pressing $key"
}

# send_wm_delete ID: the window manager's "close" (WM_PROTOCOLS / WM_DELETE_WINDOW), sent
# with Xlib through ctypes since there is no window manager under Xvfb.
send_wm_delete() {
    python3 - "$1" <<'PY'
import ctypes, ctypes.util, sys
x = ctypes.CDLL(ctypes.util.find_library("X11") or "libX11.so.6")
x.XOpenDisplay.restype = ctypes.c_void_p
x.XOpenDisplay.argtypes = [ctypes.c_char_p]
x.XInternAtom.restype = ctypes.c_ulong
x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
x.XFlush.argtypes = [ctypes.c_void_p]
x.XCloseDisplay.argtypes = [ctypes.c_void_p]

class ClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong),
                ("message_type", ctypes.c_ulong), ("format", ctypes.c_int),
                ("data", ctypes.c_long * 5)]

class Event(ctypes.Union):
    _fields_ = [("xclient", ClientMessage), ("pad", ctypes.c_long * 24)]

d = x.XOpenDisplay(None)
if not d:
    sys.exit("cannot open the display")
window = int(sys.argv[1])
e = Event()
e.xclient.type = 33  # ClientMessage
e.xclient.window = window
e.xclient.message_type = x.XInternAtom(d, b"WM_PROTOCOLS", 0)
e.xclient.format = 32
e.xclient.data[0] = x.XInternAtom(d, b"WM_DELETE_WINDOW", 0)
e.xclient.data[1] = 0  # CurrentTime
if not x.XSendEvent(d, window, 0, 0, ctypes.byref(e)):
    sys.exit("XSendEvent failed")
x.XFlush(d)
x.XCloseDisplay(d)
PY
}

# pixel FILE X Y: the colour of one pixel as "R,G,B" (0-255).
pixel() {
    convert "$1" -crop "1x1+$2+$3" +repage -depth 8 \
        -format '%[fx:int(255*r+0.5)],%[fx:int(255*g+0.5)],%[fx:int(255*b+0.5)]' info:
}

# watch_main_window FILE: notes in FILE every sight of the main window while the updater
# runs (a background job; MAIN_WATCH_PID is its process).
watch_main_window() {
    local file=$1 app=$APP_PID
    (
        while running "$app"; do
            id=$(find_window "$MAIN_TITLE")
            [[ -n "$id" ]] && echo "$id" >>"$file"
            sleep 0.02
        done
    ) &
    MAIN_WATCH_PID=$!
}

# ------------------------------------------------------------------ what the window shows

# start_accessibility_bus: a private session bus for the updater, with Qt's accessibility
# always on, so that window_texts reads the window as a screen reader does.
start_accessibility_bus() {
    local bus
    bus=$("${AS_USER[@]}" dbus-daemon --session --fork --print-address=1 --print-pid=1) ||
        fail "no session bus"
    DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
    BUS_PID=$(sed -n 2p <<<"$bus")
    export DBUS_SESSION_BUS_ADDRESS QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
}

# window_texts [NAME...]: one "name<TAB>description<TAB>parent's name<TAB>x y width height"
# line for each object the updater shows (its rectangle on the screen; empty when it has
# none), read over the accessibility bus; the objects inside those named NAME are left out
# (each object takes a few calls, and a list of many cells slows every reading).
window_texts() {
    local address
    address=$("${AS_USER[@]}" gdbus call --session -d org.a11y.Bus -o /org/a11y/bus \
        -m org.a11y.Bus.GetAddress | sed -E "s/^\('(.*)',\)$/\1/") || return 1
    "${AS_USER[@]}" python3 - "$address" "$@" <<'PY'
import ast, re, subprocess, sys
address, skipped = sys.argv[1], set(sys.argv[2:])
def call(dest, path, *method):
    return subprocess.run(["gdbus", "call", "-a", address, "-d", dest, "-o", path, "-m", *method],
                          capture_output=True, text=True, timeout=5).stdout.strip()
def text(dest, path, name):
    reply = call(dest, path, "org.freedesktop.DBus.Properties.Get", "org.a11y.atspi.Accessible", name)
    quoted = re.fullmatch(r"\(<(['\"].*['\"])>,\)", reply, re.S)
    return ast.literal_eval(quoted.group(1)) if quoted else ""
def extents(dest, path):
    reply = call(dest, path, "org.a11y.atspi.Component.GetExtents", "0")  # screen coordinates
    box = re.fullmatch(r"\(\((-?\d+), (-?\d+), (\d+), (\d+)\),\)", reply)
    return " ".join(box.groups()) if box else ""
def children(dest, path):
    reply = call(dest, path, "org.a11y.atspi.Accessible.GetChildren")
    return re.findall(r"\('([^']*)', (?:objectpath )?'([^']*)'\)", reply)
def walk(dest, path, parent, seen):
    if (dest, path) in seen: return
    seen.add((dest, path))
    name = text(dest, path, "Name")
    print("\t".join([name, text(dest, path, "Description"), parent, extents(dest, path)]))
    if name in skipped: return
    for child in children(dest, path): walk(*child, name, seen)
for app in children("org.a11y.atspi.Registry", "/org/a11y/atspi/accessible/root"):
    walk(*app, "", set())
PY
}

# shows TEXT: some object of the window is named TEXT (a whole name), as last read into
# $WORK/texts.
shows() {
    cut -f1 "$WORK/texts" | grep -qxF -- "$1"
}

# items LIST: the names of the entries of the list named LIST, one a line, leading blanks kept.
items() {
    awk -F'\t' -v list="$1" '$3 == list { print $1 }' "$WORK/texts"
}

# build_slowing_library: $WORK/slow.so, a library that, preloaded, delays every exclusive
# file creation (as the extraction stages each entry) by SLOW_CREATE_MS milliseconds; SLOWED
# is the updater's environment for it (200 ms). Under the sanitizers the preloaded library
# comes before their runtime, which they accept only when told to.
build_slowing_library() {
    command -v cc >/dev/null || { echo "skipped: no C compiler for the slowing library"; exit 77; }
    cat >"$WORK/slow.c" <<'C'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdlib.h>
#include <unistd.h>
/* Every creation of a new file (O_CREAT | O_EXCL, as the extraction stages each entry)
   waits SLOW_CREATE_MS milliseconds first. */
static int slowed(const char *name, const char *path, int flags, va_list args) {
    mode_t mode = (flags & O_CREAT) ? va_arg(args, mode_t) : 0;
    if ((flags & (O_CREAT | O_EXCL)) == (O_CREAT | O_EXCL) && getenv("SLOW_CREATE_MS"))
        usleep(1000 * atoi(getenv("SLOW_CREATE_MS")));
    int (*real)(const char *, int, ...) = (int (*)(const char *, int, ...))dlsym(RTLD_NEXT, name);
    return real(path, flags, mode);
}
int open(const char *path, int flags, ...) {
    va_list a; va_start(a, flags); int r = slowed("open", path, flags, a); va_end(a); return r;
}
int open64(const char *path, int flags, ...) {
    va_list a; va_start(a, flags); int r = slowed("open64", path, flags, a); va_end(a); return r;
}
C
    cc -shared -fPIC -o "$WORK/slow.so" "$WORK/slow.c" -ldl || fail "cannot build the slowing library"
    SLOWED=(LD_PRELOAD="$WORK/slow.so" SLOW_CREATE_MS=200
        ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}verify_asan_link_order=0")
}
