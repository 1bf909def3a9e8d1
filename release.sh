#!/bin/bash
# ./release.sh
#
# Installs what is missing, builds the 32-bit program that players get
# (build/win32/qwconfig.exe) and writes the release package:
#   dist/qwconfig-<version>.zip   qwconfig.exe (the very bytes of
#                                 build/win32/qwconfig.exe) and README.txt
#   dist/SHA256SUMS               the package's checksum, for sha256sum -c
# <version> is the version record's, which CMakeLists.txt gives.
#
# Any clone of the same commit makes the same bytes, in any folder, at any
# time and under any umask: the program carries no build time or folder, and
# the package's entries have a fixed order, fixed permissions and the time of
# the commit (SOURCE_DATE_EPOCH, when set, takes its place).
set -eu
cd "$(dirname "$0")"

# fail MESSAGE: says what went wrong and ends with status 1.
fail() {
    echo "release.sh: $*" >&2
    exit 1
}

./scripts/deps.sh || fail "could not install the packages the build needs"
mkdir -p build
echo "release.sh: building the 32-bit program in build/win32 (log: build/release-build.log)"
if ! { cmake --preset win32 && cmake --build --preset win32 --target qwconfig; } >build/release-build.log 2>&1; then
    tail -30 build/release-build.log
    fail "the build failed; see build/release-build.log"
fi

version=$(cat build/win32/version.txt)
[ -n "$version" ] || fail "the build wrote no version"
# The time of the entries: the commit's, so that every clone of it agrees.
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
    SOURCE_DATE_EPOCH=$(git log -1 --format=%ct 2>/dev/null) ||
        fail "not a git clone: set SOURCE_DATE_EPOCH to the time of the source"
fi
if [ -n "$(git status --porcelain --untracked-files=no 2>/dev/null)" ]; then
    echo "release.sh: note: the work tree has changes that are not committed; this package is not the commit's"
fi

package=qwconfig-$version.zip
rm -rf dist
mkdir dist
python3 scripts/make_release_zip.py "dist/$package" "$SOURCE_DATE_EPOCH" \
    build/win32/qwconfig.exe build/win32/README.txt || fail "could not write dist/$package"
(cd dist && sha256sum "$package" >SHA256SUMS) || fail "could not write dist/SHA256SUMS"

echo "release.sh: dist/$package ($(stat -c %s "dist/$package") bytes)"
cat dist/SHA256SUMS
