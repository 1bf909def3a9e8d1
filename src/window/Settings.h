// Settings: the fourteen settings of qw.ini that the editor understands, their
// controls, and the handling of every command of the main window.
#ifndef QW_SETTINGS_H
#define QW_SETTINGS_H

#include <windows.h>

#include "DlgItemsControl.h"
#include "IniFiles.h"

// The settings as last loaded or read back by "Okay"; in between the controls
// hold the player's working values (the video mode and the browser follow at
// once).
extern short nSelectedVideo;        // index into szVideoModes, 0 to 5
extern BYTE fFullScreen;
extern BYTE fShadowsOn;
extern BYTE fCloudsShadowsOn;
extern BYTE fDontAdjustShadows;
extern BYTE fPoorMan;
extern BYTE fSaveIgnores;
extern BYTE fUseGlobalIgnores;
extern BYTE fSoundsEnabled;         // the inverse of the key no_sound
extern UINT uPort;
extern char szHost[MAX_PATH];
extern char szNormalRot[16];        // rotation speeds stay text
extern char szFineRot[16];
extern char szBrowser[MAX_PATH];

// Takes the fourteen keys from pSnapshot, qw.ini as read at start (defaults for
// missing ones), into the globals and the controls; hwndVideoList is the video
// mode list, already filled.
void Settings_Load(HWND hwnd, HWND hwndVideoList, const _INISNAPSHOT *pSnapshot);

// Enables the dependent shadow box from the two shadow boxes, then applies
// every control's flags.
void Settings_Refresh(HWND hwnd, DlgItemsControl *p_dic);

// Handles WM_COMMAND from control wID with notification wCode. "Okay" saves
// all fourteen keys at once and closes, or, when a field cannot be saved as it
// shows or the file cannot be written, says so and keeps the window; "Cancel"
// closes. A field whose text outgrows what qw.ini keeps of it is cut to fit. A close asked for here is
// carried out once the window's WM_COMMAND handler returns, so hwnd and p_dic
// stay valid to the end of this call.
void Settings_OnCommand(HWND hwnd, DlgItemsControl *p_dic, WORD wID, WORD wCode);

#endif
