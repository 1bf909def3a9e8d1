#!/bin/bash
# A player changes one thing on each page of a full qw.ini and presses "Okay":
# host and port typed, "Shadows enabled" unticked, another video mode picked,
# sound unticked. The fourteen lines are rewritten in place, every other line
# keeps its bytes.
. "$(dirname "$0")/lib.sh"
pl_setup edit-sample "$@"
pl_use_sample

pl_start
pl_shot started
pl_check "host '$(pl_text 302)' is not the file's" [ "$(pl_text 302)" = play.quarrow.net ]
pl_type_into 302 eu.quarrow.net
pl_type_into 303 80
pl_check "host field holds '$(pl_text 302)'" [ "$(pl_text 302)" = eu.quarrow.net ]
pl_check "port field holds '$(pl_text 303)'" [ "$(pl_text 303)" = 80 ]
pl_shot general-typed

pl_tab 1
pl_check "video mode 6 does not select row 5" [ "$(pl_get listsel)" = 5 ]
pl_check "Shadows enabled is not checked" [ "$(pl_checked 202)" = 1 ]
pl_click control 202
pl_check "Shadows enabled is still checked" [ "$(pl_checked 202)" = 0 ]
# Clouds shadows stay on, so the dependent box stays enabled.
pl_check "the dependent box got disabled" [ "$(pl_control 203 | cut -d' ' -f3)" = 1 ]
pl_click item 1
pl_inspect
pl_check "row 1 is not selected" [ "$(pl_get listsel)" = 1 ]
pl_shot video-changed

pl_tab 2
pl_click control 601
pl_check "sound is still checked" [ "$(pl_checked 601)" = 0 ]
pl_shot audio-changed

pl_close_with 1
pl_check "qw.ini is not the sample with the changes" \
    pl_same_bytes "$PL_DIR/qw.ini" "$PL_EXPECTED/sample-edited.ini"
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
