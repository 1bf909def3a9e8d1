#!/bin/bash
# A player starts the editor in a folder without qw.ini, looks at the window,
# clicks through the three tabs and leaves with "Cancel": the window sits in the
# middle of the screen with its designed size, each tab shows its own page, the
# exit code is 0 and the folder stays empty.
. "$(dirname "$0")/lib.sh"
pl_setup pages "$@"

pl_start
pl_shot started

# Place and size: centred, 323 x 275 outside, 317 x 250 inside, the client
# area below a 19-pixel caption inside a 3-pixel frame.
read -r sw sh <<<"$(pl_get screen)"
read -r wx wy ww wh _ <<<"$(pl_get window)"
read -r cx cy cw ch <<<"$(pl_get client)"
title=$(pl_get window | cut -d' ' -f5-)
pl_check "title is '$title'" [ "$title" = "Quarrow Configuration" ]
pl_check "window is ${ww}x$wh" [ "$ww $wh" = "323 275" ]
pl_check "window at $wx,$wy on a ${sw}x$sh screen" \
    [ "$wx $wy" = "$(((sw - 323) / 2)) $(((sh - 275) / 2))" ]
pl_check "client area is ${cw}x$ch" [ "$cw $ch" = "317 250" ]
pl_check "client area at $cx,$cy for a window at $wx,$wy" \
    [ "$cx $cy" = "$((wx + 3)) $((wy + 22))" ]

# What each page shows besides "Okay", "Cancel", the version and the tabs.
always='1 Button Okay
2 Button Cancel
3 SysTabControl32 
4 Static v0.5'
general='-1 Button Connection
-1 Static Host:
302 Edit
-1 Static Port:
303 Edit
-1 Button Ignores
503 Button Save ignores
502 Button Use global ignores
-1 Button Camera rotation speed
-1 Static Normal:
402 Edit
-1 Static Fine:
403 Edit
-1 Button Prefered internet browser
-1 Static Path:
701 Edit
702 Button Browse...'
video='-1 Button Video mode
102 ListBox
103 Button Full screen
-1 Button Effects
202 Button Shadows enabled
204 Button Clouds shadows enabled
203 Button Keep shadows enabled even when the frame rate is too low
205 Button Low texture filtering and no reflections'
audio='-1 Button Sounds
601 Button Sounds and music enabled
602 Button Support Dolby\x99 Surround (6-channel)'

# expect_page INDEX NAME CONTROLS: the selected tab and exactly its controls.
expect_page() {
    pl_expect "tab $1 ($2) is not selected" "$1" pl_q_get tabsel
    pl_expect "page $2 shows other controls" "$(printf '%s\n%s\n' "$always" "$3" | sort)" pl_q_visible
    # The version and the Dolby box are never enabled.
    pl_expect "the version text is enabled" 0 pl_q_enabled 4
    pl_expect "the Dolby box is enabled" 0 pl_q_enabled 602
}

expect_page 0 General "$general"
pl_check "the video mode list lacks its six entries" \
    [ "$(grep -c '^item' "$PL_WORK/peek.txt")" = 6 ]

for step in "1 Video video" "2 Audio audio" "0 General general"; do
    read -r index name var <<<"$step"
    pl_click tab "$index"
    expect_page "$index" "$name" "${!var}"
    pl_shot "tab-$var"
done

# Clicking the tab that is already selected changes nothing.
pl_click tab 0
expect_page 0 General "$general"

pl_click control 2
pl_wait_exit
pl_shot after-cancel
pl_check "exit code $PL_EXIT after Cancel" [ "$PL_EXIT" = 0 ]
left=$(ls -A "$PL_DIR")
pl_check "Cancel left files in the folder: $left" [ -z "$left" ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
