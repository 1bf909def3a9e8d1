#!/bin/bash
# A player presses "Browse...", types the path of a program into the open
# dialog and confirms it: the path shows in the field and "Okay" stores it as
# the browser.
. "$(dirname "$0")/lib.sh"
pl_setup browse "$@"
pl_use_sample
chosen='C:\windows\notepad.exe'

pl_start
pl_click control 702
pl_wait_dialog
pl_shot dialog
pl_check "the dialog's title" grep -q "^dialog	1	.*	Locate your favorite browser$" "$PL_WORK/peek.txt"
# The file name field: an Edit inside the dialog's name box (0x47C).
field=$(awk -F'\t' '$1 == "control" && $2 == 1148 && $3 == "Edit" { print int($7 + $9 / 2), int($8 + $10 / 2); exit }' "$PL_WORK/peek.txt")
pl_check "no file name field in the dialog" [ -n "$field" ]
# shellcheck disable=SC2086
pl_click_at $field
xdotool key End shift+Home
xdotool type --delay 40 "$chosen"
pl_shot typed
xdotool key Return
pl_no_dialog
pl_shot chosen
pl_expect "the browser field" 'C:\\windows\\notepad.exe' pl_q_text 701

pl_close_with 1
pl_check "browser is not the chosen program" grep -qF "#browser = $chosen" "$PL_DIR/qw.ini"
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
