#!/bin/sh
# check_imports.sh [--program] TRIPLET PROGRAM: succeeds when PROGRAM, a
# Windows program, imports only DLLs that come with Windows itself. With
# --program, the list is the editor's own: only DLLs that Windows always takes
# from its system folder (kernel32, user32, gdi32, comdlg32, msvcrt), so that
# no DLL placed beside the program is loaded before its first line; it loads
# anything else (comctl32) at run time from the system folder.
set -u
allowed='kernel32.dll user32.dll gdi32.dll comctl32.dll comdlg32.dll msvcrt.dll advapi32.dll shell32.dll ole32.dll shlwapi.dll'
if [ "${1:-}" = --program ]; then
    allowed='kernel32.dll user32.dll gdi32.dll comdlg32.dll msvcrt.dll'
    shift
fi
triplet=$1
exe=$2
dlls=$("$triplet-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [ -z "$dlls" ]; then
    echo "$exe: no imports found" >&2
    exit 1
fi
status=0
for dll in $dlls; do
    case " $allowed " in
        *" $(echo "$dll" | tr 'A-Z' 'a-z') "*) ;;
        *) echo "$exe: imports $dll, which is not among: $allowed" >&2; status=1 ;;
    esac
done
exit $status
