#!/bin/bash
# A player's qw.ini is read-only. "Okay" says that the settings were not saved,
# names the file and keeps the window with the player's changes; once the file
# is writable again, "Okay" saves them.
. "$(dirname "$0")/lib.sh"
pl_setup read-only "$@"
pl_use_sample
chmod a-w "$PL_DIR/qw.ini"

pl_start
pl_type_into 302 eu.quarrow.net
pl_expect "the typed host" eu.quarrow.net pl_q_text 302
pl_click control 1
pl_wait_dialog
pl_shot error
pl_check "the box's caption" grep -q "^dialog	1	.*	Error$" "$PL_WORK/peek.txt"
pl_check "the box does not say the settings were not saved" \
    grep -qF "The settings were not saved" "$PL_WORK/peek.txt"
pl_check "the box does not name the file" grep -qF 'game\\qw.ini' "$PL_WORK/peek.txt"
pl_click control 1
pl_no_dialog
pl_peek || pl_fail "the window closed after the error"
pl_shot window-kept
pl_expect "the typed host is gone" eu.quarrow.net pl_q_text 302
pl_check "the read-only file changed" pl_same_bytes "$PL_DIR/qw.ini" "$PL_SAMPLE"

chmod u+w "$PL_DIR/qw.ini"
pl_close_with 1
pl_check "the second Okay did not save the host" \
    grep -q "^#server_address = eu.quarrow.net$" "$PL_DIR/qw.ini"
left=$(ls -A "$PL_DIR")
pl_check "the folder holds more than qw.ini: $left" [ "$left" = qw.ini ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
