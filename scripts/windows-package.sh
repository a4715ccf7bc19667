#!/usr/bin/env bash
# Makes the Windows folder and its zip: the programs, the DLLs they load that Windows does not
# bring (found by reading each file's import table, recursively, in the given folders), the
# windows platform plugin, the style plugin and the README.
# Usage: windows-package.sh OUT_BASE OBJDUMP STRIP "DLL_DIR;DLL_DIR..." QT_PLUGIN_DIR README EXE...
#   OUT_BASE/ is made afresh and OUT_BASE.zip written from it.
set -euo pipefail
out=${1:?} objdump=${2:?} strip=${3:?} dll_dirs=${4:?} plugins=${5:?} readme=${6:?}
shift 6
IFS=';' read -r -a search <<<"$dll_dirs"

rm -rf "$out" "$out.zip"
mkdir -p "$out/platforms" "$out/styles"
cp "$@" "$out/"
cp "$plugins/platforms/qwindows.dll" "$out/platforms/"
cp "$plugins/styles/qwindowsvistastyle.dll" "$out/styles/"
cp "$readme" "$out/LEGGIMI.txt"

# The DLLs a PE file imports, by name.
imports() { "$objdump" -p "$1" | sed -n 's/^\s*DLL Name: //p' | tr -d '\r'; }
# The file of a DLL in the search folders (names compared without case, as Windows does);
# nothing for the system's own.
find_dll() {
    local dir hit
    for dir in "${search[@]}"; do
        hit=$(find "$dir" -maxdepth 1 -iname "$1" -print -quit 2>/dev/null || true)
        [[ -n "$hit" ]] && { echo "$hit"; return 0; }
    done
    return 0
}
declare -A seen=()
queue=("$out"/*.exe "$out"/platforms/*.dll "$out"/styles/*.dll)
while ((${#queue[@]})); do
    file=${queue[0]}
    queue=("${queue[@]:1}")
    while read -r name; do
        key=${name,,}
        [[ -n "${seen[$key]:-}" ]] && continue
        seen[$key]=1
        dll=$(find_dll "$name")
        [[ -z "$dll" ]] && continue # a system DLL
        cp "$dll" "$out/"
        queue+=("$out/$(basename "$dll")")
    done < <(imports "$file")
done
# No symbols: a workstation gets the code only (the runtime's DLLs ship with theirs).
find "$out" -iname '*.dll' -o -iname '*.exe' | while read -r file; do "$strip" --strip-unneeded "$file"; done
(cd "$out" && zip -q -r -9 "../$(basename "$out").zip" .)
echo "$out.zip: $(cd "$out" && find . -type f | sort | tr '\n' ' ')"
