#!/bin/sh
# check_program.sh TRIPLET PROGRAM: succeeds only when PROGRAM, a build of
# qwconfig.exe for the MinGW-w64 target TRIPLET (i686-w64-mingw32 or
# x86_64-w64-mingw32), is a GUI-subsystem program that imports only the DLLs
# Windows always takes from its system folder (no comctl32), carries the icon
# group "A" (one 32 x 32 image, 256 colours), the version record of the
# version that its build wrote into version.txt beside it, and no manifest.
# Prints one line per failed check; exits 1 when any check failed.
set -u
if [ $# -ne 2 ]; then
    echo "usage: $0 TRIPLET PROGRAM" >&2
    exit 2
fi
triplet=$1
exe=$2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)

if [ ! -f "$exe" ]; then
    echo "$exe: no such file" >&2
    exit 1
fi
headers=$("$triplet-objdump" -p "$exe" 2>&1) || {
    echo "$exe: $triplet-objdump cannot read it: $headers" >&2
    exit 1
}

status=0
# fail MESSAGE: report one failed check.
fail() {
    echo "$exe: $1" >&2
    status=1
}

# The subsystem field of the optional header: 2 is the Windows GUI subsystem.
if ! printf "%s\n" "$headers" | grep -Eq '^Subsystem[[:space:]]+00000002[[:space:]]'; then
    fail "not a GUI-subsystem program ($(printf "%s\n" "$headers" | grep -E '^Subsystem' | tr -s '\t ' ' '))"
fi

"$root/scripts/check_imports.sh" --program "$triplet" "$exe" || status=1

# resource_names TYPE: the names and numbers under one resource type in the
# resource directory that objdump lists (type entries are indented by three
# spaces, the names under them by five).
resource_names() {
    printf "%s\n" "$headers" | awk -v type="$1" '
        /^The .rsrc Resource Directory section:/ { inrsrc = 1; next }
        !inrsrc { next }
        /^[0-9a-f]+   Entry: / { intype = (index($0, "Entry: ID: " type ",") > 0); next }
        intype && /^[0-9a-f]+     Entry: name: / { sub(/.*\]: /, ""); sub(/, Value:.*/, ""); print; next }
        intype && /^[0-9a-f]+     Entry: ID: / { sub(/.*Entry: ID: /, ""); sub(/,.*/, ""); print }'
}

if ! resource_names 0x00000e | grep -qx 'A'; then
    fail "no icon group named \"A\" (RT_GROUP_ICON)"
fi
if [ -z "$(resource_names 0x000010)" ]; then
    fail "no version record (RT_VERSION)"
fi
if [ -n "$(resource_names 0x000018)" ]; then
    fail "carries a manifest (RT_MANIFEST), which would change the look of the controls"
fi

# The contents, as windres decompiles them back into resource script.
script=$("$triplet-windres" -i "$exe" -O rc 2>/dev/null)

# The group "A" and its entries: "width height colours pad", planes, bits, ...
group=$(printf "%s\n" "$script" | sed -n '/^"A" 14 /,/^END/p')
if [ -n "$group" ]; then
    elements=$(printf "%s\n" "$group" | grep -c 'Element no')
    if [ "$elements" -ne 1 ] ||
       ! printf "%s\n" "$group" | grep -q '"\\040\\040\\000\\000", 1, 8, '; then
        fail "icon group \"A\" is not one 32 x 32 image of 256 colours"
    fi
fi

# version_line PATTERN: whether the decompiled version record has the line.
version_line() {
    printf "%s\n" "$script" | sed -n '/^1 VERSIONINFO/,/^END/p' | grep -Eq "$1"
}
# The one version of the build, as text (0.1.5.780), as windres shows its
# numbers (0, 1, 5, 780) and as a pattern for the text.
version=$(cat "$(dirname "$exe")/version.txt" 2>/dev/null)
numbers=$(echo "$version" | sed 's/\./, /g')
pattern=$(echo "$version" | sed 's/\./\\./g')
echo "$version" | grep -Eq '^[0-9]+\.[0-9]+\.[0-9]+\.[0-9]+$' ||
    fail "no version of four numbers in version.txt beside it: '$version'"
version_line "^ FILEVERSION $numbers\$" || fail "file version is not $numbers"
version_line "^ PRODUCTVERSION $numbers\$" || fail "product version is not $numbers"
version_line 'BLOCK "040904E4"' || fail "version strings are not in block 040904E4"
version_line "VALUE \"FileVersion\", \"$pattern\"" || fail "FileVersion string is not $version"
version_line "VALUE \"ProductVersion\", \"$pattern\"" || fail "ProductVersion string is not $version"
version_line 'VALUE "Translation", 0x409, 1252' || fail "translation is not 0x409, 1252"

exit $status
