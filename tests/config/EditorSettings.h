// The editor's fourteen settings, as its "Okay" saves them: the batch that the
// benchmark and the stress program save.
#ifndef QW_EDITORSETTINGS_H
#define QW_EDITORSETTINGS_H

#include "IniFiles.h"

static const _INISETTING aEditor[] = {
    {"server_address", "play.quarrow.net"}, {"server_port", "2000"}, {"save_ignores", "1"},
    {"use_global_ignores", "0"}, {"normal_camera_rotation_speed", "15.0"},
    {"fine_camera_rotation_speed", "1.0"}, {"browser", "C:\\Program Files\\Firefox\\firefox.exe"},
    {"video_mode", "6"}, {"full_screen", "1"}, {"shadows_on", "1"}, {"clouds_shadows", "1"},
    {"no_adjust_shadows", "0"}, {"poor_man", "0"}, {"no_sound", "0"}};
static const int nEditor = (int)(sizeof(aEditor) / sizeof(aEditor[0]));

#endif
