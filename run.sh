#!/bin/bash
# ./run.sh [FOLDER]
#
# Installs what is missing, builds the editor and starts it under Wine on
# FOLDER/qw.ini (default: the current folder), as a player starts it in the
# game's folder.
#
# Without a display (DISPLAY unset) it shows the editor at work instead: it
# runs it on a private Xvfb display over a copy of examples/qw.ini in
# build/demo/, saves a picture of each of the three pages there (general.png,
# video.png, audio.png), closes the editor with "Cancel" and says where the
# pictures are.
#
# QW_BUILD_DIR chooses another build folder for the 64-bit build (default
# build/win64).
set -u
ROOT=$(cd "$(dirname "$0")" && pwd)
FOLDER=$(realpath -m "${1:-.}")
cd "$ROOT"
BUILD=$(realpath -m "${QW_BUILD_DIR:-build/win64}")
QWCONFIG=$BUILD/qwconfig.exe
QWPEEK=$BUILD/tests/player/qwpeek.exe

# fail MESSAGE: says what went wrong and ends with status 1.
fail() {
    echo "run.sh: $*" >&2
    exit 1
}

./scripts/deps.sh || fail "could not install the packages the editor needs"
. scripts/wineenv.sh
. scripts/peek.sh

mkdir -p build
echo "run.sh: building the 64-bit editor in $BUILD (log: build/run-build.log)"
if ! { cmake --preset win64 -B "$BUILD" && cmake --build "$BUILD" -j2; } >build/run-build.log 2>&1; then
    tail -30 build/run-build.log
    fail "the build failed; see build/run-build.log"
fi
[ -x "$QWCONFIG" ] || fail "$QWCONFIG was not built"

if [ -n "${DISPLAY:-}" ]; then
    [ -d "$FOLDER" ] || fail "no folder $FOLDER"
    qw_wine_env "$ROOT/build/wineprefix-run"
    qw_wine_prefix_init
    echo "run.sh: editing $FOLDER/qw.ini (Wine messages go to build/run-wine.log)"
    cd "$FOLDER" || fail "cannot enter $FOLDER"
    wine "$QWCONFIG" >"$ROOT/build/run-wine.log" 2>&1 </dev/null
    status=$?
    echo "run.sh: the editor ended with exit code $status"
    exit $status
fi

# ---- No display: a demonstration on a private screen, with pictures.
[ $# -gt 0 ] && echo "run.sh: no DISPLAY, so the editor runs over a copy of examples/qw.ini, not $FOLDER"
[ -x "$QWPEEK" ] || fail "$QWPEEK was not built"
DEMO=$ROOT/build/demo
rm -rf "$DEMO"
mkdir -p "$DEMO"
cp examples/qw.ini "$DEMO/qw.ini"

qw_wine_env "$ROOT/build/wineprefix-demo"
qw_start_xvfb
EDITOR_PID=
# Ends the editor if it still runs, then the prefix and the private display.
cleanup() {
    if [ -n "$EDITOR_PID" ] && kill -0 "$EDITOR_PID" 2>/dev/null; then
        kill "$EDITOR_PID" 2>/dev/null
        wait "$EDITOR_PID" 2>/dev/null
    fi
    qw_wine_stop
}
trap cleanup EXIT
echo "run.sh: preparing the Wine prefix build/wineprefix-demo (the first time takes a while)"
qw_wine_prefix_init desktop

# peek: what the editor's window holds, into build/demo/peek.txt (a file:
# never wait on a pipe from a Wine program).
peek() {
    wine "$QWPEEK" >"$DEMO/peek.txt" 2>/dev/null </dev/null
}

# click KIND KEY: a left click on a tab or control.
click() {
    local pos
    pos=$(qw_centre_of "$DEMO/peek.txt" "$1" "$2")
    [ -n "$pos" ] || fail "no $1 $2 in the editor's window"
    # shellcheck disable=SC2086
    xdotool mousemove $pos click 1
    sleep 0.6
}

# picture NAME: the editor's window, with its caption, as build/demo/NAME.png.
picture() {
    local geometry
    geometry=$(awk -F'\t' '$1 == "window" { printf "%dx%d+%d+%d", $4, $5, $2, $3; exit }' "$DEMO/peek.txt")
    import -window root -crop "$geometry" +repage "$DEMO/$1.png" || fail "no picture $1.png"
}

(cd "$DEMO" && exec wine "$QWCONFIG" >"$DEMO/wine.log" 2>&1 </dev/null) &
EDITOR_PID=$!
for i in $(seq 1 100); do
    peek && break
    kill -0 "$EDITOR_PID" 2>/dev/null || fail "the editor ended before its window showed"
    [ "$i" = 100 ] && fail "the editor's window did not show"
    sleep 0.2
done
sleep 0.5
peek

picture general
click tab 1
peek
picture video
click tab 2
peek
picture audio

click control 2
for i in $(seq 1 50); do
    kill -0 "$EDITOR_PID" 2>/dev/null || break
    sleep 0.2
done
kill -0 "$EDITOR_PID" 2>/dev/null && fail "the editor did not close on Cancel"
wait "$EDITOR_PID"
status=$?
EDITOR_PID=
rm -f "$DEMO/peek.txt"
cmp -s examples/qw.ini "$DEMO/qw.ini" || fail "Cancel changed build/demo/qw.ini"

echo "run.sh: the editor ran on build/demo/qw.ini and closed with exit code $status."
echo "run.sh: pictures of its three pages:"
for page in general video audio; do
    echo "  $DEMO/$page.png"
done
