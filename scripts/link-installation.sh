#!/usr/bin/env bash
# Links an installation folder of QUNA to the installed updater, so that the updater works on
# that installation (it takes its installation from the folder it is started from), and adds
# an "Aggiorna QUNA" entry for that folder to the application menu.
#
# The installed updater is found next to this script (../lib/quna-updater/QunaAgg2); QUNA_UPDATER
# names another one. A user's menu entry goes to ${XDG_DATA_HOME:-~/.local/share}/applications;
# the entry for every user of the machine (--system) to /usr/local/share/applications, the place
# the administrator's own additions belong (/usr/share/applications holds the packages' files).
#
# Every link and entry made is recorded, so that removing the package can take them all away:
# root's (and --system's) in /var/lib/quna-updater/links, a user's in
# ~/.local/state/quna-updater/links. Each line is "link PATH" or "entry PATH".
set -euo pipefail

readonly usage_text="usage: quna-updater-link [--system] INSTALLATION-FOLDER
       quna-updater-link --remove [--system] INSTALLATION-FOLDER
       quna-updater-link --remove-recorded
       quna-updater-link --help

Links the QUNA installation in INSTALLATION-FOLDER to the installed updater: puts the link
QunaAgg2 into the folder and an \"Aggiorna QUNA\" entry into your application menu.

  --system           (root) the menu entry is for every user of this machine
  --remove           removes the link and the menu entries of INSTALLATION-FOLDER
  --remove-recorded  removes every link and menu entry recorded for you (root: the machine's);
                     removing the package does this
  --help             prints this text"

say() { echo "quna-updater-link: $*"; }
fail() {
    echo "quna-updater-link: $*" >&2
    exit 1
}
bad_usage() {
    echo "$usage_text" >&2
    exit 2
}

system_entries=${QUNA_SYSTEM_APPLICATIONS:-/usr/local/share/applications}
if (($(id -u) == 0)); then
    record=${QUNA_LINK_RECORD:-/var/lib/quna-updater/links}
else
    record=${QUNA_LINK_RECORD:-$HOME/.local/state/quna-updater/links}
fi

# ---------------------------------------------------------------- the record
# Lines are added and dropped under a lock beside the record (the record itself is replaced
# when a line is dropped), so that two runs at once keep both their lines.
record_add() { # KIND PATH
    {
        mkdir -p -- "$(dirname "$record")" &&
            (
                flock 9
                grep -qxF -- "$1 $2" "$record" || printf '%s %s\n' "$1" "$2" >>"$record"
            ) 9>>"$record.lock"
    } 2>/dev/null || say "warning: could not record $2 in $record; removing the package will leave it"
}
record_drop() { # PATH
    [[ -f "$record" ]] || return 0
    (
        flock 9
        grep -vxF -e "link $1" -e "entry $1" "$record" >"$record.new" || true
        mv -f -- "$record.new" "$record"
    ) 9>>"$record.lock" || true
}

# Only what this tool made is removed: a link to an updater, a menu entry it wrote.
remove_link() { # PATH
    if [[ -L "$1" && "$(readlink -- "$1")" == */quna-updater/QunaAgg2 ]]; then
        rm -f -- "$1" || fail "cannot remove $1: you may not write to $(dirname "$1"); ask its owner or the administrator to remove it"
        say "removed $1"
    fi
    record_drop "$1"
}
remove_entry() { # PATH
    if [[ -f "$1" ]] && grep -q '^X-QunaUpdater-Folder=' -- "$1"; then
        rm -f -- "$1" || fail "cannot remove the menu entry $1"
        say "removed $1"
    fi
    record_drop "$1"
}

# ---------------------------------------------------------------- the command line
remove=0 system=0 recorded=0
while (($# > 0)); do
    case "$1" in
    -h | --help)
        echo "$usage_text"
        exit 0
        ;;
    --remove) remove=1 ;;
    --system) system=1 ;;
    --remove-recorded) recorded=1 ;;
    --) shift && break ;;
    -*) bad_usage ;;
    *) break ;;
    esac
    shift
done

