#!/bin/bash
# Another program (the game, a backup tool) holds the player's qw.ini open
# without sharing it. The editor says so before any window shows, names the
# file, tells the player what to do and ends with exit code 1, touching
# nothing. Once the other program has let go, the editor shows the player's
# own settings, not the defaults.
. "$(dirname "$0")/lib.sh"
pl_setup locked "$@"
pl_use_sample

pl_helper_start "$PL_WORK/hold.txt" hold qw.ini '..\released'
pl_check "qwfiles could not hold qw.ini: $(cat "$PL_WORK/hold.txt")" grep -q '^held' "$PL_WORK/hold.txt"
pl_launch
pl_expect_refused
pl_check "the box does not name the file" grep -qF 'game\\qw.ini' "$PL_WORK/box.txt"
pl_check "the box does not say what to do" \
    grep -qF 'Close the game or the program that holds the file' "$PL_WORK/box.txt"
pl_helper_end "$PL_WORK/released"
pl_check "qw.ini changed" pl_same_bytes "$PL_DIR/qw.ini" "$PL_SAMPLE"
left=$(ls -A "$PL_DIR")
pl_check "the folder holds more than qw.ini: $left" [ "$left" = qw.ini ]

pl_start
pl_shot started-after-release
pl_expect "the host field does not show the file's host" play.quarrow.net pl_q_text 302
pl_close_with 2
pl_check "qw.ini changed" pl_same_bytes "$PL_DIR/qw.ini" "$PL_SAMPLE"
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
