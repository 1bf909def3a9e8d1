#!/bin/bash
# check_release.sh ROOT: builds the release three times from the work tree
# ROOT and succeeds only when all three give the same bytes:
#   a  a clone, umask 022, TZ=UTC, LC_ALL=C;
#   b  a clone of a in a longer, deeper folder, a few seconds later, umask
#      077, another TZ, LC_ALL and HOME, and a hostile environment: CFLAGS,
#      CXXFLAGS, LDFLAGS, RCFLAGS and the compiler's include and library paths
#      pointing at things that break or change a build, none of which may
#      reach the release, and the commit's time as SOURCE_DATE_EPOCH, which
#      BUILDINFO must say it used;
#   c  the output of git archive (no .git) unpacked inside another git work
#      tree with another commit time, with nothing but the stamp of git
#      archive to name the commit and its time.
# The package (named with the commit), SHA256SUMS and the shipped program
# must be identical in all three, and the 64-bit program in a and b. The
# package must hold exactly
# qwconfig.exe (the program built beside it, its PE time stamp 0, the commit
# in its version record), qwconfig-README.txt (naming the commit),
# qwconfig-LICENSE.txt and qwconfig-NOTICES.txt (the repository's, with CR LF
# line ends), each with the commit's time, mode rw-r--r-- and no extra fields;
# BUILDINFO must name the commit, where it came from, its time, the packages
# of the compiler and of windres's preprocessor and the checksums; sha256sum -c
# must pass; check_notices.sh must fail a NOTICES whose libgcc parts differ
# from the map's; and release.sh must refuse, leaving dist/ alone, a clone
# with uncommitted changes, a time after 2107, --commit in a clone, a clone
# that git refuses to read (another owner), with and without --commit, and a
# package version that dpkg-query cannot give.
# ROOT's changes that are not committed yet are checked too: the clone a gets
# them as a commit of its own.
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

# clone_work_tree DEST: a clone of ROOT at DEST holding ROOT's work tree as
# its HEAD: changes not yet committed become a commit with HEAD's time.
clone_work_tree() {
    git clone -q "$ROOT" "$1" || return 1
    (cd "$ROOT" && git ls-files -z --cached --others --exclude-standard) |
        tar -C "$ROOT" --null --ignore-failed-read -T - -cf - 2>/dev/null | tar -C "$1" -xf - || return 1
    (cd "$ROOT" && git ls-files -z --deleted) | (cd "$1" && xargs -0 -r git rm -q --) || return 1
    (cd "$1" && git add -A && if ! git diff --cached --quiet; then
        when=@$(git log -1 --format=%ct)
        GIT_AUTHOR_DATE=$when GIT_COMMITTER_DATE=$when git -c user.name=check -c user.email=check@invalid \
            commit -q -m "the work tree under test"
    fi)
}

# build DEST UMASK [ENV...]: ./release.sh in DEST under UMASK and the extra
# environment ENV.
build() {
    local dest=$1 mask=$2
    shift 2
    (cd "$dest" && umask "$mask" && env "$@" ./release.sh) >"$dest.log" 2>&1 || {
        tail -30 "$dest.log"
        fail "the release build in $dest failed"
    }
}

# build_win64 DEST: the 64-bit program, built in DEST.
build_win64() {
    (cd "$1" && cmake --preset win64 && cmake --build --preset win64 --target qwconfig) >"$1.win64.log" 2>&1 || {
        tail -30 "$1.win64.log"
        fail "the 64-bit build in $1 failed"
    }
}

A=$WORK/a
B=$WORK/a-folder-with-a-longer-name/and/deeper
C=$WORK/outer/an-archive
mkdir -p "$(dirname "$B")" "$C"
clone_work_tree "$A" && git clone -q "$A" "$B" || { echo "check_release: cannot copy $ROOT" >&2; exit 1; }
commit=$(git -C "$A" rev-parse HEAD)
epoch=$(git -C "$A" log -1 --format=%ct)
# c: an archive of the commit inside a work tree of another repository, whose
# only commit is from 2001.
(cd "$WORK/outer" && git init -q && touch outer &&
    GIT_AUTHOR_DATE=@978307200 GIT_COMMITTER_DATE=@978307200 git add outer &&
    GIT_AUTHOR_DATE=@978307200 GIT_COMMITTER_DATE=@978307200 \
        git -c user.name=outer -c user.email=outer@invalid commit -q -m outer) &&
    git -C "$A" archive HEAD | tar -C "$C" -xf - || { echo "check_release: cannot unpack git archive" >&2; exit 1; }

