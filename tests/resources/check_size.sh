#!/bin/bash
# check_size.sh TRIPLET PROGRAM LIMIT [MAP]: prints the size of PROGRAM, a build
# of qwconfig.exe for the MinGW-w64 target TRIPLET, and succeeds only when it
# is stripped and at most LIMIT bytes. MAP, the linker map written beside the
# program, is searched for runtime code the program must do without: MinGW's
# printf layer, the C++ exception runtime and the posix thread layer.
# Prints one line per failed check; exits 1 when any check failed.
set -u
if [ $# -lt 3 ] || [ $# -gt 4 ]; then
    echo "usage: $0 TRIPLET PROGRAM LIMIT [MAP]" >&2
    exit 2
fi
triplet=$1
exe=$2
limit=$3
map=${4:-}

if [ ! -f "$exe" ]; then
    echo "$exe: no such file" >&2
    exit 1
fi

status=0
# fail MESSAGE: report one failed check.
fail() {
    echo "$exe: $1" >&2
    status=1
}

size=$(stat -c %s "$exe")
echo "$exe: $size bytes ($(( (size + 1023) / 1024 )) KiB), limit $limit bytes"
[ "$size" -le "$limit" ] || fail "$size bytes, more than the limit of $limit"

# Stripped: the header says so and no debug section is left.
if ! "$triplet-objdump" -p "$exe" | grep -q 'symbols stripped'; then
    fail "carries a symbol table (not stripped)"
fi
if "$triplet-objdump" -h "$exe" | grep -q '\.debug_'; then
    fail "carries debug information"
fi

# unwanted_members: the archive members in the map's list of members that the
# linker took from a library, which belong to a runtime part left out on purpose.
unwanted_members() {
    sed -n '1,/^Discarded input sections/p' "$map" |
        grep -oE '[^/ ]+\.a\([^)]+\)' |
        grep -E 'mingw_pformat|mingw_v?[sf]?n?printf|libwinpthread|libgcc_eh|eh_personality|eh_throw|vterminate' |
        sort -u
}

if [ -n "$map" ]; then
    if [ ! -f "$map" ]; then
        fail "linker map $map is missing"
    else
        members=$(unwanted_members)
        [ -z "$members" ] || fail "links runtime code it should not: $(echo $members)"
    fi
fi

exit $status
