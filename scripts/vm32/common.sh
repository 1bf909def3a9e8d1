# Shared parts of the emulated 32-bit run: where the guest image is cached,
# the key that names it, the archive address and one boot of the guest.
# Source this file.

VM32_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
VM32_ROOT=$(cd "$VM32_DIR/../.." && pwd)

# The files whose content makes the image: a change to any of them makes a
# new image. The runner's own scripts are not among them: they reach the
# guest through the shared folder at every run.
VM32_RECIPE="$VM32_DIR/build-image.sh $VM32_DIR/guest-init.sh $VM32_DIR/provision.sh \
$VM32_ROOT/scripts/wineenv.sh"

# vm32_cache_root: the folder that holds the cached images (outside the work tree).
vm32_cache_root() {
    echo "${QW_VM32_CACHE:-/var/tmp/qwconfig-vm32}"
}

# vm32_key: the name of the image that the current recipe makes.
vm32_key() {
    # shellcheck disable=SC2086
    cat $VM32_RECIPE | sha256sum | cut -c1-16
}

# vm32_image_dir: the folder of the image for the current recipe.
vm32_image_dir() {
    echo "$(vm32_cache_root)/bookworm-$(vm32_key)"
}

# vm32_archive SUITE: the address of the Debian archive that this machine's apt
# sources use for SUITE (one-line and deb822 formats); nothing when none does.
vm32_archive() {
    local suite=$1 f
    for f in /etc/apt/sources.list.d/*.sources; do
        [ -f "$f" ] || continue
        awk -v suite="$suite" '
            function flush() {
                if (uris != "" && enabled && types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " suite " ")) {
                    split(uris, u, " "); print u[1]; found = 1; exit
                }
                uris = ""; suites = ""; types = ""; enabled = 1
            }
            BEGIN { enabled = 1 }
            /^[ \t]*$/ { flush(); next }
            /^[ \t]*#/ { next }
            tolower($1) == "uris:" { $1 = ""; uris = $0; sub(/^ +/, "", uris) }
            tolower($1) == "suites:" { $1 = ""; suites = $0; sub(/^ +/, "", suites) }
            tolower($1) == "types:" { $1 = ""; types = $0 }
            tolower($1) == "enabled:" { enabled = (tolower($2) != "no") }
            END { if (!found) flush() }' "$f"
    done | head -1 | grep . && return 0
    for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
        [ -f "$f" ] || continue
        awk -v suite="$suite" '
            $1 == "deb" {
                i = 2
                if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
                if ($(i + 1) == suite) { print $i; exit }
            }' "$f"
    done | head -1
}

# vm32_boot SECONDS IMAGEDIR INDIR OUTDIR [persist]: boots the guest once, with
# INDIR shared read-only as "qwin" and OUTDIR writable as "qwout"; the guest's
# init runs INDIR/job.sh and powers off. Without "persist" the disk is a
# throw-away copy (snapshot=on). The serial console goes to OUTDIR/console.log.
# Returns qemu's status, or 124 when the guest was ended after SECONDS. qemu
# stays in the caller's process group: ending that group ends the guest.
vm32_boot() {
    local seconds=$1 image=$2 in=$3 out=$4 snapshot=on
    [ "${5:-}" = persist ] && snapshot=off
    timeout --foreground --kill-after=20 "$seconds" qemu-system-x86_64 \
        -accel tcg -cpu max,-smap -smp "${QW_VM32_SMP:-2}" -m 2048 \
        -nodefaults -display none -no-reboot -monitor none \
        -serial "file:$out/console.log" \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 panic=5 quiet init=/usr/local/sbin/qw-init" \
        -drive "file=$image/disk.img,if=virtio,format=raw,cache=unsafe,snapshot=$snapshot" \
        -virtfs "local,path=$in,mount_tag=qwin,security_model=none,readonly=on" \
        -virtfs "local,path=$out,mount_tag=qwout,security_model=none" \
        </dev/null >"$out/qemu.log" 2>&1
}