# What must not reach the build: headers that stop any compile (forced in by
# the flags, or found first through the include paths), a library folder, and
# a linker flag that writes a build time into the PE header.
mkdir -p "$WORK/hostile/include" "$WORK/hostile/lib" "$WORK/home-b"
for header in hostile.h windows.h winver.h stdio.h string.h; do
    echo '#error a header of the caller reached the build' >"$WORK/hostile/include/$header"
done
forced="-include $WORK/hostile/include/hostile.h"
hostile=(CFLAGS="$forced" CXXFLAGS="$forced -march=native" CPPFLAGS="$forced"
    LDFLAGS="-Wl,--insert-timestamp" RCFLAGS="-I$WORK/hostile/include"
    CPATH="$WORK/hostile/include" C_INCLUDE_PATH="$WORK/hostile/include"
    CPLUS_INCLUDE_PATH="$WORK/hostile/include" LIBRARY_PATH="$WORK/hostile/lib"
    HOME="$WORK/home-b" TZ=Pacific/Kiritimati LC_ALL=C.UTF-8)

build "$A" 022 TZ=UTC LC_ALL=C
build_win64 "$A"
sleep 2
build "$B" 077 "${hostile[@]}" SOURCE_DATE_EPOCH="$epoch"
build_win64 "$B"
build "$C" 022 TZ=America/St_Johns LC_ALL=C
[ $status -eq 0 ] || exit 1

package=dist/qwconfig-$(cat "$A/build/release/version.txt")-g${commit:0:7}.zip
[ -f "$A/$package" ] || fail "$A has no $package: $(ls "$A/dist")"
for f in dist/SHA256SUMS build/release/qwconfig.exe "$package"; do
    for other in "$B" "$C"; do
        cmp -s "$A/$f" "$other/$f" || fail "$f differs between $A and $other"
    done
    echo "check_release: $f identical in all three ($(sha256sum <"$A/$f" | cut -c1-16)...)"
done
cmp -s "$A/build/win64/qwconfig.exe" "$B/build/win64/qwconfig.exe" ||
    fail "build/win64/qwconfig.exe differs between the two clones"

(cd "$A/dist" && sha256sum -c --quiet SHA256SUMS) || fail "sha256sum -c fails in dist/"
for dir in "$A" "$B" "$C"; do
    grep -qx "commit: $commit" "$dir/dist/BUILDINFO" || fail "$dir/dist/BUILDINFO does not name the commit $commit"
    grep -q "^SOURCE_DATE_EPOCH: $epoch " "$dir/dist/BUILDINFO" || fail "$dir/dist/BUILDINFO does not give the time $epoch"
    grep -qx "  $(sha256sum <"$A/$package" | cut -d' ' -f1)  ${package#dist/}" "$dir/dist/BUILDINFO" ||
        fail "$dir/dist/BUILDINFO does not give the package's checksum"
    for compiler in g++-mingw-w64-i686-posix gcc-mingw-w64-i686-posix; do
        grep -q "^  $compiler [^ ][^ ]*\$" "$dir/dist/BUILDINFO" ||
            fail "$dir/dist/BUILDINFO gives no $compiler"
    done
done
for row in "$A:read by git" "$B:SOURCE_DATE_EPOCH of the environment" \
    "$C:stamped by git archive"; do
    grep -q "${row#*:}" "${row%%:*}/dist/BUILDINFO" ||
        fail "${row%%:*}/dist/BUILDINFO does not say '${row#*:}'"
done
i686-w64-mingw32-windres -i "$A/build/release/qwconfig.exe" -O rc 2>/dev/null |
    grep -q "VALUE \"SourceCommit\", \"$commit\"" || fail "the version record does not name the commit $commit"

