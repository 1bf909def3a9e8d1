#!/bin/sh
# check_imports.sh TRIPLET PROGRAM: succeeds when PROGRAM, a Windows program,
# imports only DLLs that come with Windows itself.
set -u
triplet=$1
exe=$2
dlls=$("$triplet-objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: //p')
if [ -z "$dlls" ]; then
    echo "$exe: no imports found" >&2
    exit 1
fi
status=0
for dll in $dlls; do
    case $(echo "$dll" | tr 'A-Z' 'a-z') in
        kernel32.dll|user32.dll|gdi32.dll|comctl32.dll|comdlg32.dll|msvcrt.dll|\
        advapi32.dll|shell32.dll|ole32.dll|shlwapi.dll) ;;
        *) echo "$exe: imports $dll, which is not part of Windows" >&2; status=1 ;;
    esac
done
exit $status
