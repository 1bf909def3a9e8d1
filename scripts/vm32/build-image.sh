#!/bin/bash
# build-image.sh: makes sure that the guest image for the emulated 32-bit run
# exists, and prints its folder (vmlinuz, initrd.img, disk.img) as the last line.
#
# The image is a small Debian 12 amd64 system with 32-bit and 64-bit Wine,
# Xvfb, xdotool, ImageMagick and x11-utils, and a Wine prefix made inside it.
# It is built only from Debian's packages (debootstrap, then apt-get in a
# chroot), from the archive that this machine's apt sources name, and kept in
# $QW_VM32_CACHE (default /var/tmp/qwconfig-vm32) under a name that hashes
# its recipe: a changed recipe builds a new image and removes the older ones.
# The build happens in a temporary folder that is renamed into place at the
# end, so an interrupted build never looks complete. Needs root. Only the
# guest gets the i386 architecture and wine32; the host never does.
set -euo pipefail
HERE=$(cd "$(dirname "$0")" && pwd)
. "$HERE/common.sh"

CACHE=$(vm32_cache_root)
FINAL=$(vm32_image_dir)
PACKAGES="linux-image-amd64 kmod wine wine32 wine64 xvfb xdotool imagemagick x11-utils fonts-wine"
WORK=
ROOTFS=

# say MESSAGE: one line of progress, with the time since the start.
say() {
    echo "build-image [$(date +%T), ${SECONDS}s]: $*" >&2
}

# unmount_under DIR: unmounts everything mounted below DIR, deepest first.
unmount_under() {
    local m
    for m in $(awk -v d="$1/" 'index($2, d) == 1 { print $2 }' /proc/mounts | sort -r); do
        umount "$m" 2>/dev/null || umount -l "$m" || return 1
    done
}

# remove_tree DIR: removes a build folder, never across a mount point.
remove_tree() {
    [ -d "$1" ] || return 0
    if unmount_under "$1"; then
        rm -rf --one-file-system "$1"
    else
        echo "build-image: cannot unmount everything under $1; left in place" >&2
    fi
}

# cleanup: ends an unfinished build and removes its temporary folder.
cleanup() {
    [ -n "$WORK" ] && remove_tree "$WORK"
    return 0
}

# in_root COMMAND...: runs a command inside the guest's root file system.
in_root() {
    chroot "$ROOTFS" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
        LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive "$@"
}

# in_root_apt ARGUMENTS...: apt-get in the guest's root file system, quiet, and
# retrying a failed download a few times.
in_root_apt() {
    in_root apt-get -qq -o Acquire::Retries=5 "$@"
}

# mount_chroot: gives the root file system /proc, /sys and /dev for apt-get.
mount_chroot() {
    mount -t proc proc "$ROOTFS/proc"
    mount -t sysfs sysfs "$ROOTFS/sys"
    mount --bind /dev "$ROOTFS/dev"
    mount --bind /dev/pts "$ROOTFS/dev/pts"
}

if [ -f "$FINAL/ready" ]; then
    echo "$FINAL"
    exit 0
fi
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "build-image: needs root" >&2; exit 1; }
    exec sudo -E "$0" "$@"
fi

mkdir -p "$CACHE"
# One build at a time; whoever waited finds the image made by the other.
exec 9>"$CACHE/lock"
flock -w 3000 9 || { echo "build-image: another build holds $CACHE/lock" >&2; exit 1; }
if [ -f "$FINAL/ready" ]; then
    echo "$FINAL"
    exit 0
fi
# Leftovers of interrupted builds.
for old in "$CACHE"/build.*; do
    remove_tree "$old"
done

trap cleanup EXIT
trap 'exit 130' INT TERM
WORK=$(mktemp -d "$CACHE/build.XXXXXX")
ROOTFS=$WORK/root
OUTDIR=$WORK/image
mkdir -p "$ROOTFS" "$OUTDIR"
say "building $FINAL in $WORK"

MAIN=$(vm32_archive bookworm)
[ -n "$MAIN" ] || { echo "build-image: no Debian 12 (bookworm) archive in /etc/apt/sources*" >&2; exit 1; }
UPDATES=$(vm32_archive bookworm-updates)
SECURITY=$(vm32_archive bookworm-security)

# A dropped download fails debootstrap: it gets a second try from scratch.
for attempt in 1 2; do
    say "debootstrap bookworm from $MAIN (try $attempt)"
    if debootstrap --variant=minbase --arch=amd64 bookworm "$ROOTFS" "$MAIN" \
        >"$WORK/debootstrap.log" 2>&1; then
        break
    fi
    tail -30 "$WORK/debootstrap.log" >&2
    [ "$attempt" = 2 ] && exit 1
    remove_tree "$ROOTFS"
    mkdir -p "$ROOTFS"
done

# The guest's apt sources follow the host's (same suites, so the same versions).
echo "deb $MAIN bookworm main" >"$ROOTFS/etc/apt/sources.list"
if [ -n "$UPDATES" ]; then
    echo "deb $UPDATES bookworm-updates main" >>"$ROOTFS/etc/apt/sources.list"
fi
if [ -n "$SECURITY" ]; then
    echo "deb $SECURITY bookworm-security main" >>"$ROOTFS/etc/apt/sources.list"