python3 - "$A" "$package" "$epoch" "$commit" <<'PY' || status=1
import struct, sys, time, zipfile
root, package, epoch, commit = sys.argv[1], sys.argv[2], int(sys.argv[3]), sys.argv[4]
problems = []
expected = ['qwconfig.exe', 'qwconfig-README.txt', 'qwconfig-LICENSE.txt', 'qwconfig-NOTICES.txt']
# A zip entry holds the time in UTC to two seconds, not before 1980.
stamp = list(max(time.gmtime(epoch)[:6], (1980, 1, 1, 0, 0, 0)))
stamp[5] -= stamp[5] % 2
raw = open(root + '/' + package, 'rb').read()
with zipfile.ZipFile(root + '/' + package) as z:
    if z.namelist() != expected:
        problems.append('the package holds %s, not %s' % (z.namelist(), expected))
    if z.comment:
        problems.append('the package has a comment')
    for info in z.infolist():
        name = info.filename
        if not name.startswith('qwconfig'):
            problems.append('%s: a name that does not start with qwconfig' % name)
        if list(info.date_time) != stamp:
            problems.append('%s: time %s, not the commit\'s %s' % (name, info.date_time, tuple(stamp)))
        if info.create_system != 3 or info.external_attr >> 16 != 0o100644:
            problems.append('%s: mode %o (system %d), not a regular rw-r--r-- file'
                            % (name, info.external_attr >> 16, info.create_system))
        local_extra = struct.unpack('<H', raw[info.header_offset + 28:info.header_offset + 30])[0]
        if info.extra or local_extra:
            problems.append('%s: extra fields in the package' % name)
    exe = z.read('qwconfig.exe')
    if exe != open(root + '/build/release/qwconfig.exe', 'rb').read():
        problems.append('qwconfig.exe is not build/release/qwconfig.exe')
    pe = struct.unpack('<I', exe[0x3c:0x40])[0]
    if exe[pe:pe + 4] != b'PE\0\0' or struct.unpack('<I', exe[pe + 8:pe + 12])[0] != 0:
        problems.append('qwconfig.exe: the PE header\'s time stamp is not 0')
    for name in expected[1:]:
        text = z.read(name)
        if b'\n' in text.replace(b'\r\n', b'') or b'\r' in text.replace(b'\r\n', b''):
            problems.append('%s: line ends other than CR LF' % name)
    for name, source in (('qwconfig-LICENSE.txt', 'LICENSE'), ('qwconfig-NOTICES.txt', 'NOTICES')):
        if z.read(name) != open(root + '/' + source, 'rb').read().replace(b'\n', b'\r\n'):
            problems.append('%s is not the repository\'s %s' % (name, source))
    if commit.encode() not in z.read('qwconfig-README.txt'):
        problems.append('qwconfig-README.txt does not name the commit %s' % commit)
for problem in problems:
    print('check_release:', problem, file=sys.stderr)
sys.exit(1 if problems else 0)
PY

# NOTICES must name libgcc's parts as the map shows them: none missing, none more.
for change in 's/, _divdi3//' 's/_ctors/_ctors, _udivdi3/'; do
    sed "$change" "$A/NOTICES" >"$WORK/NOTICES"
    ! "$A/tests/resources/check_notices.sh" "$A/build/release/qwconfig.map" "$WORK/NOTICES" \
        2>/dev/null ||
        fail "check_notices.sh passes a NOTICES changed with $change"
done

# refuse DIR PATTERN COMMAND...: COMMAND in DIR must fail, say PATTERN, and
# leave DIR/dist alone.
refuse() {
    local dir=$1 pattern=$2 before
    shift 2
    before=$(sha256sum "$dir"/dist/*)
    if (cd "$dir" && "$@") >"$dir.refused.log" 2>&1; then
        fail "$* in $dir made a release"
    elif ! grep -q -- "$pattern" "$dir.refused.log"; then
        fail "$* in $dir failed without saying '$pattern': $(tail -3 "$dir.refused.log")"
    fi
    [ "$(sha256sum "$dir"/dist/*)" = "$before" ] || fail "a refused $* changed $dir/dist/"
}
mkdir "$WORK/bin"
cat >"$WORK/bin/dpkg-query" <<'END'
#!/bin/sh
case " $* " in *" zlib1g "*) exit 1 ;; esac
exec /usr/bin/dpkg-query "$@"
END
chmod +x "$WORK/bin/dpkg-query"
refuse "$C" "cannot give the version" env PATH="$WORK/bin:$PATH" ./release.sh
refuse "$C" "after 2107" ./release.sh --epoch 4354819200
refuse "$A" "for trees without .git" ./release.sh --commit "$commit"
echo "# a change" >>"$A/README.md"
refuse "$A" "not committed" ./release.sh
if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody "$A"
    refuse "$A" "dubious ownership" ./release.sh
    refuse "$A" "dubious ownership" ./release.sh --commit "$commit" --epoch "$epoch"
    chown -R 0 "$A"
else
    echo "check_release: not root, so a clone of another owner is not tried"
fi
exit $status
