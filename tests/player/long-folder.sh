#!/bin/bash
# The game's folder has a path so long (256 characters as Windows sees it) that
# the full path of qw.ini does not fit the 260 characters Windows lets the
# editor use. The editor goes through the folder's short name (8.3 name),
# which Wine keeps for every folder: it shows the file's values, "Okay" writes
# exactly the expected bytes into that very file and nothing else appears in
# the folder. Where the disk keeps no short names the editor names the folder
# and the reason in a box instead (the seam test
# Folders.APathTooLongGoesThroughTheShortNameOrTheBoxSaysWhyNot).
. "$(dirname "$0")/lib.sh"
pl_setup long-folder "$@"

# Windows sees the folder as "Z:" followed by its Linux path. Wine enters a
# working directory of up to 258 characters; "\qw.ini" makes 263.
name=long-$(printf 'x%.0s' $(seq 1 300))
folder=$PL_DIR/${name:0:$((256 - 2 - ${#PL_DIR} - 1))}
mkdir -p "$folder"
cp "$PL_SAMPLE" "$folder/qw.ini"
pl_start "$folder"
pl_expect "the host field does not show the file's host" play.quarrow.net pl_q_text 302
pl_type_into 302 eu.quarrow.net
pl_close_with 1
pl_check "qw.ini is not the sample with the typed host" \
    pl_same_bytes "$folder/qw.ini" "$PL_EXPECTED/sample-host.ini"
left=$(ls -A "$folder")
pl_check "in the folder: $left" [ "$left" = qw.ini ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
