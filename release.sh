#!/bin/bash
# ./release.sh [--epoch SECONDS] [--commit HASH] [--allow-changes]
#
# Installs what is missing, builds the 32-bit program that players get in a
# folder of its own (build/release, made afresh) and writes the release:
#   dist/qwconfig-<version>.zip   qwconfig.exe, qwconfig-README.txt (for
#                                 players), qwconfig-LICENSE.txt and
#                                 qwconfig-NOTICES.txt (the code of others
#                                 that the program contains)
#   dist/SHA256SUMS               the package's checksum, for sha256sum -c
#   dist/BUILDINFO                the commit, the time used, the versions of
#                                 the tools and the checksums
# <version> is the version record's, which CMakeLists.txt gives.
#
# The build sees only the flags of the build files: it runs with a clean
# environment (PATH of the system's own folders, LC_ALL=C, TZ=UTC), so a
# builder's CFLAGS, CXXFLAGS, LDFLAGS, CPATH or a compiler earlier on PATH do
# not reach the program. The package's entries carry the commit's time, which
# the build also gets as SOURCE_DATE_EPOCH; a caller's SOURCE_DATE_EPOCH is
# used only when passed as --epoch.
#
# The source: a git clone (this folder is the top of its own repository:
# HEAD and its commit time), or a tree that `git archive` wrote (its commit
# and time stamped into scripts/release-source.txt), or any other copy of a
# commit's files, given --commit and --epoch. A clone with changes that are
# not committed is refused unless --allow-changes is given; the commit is then
# recorded as HASH-modified.
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

given_epoch=""
given_commit=""
allow_changes=0
while [ $# -gt 0 ]; do
    case $1 in
        --epoch) [ $# -ge 2 ] || fail "--epoch needs SECONDS"; given_epoch=$2; shift 2 ;;
        --commit) [ $# -ge 2 ] || fail "--commit needs a commit hash"; given_commit=$2; shift 2 ;;
        --allow-changes) allow_changes=1; shift ;;
        *) fail "unknown argument '$1' (usage: ./release.sh [--epoch SECONDS] [--commit HASH] [--allow-changes])" ;;
    esac
done
[ -z "$given_epoch" ] || [[ $given_epoch =~ ^[0-9]+$ ]] || fail "--epoch takes whole seconds since 1970, not '$given_epoch'"
[ -z "$given_commit" ] || [[ $given_commit =~ ^[0-9a-f]{40}$ ]] || fail "--commit takes a full commit hash (40 hex digits), not '$given_commit'"

./scripts/deps.sh || fail "could not install the packages the build needs"

# The commit and its time: from this tree's own repository, from the stamp of
# git archive, or as given.
commit=""
commit_time=""
origin=""
toplevel=$(git rev-parse --show-toplevel 2>/dev/null || true)
if [ -n "$toplevel" ] && [ "$(cd "$toplevel" && pwd -P)" = "$SRC" ]; then
    commit=$(git rev-parse HEAD) || fail "the repository has no commit"
    commit_time=$(git log -1 --format=%ct HEAD)
    origin="the commit's time (git log)"
    [ -z "$given_commit" ] || [ "$given_commit" = "$commit" ] ||
        fail "--commit $given_commit, but this clone is at $commit"
    changes=$(git status --porcelain --untracked-files=normal) || fail "git cannot tell whether the work tree has changes"
    if [ -n "$changes" ]; then
        if [ $allow_changes -eq 0 ]; then
            echo "$changes" | head -10 >&2
            fail "the work tree has changes that are not committed (above); commit them, or pass --allow-changes for a package that is not the commit's"
        fi
        say "the work tree has changes that are not committed: the package is recorded as $commit-modified"
        commit=$commit-modified
    fi
