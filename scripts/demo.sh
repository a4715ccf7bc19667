#!/usr/bin/env bash
# Builds a demo installation in demo-run/ and runs the updater on it.
#
#   scripts/demo.sh                  prepare the installation, then run the updater
#   scripts/demo.sh --prepare-only   only prepare the installation
#   scripts/demo.sh --wine           the same inside a fresh Wine prefix (demo-run/prefix):
#                                    the updater in C:\QUNAWIN, config.dat holding C:\QUNAWIN\DATI
#
# With a display (and outside CI) the window opens and the demo ends when the user closes it.
# Without one the updater runs under Xvfb: the script waits for the window, saves a
# screenshot, clicks "Esci" as a user would and checks that the main program was started.
#
# Environment: QUNA_BIN (the updater, default build/app/QunaAgg2), JETWRITE (default
# build/tools/jetwriter/jetwrite), QUNA_DEMO_HEADLESS=1 forces the Xvfb run, CAPTION_HEIGHT.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
source "$ROOT/scripts/window.sh"
cd "$ROOT"
QUNA_BIN=${QUNA_BIN:-build/app/QunaAgg2}
JETWRITE=${JETWRITE:-build/tools/jetwriter/jetwrite}
PREPARE_ONLY=0 WINE=0
for arg in "$@"; do
    case $arg in
    --prepare-only) PREPARE_ONLY=1 ;;
    --wine) WINE=1 ;;
    *) echo "demo: unknown option $arg" >&2; exit 2 ;;
    esac
done

say() { echo "demo: $*"; }
fail() { echo "demo: ERRORE: $*" >&2; exit 1; }

