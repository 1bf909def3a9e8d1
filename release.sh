#!/bin/bash
# ./release.sh [--allow-changes] [--commit HASH] [--epoch SECONDS]
#
# Installs what is missing for it (scripts/deps.sh release), builds the 32-bit
# program that players get in a folder of its own (build/release, made
# afresh) and writes the release:
#   dist/qwconfig-<version>-g<commit>.zip
#                   qwconfig.exe, qwconfig-README.txt (for players),
#                   qwconfig-LICENSE.txt and qwconfig-NOTICES.txt (the code of
#                   others that the program contains)
#   dist/SHA256SUMS the package's checksum, for sha256sum -c
#   dist/BUILDINFO  the commit and where it came from, the time used, the
#                   Debian packages that made the program and the package,
#                   and the checksums
# <version> is the version record's, which CMakeLists.txt gives; <commit> is
# the first 7 digits of the commit (with "-modified" for --allow-changes).
# dist/ is replaced only when all three are written.
#
# The build sees only the flags of the build files: it runs with a clean
# environment (PATH of the system's own folders, LC_ALL=C, TZ=UTC), so a
# builder's CFLAGS, CXXFLAGS, LDFLAGS, CPATH or a compiler earlier on PATH do
# not reach the program. The package's entries carry the commit's time, which
# the build also gets as SOURCE_DATE_EPOCH; a SOURCE_DATE_EPOCH in the
# caller's environment, or --epoch, replaces it.
#
# The source: a git clone (a folder with .git: HEAD and its commit time, read
# by git; when git cannot read it, the release stops with git's message), or
# a tree without .git that `git archive` wrote (its commit and time stamped
# into scripts/release-source.txt), or any other tree without .git, given
# --commit and a time. A clone with changes that are not committed is refused
# unless --allow-changes is given; the commit is then recorded as
# HASH-modified.
set -eu
cd "$(dirname "$0")"
SRC=$(pwd -P)
# Only this folder's own repository names the source, never one that the
# caller's environment points to.
unset GIT_DIR GIT_WORK_TREE GIT_INDEX_FILE GIT_OBJECT_DIRECTORY GIT_COMMON_DIR

# fail MESSAGE: says what went wrong and ends with status 1.
fail() {
    echo "release.sh: $*" >&2
    exit 1
}

# say MESSAGE: reports one step.
say() {
    echo "release.sh: $*"
}

usage="usage: ./release.sh [--allow-changes] [--commit HASH] [--epoch SECONDS]"
given_epoch=""
given_commit=""
allow_changes=0
while [ $# -gt 0 ]; do
    case $1 in
        --epoch) [ $# -ge 2 ] || fail "--epoch needs SECONDS"; given_epoch=$2; shift 2 ;;
        --commit) [ $# -ge 2 ] || fail "--commit needs a commit hash"; given_commit=$2; shift 2 ;;
        --allow-changes) allow_changes=1; shift ;;
        *) fail "unknown argument '$1' ($usage)" ;;
    esac
done
[ -z "$given_commit" ] || [[ $given_commit =~ ^[0-9a-f]{40}$ ]] ||
    fail "--commit takes a full commit hash (40 hex digits), not '$given_commit'"

./scripts/deps.sh release || fail "could not install the packages the build needs"

# The commit and its time: read by git from this clone, from the stamp of git
# archive, or as given; origin and commit_origin say which.
commit=""
commit_time=""
origin=""
if [ -e .git ]; then
    # git's own message says why it cannot read the clone (another owner, a
    # damaged repository): never a reason to take a commit's name on trust.
    toplevel=$(git rev-parse --show-toplevel) ||
        fail "git cannot read this clone (its message is above); mend that first"
    [ "$(cd "$toplevel" && pwd -P)" = "$SRC" ] ||
        fail "git takes $toplevel, not this folder, as the clone"
    [ -z "$given_commit$given_epoch" ] ||
        fail "--commit and --epoch are for trees without .git;" \
            "in a clone git gives the commit and its time"
    commit=$(git rev-parse --verify HEAD) || fail "the clone has no commit"
    commit_time=$(git log -1 --format=%ct HEAD) || fail "git cannot give the commit's time"
    commit_origin="HEAD of the clone, read by git"
    origin="the commit's time (git log)"
    changes=$(git status --porcelain --untracked-files=normal) ||
        fail "git cannot tell whether the work tree has changes"
    if [ -n "$changes" ]; then
        if [ $allow_changes -eq 0 ]; then
            echo "$changes" | head -10 >&2
            fail "the work tree has changes that are not committed (above); commit them, or pass --allow-changes for a package that is not the commit's"
        fi
        say "the work tree has changes that are not committed: the package is recorded as $commit-modified"
        commit=$commit-modified
        commit_origin="$commit_origin, with changes that are not committed"
    fi
