#!/bin/bash
# A player changes things on every page, even picks a browser, and then
# presses "Cancel": qw.ini keeps every byte.
. "$(dirname "$0")/lib.sh"
pl_setup cancel "$@"
pl_use_sample

pl_start
pl_type_into 302 somewhere.else
pl_type_into 303 1234
pl_click control 503
pl_shot general-changed
pl_tab 1
pl_click item 0
pl_click control 204
pl_click control 103
pl_shot video-changed
pl_tab 2
pl_click control 601
pl_shot audio-changed
pl_tab 0
pl_close_with 2
pl_check "Cancel changed qw.ini" pl_same_bytes "$PL_DIR/qw.ini" "$PL_SAMPLE"
left=$(ls -A "$PL_DIR")
pl_check "the folder holds more than qw.ini: $left" [ "$left" = qw.ini ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
