#!/bin/bash
# A player's screen is set to 120, 144 or 192 DPI (the prefix's LogPixels, as
# winecfg sets it): the editor's window grows with the DPI and the font, fits
# a 1024 x 768 screen, no two controls overlap on any page, none covers the
# tabs or leaves the client area, and every caption, list entry and field
# shows as much of its text as at 96 DPI. Pictures of the three pages at each
# DPI are kept. The prefix gets its DPI back afterwards, whatever happens.
. "$(dirname "$0")/lib.sh"
pl_setup dpi "$@"
. "$PL_ROOT/scripts/wineenv.sh"

desktop='HKCU\Control Panel\Desktop'
fonts='HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts'

# reg_dpi KEY -> the LogPixels value under KEY in decimal, or nothing. reg's
# output goes to a file: never wait on a pipe from a Wine program.
reg_dpi() {
    wine reg query "$1" /v LogPixels >"$PL_WORK/reg.txt" 2>/dev/null </dev/null
    local hex
    hex=$(tr -d '\r' <"$PL_WORK/reg.txt" | awk '$1 == "LogPixels" { print $3 }')
    [ -n "$hex" ] && echo $((hex))
}

# put_dpi KEY VALUE: sets LogPixels under KEY, or removes it when VALUE is empty.
put_dpi() {
    if [ -n "$2" ]; then
        wine reg add "$1" /v LogPixels /t REG_DWORD /d "$2" /f >/dev/null 2>&1 </dev/null
    else
        wine reg delete "$1" /v LogPixels /f >/dev/null 2>&1 </dev/null
    fi
}

# new_session: Wine reads the DPI when the prefix's session starts.
new_session() {
    wineserver -k >/dev/null 2>&1
    wineserver -w
    qw_wine_prefix_init desktop
}

old_desktop=$(reg_dpi "$desktop")
old_fonts=$(reg_dpi "$fonts")
restore_dpi() {
    put_dpi "$desktop" "$old_desktop"
    put_dpi "$fonts" "$old_fonts"
    new_session
}

# set_dpi N: gives the prefix N DPI, in a new session.
set_dpi() {
    PL_AT_EXIT=restore_dpi
    put_dpi "$desktop" "$1" && put_dpi "$fonts" "$1" || pl_fail "cannot set $1 DPI"
    new_session
}

# q_astray -> the shown controls that leave the client area or lie over a
# tab, one a line.
q_astray() {
    pl_peek || { echo "(no window)"; return; }
    awk -F'\t' '
        $1 == "client" { cx = $2; cy = $3; cr = $2 + $4; cb = $3 + $5 }
        $1 == "tab" { nt++; tx[nt] = $3; ty[nt] = $4; tr[nt] = $3 + $5; tb[nt] = $4 + $6 }
        $1 == "control" && $4 == 1 {
            n++; id[n] = $2 " " $3 " " $11; x[n] = $7; y[n] = $8; r[n] = $7 + $9; b[n] = $8 + $10
            tab[n] = ($2 == 3)
        }
        END {
            for (i = 1; i <= n; i++) {
                if (x[i] < cx || y[i] < cy || r[i] > cr || b[i] > cb)
                    print id[i] " leaves the client area"
                for (t = 1; t <= nt && !tab[i]; t++)
                    if (x[i] < tr[t] && tx[t] < r[i] && y[i] < tb[t] && ty[t] < b[i])
                        print id[i] " lies over tab " t - 1
            }
        }' "$PL_WORK/peek.txt"
}

# look_at_pages DPI: on each page keeps a picture and the fit of every text
# in fit-DPI.txt (page, identifier, class, characters shown, length, text),
# and fails when controls overlap, leave the client area or cover the tabs.
look_at_pages() {
    local index
    : >"$PL_WORK/fit-$1.txt"
    for index in 0 1 2; do
        pl_tab "$index"
        pl_shot "dpi$1-tab-$index"
        pl_expect "controls overlap on page $index at $1 DPI" "" pl_q_overlaps
        pl_expect "controls out of place on page $index at $1 DPI" "" q_astray
        pl_peek fit
        awk -F'\t' -v page="$index" '$1 == "fit" { $1 = page; print }' OFS='\t' \
            "$PL_WORK/peek.txt" >>"$PL_WORK/fit-$1.txt"
    done
}

# q_less DPI -> the texts that show fewer characters at DPI than at 96, one a line.
q_less() {
    awk -F'\t' '
        { key = $1 FS $2 FS $3 FS $6 }
        NR == FNR { base[key] = $4; next }
        !(key in base) { print "page " $1 ": " $6 " is new"; next }
        $4 < base[key] {
            print "page " $1 ": " $6 " shows " $4 " of " $5 " characters, at 96 DPI " base[key]
        }' "$PL_WORK/fit-96.txt" "$PL_WORK/fit-$1.txt"
}

# The prefix normally has 96 DPI already: then no new session is needed.
if [ "${old_desktop:-96} ${old_fonts:-96}" != "96 96" ]; then
    set_dpi 96
fi
for dpi in 96 120 144 192; do
    [ "$dpi" = 96 ] || set_dpi "$dpi"
    pl_start
    pl_peek fit
    pl_check "the editor sees $(pl_get dpi) DPI, not $dpi" [ "$(pl_get dpi)" = "$dpi $dpi" ]
    read -r sw sh <<<"$(pl_get screen)"
    read -r wx wy ww wh _ <<<"$(pl_get window)"
    read -r _ _ cw ch <<<"$(pl_get client)"
    inside=$((wx >= 0 && wy >= 0 && wx + ww <= 1024 && wy + wh <= 768))
    pl_check "a ${ww}x$wh window at $wx,$wy leaves the 1024 x 768 screen at $dpi DPI" \
        [ "$inside" = 1 ]
    pl_check "the window is not centred on the ${sw}x$sh screen at $dpi DPI" \
        [ "$wx $wy" = "$(((sw - ww) / 2)) $(((sh - wh) / 2))" ]
    look_at_pages "$dpi"
    echo "$dpi DPI: window ${ww}x$wh, client area ${cw}x$ch; texts not shown whole:"
    awk -F'\t' '$4 < $5 { print "  page " $1 ": " $6 " (" $4 " of " $5 " characters)" }' \
        "$PL_WORK/fit-$dpi.txt"
    less=$(q_less "$dpi")
    [ -z "$less" ] || { echo "$less"; pl_fail "texts show less at $dpi DPI than at 96 DPI"; }
    pl_close_with 2
done
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
