# qunadiag check on installations with each fault a start-up can meet: what it says, and its
# exit status (0 only when the start-up would show both versions); then qunadiag db as an
# administrator uses it (the window's passwords, Windows paths, column lists, errors).
#   tests/qunadiag_check.sh QUNADIAG JETWRITE
set -euo pipefail
qunadiag=$(readlink -f "$1") jetwrite=$(readlink -f "$2")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/qdiag.XXXXXX)
trap 'rm -rf "$work"' EXIT
failed=0 rows=0

# row NAME STATUS TEXT PREPARE: a fresh installation, PREPARE run in its folder, then the check
# must end with STATUS and print TEXT.
row() {
    local name=$1 status=$2 text=$3 prepare=$4
    rows=$((rows + 1))
    local inst="$work/$rows/quna" data="$work/$rows/data" # short: config.dat holds 50 bytes
    "$source_dir/scripts/make-installation.sh" "$inst" "$data" "$jetwrite" >/dev/null
    (cd "$inst" && DATA="$data" JETWRITE="$jetwrite" eval "$prepare")
    local out rc=0
    out=$("$qunadiag" check "$inst" 2>&1) || rc=$?
    if [[ $rc -ne $status || "$out" != *"$text"* ]]; then
        echo "FAILED: $name: status $rc (expected $status), expected \"$text\" in:" >&2
        echo "$out" >&2
        failed=1
    else
        echo "ok: $name"
    fi
}

row good 0 "L'avvio mostrerebbe entrambe le versioni." ":"
row "config.dat written by echo" 1 "contiene un a capo (LF) alla posizione" \
    'printf "%s\n" "Z:${DATA//\//\\}" >config.dat'
row "no config.dat" 1 "config.dat manca: il programma si chiuderebbe all'avvio" 'rm config.dat'
row "no quna.mdb" 1 "la finestra direbbe \"Percorso archivio in 'config.dat' errato!!\"" \
    'rm "$DATA/quna.mdb"'
row "no dbClient.mdb" 1 "Database della postazione" 'rm dbClient.mdb'
row "the fallback password" 0 "aperto con la password di riserva" \
    'printf "password Gransoleo\ntable Accesso\ncolumn Versione text 50\ncolumn dataver datetime\nrow \"4.5\" 2007-02-18\n" | "$JETWRITE" - "$DATA/quna.mdb" >/dev/null'
row "a table without its version" 1 "lettura della versione: Codice errore" \
    'printf "table Configurazione\ncolumn Altro text 50\nrow \"x\"\n" | "$JETWRITE" - dbClient.mdb >/dev/null'
row "an interrupted update" 0 "un aggiornamento è stato interrotto (stato \"backed-up\")" \
    'printf "quna-update 1\nbacked-up\nZ:\\\\quna\\\\Quna.exe\n" >.quna-update.journal'
row "archives to install" 0 "qn45070218.zip  3 byte" 'printf abc >Aggiorna/qn45070218.zip'
# expect NAME STATUS STDOUT STDERR COMMAND...: the command's status and both outputs, exactly.
expect() {
    local name=$1 status=$2 out=$3 err=$4 rc=0
    shift 4
    "$@" >"$work/out" 2>"$work/err" || rc=$?
    if [[ $rc -ne $status || "$(cat "$work/out")" != "$out" || "$(cat "$work/err")" != "$err" ]]; then
        echo "FAILED: $name: status $rc, stdout \"$(cat "$work/out")\", stderr \"$(cat "$work/err")\"" >&2
        failed=1
    else
        echo "ok: $name"
    fi
}
inst="$work/1/quna" data="$work/1/data"
windows_client="Z:${inst//\//\\}\\dbClient.mdb"
expect "db with the window's password" 0 $'Versione\t4.4' "" \
    "$qunadiag" db "$data/quna.mdb" --query "select Versione from Accesso"
expect "db through a Windows path" 0 $'VersioPC\t4.4' "" \
    "$qunadiag" db "$windows_client" --query "select [VersioPC] from Configurazione"
expect "db with a wrong password" 1 "" \
    "qunadiag db: error -2147217843: Password del database non valida" \
    "$qunadiag" db "$data/quna.mdb" --password Altra
expect "help" 0 "$("$qunadiag" --help)" "" "$qunadiag" --help
exit "$failed"
