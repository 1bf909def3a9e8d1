#!/bin/bash
# The game's folder has a path so long (256 characters as Windows sees it) that
# the full path of qw.ini does not fit the 260 characters the editor handles.
# The editor names the folder, says why and what to do before any window
# shows, ends with exit code 1 and creates nothing.
. "$(dirname "$0")/lib.sh"
pl_setup long-folder "$@"

# Windows sees the folder as "Z:" followed by its Linux path. Wine enters a
# working directory of up to 258 characters; "\qw.ini" makes 263.
name=long-$(printf 'x%.0s' $(seq 1 300))
folder=$PL_DIR/${name:0:$((256 - 2 - ${#PL_DIR} - 1))}
mkdir -p "$folder"
pl_launch "$folder"
pl_expect_refused
# qwpeek shows each backslash of the box's text doubled.
pl_check "the box does not name the folder" grep -qF "Z:${PL_DIR//\//\\\\}" "$PL_WORK/box.txt"
pl_check "the box does not say why" grep -qF 'path is too long' "$PL_WORK/box.txt"
pl_check "the box does not say what to do" grep -qF 'Move the game to a folder' "$PL_WORK/box.txt"
left=$(ls -A "$folder")
pl_check "the folder is no longer empty: $left" [ -z "$left" ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
