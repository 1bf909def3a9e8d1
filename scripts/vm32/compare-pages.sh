#!/bin/bash
# compare-pages.sh SHOTS64 SHOTS32: the pictures of the three pages that the
# player test "pages" took of the 64-bit and of the 32-bit program (files
# NN-tab-general.png, NN-tab-video.png, NN-tab-audio.png in each folder) must
# be identical, pixel for pixel (ImageMagick's compare -metric AE gives 0).
# Prints one line per page; exits 1 when a picture is missing or differs.
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 SHOTS64 SHOTS32" >&2
    exit 2
fi
status=0
for page in general video audio; do
    a=$(find "$1" -maxdepth 1 -name "*-tab-$page.png" 2>/dev/null | sort | head -1)
    b=$(find "$2" -maxdepth 1 -name "*-tab-$page.png" 2>/dev/null | sort | head -1)
    if [ -z "$a" ] || [ -z "$b" ]; then
        echo "page $page: no picture (64-bit: ${a:-none}, 32-bit: ${b:-none})"
        status=1
        continue
    fi
    # compare prints the number of differing pixels on stderr; 2 means it failed.
    diff=$(compare -metric AE "$a" "$b" null: 2>&1)
    if [ "$diff" = 0 ]; then
        echo "page $page: identical"
    else
        echo "page $page: $diff pixels differ ($a, $b)"
        status=1
    fi
done
exit $status
