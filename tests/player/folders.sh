#!/bin/bash
# The game sits in a folder whose name the ANSI code page (1252 under Wine)
# cannot spell: Cyrillic and Chinese, a star, Japanese, Polish letters with an
# en dash; and a path of 250 characters as Windows sees it, most of them
# Cyrillic and Chinese, in folders of 40 characters each. In each, the editor
# shows the values of the folder's qw.ini, "Okay" writes exactly the expected
# bytes into that very file, nothing else appears in or beside the folder, and
# a second start shows the saved value. The editor finds each folder by its
# own name: on a disk that keeps no short names (the seam test
# Folders.AFolderOfAnyNameOnADriveWithoutShortNamesIsUsedByItsOwnName) it
# works the same.
. "$(dirname "$0")/lib.sh"
pl_setup folders "$@"
# Wine spells Linux file names in the locale's character set: make it UTF-8,
# whatever the machine's locale, so that the names below reach Windows as the
# characters they are.
export LC_ALL=C.UTF-8

# The names as UTF-8 bytes, which do not depend on the locale of the script.
names=("$(printf '\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b \xe6\xb8\xb8\xe6\x88\x8f')"
       "$(printf 'Quarrow \xe2\x98\x85 Spiele')"
       "$(printf '\xe6\x9d\xb1\xe4\xba\xac')"
       "$(printf '\xc5\x81\xc3\xb3d\xc5\xba \xe2\x80\x93 gra')")
parent=$PL_WORK/folders

# Windows sees the folder as "Z:" and its Linux path: the long one fills up
# to 250 characters (in UTF-16 units, as Windows counts) with folders of 40
# characters of "Игры 游戏" repeated, the last one shorter.
long=$(python3 -c '
import sys
room = 250 - len("Z:") - len(sys.argv[1]) - 1
word = "\u0418\u0433\u0440\u044b \u6e38\u620f "
parts = []
while room > 0:
    n = min(40, room)
    parts.append((word * 8)[:n].strip() or "x")
    room -= len(parts[-1]) + 1
print("/".join(parts))' "$parent")
names+=("$long")

for i in "${!names[@]}"; do
    name=${names[$i]}
    folder=$parent/$name
    rm -rf "$parent"
    mkdir -p "$folder"
    cp "$PL_SAMPLE" "$folder/qw.ini"

    pl_start "$folder"
    pl_shot "folder-$i-started"
    pl_expect "folder $i ($name): the host field does not show the file's host" \
        play.quarrow.net pl_q_text 302
    pl_type_into 302 eu.quarrow.net
    pl_close_with 1
    pl_check "folder $i ($name): qw.ini is not the sample with the typed host" \
        pl_same_bytes "$folder/qw.ini" "$PL_EXPECTED/sample-host.ini"
    left=$(ls -A "${folder%/*}")
    pl_check "folder $i ($name): beside the folder: $left" [ "$left" = "${folder##*/}" ]
    left=$(ls -A "$folder")
    pl_check "folder $i ($name): in the folder: $left" [ "$left" = qw.ini ]

    pl_start "$folder"
    pl_expect "folder $i ($name): a second start does not show the saved host" \
        eu.quarrow.net pl_q_text 302
    pl_close_with 2
done
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
