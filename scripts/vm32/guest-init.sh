#!/bin/bash
# The guest's whole init (installed as /usr/local/sbin/qw-init): mounts the
# kernel's file systems and the two folders the host shares (qwin read-only,
# qwout writable), runs qwin/job.sh with its output in qwout/job.log and its
# exit status in qwout/job.status, then powers the guest off. There is no
# service manager: nothing else runs.
export PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin
export HOME=/root LANG=C.UTF-8
cd /

# mount_9p TAG DIR [OPTIONS]: mounts the host's folder TAG on DIR.
mount_9p() {
    mkdir -p "$2"
    mount -t 9p -o "trans=virtio,version=9p2000.L,msize=524288${3:+,$3}" "$1" "$2"
}

# The initrd hands over /proc, /sys and /dev already mounted.
mountpoint -q /proc || mount -t proc proc /proc
mountpoint -q /sys || mount -t sysfs sysfs /sys
mountpoint -q /dev || mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts /dev/shm
mount -t devpts -o gid=5,mode=620,ptmxmode=666 devpts /dev/pts
mount -t tmpfs -o mode=1777 tmpfs /dev/shm
mount -t tmpfs -o mode=755 tmpfs /run
ln -sfn /proc/self/fd /dev/fd
ln -sfn /proc/self/fd/0 /dev/stdin
ln -sfn /proc/self/fd/1 /dev/stdout
ln -sfn /proc/self/fd/2 /dev/stderr
mount -o remount,rw /
# /tmp stays on the disk (ext4, as on the host): a test may set file attributes there.
rm -rf /tmp/* /tmp/.[!.]* 2>/dev/null
chmod 1777 /tmp
hostname qwguest

modprobe -q 9pnet_virtio
modprobe -q 9p
if mount_9p qwin /mnt/qwin ro && mount_9p qwout /mnt/qwout; then
    echo "qw-init: running the job"
    bash /mnt/qwin/job.sh >/mnt/qwout/job.log 2>&1 </dev/null
    echo $? >/mnt/qwout/job.status
    echo "qw-init: job ended with status $(cat /mnt/qwout/job.status)"
else
    echo "qw-init: cannot mount the shared folders"
fi

sync
umount /mnt/qwout /mnt/qwin 2>/dev/null
mount -o remount,ro / 2>/dev/null
sync
echo o >/proc/sysrq-trigger
sleep 60
