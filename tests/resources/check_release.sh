#!/bin/bash
# check_release.sh ROOT: builds the release twice, from two copies of the work
# tree ROOT in folders of different names and depths, a few seconds apart and
# under different umasks, and succeeds only when both give the same bytes: the
# package, its SHA256SUMS, and both programs (32-bit and 64-bit). Also checks
# that the package holds exactly qwconfig.exe, the very bytes of the program
# beside it, and README.txt with Windows line ends, and that sha256sum -c
# passes. A copy is a clone of ROOT with the work tree's files laid over it,
# so that changes not yet committed are checked too.
set -u
ROOT=$(cd "${1:-.}" && pwd)
WORK=$(mktemp -d /tmp/qw-release.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
status=0

# fail MESSAGE: reports one failed check.
fail() {
    echo "check_release: $*" >&2
    status=1
}

# copy DEST: a clone of ROOT at DEST with ROOT's tracked and new files over it.
copy() {
    git clone -q "$ROOT" "$1" &&
        (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard) |
        tar -C "$ROOT" --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -C "$1" -xf -
}

# build DEST UMASK: the release and the 64-bit program, built in DEST.
build() {
    (cd "$1" && umask "$2" &&
        ./release.sh &&
        cmake --preset win64 && cmake --build --preset win64 --target qwconfig) >"$1.log" 2>&1 || {
        tail -30 "$1.log"
        fail "the build in $1 failed"
    }
}

A=$WORK/a
B=$WORK/a-folder-with-a-longer-name/and/deeper
mkdir -p "$(dirname "$B")"
copy "$A" && copy "$B" || { echo "check_release: cannot copy $ROOT" >&2; exit 1; }
build "$A" 022
sleep 2
build "$B" 077
[ $status -eq 0 ] || exit 1

for f in dist/SHA256SUMS build/win32/qwconfig.exe build/win64/qwconfig.exe $(cd "$A" && ls dist/*.zip); do
    if cmp -s "$A/$f" "$B/$f"; then
        echo "check_release: $f identical ($(sha256sum <"$A/$f" | cut -c1-16)...)"
    else
        fail "$f differs between the two builds"
    fi
done

(cd "$A/dist" && sha256sum -c --quiet SHA256SUMS) || fail "sha256sum -c fails in dist/"
python3 - "$A" <<'PY' || status=1
import glob, sys, zipfile
root = sys.argv[1]
[package] = glob.glob(root + '/dist/qwconfig-*.zip')
with zipfile.ZipFile(package) as z:
    names = z.namelist()
    ok = names == ['qwconfig.exe', 'README.txt']
    if not ok:
        print('check_release: the package holds', names, file=sys.stderr)
    elif z.read('qwconfig.exe') != open(root + '/build/win32/qwconfig.exe', 'rb').read():
        print('check_release: qwconfig.exe in the package is not build/win32/qwconfig.exe', file=sys.stderr)
        ok = False
    else:
        text = z.read('README.txt')
        if b'\n' in text.replace(b'\r\n', b'') or b'\r' in text.replace(b'\r\n', b''):
            print('check_release: README.txt has line ends other than CR LF', file=sys.stderr)
            ok = False
sys.exit(0 if ok else 1)
PY
exit $status
