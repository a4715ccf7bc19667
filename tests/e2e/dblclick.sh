# A real double click opens folders: down into a subfolder and back up to a parent, each time
# the archive list showing the opened folder's archives; a single click only highlights. The
# lists are read over the accessibility bus, as a screen reader reads them, and each entry is
# clicked where the bus says it is on the screen.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
skip_without dbus-daemon gdbus python3

FOLDERS="Cartella" FILES="Archivi Agg. Quna" # the lists, named by their labels
CONTENTS="Contenuto dell'Archivio selezionato" # the archive's entries, not read here
make_installation
make_archive "$INST/Aggiorna/qn45070218.zip" 4.5 1000
mkdir -p "$INST/Aggiorna/nuovi"
make_archive "$INST/Aggiorna/nuovi/qn46070301.zip" 4.6 1000
make_archive "$INST/Aggiorna/nuovi/qn47070415.zip" 4.7 1000
start_xvfb
start_accessibility_bus
open_main_window

# read_until EXPECTED...: reads the window until the archive list holds exactly EXPECTED.
read_until() {
    local want
    want=$(printf '%s\n' "$@")
    window_texts "$CONTENTS" >"$WORK/texts" && [[ "$(items "$FILES")" == "$want" ]]
}

# double_click FOLDER [REPEAT]: clicks REPEAT times (default 2, a double click) at the middle
# of the folder list's entry FOLDER, where the bus puts it.
double_click() {
    local x y w h
    read -r x y w h < <(awk -F'\t' -v list="$FOLDERS" -v name="$1" \
        '{ entry = $1; sub(/^ +/, "", entry) } $3 == list && entry == name { print $4 }' \
        "$WORK/texts")
    [[ -n "${h:-}" ]] || fail "no folder $1 in the list: $(items "$FOLDERS" | tr '\n' '|')"
    log "clicking ${2:-2} times on $1 at ($((x + w / 2)), $((y + h / 2)))"
    timeout 5 xdotool mousemove "$((x + w / 2))" "$((y + h / 2))" sleep 0.1 \
        click --repeat "${2:-2}" --delay 80 1 || fail "the clicks on $1 did not go through"
}

poll 20 read_until qn45070218.zip ||
    fail "the archive list shows $(items "$FILES" | tr '\n' '|'), not Aggiorna's archive"
log "Aggiorna: $(items "$FOLDERS" | tr '\n' '|')"

# One click on the subfolder: it is highlighted, the archives stay Aggiorna's.
double_click nuovi 1
sleep 1
window_texts "$CONTENTS" >"$WORK/texts"
[[ "$(items "$FILES")" == qn45070218.zip ]] ||
    fail "a single click changed the archive list to $(items "$FILES" | tr '\n' '|')"

double_click nuovi
poll 10 read_until qn46070301.zip qn47070415.zip ||
    fail "the double click on nuovi left the archive list at $(items "$FILES" | tr '\n' '|')"
log "nuovi opened: $(items "$FOLDERS" | tr '\n' '|')"
[[ "$(items "$FOLDERS" | tail -n 1)" =~ ^\ +nuovi$ ]] || fail "nuovi is not the open folder"

double_click Aggiorna
poll 10 read_until qn45070218.zip ||
    fail "the double click on Aggiorna left the archive list at $(items "$FILES" | tr '\n' '|')"
[[ "$(items "$FOLDERS" | tail -n 1)" =~ ^\ +nuovi$ ]] || fail "Aggiorna's subfolder is not listed"
log "back in Aggiorna: $(items "$FOLDERS" | tr '\n' '|')"

# Up two levels, to the installation's parent: no archives there.
parent=$(basename "$WORK")
double_click "$parent"
poll 10 read_until "" || fail "the double click on $parent left the archive list at $(items "$FILES" | tr '\n' '|')"
log "$parent opened: $(items "$FOLDERS" | tr '\n' '|')"
! any_box || fail "a message box came up"
log "passed"
