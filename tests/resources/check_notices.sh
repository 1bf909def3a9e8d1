#!/bin/bash
# check_notices.sh MAP [NOTICES]: succeeds only when the program whose linker
# map is MAP contains no code of others beyond what NOTICES (the repository's
# by default) covers: the MinGW-w64 runtime (crt2.o, libmingw32, libmingwex,
# libmsvcrt) and libgcc (crtbegin.o, crtend.o, libgcc), besides the program's
# own libraries and the import libraries of the DLLs it may use. Members of
# the MinGW-w64 runtime that its copying file puts under other licences
# (gdtoa's number conversions, MinGW's printf layer, the Sun maths, getopt,
# basename, strtok_r) fail it as well, and so does libstdc++. The parts of
# libgcc that NOTICES names must be exactly those in the map. Prints one line
# per finding; exits 1 when there is any.
set -u
if [ $# -lt 1 ] || [ $# -gt 2 ]; then
    echo "usage: $0 MAP [NOTICES]" >&2
    exit 2
fi
map=$1
notices=${2:-$(dirname "$0")/../../NOTICES}
[ -f "$map" ] || { echo "$map: no such file" >&2; exit 1; }
[ -f "$notices" ] || { echo "$notices: no such file" >&2; exit 1; }

# The archives the program's own code and the covered runtime come from.
covered_archive='^(libqw_[a-z0-9_]+|objects|libmingw32|libmingwex|libmsvcrt|libgcc|lib(kernel32|user32|gdi32|comdlg32))\.a$'
covered_object='^(crt2|crtbegin|crtend)\.o$'
other_licence='gdtoa|strtod|strtof|strtopx|[dg]misc|smisc|g_?_?[dfx]fmt|gethex|hexnan|hd_init|qnan|ulp\.o|sum\.o|pformat|mingw_v?[sf]?n?printf|s_erf|sf_erf|e_fmod|e_pow|e_remainder|getopt|basename|dirname|strtok_r'

status=0
# The members the linker took, as ARCHIVE(MEMBER), and the objects it loaded.
members=$(sed -n '1,/^Discarded input sections/p' "$map" | grep -oE '[^/ ]+\.a\([^)]+\)' | sort -u)
objects=$(grep -E '^LOAD .*\.o$' "$map" | sed 's|.*/||; s|^LOAD ||' | sort -u)
for member in $members; do
    archive=${member%%(*}
    if ! [[ $archive =~ $covered_archive ]]; then
        echo "$map: the program contains $member, which NOTICES does not cover" >&2
        status=1
    elif [[ $archive =~ ^libmingwex|^libmingw32|^libmsvcrt ]] && [[ $member =~ $other_licence ]]; then
        echo "$map: the program contains $member, under a licence NOTICES does not carry" >&2
        status=1
    fi
done
for object in $objects; do
    if ! [[ $object =~ $covered_object ]]; then
        echo "$map: the program contains $object, which NOTICES does not cover" >&2
        status=1
    fi
done

# libgcc's parts: the objects loaded from it and its archive's members, by
# name, against the list "libgcc (crtbegin.o, ...)" in NOTICES.
in_map=$( (grep -oE '^crt(begin|end)\.o$' <<<"$objects"
    grep -oE '^libgcc\.a\([^)]+\)$' <<<"$members" | sed 's/^libgcc\.a(//; s/\.o)$//') | sort)
named=$(tr '\n' ' ' <"$notices" | grep -oE 'library libgcc \([^)]*\)' | head -1 |
    sed 's/^[^(]*(//; s/)$//' | tr -s ', ' '\n' | sed '/^$/d' | sort)
for part in $(comm -23 <(echo "$in_map") <(echo "$named")); do
    echo "$map: the program contains libgcc's $part, which $notices does not name" >&2
    status=1
done
for part in $(comm -13 <(echo "$in_map") <(echo "$named")); do
    echo "$notices names libgcc's $part, which the program does not contain" >&2
    status=1
done
exit $status