fi
cp /etc/resolv.conf "$ROOTFS/etc/resolv.conf"
# No service may start in the chroot.
printf '#!/bin/sh\nexit 101\n' >"$ROOTFS/usr/sbin/policy-rc.d"
chmod 755 "$ROOTFS/usr/sbin/policy-rc.d"
# A small initrd: only what finds and mounts the root disk. The 9p modules
# load from the root file system later.
mkdir -p "$ROOTFS/etc/initramfs-tools/conf.d"
printf 'MODULES=list\nCOMPRESS=gzip\n' >"$ROOTFS/etc/initramfs-tools/conf.d/qw-small"
mount_chroot

say "apt-get install $PACKAGES (with i386)"
in_root dpkg --add-architecture i386
in_root_apt update >"$WORK/apt.log" 2>&1 || { tail -30 "$WORK/apt.log" >&2; exit 1; }
in_root_apt install -y initramfs-tools >>"$WORK/apt.log" 2>&1 || { tail -30 "$WORK/apt.log" >&2; exit 1; }
printf 'virtio_pci\nvirtio_blk\next4\n' >>"$ROOTFS/etc/initramfs-tools/modules"
# shellcheck disable=SC2086
in_root_apt install -y $PACKAGES >>"$WORK/apt.log" 2>&1 || { tail -40 "$WORK/apt.log" >&2; exit 1; }
# Only libglib2.0-0:i386's maintainer script runs i386 code here (it fails and
# tolerates that); the packaging must still be complete.
audit=$(in_root dpkg --audit 2>&1 || true)
[ -z "$audit" ] || { echo "build-image: dpkg --audit: $audit" >&2; exit 1; }
for p in $PACKAGES; do
    in_root dpkg-query -W -f='${Status}\n' "$p" | grep -q "install ok installed" ||
        { echo "build-image: $p is not installed in the guest" >&2; exit 1; }
done
in_root apt-get clean
rm -rf "$ROOTFS"/var/lib/apt/lists/* "$ROOTFS/usr/sbin/policy-rc.d" \
       "$ROOTFS"/usr/share/doc/* "$ROOTFS"/usr/share/man/*
unmount_under "$ROOTFS"

install -m 755 "$HERE/guest-init.sh" "$ROOTFS/usr/local/sbin/qw-init"
echo qwguest >"$ROOTFS/etc/hostname"

kernel=$(find "$ROOTFS/boot" -name 'vmlinuz-*' | sort | tail -1)
initrd=$(find "$ROOTFS/boot" -name 'initrd.img-*' | sort | tail -1)
[ -n "$kernel" ] && [ -n "$initrd" ] || { echo "build-image: no kernel or initrd in the guest" >&2; exit 1; }
cp "$kernel" "$OUTDIR/vmlinuz"
cp "$initrd" "$OUTDIR/initrd.img"
say "kernel $(basename "$kernel"), initrd $(du -h "$OUTDIR/initrd.img" | cut -f1)"

# The disk: the root file system plus room for the prefix and the test runs.
used_mb=$(du -sm --apparent-size "$ROOTFS" | cut -f1)
size_mb=$((used_mb + 2048))
say "mkfs.ext4 of ${used_mb} MB of files into a ${size_mb} MB disk"
truncate -s "${size_mb}M" "$OUTDIR/disk.img"
mkfs.ext4 -q -F -L qwroot -d "$ROOTFS" "$OUTDIR/disk.img"
remove_tree "$ROOTFS"

say "provisioning boot: the Wine prefix is made inside the guest"
mkdir -p "$WORK/in" "$WORK/out"
cp "$HERE/provision.sh" "$WORK/in/job.sh"
cp "$VM32_ROOT/scripts/wineenv.sh" "$WORK/in/wineenv.sh"
status=0
vm32_boot "${QW_VM32_PROVISION_SECONDS:-1500}" "$OUTDIR" "$WORK/in" "$WORK/out" persist || status=$?
if [ ! -f "$WORK/out/provisioned" ]; then
    echo "build-image: the provisioning boot failed (qemu status $status); its output:" >&2
    tail -30 "$WORK/out/job.log" "$WORK/out/console.log" >&2 2>/dev/null
    exit 1
fi
cp "$WORK/out/job.log" "$OUTDIR/provision.log"
e2fsck -fy "$OUTDIR/disk.img" >"$WORK/e2fsck.log" 2>&1 || [ $? -le 1 ] || {
    cat "$WORK/e2fsck.log" >&2
    exit 1
}
tune2fs -c 0 -i 0 "$OUTDIR/disk.img" >/dev/null

say "image ready: $(du -h --apparent-size "$OUTDIR/disk.img" | cut -f1) apparent, $(du -h "$OUTDIR/disk.img" | cut -f1) on disk"
date -u +%FT%TZ >"$OUTDIR/ready"
echo "$SECONDS" >"$OUTDIR/build-seconds"
rm -rf "$FINAL"
mv "$OUTDIR" "$FINAL"
# Older images of earlier recipes.
for old in "$CACHE"/bookworm-*; do
    [ "$old" = "$FINAL" ] || rm -rf --one-file-system "$old"
done
echo "$FINAL"
