# A workstation user whose installation lies in a Wine prefix made by another user (the
# administrator's): "Esci" cannot start the Windows main program there, and the window says
# why and what to ask for instead of Wine failing where no one sees it. The updater runs as
# that user, and its box is read over that user's accessibility bus, as a screen reader
# reads it. Then the updater ends, and nothing was started.
# shellcheck source=tests/e2e/lib.sh
source "$(dirname "$0")/lib.sh"
skip_without wine dbus-daemon gdbus python3

use_wine_prefix
as_other_user
# The prefix as the administrator left it: owned by root, with its drive C: and Z:.
mkdir -p "$PFX/dosdevices" "$PFX/drive_c"
ln -s ../drive_c "$PFX/dosdevices/c:"
ln -s / "$PFX/dosdevices/z:"
"$SOURCE_DIR/scripts/make-installation.sh" "$INST" "$DATA" "$JETWRITE" 'C:\QUNAWIN\DATI' \
    >/dev/null || fail "cannot write the installation"
printf 'MZ a Windows program that never runs here\n' >"$INST/Quna.exe"
cp "$QUNA_BIN" "$INST/QunaAgg2"
chmod -R a+rX "$WORK"
chown -R "$OTHER_USER:" "$INST" # the installation folder is the user's to update

start_xvfb
start_accessibility_bus
open_main_window
click_control "$WIN" "${ESCI[@]}"
BOX_ID=$(wait_window "$BOX_TITLE" 10) || fail "no message box after Esci"
said="La cartella di Wine $PFX appartiene a un altro utente"
read_box() { window_texts >"$WORK/texts" && grep -qF -- "$said" "$WORK/texts"; }
poll 20 read_box || fail "the box does not say the prefix is another user's: $(cut -f1 "$WORK/texts" | tr '\n' '|')"
grep -qF "chiedi all'amministratore" "$WORK/texts" || fail "the box does not say whom to ask"
answer_box Return 10
updater_ends 10
[[ ! -e "$PFX/drive_c/users" ]] || fail "Wine ran in the prefix"
log "passed"
