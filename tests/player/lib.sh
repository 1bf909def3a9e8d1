# Shared steps of the player tests: start the real editor under Wine in a
# folder of its own, look at it with qwpeek, click and type with xdotool,
# keep a screenshot of every step. Source it, then call pl_setup with the
# test's name and the arguments that CTest passes:
#   QWCONFIG QWPEEK SHOTROOT SAMPLE EXPECTED QWFILES
# The tests run on the display and Wine prefix that test.sh prepares (DISPLAY,
# WINEPREFIX with a 1024 x 768 virtual desktop); started by hand without a
# DISPLAY, they make their own (build/wineprefix-player and a private Xvfb).

PL_LIB_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
PL_ROOT=$(cd "$PL_LIB_DIR/../.." && pwd)
. "$PL_ROOT/scripts/peek.sh"
# Every wait for the editor lasts QW_TIMEOUT_SCALE times longer (a whole number,
# default 1) where everything runs slower, as in the emulated 32-bit guest.
PL_SCALE=${QW_TIMEOUT_SCALE:-1}

# pl_setup NAME QWCONFIG QWPEEK SHOTROOT SAMPLE EXPECTED QWFILES
pl_setup() {
    PL_NAME=$1
    QWCONFIG=$(realpath -m "$2")
    QWPEEK=$(realpath -m "$3")
    PL_SHOTS=$(realpath -m "$4")/$1
    PL_SAMPLE=$(realpath -m "$5")
    PL_EXPECTED=$(realpath -m "$6")
    QWFILES=$(realpath -m "$7")
    PL_STEP=0
    PL_PID=
    PL_HELPER_PID=
    PL_FROZEN=
    PL_AT_EXIT=
    PL_OWN_DISPLAY=
    rm -rf "$PL_SHOTS"
    mkdir -p "$PL_SHOTS"
    PL_WORK=$(mktemp -d "${TMPDIR:-/tmp}/qwplayer.XXXXXX")
    PL_DIR=$PL_WORK/game
    mkdir -p "$PL_DIR"
    trap pl_cleanup EXIT
    if [ -z "${DISPLAY:-}" ] || [ -z "${WINEPREFIX:-}" ]; then
        . "$PL_ROOT/scripts/wineenv.sh"
        qw_wine_env "$PL_ROOT/build/wineprefix-player"
        qw_start_xvfb
        qw_wine_prefix_init desktop
        PL_OWN_DISPLAY=1
    fi
    export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
}

