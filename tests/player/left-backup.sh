#!/bin/bash
# A save of the editor was cut off between its two moves (the editor killed, a
# power cut), leaving the player's settings only under the editor's backup
# name, with the save's temporary file beside it. Started while qw.ini is
# missing, the editor puts that copy back, names it in an "Information" box and
# shows it. A lone copy (no temporary file) beside a missing qw.ini is named in
# a "Warning" box and not put back; when the game has made a new qw.ini
# meanwhile, the editor shows that file, but first names the copy and says how
# to go back to it. The copy stays byte for byte.
. "$(dirname "$0")/lib.sh"
pl_setup left-backup "$@"
backup=qw.ini.qwconfig-99999991-3.bak
cp "$PL_SAMPLE" "$PL_DIR/$backup"
printf '#server_address = half.written\r\n' >"$PL_DIR/qw.ini.qwconfig-99999991-3.tmp"

# Dismisses the box that the start shows, and waits for the window.
pl_box_then_window() {
    pl_click control 1
    for i in $(seq 1 $((50 * PL_SCALE))); do
        pl_peek && break
        sleep 0.2
    done
    pl_peek || pl_fail_ended "no window after the box"
}

pl_launch
pl_wait_dialog
pl_shot restored-box
pl_check "the box's caption" grep -q "^dialog	1	.*	Information$" "$PL_WORK/peek.txt"
pl_check "the box does not name the copy" grep -qF "$backup" "$PL_WORK/peek.txt"
pl_box_then_window
pl_shot restored
pl_expect "the host field does not show the copy's host" play.quarrow.net pl_q_text 302
pl_close_with 2
pl_check "qw.ini is not the copy" pl_same_bytes "$PL_DIR/qw.ini" "$PL_SAMPLE"
left=$(ls -A "$PL_DIR")
pl_check "the folder holds other than qw.ini and the temporary file: $left" \
    [ "$left" = "qw.ini
qw.ini.qwconfig-99999991-3.tmp" ]
rm "$PL_DIR/qw.ini.qwconfig-99999991-3.tmp"

# The copy alone, without qw.ini: named, not put back; then beside a qw.ini
# of the game's defaults.
mv "$PL_DIR/qw.ini" "$PL_DIR/$backup"
for made in no yes; do
    [ $made = yes ] && printf '#server_address = game.default\r\n' >"$PL_DIR/qw.ini"
    pl_launch
    pl_wait_dialog
    pl_shot "warning-$made"
    pl_check "the box's caption" grep -q "^dialog	1	.*	Warning$" "$PL_WORK/peek.txt"
    pl_check "the box does not name the copy" grep -qF "$backup" "$PL_WORK/peek.txt"
    pl_check "the box does not say how to go back" grep -qF 'rename the copy to qw.ini' "$PL_WORK/peek.txt"
    pl_box_then_window
    pl_shot "started-$made"
    if [ $made = yes ]; then
        pl_expect "the host field does not show qw.ini's host" game.default pl_q_text 302
    else
        pl_expect "the host field does not show the default" "Please, see licence.txt" pl_q_text 302
    fi
    pl_close_with 2
    pl_check "the copy changed" pl_same_bytes "$PL_DIR/$backup" "$PL_SAMPLE"
done
[ -e "$PL_DIR/qw.ini" ] && grep -q game.default "$PL_DIR/qw.ini" || pl_fail "qw.ini is not the game's"
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