# ------------------------------------------------------------------ where
# config.dat holds the data folder as a Windows path on drive Z: (the host's "/") in a
# 50-byte record; a checkout too deep for that gets its demo under /tmp.
winpath() { local p="Z:$1"; echo "${p//\//\\}"; }
DEMO="$ROOT/demo-run"
if (( ${#DEMO} + 5 + 2 > 50 )); then   # "Z:" + DEMO + "/data"
    DEMO=/tmp/quna-demo
    say "the checkout's path is too long for config.dat; the demo goes to $DEMO"
fi
INST="$DEMO/quna"
DATA="$DEMO/data"
if ((WINE)); then
    # In a prefix the updater finds its drives there; config.dat names the data by drive C:.
    PREFIX="$DEMO/prefix"
    INST="$PREFIX/drive_c/QUNAWIN"
    DATA="$INST/DATI"
    winpath() { local p="C:${1#"$PREFIX/drive_c"}"; echo "${p//\//\\}"; }
    command -v wineboot >/dev/null || fail "wine is missing: run scripts/setup.sh"
fi

[[ -x "$JETWRITE" ]] || fail "$JETWRITE not found: build the project first (make demo)"

if [[ -d "$DEMO/prefix" ]] && command -v wineserver >/dev/null; then
    WINEPREFIX="$DEMO/prefix" wineserver -k 2>/dev/null || true # a previous demo's
fi
rm -rf "$DEMO"
if ((WINE)); then
    say "making the Wine prefix $PREFIX"
    mkdir -p "$DEMO"
    DISPLAY='' WINEDEBUG=-all WINEPREFIX="$PREFIX" wineboot -i > "$DEMO/wineboot.log" 2>&1 ||
        fail "wineboot failed (see $DEMO/wineboot.log)"
fi

# ------------------------------------------------------------------ config.dat and databases
"$ROOT/scripts/make-installation.sh" "$INST" "$DATA" "$JETWRITE" "$(winpath "$DATA")" ||
    fail "cannot write the installation"
[[ $(wc -c < "$INST/config.dat") -eq 50 ]] || fail "config.dat is not 50 bytes"
say "config.dat -> $(winpath "$DATA")"
if command -v mdb-export >/dev/null; then
    mdb-export "$DATA/quna.mdb" Accesso | grep -q '"4.4"' || fail "quna.mdb cannot be read back"
    mdb-export "$INST/dbClient.mdb" Configurazione | grep -q '"4.4"' ||
        fail "dbClient.mdb cannot be read back"
fi
say "databases: quna.mdb (Accesso, 4.4 of 10/01/2007, with password), dbClient.mdb (Configurazione)"

# ------------------------------------------------------------------ the main program
stand_in_main_program 4.4 "$INST/Quna.exe"

# ------------------------------------------------------------------ the update archives
# Each archive is over 3 MB: a data file of random bytes does not compress.
make_archive() { # NAME VERSION DATE(YYYY-MM-DD)
    local stage="$DEMO/stage-$1"
    mkdir -p "$stage/dati" "$stage/documenti" "$stage/modelli"
    stand_in_main_program "$2" "$stage/Quna.exe"
    head -c 3200000 /dev/urandom > "$stage/dati/tabelle.bin"
    printf 'QUNA versione %s del %s\r\n\r\nAggiornamento della procedura.\r\n' "$2" \
        "$(date -d "$3" +%d/%m/%Y)" \
        > "$stage/Leggimi.txt"
    printf 'Novita della versione %s:\r\n- archivi aggiornati\r\n- correzioni varie\r\n' "$2" \
        > "$stage/documenti/novita.txt"
    printf '[Versione]\r\nNumero=%s\r\nData=%s\r\n' "$2" "$(date -d "$3" +%d/%m/%Y)" \
        > "$stage/dati/versione.ini"
    find "$stage" -exec touch -d "$3 10:00:00" {} +
    (cd "$stage" && zip -q -r "$INST/Aggiorna/$1" .)
    rm -rf "$stage"
    local bytes
    bytes=$(wc -c < "$INST/Aggiorna/$1")
    ((bytes >= 3000000)) || fail "$1 is only $bytes bytes"
    say "Aggiorna/$1 ($bytes bytes)"
}
make_archive qn44070110.zip 4.4 2007-01-10
make_archive qn45070218.zip 4.5 2007-02-18

# ------------------------------------------------------------------ the updater
if ((PREPARE_ONLY)); then
    say "installation ready in $INST"
    exit 0
fi
[[ -x "$QUNA_BIN" ]] || fail "$QUNA_BIN not found: build the project first (make demo)"
# The updater takes its installation folder from its own location.
cp "$QUNA_BIN" "$INST/QunaAgg2"
say "installation ready in $INST"

if [[ -n "${DISPLAY:-}" && -z "${CI:-}" && "${QUNA_DEMO_HEADLESS:-0}" != 1 ]]; then
    say "starting the updater on display $DISPLAY"
    (cd "$INST" && ./QunaAgg2) || say "the updater ended with exit code $?"
    if [[ -s "$INST/started.log" ]]; then
        say "Il programma principale è stato avviato: $(tail -n 1 "$INST/started.log")"
    fi
    exit 0
fi

# ------------------------------------------------------------------ headless run
for cmd in Xvfb xdotool import xdpyinfo; do
    command -v "$cmd" >/dev/null || fail "$cmd is missing: run scripts/setup.sh"
done

XVFB_PID="" APP_PID=""
cleanup() {
    [[ -n "$APP_PID" ]] && kill "$APP_PID" 2>/dev/null || true
    [[ -n "$XVFB_PID" ]] && kill "$XVFB_PID" 2>/dev/null || true
    wait 2>/dev/null || true
}
trap cleanup EXIT

display=97
while [[ -e /tmp/.X$display-lock || -e /tmp/.X11-unix/X$display ]]; do
    display=$((display + 1))
done
Xvfb ":$display" -screen 0 1280x1024x24 -nolisten tcp > "$DEMO/xvfb.log" 2>&1 &
XVFB_PID=$!
for _ in $(seq 50); do
    xdpyinfo -display ":$display" >/dev/null 2>&1 && break
    kill -0 "$XVFB_PID" 2>/dev/null || fail "Xvfb did not start (see $DEMO/xvfb.log)"
    sleep 0.1
done
export DISPLAY=":$display"
unset WAYLAND_DISPLAY
say "Xvfb on $DISPLAY"

(cd "$INST" && exec env QT_QPA_PLATFORM=xcb QUNA_DEMO_PRINT_GEOMETRY=1 ./QunaAgg2) \
    > "$DEMO/updater.log" 2>&1 &
APP_PID=$!

window=$(timeout 20 xdotool search --sync --onlyvisible --name "$MAIN_TITLE" 2>/dev/null |
         head -n 1 || true)
if [[ -z "$window" ]]; then
    cat "$DEMO/updater.log" >&2 || true
    fail "the window \"$MAIN_TITLE\" did not appear within 20 s"
fi
sleep 1   # let the archive listing fill
import -window root "$DEMO/screenshot.png"
say "screenshot: $DEMO/screenshot.png"

# Click the centre of Esci. The updater may print the screen position of its client area
# ("QUNA_CLIENT_ORIGIN X Y"); otherwise the client area starts CAPTION_HEIGHT pixels below
# the window's top.
origin=$(sed -n 's/^QUNA_CLIENT_ORIGIN \(-\{0,1\}[0-9]\{1,\}\) \(-\{0,1\}[0-9]\{1,\}\)$/\1 \2/p' \
         "$DEMO/updater.log" | tail -n 1)
if [[ -n "$origin" ]]; then
    read -r client_x client_y <<<"$origin"
else
    eval "$(xdotool getwindowgeometry --shell "$window")"
    client_x=$X
    client_y=$((Y + CAPTION_HEIGHT))
fi
click_x=$((client_x + (ESCI[0] + ESCI[2]) / 2))
click_y=$((client_y + (ESCI[1] + ESCI[3]) / 2))
say "clicking Esci at ($click_x, $click_y)"
xdotool mousemove --sync "$click_x" "$click_y" click 1

for _ in $(seq 100); do
    kill -0 "$APP_PID" 2>/dev/null || break
    sleep 0.1
done
if kill -0 "$APP_PID" 2>/dev/null; then
    import -window root "$DEMO/screenshot-after-esci.png" || true
    fail "the updater did not end within 10 s of the click on Esci" \
         "(screen: $DEMO/screenshot-after-esci.png, output: $DEMO/updater.log)"
fi
rc=0
wait "$APP_PID" || rc=$?
APP_PID=""
[[ $rc -eq 0 ]] || say "the updater ended with exit code $rc"

sleep 0.5   # the main program is started detached; give it a moment to write its line
if [[ -s "$INST/started.log" ]]; then
    say "Il programma principale è stato avviato: $(tail -n 1 "$INST/started.log")"
else
    fail "the main program was not started: $INST/started.log is missing (output: $DEMO/updater.log)"
fi