# pl_cleanup: ends the editor and the helper if this test started them and
# they still run, runs the test's own PL_AT_EXIT command (which puts back what
# it changed in the prefix) and removes the test's folder.
pl_cleanup() {
    local pid
    for pid in "$PL_PID" "$PL_HELPER_PID"; do
        if [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null
            wait "$pid" 2>/dev/null
        fi
    done
    [ -n "$PL_FROZEN" ] && chattr -i "$PL_FROZEN" 2>/dev/null
    [ -n "$PL_AT_EXIT" ] && eval "$PL_AT_EXIT"
    rm -rf "$PL_WORK"
    if [ -n "$PL_OWN_DISPLAY" ]; then
        qw_wine_stop
    fi
}

# pl_shot NAME: keeps a picture of the screen as NN-NAME.png.
pl_shot() {
    PL_STEP=$((PL_STEP + 1))
    import -window root "$PL_SHOTS/$(printf %02d "$PL_STEP")-$1.png" 2>/dev/null
}

# pl_fail MESSAGE: reports the failure with a last picture and ends the test.
pl_fail() {
    echo "FAIL ($PL_NAME): $*"
    pl_shot failure
    [ -f "$PL_WORK/peek.txt" ] && sed 's/^/  | /' "$PL_WORK/peek.txt"
    exit 1
}

# pl_check MESSAGE COMMAND...: runs the command and fails the test when it fails.
pl_check() {
    local msg=$1
    shift
    "$@" || pl_fail "$msg"
}

# pl_peek [dialogs]: runs qwpeek into $PL_WORK/peek.txt. Its output
# goes to a file: never wait on a pipe from a Wine program.
pl_peek() {
    wine "$QWPEEK" "$@" >"$PL_WORK/peek.txt" 2>/dev/null </dev/null
}

# pl_launch [FOLDER]: starts the editor in FOLDER (default the test's folder)
# without waiting for anything. Wine swallows an exception raised inside a
# window procedure, so the editor runs with Wine's exception trace on, into
# wine.log (one log per start), for pl_wait_exit to look at.
pl_launch() {
    PL_LOG=$PL_WORK/wine-$PL_STEP-$RANDOM.log
    (cd "${1:-$PL_DIR}" && WINEDEBUG=-all,+seh exec wine "$QWCONFIG" >"$PL_LOG" 2>&1 </dev/null) &
    PL_PID=$!
}

# pl_q_exceptions [LOG] -> the exceptions that Wine's trace recorded in the
# editor's log (default the last start's), one line each. Wine 8 prints a line
# "trace:seh:dispatch_exception code=..." for every exception raised in the
# program's process and, when it swallows one raised in a window procedure,
# "err:seh:KiUserCallbackDispatcher ignoring exception". A start, the pages,
# the boxes and the file dialog print neither. Left out are the codes that
# programs raise on purpose as messages to a debugger and handle themselves: a
# debug string (40010006, 4001000a) and a thread's name (406d1388).
pl_q_exceptions() {
    grep -aE ':seh:(dispatch_exception code=|.*ignoring exception)' "${1:-$PL_LOG}" 2>/dev/null |
        grep -avE 'code=(406d1388|40010006|4001000a) '
}

# pl_fail_ended MESSAGE: fails the test when the editor went away unasked,
# with its exit code and the end of Wine's log.
pl_fail_ended() {
    if [ -n "$PL_PID" ] && ! kill -0 "$PL_PID" 2>/dev/null; then
        wait "$PL_PID"
        echo "the editor ended with exit code $?; the end of Wine's log:"
        PL_PID=
    fi
    tail -15 "$PL_LOG" 2>/dev/null | sed 's/^/  | /'
    pl_fail "$1"
}

# pl_start [FOLDER]: starts the editor in FOLDER (default the test's folder)
# and waits for its window.
pl_start() {
    pl_launch "$@"
    local i
    for i in $(seq 1 $((100 * PL_SCALE))); do
        if pl_peek; then
            sleep 0.3 # let the first paint finish before anyone looks
            pl_peek
            return 0
        fi
        kill -0 "$PL_PID" 2>/dev/null || pl_fail_ended "the editor ended before its window showed"
        sleep 0.2
    done
    pl_fail "no window after $((20 * PL_SCALE)) s"
}

# pl_wait_gone PID TICKS: waits up to TICKS times 0.2 s for process PID to
# end; fails (status 1) when it still runs.
pl_wait_gone() {
    local i
    for i in $(seq 1 "$2"); do
        kill -0 "$1" 2>/dev/null || return 0
        sleep 0.2
    done
    return 1
}

# pl_wait_exit: waits up to 15 s for the editor to end; sets PL_EXIT to its code.
pl_wait_exit() {
    pl_wait_gone "$PL_PID" $((75 * PL_SCALE)) || pl_fail "the editor is still running"
    wait "$PL_PID"
    PL_EXIT=$?
    PL_PID=
    local raised
    raised=$(pl_q_exceptions)
    if [ -n "$raised" ]; then
        sed 's/^/  | /' "$PL_LOG" | grep -a -A3 ':seh:' | head -40
        pl_fail "an exception was raised inside the editor: $(echo "$raised" | head -1)"
    fi
}

# pl_expect_refused: expects the editor to show an "Error" box instead of its
# window, leaves the box in peek.txt for the test's own checks and a picture of
# it, then presses its button and expects the editor to end with exit code 1.
pl_expect_refused() {
    pl_wait_dialog
    pl_shot refused
    pl_check "the box's caption" grep -q "^dialog	1	.*	Error$" "$PL_WORK/peek.txt"
    cp "$PL_WORK/peek.txt" "$PL_WORK/box.txt"
    pl_peek && pl_fail "the window showed behind the box"
    cp "$PL_WORK/box.txt" "$PL_WORK/peek.txt"
    pl_click control 1
    pl_wait_exit
    pl_check "exit code $PL_EXIT, not 1" [ "$PL_EXIT" = 1 ]
}

# pl_helper_start OUT ARGS...: runs qwfiles with ARGS in the test's folder,
# its output to the file OUT, and waits up to 30 s (times PL_SCALE) for its
# first line.
pl_helper_start() {
    local out=$1 i
    shift
    (cd "$PL_DIR" && exec wine "$QWFILES" "$@" >"$out" 2>&1 </dev/null) &
    PL_HELPER_PID=$!
    for i in $(seq 1 $((150 * PL_SCALE))); do
        [ -s "$out" ] && return 0
        sleep 0.2
    done
    pl_fail "qwfiles $1 did not start"
}

# pl_helper_end UNTIL: creates the file that tells qwfiles to end, waits up to
# 30 s (times PL_SCALE) for it and sets PL_HELPER_EXIT to its exit code.
pl_helper_end() {
    touch "$1"
    pl_wait_gone "$PL_HELPER_PID" $((150 * PL_SCALE)) || pl_fail "qwfiles is still running"
    wait "$PL_HELPER_PID"
    PL_HELPER_EXIT=$?
    PL_HELPER_PID=
}

# pl_get KIND [KEY] -> the tab-separated fields of the first line of peek.txt
# that starts with KIND (and KEY in the second field), without those two.
pl_get() {
    awk -F'\t' -v kind="$1" -v key="${2-}" '
        $1 == kind && (key == "" || $2 == key) {
            out = ""
            for (i = (key == "" ? 2 : 3); i <= NF; i++) out = out (out == "" ? "" : " ") $i
            print out
            exit
        }' "$PL_WORK/peek.txt"
}

# pl_control ID -> "class shown enabled check x y w h text" of control ID.
pl_control() {
    pl_get control "$1"
}

# pl_click_at X Y: one left click at a screen position.
pl_click_at() {
    xdotool mousemove "$1" "$2" click 1
    sleep 0.5 # a push button fires on release; give the editor a moment
}

# pl_click KIND KEY: clicks the centre of a control, tab or list item, as
# peek.txt last showed it.
pl_click() {
    local pos
    pos=$(qw_centre_of "$PL_WORK/peek.txt" "$1" "$2")
    [ -n "$pos" ] || pl_fail "no $1 $2 to click"
    # shellcheck disable=SC2086
    pl_click_at $pos
}

# pl_q_visible -> the shown controls, one "id class text" a line, sorted; edit
# fields and lists without their text, which is data rather than layout.
pl_q_visible() {
    pl_peek || { echo "(no window)"; return; }
    awk -F'\t' '$1 == "control" && $4 == 1 {
            if ($3 == "Edit" || $3 == "ListBox") print $2, $3
            else print $2, $3, $11
        }' "$PL_WORK/peek.txt" | sort
}