else
    stamp=$(cat scripts/release-source.txt 2>/dev/null || true)
    if [[ $stamp =~ ^([0-9a-f]{40})\ ([0-9]+)$ ]]; then
        commit=${BASH_REMATCH[1]}
        commit_time=${BASH_REMATCH[2]}
        commit_origin="stamped by git archive"
        origin="the commit's time (stamped by git archive)"
        [ -z "$given_commit" ] || [ "$given_commit" = "$commit" ] ||
            fail "--commit $given_commit, but git archive stamped this tree as $commit"
    else
        commit=$given_commit
        [ -n "$commit" ] || fail "no .git and no commit stamped by git archive:" \
            "pass --commit HASH and --epoch SECONDS (git log -1 --format=%ct HASH)"
        [ -n "$given_epoch${SOURCE_DATE_EPOCH:-}" ] || fail "no .git and no time stamped by" \
            "git archive: pass --epoch SECONDS (git log -1 --format=%ct $commit)"
        commit_origin="given with --commit, not read (no .git and no stamp of git archive)"
    fi
fi
epoch=$commit_time
if [ -n "$given_epoch" ]; then
    epoch=$given_epoch
    origin="given with --epoch"
elif [ -n "${SOURCE_DATE_EPOCH:-}" ]; then
    epoch=$SOURCE_DATE_EPOCH
    origin="SOURCE_DATE_EPOCH of the environment"
fi
[[ $epoch =~ ^[0-9]{1,12}$ ]] ||
    fail "the time must be whole seconds since 1970, not '$epoch' ($origin)"
# A zip entry holds the years 1980 to 2107; earlier times become 1980-01-01.
[ "$epoch" -lt 4354819200 ] ||
    fail "the time $epoch ($origin) is after 2107, the last year a zip entry can hold"
[ -z "$commit_time" ] || [ "$commit_time" = "$epoch" ] ||
    origin="$origin; the commit's time is $commit_time"
when="$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC'), $origin"
say "commit $commit ($commit_origin)"
say "SOURCE_DATE_EPOCH=$epoch ($when)"

# clean COMMAND...: runs COMMAND with nothing of the caller's environment but
# the folders of the system's own programs.
clean() {
    env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME="$SRC/build/release/home" \
        LC_ALL=C TZ=UTC SOURCE_DATE_EPOCH="$epoch" "$@"
}

build=build/release
cxx=i686-w64-mingw32-g++-posix
# windres would preprocess the resources with whichever i686-w64-mingw32-gcc
# the system's alternatives choose; it gets the build's own compiler instead,
# with windres's default arguments.
preprocessor=i686-w64-mingw32-gcc-posix
rc_flags="--preprocessor=$preprocessor --preprocessor-arg=-E --preprocessor-arg=-xc"
rc_flags="$rc_flags --preprocessor-arg=-DRC_INVOKED"
rm -rf "$build"
mkdir -p "$build/home" "$build/dist"
say "building the 32-bit program in $build (log: $build.log)"
if ! { clean cmake --preset win32 -B "$build" -DQW_SOURCE_COMMIT="$commit" \
           -DCMAKE_RC_FLAGS="$rc_flags" &&
       clean cmake --build "$build" --target qwconfig -j 2; } >"$build.log" 2>&1; then
    tail -30 "$build.log"
    fail "the build failed; see $build.log"
