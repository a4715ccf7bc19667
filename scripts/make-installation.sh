#!/usr/bin/env bash
# Writes the data an installation starts from: INST/config.dat naming DATA, DATA/quna.mdb
# (table Accesso, version 4.4 of 10/01/2007, password BlumoKast), INST/dbClient.mdb (table
# Configurazione, the same version) and the empty folder INST/Aggiorna. The demo, the
# end-to-end tests and the benchmarks add their own main program and archives.
# RECORD, when given, is what config.dat names instead (an installation in a Wine prefix names
# its data by drive C:).
#   scripts/make-installation.sh INST DATA JETWRITE [RECORD]
set -euo pipefail
inst=$1 data=$2 jetwrite=$3
mkdir -p "$inst/Aggiorna" "$data"
data=$(cd "$data" && pwd)
# config.dat: the data folder as a drive path (Z: is the root), 50 bytes padded with blanks.
record=${4:-"Z:${data//\//\\}"}
if ((${#record} > 50)); then
    echo "make-installation: the data folder's path is too long for config.dat: $record" >&2
    exit 1
fi
printf '%-50s' "$record" >"$inst/config.dat"
"$jetwrite" - "$data/quna.mdb" <<'DESC' >/dev/null
password BlumoKast
table Accesso
column Versione text 50
column dataver datetime
row "4.4" 2007-01-10
DESC
"$jetwrite" - "$inst/dbClient.mdb" <<'DESC' >/dev/null
table Configurazione
column VersioPC text 50
column DataVePC datetime
row "4.4" 2007-01-10
DESC
