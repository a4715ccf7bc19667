#!/usr/bin/env bash
# Runs one test program of the Windows build under Wine: the DLL folders of the build on its
# path, a Wine prefix of the build's own (made once, by whichever test comes first), no
# display needed (the offscreen platform).
#   run.sh PROGRAM.exe "DLL_DIR;DLL_DIR..." [ARGUMENTS...]
set -euo pipefail
program=$(realpath "${1:?usage: run.sh PROGRAM.exe DLL_DIRS [ARGUMENTS...]}")
dll_dirs=${2:?}
shift 2
command -v wine >/dev/null || { echo "wine is missing: run scripts/setup.sh test" >&2; exit 1; }
export WINEDEBUG=-all
export WINEPREFIX=${QUNA_TEST_WINEPREFIX:-$(dirname "$program")/../wine-prefix}
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install .NET or Gecko
unset DISPLAY
# The programs' temporary folders on drive Z: (the host's /tmp), as the Linux tests have
# them: paths then read the same in both builds' expectations.
temp=/tmp/quna-wine-temp
mkdir -p "$temp"
(
    flock 9
    if [[ ! -f "$WINEPREFIX/.quna-ready" ]]; then
        timeout 120 wineboot -i >/dev/null 2>&1
        for name in TEMP TMP; do
            wine reg add 'HKCU\Environment' /v "$name" /t REG_SZ /d "Z:${temp//\//\\}" /f >/dev/null 2>&1
        done
        timeout 30 wineserver -w
        touch "$WINEPREFIX/.quna-ready"
    fi
) 9>"$WINEPREFIX.lock"
# WINEPATH takes Windows paths: the host's folders through drive Z:.
path=""
IFS=';' read -r -a dirs <<<"$dll_dirs"
for dir in "${dirs[@]}"; do
    path+="Z:${dir//\//\\};"
done
export WINEPATH=$path
export QT_QPA_PLATFORM=offscreen
exec wine "$program" "$@"
