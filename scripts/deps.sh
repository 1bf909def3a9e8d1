#!/bin/sh
# scripts/deps.sh [release]
#
# Installs, only when missing, every Debian package that building, testing and
# running the editor needs; with "release", only those that ./release.sh builds
# the package with (the 32-bit cross compiler and binutils, CMake and make,
# GoogleTest's sources, which the build files add, Python for the zip, git).
# Never adds the i386 architecture or wine32: on these machines a 32-bit Wine
# loader cannot run and would break the 64-bit one.
set -eu

RELEASE_PACKAGES="cmake make g++-mingw-w64-i686-posix binutils-mingw-w64-i686 \
mingw-w64-i686-dev googletest python3 git"
PACKAGES="$RELEASE_PACKAGES g++ clang libclang-rt-14-dev libbenchmark-dev \
g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-x86-64 wine wine64 fonts-wine \
xvfb xdotool imagemagick x11-utils valgrind"
# The 32-bit run: a Debian guest built with debootstrap and booted under full
# emulation. Installed without recommends (qemu-system-x86 would pull GTK).
BARE_PACKAGES="debootstrap qemu-system-x86 qemu-utils"

case ${1:-all} in
    all) ;;
    release) PACKAGES=$RELEASE_PACKAGES BARE_PACKAGES="" ;;
    *) echo "usage: $0 [release]" >&2; exit 2 ;;
esac

# is_missing PACKAGE: true when PACKAGE is not installed.
is_missing() {
    ! dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"
}

missing=""
for p in $PACKAGES; do
    if is_missing "$p"; then
        missing="$missing $p"
    fi
done
missing_bare=""
for p in $BARE_PACKAGES; do
    if is_missing "$p"; then
        missing_bare="$missing_bare $p"
    fi
done

if [ -z "$missing$missing_bare" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "deps.sh: missing packages:$missing$missing_bare; run as root or install sudo" >&2
    exit 1
fi

echo "deps.sh: installing$missing$missing_bare"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
if [ -n "$missing" ]; then
    $SUDO apt-get install -y -qq $missing
fi
# shellcheck disable=SC2086
if [ -n "$missing_bare" ]; then
    $SUDO apt-get install -y -qq --no-install-recommends $missing_bare
fi
