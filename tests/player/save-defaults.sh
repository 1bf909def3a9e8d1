#!/bin/bash
# A player starts the editor where no qw.ini exists yet and presses "Okay": the
# new file holds the fourteen settings with their defaults, in order.
. "$(dirname "$0")/lib.sh"
pl_setup save-defaults "$@"

pl_start
pl_shot started
pl_expect "the host field does not show the default" "Please, see licence.txt" pl_q_text 302
pl_close_with 1
pl_check "qw.ini differs from the defaults" pl_same_bytes "$PL_DIR/qw.ini" "$PL_EXPECTED/defaults.ini"
left=$(ls -A "$PL_DIR")
pl_check "the folder holds more than qw.ini: $left" [ "$left" = qw.ini ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
