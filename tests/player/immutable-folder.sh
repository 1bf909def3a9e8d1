#!/bin/bash
# The game's folder refuses new files (as under Program Files, where an
# installer lets players write the settings file only) but qw.ini itself is
# writable. "Okay" saves the player's change into the same file, rewritten in
# place, and leaves nothing else in the folder.
. "$(dirname "$0")/lib.sh"
pl_setup immutable-folder "$@"
pl_use_sample
inode=$(stat -c %i "$PL_DIR/qw.ini")
PL_FROZEN=$PL_DIR
pl_check "chattr +i cannot freeze the folder here" chattr +i "$PL_DIR"
pl_check "the frozen folder still takes new files" \
    bash -c "! touch '$PL_DIR/probe' 2>/dev/null"

pl_start
pl_type_into 302 eu.quarrow.net
pl_expect "the typed host" eu.quarrow.net pl_q_text 302
pl_close_with 1

# The fourteen settings' lines are rewritten with plain line feeds; every other
# line keeps its bytes.
keys='server_address|server_port|save_ignores|use_global_ignores|normal_camera_rotation_speed'
keys+='|fine_camera_rotation_speed|browser|video_mode|full_screen|shadows_on|clouds_shadows'
keys+='|no_adjust_shadows|poor_man|no_sound'
sed -E -e "/^#($keys) = /s/\r$//" -e 's/^#server_address = .*/#server_address = eu.quarrow.net/' \
    "$PL_SAMPLE" >"$PL_WORK/expected.ini"
pl_check "qw.ini is not the sample with the new host" \
    pl_same_bytes "$PL_DIR/qw.ini" "$PL_WORK/expected.ini"
pl_check "qw.ini was replaced, not rewritten in place" [ "$(stat -c %i "$PL_DIR/qw.ini")" = "$inode" ]
left=$(ls -A "$PL_DIR")
pl_check "the folder holds more than qw.ini: $left" [ "$left" = qw.ini ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
