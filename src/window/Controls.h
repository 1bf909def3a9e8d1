// Controls: the table of the main window's child controls, the video modes the
// player can choose from, and the flags that show and enable the controls.
#ifndef QW_CONTROLS_H
#define QW_CONTROLS_H

#include <windows.h>

#include "DlgItemsControl.h"

// Identifiers of the child controls (IDOK and IDCANCEL are the system's).
#ifndef IDC_STATIC
#define IDC_STATIC (-1)                 // labels and group boxes nobody addresses
#endif
#define IDC_TAB 3
#define IDC_VERSION 4
#define IDC_VIDEOMODE 102
#define IDC_FULLSCREEN 103
#define IDC_SHADOWS 202
#define IDC_NOADJUSTSHADOWS 203
#define IDC_CLOUDSSHADOWS 204
#define IDC_POORMAN 205
#define IDC_HOST 302
#define IDC_PORT 303
#define IDC_NORMALROT 402
#define IDC_FINEROT 403
#define IDC_USEGLOBALIGNORES 502
#define IDC_SAVEIGNORES 503
#define IDC_SOUNDS 601
#define IDC_DOLBY 602
#define IDC_BROWSER 701
#define IDC_BROWSE 702

// Number of rows of adiMain, the capacity of the window's controller.
#define MAIN_CONTROLS 32
// Number of entries of szVideoModes.
#define VIDEO_MODES 6
// Number of tab pages ("General", "Video", "Audio").
#define TAB_PAGES 3

// One entry of the video mode list: its caption and the number the game client
// stores for it.
struct _VIDEOMODE {
    char szCaption[16];
    short nMode;
};

extern const _ADDDLGITEM adiMain[MAIN_CONTROLS];
extern const _VIDEOMODE szVideoModes[VIDEO_MODES];

// Flags the rows point to (non-zero: shown or enabled).
extern INT fTab[TAB_PAGES];          // the page with that tab index is showing
extern INT fAnyShadowsEnabled;       // a shadow option is checked
extern INT fDolbyEnabled;            // stays 0: the Dolby box is never enabled
extern INT fAlwaysDisabled;          // stays 0: the version text is disabled

// The DPI that the table and the window's client area are scaled to from
// their 96-DPI pixels: the screen's, or more where the default GUI font makes
// a caption or a video mode grow faster than the DPI.
void Controls_LayoutDpi(INT *pnDpiX, INT *pnDpiY);

#endif
