#!/bin/bash
# The job of a test boot (run inside the guest as qwin/job.sh): unpacks the
# 32-bit build and the test scripts at the same absolute path as on the host,
# so that the command lines CTest registered run unchanged, then runs every
# test of qwin/tests.tsv (name, seconds allowed, lane, working folder, command)
# with 32-bit Wine on a private Xvfb display and the image's Wine prefix: the
# tests of the lane "display" one after another, and beside them, one after
# another, those of the lane "headless" (they need no display). Writes
# qwout/results-LANE.tsv (name, exit status, seconds) as it goes, each test's
# output to qwout/logs/NAME.log, and at the end the screenshots to
# qwout/player-shots.
set -u
IN=/mnt/qwin
OUT=/mnt/qwout
. "$IN/job.env" # ROOT, BUILD (relative to ROOT), QW_TIMEOUT_SCALE

# say MESSAGE: one line of progress with the guest's uptime.
say() {
    echo "guest-run [$(cut -d' ' -f1 /proc/uptime)s]: $*"
}

# wine_session: (re)starts the prefix's wineserver and services.
wine_session() {
    wineserver -k >/dev/null 2>&1
    wineserver -w
    qw_wine_prefix_init desktop
}

mkdir -p "$ROOT" "$OUT/logs"
tar -xf "$IN/payload.tar" -C "$ROOT" || exit 1
. "$ROOT/scripts/wineenv.sh"
qw_wine_env /root/qwprefix
[ -f "$WINEPREFIX/system.reg" ] || { say "the image has no Wine prefix"; exit 1; }
export QW_TIMEOUT_SCALE
qw_start_xvfb
say "Xvfb on $DISPLAY; starting the Wine session"
wine_session
say "Wine session ready"

# run_lane LANE: runs the tests of lane LANE of tests.tsv one after another
# and writes their results to qwout/results-LANE.tsv. A test of the display
# lane ended by its time limit or a signal restarts the Wine session, so that
# whatever it left behind goes (a headless test running then fails as well).
run_lane() {
    local name seconds dir start status took
    local -a f cmd
    : >"$OUT/results-$1.tsv"
    while IFS=$'\t' read -r -a f; do
        [ "${#f[@]}" -ge 5 ] && [ "${f[2]}" = "$1" ] || continue
        name=${f[0]} seconds=${f[1]} dir=${f[3]}
        cmd=("${f[@]:4}")
        # A registered Windows program runs through the wine launcher (the
        # 64-bit build's CTest adds it by itself).
        case "${cmd[0]}" in
            *.exe | *.EXE) cmd=(wine "${cmd[@]}") ;;
        esac
        say "run $name (at most ${seconds}s)"
        mkdir -p "$dir"
        start=$(date +%s)
        (cd "$dir" && exec timeout --kill-after=10 "$seconds" "${cmd[@]}") \
            >"$OUT/logs/$name.log" 2>&1 </dev/null
        status=$?
        took=$(($(date +%s) - start))
        say "$name: exit status $status after ${took}s"
        printf '%s\t%s\t%s\n' "$name" "$status" "$took" >>"$OUT/results-$1.tsv"
        sync
        if [ "$status" -ge 124 ] && [ "$1" = display ]; then
            wine_session
        fi
    done <"$IN/tests.tsv"
}

run_lane headless &
headless=$!
run_lane display
wait "$headless"

say "copying the screenshots"
if [ -d "$ROOT/$BUILD/player-shots" ]; then
    cp -r "$ROOT/$BUILD/player-shots" "$OUT/player-shots"
fi
qw_wine_stop
say "done"