fi
exe=$build/qwconfig.exe

# The checks of the program that ships: GUI program, icon, version record,
# imports, size and runtime parts, and notices for all code of others in it.
tests/resources/check_program.sh i686-w64-mingw32 "$exe" &&
    tests/resources/check_size.sh i686-w64-mingw32 "$exe" $((64 * 1024)) "$build/qwconfig.map" &&
    tests/resources/check_notices.sh "$build/qwconfig.map" ||
    fail "the program fails the checks above"

# used_files: one line each, the files of others that made the program: the
# headers the compiles read, what the link loaded, and the programs that
# compiled, preprocessed the resources, assembled, linked and wrote the zip.
used_files() {
    find "$build" -name '*.obj.d' -exec cat {} + | tr ' \\' '\n\n' | grep '^/'
    sed -n 's|^LOAD \(/.*\)|\1|p' "$build/qwconfig.map"
    for tool in cc1 cc1plus collect2 as ld; do
        clean "$cxx" -print-prog-name=$tool
    done
    clean which cmake make "$cxx" "$preprocessor" i686-w64-mingw32-windres \
        i686-w64-mingw32-strip python3
}

# The Debian packages that made the program and the package: those that hold
# the files above, and those of Python and zlib, which write the zip, and of
# the compiler's shared files (its copying file is a source of NOTICES). A
# file that no package holds, or a package whose version cannot be read,
# stops the release: BUILDINFO could not name it.
packages="gcc-mingw-w64-base python3-minimal python3.11-minimal libpython3.11-minimal zlib1g"
files=$(used_files | xargs -r readlink -e | sort -u | grep -vF "$SRC/") ||
    fail "cannot list the files that made the program"
declare -A owner=()
while IFS= read -r line; do
    owner[${line#*: }]=${line%%: *}
done < <(echo "$files" | xargs dpkg-query -S 2>/dev/null | grep -v '^diversion by')
for file in $files; do
    [ -n "${owner[$file]:-}" ] || fail "$file made the program, but no Debian package holds it"
    packages="$packages ${owner[$file]//,/}"
done
# shellcheck disable=SC2046,SC2086
versions=$(dpkg-query -W -f='${db:Status-Abbrev}${Package} ${Version}\n' \
           $(printf '%s\n' $packages | sed 's/:.*//' | sort -u)) ||
    fail "dpkg-query cannot give the version of every package that made the program (above)"
! grep -v '^ii ' <<<"$versions" || fail "the packages above are not wholly installed"

version=$(cat "$build/version.txt")
[ -n "$version" ] || fail "the build wrote no version"
package=qwconfig-$version-g${commit:0:7}${commit:40}.zip
clean python3 scripts/make_release_zip.py "$build/dist/$package" "$epoch" \
    "qwconfig.exe=$exe" "qwconfig-README.txt=$build/README.txt" \
    "qwconfig-LICENSE.txt=LICENSE" "qwconfig-NOTICES.txt=NOTICES" ||
    fail "could not write the package $package"
(cd "$build/dist" && sha256sum "$package" >SHA256SUMS) || fail "could not write SHA256SUMS"
cat >"$build/dist/BUILDINFO" <<END || fail "could not write BUILDINFO"
qwconfig $version release: $package
commit: $commit
commit from: $commit_origin
SOURCE_DATE_EPOCH: $epoch ($when)
built on: $(. /etc/os-release && echo "$PRETTY_NAME"), $(uname -m)
packages (dpkg-query):
$(cut -d' ' -f2- <<<"$versions" | sed 's/^/  /')
sha256:
  $(sha256sum <"$exe" | cut -d' ' -f1)  qwconfig.exe
  $(sha256sum <"$build/dist/$package" | cut -d' ' -f1)  $package
The same commit built with these versions gives the same bytes.
END
rm -rf dist && mv "$build/dist" dist || fail "could not move the release from $build/dist to dist/"

say "dist/$package ($(stat -c %s "dist/$package") bytes)"
cat dist/SHA256SUMS
