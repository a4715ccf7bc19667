#!/usr/bin/env bash
# Links an installation folder of QUNA to the installed updater, so that the updater works on
# that installation (it takes its installation from the folder it is started from), and adds
# an "Aggiorna QUNA" entry for that folder to the user's application menu.
#
#   quna-updater-link INSTALLATION-FOLDER            the QunaAgg2 link and the menu entry
#   quna-updater-link --remove INSTALLATION-FOLDER   removes both
#
# The installed updater is found next to this script (../lib/quna-updater/QunaAgg2); QUNA_UPDATER
# names another one. The menu entry goes to ${XDG_DATA_HOME:-~/.local/share}/applications.
set -euo pipefail

say() { echo "quna-updater-link: $*"; }
fail() { echo "quna-updater-link: $*" >&2; exit 1; }
usage() { fail "usage: quna-updater-link [--remove] INSTALLATION-FOLDER"; }

remove=0
case "${1:-}" in
--remove) remove=1; shift ;;
-h | --help) usage ;;
esac
(($# == 1)) || usage
[[ -d "$1" ]] || fail "$1 is not a folder"
folder=$(cd "$1" && pwd -P)
[[ "$folder" != *$'\n'* ]] || fail "a folder name with a line break cannot be linked"

link="$folder/QunaAgg2"
applications="${XDG_DATA_HOME:-$HOME/.local/share}/applications"
# One entry per installation: its file name comes from the folder's path.
entry="$applications/quna-updater-$(printf '%s' "$folder" | md5sum | cut -c1-12).desktop"

if ((remove)); then
    if [[ -L "$link" ]]; then rm -f -- "$link"; say "removed $link"; fi
    if [[ -e "$entry" ]]; then rm -f -- "$entry"; say "removed $entry"; fi
    exit 0
fi

program=${QUNA_UPDATER:-$(dirname "$(readlink -f "$0")")/../lib/quna-updater/QunaAgg2}
[[ -x "$program" ]] || fail "the updater was not found at $program (install the package, or set QUNA_UPDATER)"
program=$(readlink -f "$program")
# An updater copied into the folder by hand is left alone: it may be an older one on purpose.
if [[ -e "$link" && ! -L "$link" ]]; then
    fail "$link exists and is not a link; move it away first"
fi
ln -sfn -- "$program" "$link"
say "$link -> $program"

# Exec quotes the program's path: ", `, $ and \ are escaped inside the quotes, % is doubled,
# then every \ is doubled again because the whole value is a desktop-entry string.
exec_path=$(printf '%s' "$link" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g' -e 's/\\/\\\\/g')
path_value=$(printf '%s' "$folder" | sed -e 's/\\/\\\\/g')
mkdir -p "$applications"
cat >"$entry" <<DESKTOP
[Desktop Entry]
Type=Application
Version=1.4
Name=Aggiorna QUNA
Comment=Aggiorna l'installazione di QUNA in $path_value
Exec="$exec_path"
Path=$path_value
Icon=quna-updater
Terminal=false
Categories=Utility;
StartupWMClass=QunaAgg2
DESKTOP
say "menu entry $entry"