# pl_close_box: clicks the close box at the right end of the window's caption,
# wherever the frame and caption height put it.
pl_close_box() {
    local wx wy ww cy cap
    pl_peek || pl_fail "the window went away before the close box"
    read -r wx wy ww _ <<<"$(pl_get window)"
    read -r _ cy _ <<<"$(pl_get client)"
    cap=$((cy - wy - 3))
    pl_click_at $((wx + ww - 5 - cap / 2)) $((wy + 3 + cap / 2))
}

# pl_type_into ID TEXT: clicks into an edit field, selects its text and types
# TEXT over it.
pl_type_into() {
    pl_click control "$1"
    xdotool key End shift+Home
    xdotool type --delay 40 "$2"
    sleep 0.3
}

# pl_same_bytes FILE EXPECTED: true when both files hold the same bytes;
# otherwise shows both, with line ends visible.
pl_same_bytes() {
    if cmp -s "$1" "$2"; then
        return 0
    fi
    echo "--- expected ($2):"
    od -c "$2" | head -60
    echo "--- found ($1):"
    od -c "$1" 2>/dev/null | head -60
    return 1
}

# pl_use_sample: puts a copy of the sample qw.ini into the test's folder.
pl_use_sample() {
    cp "$PL_SAMPLE" "$PL_DIR/qw.ini"
}

