# Shared by the benchmark scripts (sourced, not run): the build, a demo installation in a
# folder of its own, medians and timings.
#
#   BUILD=DIR   build folder (default: the project's build-bench/, configured for Release)

bench_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$bench_root/scripts/window.sh" # the stand-in main program
build=${BUILD:-$bench_root/build-bench}

bench_fail() {
    echo "$bench_name: $*" >&2
    exit 2
}

# Configures (when needed) and builds the given targets.
bench_build() {
    [[ -x /usr/bin/time ]] || bench_fail "GNU time is missing (package time)"
    cmake -S "$bench_root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUNA_BENCH=ON \
        -DQUNA_TESTS=OFF >/dev/null || bench_fail "configuration failed"
    cmake --build "$build" --target "$@" -j2 >/dev/null || bench_fail "build failed"
}

# A temporary work folder, removed on exit. Short, because config.dat holds the data folder
# as a Windows path in 50 bytes. By default on a tmpfs (/dev/shm), so that timings measure
# the programs rather than the disk's write-back; `bench_workdir /tmp` puts it on the disk.
bench_workdir() {
    local base=${1:-/dev/shm}
    [[ -d $base && -w $base ]] || base=/tmp
    work=$(mktemp -d "$base/qb.XXXXXX")
    bench_folders+=("$work")
    trap 'rm -rf "${bench_folders[@]}"' EXIT
}
bench_folders=()

# An installation as the demo makes it, without archives: INST/{config.dat, dbClient.mdb,
# Quna.exe, Aggiorna/} and DATA/quna.mdb. Version 4.4 of 10/01/2007 in both databases.
#   bench_installation INST DATA
bench_installation() {
    "$bench_root/scripts/make-installation.sh" "$1" "$2" "$build/tools/jetwriter/jetwrite" ||
        bench_fail "cannot write the installation"
    stand_in_main_program 4.4 "$1/Quna.exe"
}


# Writes a generated archive: bench_archive KIND OUT (see make_archive.py).
bench_archive() {
    python3 "$bench_root/bench/make_archive.py" "$@" || bench_fail "cannot write the archive"
}

bench_median() {
    printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

# Wall, user and system time of a whole process in seconds ("WALL USER SYSTEM"), taken by
# the shell's own `time`, so that no helper process falls inside the interval.
bench_timed() {
    local TIMEFORMAT='%3R %3U %3S' times
    times=$({ time "$@" >/dev/null 2>&1; } 2>&1) || return 1
    echo "$times"
}

# "NAME: user+system ours U s, reference V s" (medians), the line before the report.
bench_cpu_line() {
    printf '%s: user+system ours %.3f s, reference %.3f s\n' "$1" "$2" "$3"
}

# Peak resident memory of a whole process in KiB (GNU time).
bench_peak_kib() {
    /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null 2>&1 || return 1
    tail -n 1 "$work/rss"
}

# Prints the last line and exits 0 when the ratio meets the target (and the peak, when a
# limit in MiB is given), 1 otherwise.
#   bench_report NAME OURS REFERENCE PEAK_KIB TARGET [PEAK_LIMIT_MIB]
bench_report() {
    awk -v n="$1" -v o="$2" -v r="$3" -v p="$4" -v t="$5" -v l="${6:-0}" 'BEGIN {
        ratio = o / r
        printf "%s ratio %.3f (ours %.4f s, reference %.4f s, peak %.1f MiB)\n",
               n, ratio, o, r, p / 1024
        ok = ratio <= t
        if (l > 0 && p / 1024 >= l) ok = 0
        exit !ok
    }'
}

# The update benchmarks: an installation at version 4.4 with one archive of version 4.5 of
# the given kind; each run updates a fresh copy of it, ours with the update driver (timed
# inside, from the "Yes" until the main program is started, user and system time over the
# same interval) and the reference with `unzip -o -q` of the same archive into another fresh
# copy. Copies are made, and earlier writes put on disk, outside the timed part.
# The work folder is on a tmpfs, where neither program waits for the disk: that run is the
# one judged. The same runs on the disk follow first, for information (there the disk's
# write-back makes a run take anything from one to several times another).
#   bench_update NAME KIND TARGET [PEAK_LIMIT_MIB]
bench_update() {
    local name=$1 kind=$2 target=$3 limit=${4:-0}
    bench_build quna_update_driver jetwrite
    local disk ram
    bench_workdir /tmp
    disk=$work
    bench_workdir /dev/shm
    ram=$work
    bench_update_runs "$disk" "$kind" >/dev/null
    echo "$name on disk (information): $(bench_update_line "$disk")"
    bench_update_runs "$ram" "$kind" >/dev/null
    echo "$name on $(stat -f -c %T "$ram"): $(bench_update_line "$ram")"
    bench_report "$name" "$(cat "$ram/ours")" "$(cat "$ram/reference")" "$(cat "$ram/peak")" \
        "$target" "$limit"
}

# One side of the update benchmark in a work folder: leaves the medians in its files ours,
# reference, ours-cpu, reference-cpu (user + system seconds) and the peak in KiB in peak.
#   bench_update_runs WORK KIND
bench_update_runs() {
    local work=$1 kind=$2 runs=${RUNS:-5}
    local inst=$work/quna archive=qn45070218.zip
    bench_installation "$inst" "$work/data"
    bench_archive "$kind" "$work/$archive"
    local driver=$build/bench/quna_update_driver run=$work/run

    fresh_copy() { # the installation without its archive, which is linked in
        rm -rf "$run"
        cp -a "$inst" "$run"
        ln "$work/$archive" "$run/Aggiorna/$archive"
        sync
    }

    local ours=() reference=() ours_cpu=() reference_cpu=() peak=0 kib times
    for ((i = 0; i < runs; i++)); do
        fresh_copy
        /usr/bin/time -f %M -o "$work/rss" timeout 900 "$driver" "$run" >"$work/out" 2>"$work/err" ||
            bench_fail "the update failed: $(cat "$work/out" "$work/err")"
        grep -q 'QUNA 4.5' "$run/Quna.exe" || bench_fail "Quna.exe was not updated"
        ours+=("$(sed -n 's/^seconds //p' "$work/out")")
        ours_cpu+=("$(sed -n 's/^cpu //p' "$work/out")")
        kib=$(tail -n 1 "$work/rss")
        ((kib > peak)) && peak=$kib

        fresh_copy
        times=$(bench_timed unzip -o -q "$work/$archive" -d "$run") || bench_fail "unzip failed"
        grep -q 'QUNA 4.5' "$run/Quna.exe" || bench_fail "unzip did not update Quna.exe"
        reference+=("$(awk '{ print $1 }' <<<"$times")")
        reference_cpu+=("$(awk '{ print $2 + $3 }' <<<"$times")")
    done
    rm -rf "$run"
    bench_median "${ours[@]}" >"$work/ours"
    bench_median "${reference[@]}" >"$work/reference"
    bench_median "${ours_cpu[@]}" >"$work/ours-cpu"
    bench_median "${reference_cpu[@]}" >"$work/reference-cpu"
    echo "$peak" >"$work/peak"
}

# "ratio R (ours X s, reference Y s; user+system ours U s, reference V s)" of a work folder.
bench_update_line() {
    awk -v o="$(cat "$1/ours")" -v r="$(cat "$1/reference")" -v oc="$(cat "$1/ours-cpu")" \
        -v rc="$(cat "$1/reference-cpu")" 'BEGIN {
        printf "ratio %.3f (ours %.4f s, reference %.4f s; user+system ours %.3f s, reference %.3f s)\n",
               o / r, o, r, oc, rc
    }'
}
