#!/bin/bash
# A player changes one thing on each page of a full qw.ini and presses "Okay":
# host and port typed, "Shadows enabled" unticked, another video mode picked,
# sound unticked. The fourteen lines are rewritten in place, every other line
# keeps its bytes, and "Okay" replaces the file once (not once per setting).
. "$(dirname "$0")/lib.sh"
pl_setup edit-sample "$@"
pl_use_sample

pl_start
pl_shot started
pl_expect "the host field does not show the file's host" play.quarrow.net pl_q_text 302
pl_type_into 302 eu.quarrow.net
pl_type_into 303 80
pl_expect "the typed host" eu.quarrow.net pl_q_text 302
pl_expect "the typed port" 80 pl_q_text 303
pl_shot general-typed

pl_tab 1
pl_expect "video mode 6 does not select row 5" 5 pl_q_get listsel
pl_expect "Shadows enabled is not checked" 1 pl_q_checked 202
pl_click control 202
pl_expect "Shadows enabled is still checked" 0 pl_q_checked 202
# Clouds shadows stay on, so the dependent box stays enabled.
pl_expect "the dependent box got disabled" 1 pl_q_enabled 203
pl_click item 1
pl_expect "row 1 is not selected" 1 pl_q_get listsel
pl_shot video-changed

pl_tab 2
pl_click control 601
pl_expect "sound is still checked" 0 pl_q_checked 601
pl_shot audio-changed

pl_helper_start "$PL_WORK/watch.txt" watch . qw.ini '..\watched'
pl_close_with 1
pl_check "qw.ini is not the sample with the changes" \
    pl_same_bytes "$PL_DIR/qw.ini" "$PL_EXPECTED/sample-edited.ini"
pl_helper_end "$PL_WORK/watched"
pl_check "the watch of the folder failed: $(cat "$PL_WORK/watch.txt")" [ "$PL_HELPER_EXIT" = 0 ]
replaced=$(tail -1 "$PL_WORK/watch.txt" | tr -d '\r')
pl_check "Okay replaced qw.ini $replaced times" [ "$replaced" = 1 ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