if ((recorded)); then
    (($# == 0 && !remove && !system)) || bad_usage
    [[ -f "$record" ]] || exit 0
    while read -r kind path; do
        case "$kind" in
        link) remove_link "$path" ;;
        entry) remove_entry "$path" ;;
        esac
    done < <(cat -- "$record")
    exit 0
fi

(($# == 1)) || bad_usage
[[ -d "$1" ]] || fail "$1 is not a folder"
folder=$(cd "$1" && pwd -P)
[[ "$folder" != *$'\n'* ]] || fail "a folder name with a line break cannot be linked"
if ((system && $(id -u) != 0)); then
    fail "--system gives every user of this machine the menu entry and needs the administrator: run it as root (sudo quna-updater-link --system $folder)"
fi

link="$folder/QunaAgg2"
# One entry per installation: its file name comes from the folder's path.
entry_name="quna-updater-$(printf '%s' "$folder" | md5sum | cut -c1-12).desktop"
user_entry="${XDG_DATA_HOME:-$HOME/.local/share}/applications/$entry_name"
system_entry="$system_entries/$entry_name"

if ((remove)); then
    # The user's own entry goes also when the link is the administrator's to remove.
    remove_entry "$user_entry"
    if (($(id -u) == 0)); then remove_entry "$system_entry"; fi
    [[ ! -L "$link" || -w "$folder" ]] ||
        fail "cannot remove the link $link: you may not write to $folder; ask its owner ($(stat -c %U -- "$folder")) or the administrator to run: quna-updater-link --remove $folder"
    remove_link "$link"
    exit 0
fi

program=${QUNA_UPDATER:-$(dirname "$(readlink -f "$0")")/../lib/quna-updater/QunaAgg2}
[[ -x "$program" ]] || fail "the updater was not found at $program (install the package, or set QUNA_UPDATER)"
program=$(readlink -f "$program")
# An updater copied into the folder by hand is left alone: it may be an older one on purpose.
if [[ -e "$link" && ! -L "$link" ]]; then
    fail "$link exists and is not a link; move it away first"
fi
if [[ -L "$link" && "$(readlink -- "$link")" == "$program" ]]; then
    # Already linked, by the administrator for instance: the user only needs the menu entry.
    say "$link -> $program (already there)"
else
    if [[ ! -w "$folder" ]]; then
        fail "cannot put the link QunaAgg2 into $folder: you may not write to that folder (owner $(stat -c %U -- "$folder")). Ask the administrator to link it for everyone (quna-updater-link --system $folder, as root), or for the right to write to $folder, which updating QUNA needs too"
    fi
    ln -sfn -- "$program" "$link" 2>/dev/null || fail "cannot put the link QunaAgg2 into $folder (ask the administrator for the right to write to it)"
    say "$link -> $program"
fi
record_add link "$link"

# Exec quotes the program's path: ", `, $ and \ are escaped inside the quotes, % is doubled,
# then every \ is doubled again because the whole value is a desktop-entry string.
exec_path=$(printf '%s' "$link" | sed -e 's/[\\"`$]/\\&/g' -e 's/%/%%/g' -e 's/\\/\\\\/g')
path_value=$(printf '%s' "$folder" | sed -e 's/\\/\\\\/g')
link_value=$(printf '%s' "$link" | sed -e 's/\\/\\\\/g')
if ((system)); then entry=$system_entry; else entry=$user_entry; fi
# Every user reads the system-wide entries, whatever root's umask.
if ((system)); then (umask 022 && mkdir -p -- "$(dirname "$entry")"); else mkdir -p -- "$(dirname "$entry")"; fi
# TryExec hides the entry from menus once the link no longer leads to an updater.
cat >"$entry" <<DESKTOP
[Desktop Entry]
Type=Application
Version=1.4
Name=Aggiorna QUNA
Comment=Aggiorna l'installazione di QUNA in $path_value
Exec="$exec_path"
TryExec=$link_value
Path=$path_value
Icon=quna-updater
Terminal=false
Categories=Utility;
StartupWMClass=QunaAgg2
X-QunaUpdater-Folder=$path_value
DESKTOP
if ((system)); then chmod 0644 -- "$entry"; fi
record_add entry "$entry"
say "menu entry $entry"