# pl_expect MESSAGE WANTED QUERY...: runs the query (one of the pl_q_ functions,
# which look at the window again) until it prints WANTED, for up to 5 s: the
# editor takes a moment to handle a click. Fails the test with MESSAGE and
# what the query found.
pl_expect() {
    local msg=$1 want=$2 got i
    shift 2
    for i in $(seq 1 $((25 * PL_SCALE))); do
        got=$("$@")
        [ "$got" = "$want" ] && return 0
        sleep 0.2
    done
    echo "expected: $want"
    echo "found:    $got"
    pl_fail "$msg"
}

# pl_q_get KIND [KEY] -> pl_get on a fresh look at the window.
pl_q_get() {
    pl_peek || { echo "(no window)"; return; }
    pl_get "$@"
}

# pl_q_checked ID -> the check state (0 or 1) of a check box.
pl_q_checked() {
    pl_q_get control "$1" | cut -d' ' -f4
}

# pl_q_enabled ID -> 1 when the control is enabled, else 0.
pl_q_enabled() {
    pl_q_get control "$1" | cut -d' ' -f3
}

# pl_q_text ID -> the text of a control, as qwpeek escapes it.
pl_q_text() {
    pl_q_get control "$1" | cut -d' ' -f9-
}

# pl_tab INDEX: selects a page by a click on its tab.
pl_tab() {
    pl_click tab "$1"
    pl_expect "tab $1 is not selected after a click on it" "$1" pl_q_get tabsel
}

# pl_close_with ID: presses "Okay" (1) or "Cancel" (2) and expects the editor
# to end with exit code 0.
pl_close_with() {
    pl_peek || pl_fail_ended "the window went away before the button $1"
    pl_click control "$1"
    pl_wait_exit
    pl_shot closed
    pl_check "exit code $PL_EXIT" [ "$PL_EXIT" = 0 ]
}

# pl_wait_dialog: waits up to 10 s for a dialog of the editor that is not
# waiting on another one; leaves it in peek.txt.
pl_wait_dialog() {
    local i
    for i in $(seq 1 $((50 * PL_SCALE))); do
        pl_peek dialogs
        grep -q "^dialog	1	" "$PL_WORK/peek.txt" && return 0
        sleep 0.2
    done
    pl_fail "no dialog showed"
}

# pl_no_dialog: fails when the editor still shows a dialog after 5 s.
pl_no_dialog() {
    local i
    for i in $(seq 1 $((25 * PL_SCALE))); do
        pl_peek dialogs
        grep -q "^dialog	" "$PL_WORK/peek.txt" || return 0
        sleep 0.2
    done
    pl_fail "a dialog is still open"
}

# pl_q_overlaps -> the pairs of shown controls that overlap, one a line, where
# neither is the tab control or a group box around the other.
pl_q_overlaps() {
    pl_peek || { echo "(no window)"; return; }
    awk -F'\t' '
        $1 == "control" && $4 == 1 {
            n++; id[n] = $2 " " $3 " " $11; x[n] = $7; y[n] = $8; r[n] = $7 + $9; b[n] = $8 + $10
            box[n] = ($2 == 3 || ($2 == -1 && $3 == "Button"))
        }
        function inside(i, j) { return x[i] >= x[j] && y[i] >= y[j] && r[i] <= r[j] && b[i] <= b[j] }
        END {
            for (i = 1; i <= n; i++)
                for (j = i + 1; j <= n; j++)
                    if (x[i] < r[j] && x[j] < r[i] && y[i] < b[j] && y[j] < b[i] &&
                        !(box[j] && inside(i, j)) && !(box[i] && inside(j, i)))
                        print id[i] " / " id[j]
        }' "$PL_WORK/peek.txt"
}
