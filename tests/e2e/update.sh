# A whole update: Elabora, "Sì" to the question, OK to "Elaborazione terminata!!!"; the
# archive is extracted over the installation, the backup and the update's own files are
# gone, and the new main program is started once.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"

make_installation
archive="$INST/Aggiorna/qn45070218.zip"
make_archive "$archive" 4.5 3200000
bytes=$(wc -c <"$archive")
((bytes >= 3000000)) || fail "the archive is only $bytes bytes"
new_main=$(unzip -p "$archive" Quna.exe | sha256sum)
new_data=$(unzip -p "$archive" dati/tabelle.bin | sha256sum)
[[ $(sha256sum <"$INST/Quna.exe") != "$new_main" ]] || fail "the archive's Quna.exe is the installed one"

start_xvfb
open_main_window
click_until_box "$WIN" "${ELABORA[@]}"
# The question's default button is "Sì": Return confirms.
answer_question Return Return 60 # then "Elaborazione terminata!!!"
updater_ends 5

[[ $(sha256sum <"$INST/Quna.exe") == "$new_main" ]] || fail "Quna.exe was not replaced"
[[ -x "$INST/Quna.exe" ]] || fail "the new Quna.exe is not executable"
[[ -d "$INST/dati" ]] || fail "the folder dati was not extracted"
[[ $(sha256sum <"$INST/dati/tabelle.bin") == "$new_data" ]] || fail "dati/tabelle.bin differs"
[[ -f "$INST/dati/versione.ini" ]] || fail "dati/versione.ini was not extracted"
left=$(cd "$INST" && find . -maxdepth 1 \( -iname 'quna.old' -o -name '.quna-*' \) -print)
[[ -z "$left" ]] || fail "left behind: $left"
check_started_once 4.5 "$GONE_AT"
# The update log has its line, with the archive's checksum and the outcome.
record=$(tail -n 1 "$XDG_STATE_HOME/quna-updater/aggiornamenti.log" 2>/dev/null) ||
    fail "no update log in $XDG_STATE_HOME"
sum=$(sha256sum <"$archive" | cut -d' ' -f1)
[[ "$record" == *$'\taggiornamento\t'*"sha256=$sum"*$'\tda=4.4\ta=4.5\tesito=completato'* ]] ||
    fail "the log's line does not tell this update: $record"
log "passed"
