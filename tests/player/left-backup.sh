#!/bin/bash
# A save of the editor was cut off between its two moves (the editor killed, a
# power cut), leaving the player's settings only under the editor's backup
# name. Started while qw.ini is missing, the editor puts that copy back and
# shows it. When the game has made a new qw.ini meanwhile, the editor shows
# that file, but first names the copy in a "Warning" box and says how to go
# back to it; the copy stays byte for byte.
. "$(dirname "$0")/lib.sh"
pl_setup left-backup "$@"
# No process has this number: the save that left the copy has ended.
backup=qw.ini.qwconfig-99999991-3.bak
cp "$PL_SAMPLE" "$PL_DIR/$backup"

pl_start
pl_shot restored
pl_expect "the host field does not show the copy's host" play.quarrow.net pl_q_text 302
pl_close_with 2
pl_check "qw.ini is not the copy" pl_same_bytes "$PL_DIR/qw.ini" "$PL_SAMPLE"
left=$(ls -A "$PL_DIR")
pl_check "the folder holds more than qw.ini: $left" [ "$left" = qw.ini ]

# The copy again, and a qw.ini of the game's defaults beside it.
mv "$PL_DIR/qw.ini" "$PL_DIR/$backup"
printf '#server_address = game.default\r\n' >"$PL_DIR/qw.ini"
pl_launch
pl_wait_dialog
pl_shot warning
pl_check "the box's caption" grep -q "^dialog	1	.*	Warning$" "$PL_WORK/peek.txt"
pl_check "the box does not name the copy" grep -qF "$backup" "$PL_WORK/peek.txt"
pl_check "the box does not say how to go back" grep -qF 'rename the copy to qw.ini' "$PL_WORK/peek.txt"
pl_click control 1
for i in $(seq 1 $((50 * PL_SCALE))); do
    pl_peek && break
    sleep 0.2
done
pl_peek || pl_fail_ended "no window after the box"
pl_shot started
pl_expect "the host field does not show qw.ini's host" game.default pl_q_text 302
pl_close_with 2
pl_check "the copy changed" pl_same_bytes "$PL_DIR/$backup" "$PL_SAMPLE"
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
