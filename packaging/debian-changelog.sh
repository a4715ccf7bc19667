#!/usr/bin/env bash
# Writes the package's Debian changelog from CHANGELOG.md: one entry for each "## VERSION — DATE"
# section, its paragraphs and items as the entry's items, wrapped to 76 columns.
#   packaging/debian-changelog.sh CHANGELOG.md PACKAGE "NAME <ADDRESS>" >changelog
set -euo pipefail
changelog=$1 package=$2 maintainer=$3

items=() version="" date=""
flush_item() {
    if [[ -n "${item:-}" ]]; then items+=("$item"); fi
    item=""
}
flush_entry() {
    flush_item
    [[ -n "$version" ]] || return 0
    printf '%s (%s) unstable; urgency=medium\n\n' "$package" "$version"
    ((${#items[@]})) || items=("Release $version.")
    for i in "${items[@]}"; do
        # Markdown's code quotes mean nothing in a Debian changelog.
        printf '%s\n' "${i//\`/}" | fmt -w 76 | sed -e '1s/^/  * /' -e '2,$s/^/    /'
    done
    # The date is the release's own, so the same sources give the same package.
    printf '\n -- %s  %s\n\n' "$maintainer" "$(LC_ALL=C date -u -R -d "$date 12:00")"
    items=() version=""
}

item=""
while IFS= read -r line || [[ -n "$line" ]]; do
    if [[ "$line" =~ ^##\ +([0-9][0-9A-Za-z.+~]*)\ +[^0-9]*([0-9]{4}-[0-9]{2}-[0-9]{2}) ]]; then
        flush_entry
        version=${BASH_REMATCH[1]} date=${BASH_REMATCH[2]}
    elif [[ "$line" =~ ^# ]]; then
        flush_entry # a heading of another kind ends the release before it
    elif [[ -z "$version" ]]; then
        continue
    elif [[ "$line" =~ ^[-*]\ +(.*) ]]; then
        flush_item
        item=${BASH_REMATCH[1]}
    elif [[ "$line" =~ ^[[:space:]]*$ ]]; then
        flush_item
    else
        line=${line#"${line%%[![:space:]]*}"}
        item=${item:+$item }$line
    fi
done <"$changelog"
flush_entry
