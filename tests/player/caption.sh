#!/bin/bash
# The player's visual style has a taller caption (40 pixels instead of 18, set
# in the prefix's window metrics, which Wine reads as pixels when positive and
# as twips when negative): the window grows by the difference, its client area
# keeps the designed 317 x 250, and on every page no two controls overlap. The
# prefix gets its old caption height back afterwards, whatever happens.
. "$(dirname "$0")/lib.sh"
pl_setup caption "$@"

metrics='HKCU\Control Panel\Desktop\WindowMetrics'
# reg's output goes to a file: never wait on a pipe from a Wine program.
wine reg query "$metrics" /v CaptionHeight >"$PL_WORK/reg.txt" 2>/dev/null </dev/null
old=$(tr -d '\r' <"$PL_WORK/reg.txt" | awk '$1 == "CaptionHeight" { print $3 }')
if [ -n "$old" ]; then
    PL_AT_EXIT="wine reg add '$metrics' /v CaptionHeight /t REG_SZ /d '$old' /f >/dev/null 2>&1 </dev/null"
else
    PL_AT_EXIT="wine reg delete '$metrics' /v CaptionHeight /f >/dev/null 2>&1 </dev/null"
fi
wine reg add "$metrics" /v CaptionHeight /t REG_SZ /d 40 /f >/dev/null 2>&1 </dev/null ||
    pl_fail "cannot set the caption height"

pl_start
pl_shot started
read -r _ wy ww wh _ <<<"$(pl_get window)"
read -r _ cy cw ch <<<"$(pl_get client)"
pl_check "the caption is $((cy - wy - 3)) pixels high: the metrics did not apply" \
    [ $((cy - wy - 3)) -gt 30 ]
pl_check "client area is ${cw}x$ch in a ${ww}x$wh window" [ "$cw $ch" = "317 250" ]

for index in 0 1 2; do
    pl_tab "$index"
    pl_shot "tab-$index"
    pl_expect "controls overlap on page $index" "" pl_q_overlaps
done
pl_close_with 2
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
