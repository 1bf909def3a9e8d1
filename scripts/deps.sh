#!/bin/sh
# Installs, only when missing, every Debian package that building, testing and
# running the editor needs. Never adds the i386 architecture or wine32: on these
# machines a 32-bit Wine loader cannot run and would break the 64-bit one.
set -eu

PACKAGES="cmake g++ clang libclang-rt-14-dev googletest libbenchmark-dev \
g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64-i686 \
binutils-mingw-w64-x86-64 wine wine64 fonts-wine xvfb xdotool imagemagick x11-utils"

missing=""
for p in $PACKAGES; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing="$missing $p"
    fi
done

if [ -z "$missing" ]; then
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    SUDO=""
elif command -v sudo >/dev/null 2>&1; then
    SUDO="sudo"
else
    echo "deps.sh: missing packages:$missing; run as root or install sudo" >&2
    exit 1
fi

echo "deps.sh: installing$missing"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
# shellcheck disable=SC2086
$SUDO apt-get install -y -qq $missing
