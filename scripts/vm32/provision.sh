#!/bin/bash
# The job of the image's provisioning boot (run inside the guest): makes the
# Wine prefix /root/qwprefix once, exactly as test.sh makes the 64-bit one (a
# 1024 x 768 virtual desktop and the caption fonts), on a private Xvfb display.
# wineboot starts 32-bit helpers, so this cannot be done in a chroot on the host.
set -u
IN=/mnt/qwin
OUT=/mnt/qwout
. "$IN/wineenv.sh"

qw_wine_env /root/qwprefix
rm -rf "$WINEPREFIX"
qw_start_xvfb
echo "provision: making $WINEPREFIX on display $DISPLAY"
SECONDS=0
qw_wine_prefix_init desktop
echo "provision: prefix made in ${SECONDS}s"
# A 32-bit program must start in it: the one that players get is 32-bit.
wine cmd /c echo prefix-ok >"$OUT/cmd.txt" 2>/dev/null </dev/null
qw_wine_stop
wineserver -w

ls "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" \
   "$WINEPREFIX/drive_c/windows/Fonts/tahoma.ttf" || exit 1
grep -q 'prefix-ok' "$OUT/cmd.txt" || exit 1
grep -q '"Default"="1024x768"' "$WINEPREFIX/user.reg" || exit 1
echo ok >"$OUT/provisioned"
