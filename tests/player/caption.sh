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

# q_overlaps -> the pairs of shown controls that overlap, one a line, where
# neither is the tab control or a group box around the other.
q_overlaps() {
    pl_peek || { echo "(no window)"; return; }
    awk -F'\t' '
        $1 == "control" && $4 == 1 {
            n++; id[n] = $2 " " $3 " " $11; x[n] = $7; y[n] = $8; r[n] = $7 + $9; b[n] = $8 + $10
            box[n] = ($2 == 3 || ($2 == -1 && $3 == "Button"))
        }
        function inside(i, j) { return x[i] >= x[j] && y[i] >= y[j] && r[i] <= r[j] && b[i] <= b[j] }
        END {
            for (i = 1; i <= n; i++)
                for (j = i + 1; j <= n; j++)
                    if (x[i] < r[j] && x[j] < r[i] && y[i] < b[j] && y[j] < b[i] &&
                        !(box[j] && inside(i, j)) && !(box[i] && inside(j, i)))
                        print id[i] " / " id[j]
        }' "$PL_WORK/peek.txt"
}

for index in 0 1 2; do
    pl_tab "$index"
    pl_shot "tab-$index"
    pl_expect "controls overlap on page $index" "" q_overlaps
done
pl_close_with 2
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