else
    [ -z "$toplevel" ] || say "this folder lies inside the git work tree $toplevel, which is not its source: that repository is not used"
    stamp=$(cat scripts/release-source.txt 2>/dev/null || true)
    if [[ $stamp =~ ^([0-9a-f]{40})\ ([0-9]+)$ ]]; then
        commit=${BASH_REMATCH[1]}
        commit_time=${BASH_REMATCH[2]}
        origin="the commit's time (stamped by git archive)"
        [ -z "$given_commit" ] || [ "$given_commit" = "$commit" ] ||
            fail "--commit $given_commit, but git archive stamped this tree as $commit"
    else
        commit=$given_commit
        [ -n "$commit" ] || fail "not a git clone and no commit stamped by git archive: pass --commit HASH and --epoch SECONDS (git log -1 --format=%ct HASH)"
        [ -n "$given_epoch" ] || fail "not a git clone and no time stamped by git archive: pass --epoch SECONDS (git log -1 --format=%ct $commit)"
    fi
fi
if [ -n "$given_epoch" ]; then
    epoch=$given_epoch
    origin="given with --epoch"
    [ -z "$commit_time" ] || [ "$commit_time" = "$epoch" ] || origin="$origin (the commit's time is $commit_time)"
else
    epoch=$commit_time
fi
if [ -n "${SOURCE_DATE_EPOCH:-}" ] && [ "$SOURCE_DATE_EPOCH" != "$epoch" ]; then
    say "SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH in the environment is not used (pass --epoch $SOURCE_DATE_EPOCH to use it)"
fi
say "commit $commit"
say "SOURCE_DATE_EPOCH=$epoch ($(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC')), $origin"

# clean COMMAND...: runs COMMAND with nothing of the caller's environment but
# the folders of the system's own programs.
clean() {
    env -i PATH=/usr/bin:/bin:/usr/sbin:/sbin HOME="$SRC/build/release/home" \
        LC_ALL=C TZ=UTC SOURCE_DATE_EPOCH="$epoch" "$@"
}

build=build/release
rm -rf "$build"
mkdir -p "$build/home"
say "building the 32-bit program in $build (log: $build.log)"
if ! { clean cmake --preset win32 -B "$build" -DQW_SOURCE_COMMIT="$commit" &&
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

version=$(cat "$build/version.txt")
[ -n "$version" ] || fail "the build wrote no version"
package=qwconfig-$version.zip
rm -rf dist
mkdir dist
clean python3 scripts/make_release_zip.py "dist/$package" "$epoch" \
    "qwconfig.exe=$exe" "qwconfig-README.txt=$build/README.txt" \
    "qwconfig-LICENSE.txt=LICENSE" "qwconfig-NOTICES.txt=NOTICES" ||
    fail "could not write dist/$package"
(cd dist && sha256sum "$package" >SHA256SUMS) || fail "could not write dist/SHA256SUMS"

# The Debian packages whose files make the program or the package: compilers,
# binutils, the MinGW-w64 runtime and headers, CMake (which writes the README),
# Python and zlib (which write the zip).
packages="gcc-mingw-w64-base gcc-mingw-w64-i686-posix g++-mingw-w64-i686-posix
binutils-mingw-w64-i686 mingw-w64-common mingw-w64-i686-dev cmake
python3-minimal python3.11-minimal libpython3.11-minimal zlib1g"
{
    echo "qwconfig $version release"
    echo "commit: $commit"
    echo "SOURCE_DATE_EPOCH: $epoch ($(date -u -d "@$epoch" '+%Y-%m-%d %H:%M:%S UTC')), $origin"
    echo "built on: $(. /etc/os-release && echo "$PRETTY_NAME"), $(uname -m)"
    echo "packages (dpkg-query):"
    # shellcheck disable=SC2086
    dpkg-query -W -f='  ${Package} ${Version}\n' $packages
    echo "sha256:"
    echo "  $(sha256sum <"$exe" | cut -d' ' -f1)  qwconfig.exe"
    echo "  $(sha256sum <"dist/$package" | cut -d' ' -f1)  $package"
    echo "The same commit built with these versions gives the same bytes."
} >dist/BUILDINFO || fail "could not write dist/BUILDINFO (a package above is missing)"

say "dist/$package ($(stat -c %s "dist/$package") bytes)"
cat dist/SHA256SUMS
