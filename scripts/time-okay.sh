#!/bin/bash
# Measures how long the editor takes from a click on "Okay" to the end of its
# process, over a qw.ini of a given size (the sample file, padded with comment
# lines), under Wine on the display and prefix of the caller's environment
# (DISPLAY, WINEPREFIX; for example those of a player test run).
#
#   scripts/time-okay.sh QWCONFIG QWPEEK SIZE_KB [REPEATS]
#
# Prints one line per run and then "SIZE_KB KB: min/median/max ms".
set -u
ROOT=$(cd "$(dirname "$0")/.." && pwd)
. "$ROOT/scripts/peek.sh"
QWCONFIG=$(realpath "$1")
QWPEEK=$(realpath "$2")
SIZE_KB=$3
REPEATS=${4:-5}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qwtime.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

# make_file PATH: the sample qw.ini, padded with comment lines to SIZE_KB KB.
make_file() {
    cp "$ROOT/examples/qw.ini" "$1"
    local want=$((SIZE_KB * 1024)) have
    have=$(stat -c %s "$1")
    if [ "$have" -lt "$want" ]; then
        yes '; padding line of a large settings file, kept as it is by the editor' |
            sed 's/$/\r/' | head -c $((want - have)) >>"$1"
    fi
}

# one_run N: starts the editor on a fresh file, clicks "Okay" and prints the
# milliseconds until its process ended.
one_run() {
    rm -rf "$WORK/game" && mkdir -p "$WORK/game"
    make_file "$WORK/game/qw.ini"
    (cd "$WORK/game" && exec wine "$QWCONFIG" >/dev/null 2>&1 </dev/null) &
    local pid=$! i pos t0 t1
    for i in $(seq 1 300); do
        wine "$QWPEEK" >"$WORK/peek.txt" 2>/dev/null </dev/null && break
        sleep 0.1
    done
    sleep 0.5
    pos=$(qw_centre_of "$WORK/peek.txt" control 1)
    [ -n "$pos" ] || { echo "no window" >&2; kill "$pid"; return 1; }
    # shellcheck disable=SC2086
    xdotool mousemove $pos
    t0=$(date +%s%N)
    xdotool click 1
    while kill -0 "$pid" 2>/dev/null; do
        sleep 0.005
    done
    t1=$(date +%s%N)
    wait "$pid"
    grep -q '^#no_sound = 0$' "$WORK/game/qw.ini" || { echo "not saved" >&2; return 1; }
    echo $(((t1 - t0) / 1000000))
}

results=()
for n in $(seq 1 "$REPEATS"); do
    ms=$(one_run) || exit 1
    echo "run $n: $ms ms"
    results+=("$ms")
done
sorted=($(printf '%s\n' "${results[@]}" | sort -n))
echo "$SIZE_KB KB: ${sorted[0]}/${sorted[$((REPEATS / 2))]}/${sorted[$((REPEATS - 1))]} ms (min/median/max of $REPEATS)"
