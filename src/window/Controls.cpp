// Controls: every child control of the main window, in creation order. The
// three tab pages are not windows of their own: each page's controls lie over
// the tab control and are shown while that page's entry of fTab is set.
#include "Controls.h"

#include <commctrl.h>

#include "LayoutDpi.h"

INT fTab[TAB_PAGES];
INT fAnyShadowsEnabled;
INT fDolbyEnabled;
INT fAlwaysDisabled;

// One anchored edge: anchor type and distance in pixels.
#define EDGE(type, offset) { (type), { (offset) } }
// A fixed edge at the given pixel.
#define AT(offset) EDGE(DIP_ABSOLUTE, (offset))
// An edge measured from the control's own left edge (right edges: the width).
#define WIDTH(offset) EDGE(DIP_ITEMLEFT, (offset))
// An edge measured from the control's own top edge (bottom edges: the height).
#define HEIGHT(offset) EDGE(DIP_ITEMTOP, (offset))

#define PAGE_GENERAL (&fTab[0])
#define PAGE_VIDEO (&fTab[1])
#define PAGE_AUDIO (&fTab[2])

const _ADDDLGITEM adiMain[MAIN_CONTROLS] = {
    // Always shown: the two buttons, the version text and the tab control.
    { IDOK, "BUTTON", "Okay", WS_TABSTOP | BS_DEFPUSHBUTTON, 0, NULL, NULL,
      EDGE(DIP_HCENTER, -67), EDGE(DIP_BOTTOM, 27), WIDTH(64), EDGE(DIP_BOTTOM, 5) },
    { IDCANCEL, "BUTTON", "Cancel", WS_TABSTOP | BS_PUSHBUTTON, 0, NULL, NULL,
      EDGE(DIP_HCENTER, 3), EDGE(DIP_BOTTOM, 27), WIDTH(64), EDGE(DIP_BOTTOM, 5) },
    { IDC_VERSION, "STATIC", "v0.5", SS_RIGHT, 0, NULL, &fAlwaysDisabled,
      EDGE(DIP_RIGHT, 65), EDGE(DIP_BOTTOM, 20), WIDTH(60), EDGE(DIP_BOTTOM, 5) },
    { IDC_TAB, "SysTabControl32", "", TCS_TABS | TCS_SINGLELINE, 0, NULL, NULL,
      EDGE(DIP_LEFT, 2), EDGE(DIP_TOP, 2), EDGE(DIP_RIGHT, 2), EDGE(DIP_BOTTOM, 32) },

    // Page "Video".
    { IDC_STATIC, "BUTTON", "Video mode", BS_GROUPBOX, 0, PAGE_VIDEO, NULL,
      AT(8), AT(26), WIDTH(122), EDGE(DIP_BOTTOM, 38) },
    { IDC_VIDEOMODE, "LISTBOX", "",
      WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_DISABLENOSCROLL,
      WS_EX_CLIENTEDGE, PAGE_VIDEO, NULL,
      AT(14), AT(44), WIDTH(110), EDGE(DIP_BOTTOM, 62) },
    { IDC_FULLSCREEN, "BUTTON", "Full screen", BS_CHECKBOX, 0, PAGE_VIDEO, NULL,
      AT(14), EDGE(DIP_BOTTOM, 59), WIDTH(110), HEIGHT(15) },
    { IDC_STATIC, "BUTTON", "Effects", BS_GROUPBOX, 0, PAGE_VIDEO, NULL,
      AT(135), AT(26), EDGE(DIP_RIGHT, 8), HEIGHT(123) },
    { IDC_SHADOWS, "BUTTON", "Shadows enabled", BS_CHECKBOX, 0, PAGE_VIDEO, NULL,
      AT(141), AT(44), WIDTH(164), HEIGHT(15) },
    { IDC_CLOUDSSHADOWS, "BUTTON", "Clouds shadows enabled", BS_CHECKBOX, 0, PAGE_VIDEO, NULL,
      AT(141), AT(62), WIDTH(164), HEIGHT(15) },
    { IDC_NOADJUSTSHADOWS, "BUTTON", "Keep shadows enabled even when the frame rate is too low",
      BS_CHECKBOX | BS_TOP | BS_MULTILINE, 0, PAGE_VIDEO, &fAnyShadowsEnabled,
      AT(141), AT(80), WIDTH(164), HEIGHT(30) },
    { IDC_POORMAN, "BUTTON", "Low texture filtering and no reflections",
      BS_CHECKBOX | BS_TOP | BS_MULTILINE, 0, PAGE_VIDEO, NULL,
      AT(141), AT(113), WIDTH(164), HEIGHT(30) },

    // Page "General".
    { IDC_STATIC, "BUTTON", "Connection", BS_GROUPBOX, 0, PAGE_GENERAL, NULL,
      AT(8), AT(26), WIDTH(302), HEIGHT(69) },
    { IDC_STATIC, "STATIC", "Host:", SS_LEFT, 0, PAGE_GENERAL, NULL,
      AT(14), AT(46), WIDTH(32), HEIGHT(15) },
    { IDC_HOST, "EDIT", "", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, PAGE_GENERAL, NULL,
      AT(46), AT(44), WIDTH(258), HEIGHT(20) },
    { IDC_STATIC, "STATIC", "Port:", SS_LEFT, 0, PAGE_GENERAL, NULL,
      AT(14), AT(71), WIDTH(32), HEIGHT(15) },
    { IDC_PORT, "EDIT", "", ES_NUMBER | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, PAGE_GENERAL, NULL,
      AT(46), AT(69), WIDTH(40), HEIGHT(20) },
    { IDC_STATIC, "BUTTON", "Ignores", BS_GROUPBOX, 0, PAGE_GENERAL, NULL,
      AT(8), AT(95), WIDTH(152), HEIGHT(57) },
    { IDC_SAVEIGNORES, "BUTTON", "Save ignores", BS_CHECKBOX, 0, PAGE_GENERAL, NULL,
      AT(14), AT(113), WIDTH(140), HEIGHT(15) },
    { IDC_USEGLOBALIGNORES, "BUTTON", "Use global ignores", BS_CHECKBOX, 0, PAGE_GENERAL, NULL,
      AT(14), AT(131), WIDTH(140), HEIGHT(15) },
    { IDC_STATIC, "BUTTON", "Camera rotation speed", BS_GROUPBOX, 0, PAGE_GENERAL, NULL,
      AT(165), AT(95), WIDTH(145), HEIGHT(69) },
    { IDC_STATIC, "STATIC", "Normal:", SS_LEFT, 0, PAGE_GENERAL, NULL,
      AT(171), AT(115), WIDTH(40), HEIGHT(15) },
    { IDC_NORMALROT, "EDIT", "", ES_NUMBER | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, PAGE_GENERAL, NULL,
      AT(211), AT(113), WIDTH(93), HEIGHT(20) },
    { IDC_STATIC, "STATIC", "Fine:", SS_LEFT, 0, PAGE_GENERAL, NULL,
      AT(171), AT(140), WIDTH(40), HEIGHT(15) },
    { IDC_FINEROT, "EDIT", "", ES_NUMBER | ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, PAGE_GENERAL, NULL,
      AT(211), AT(138), WIDTH(93), HEIGHT(20) },
    { IDC_STATIC, "BUTTON", "Prefered internet browser", BS_GROUPBOX, 0, PAGE_GENERAL, NULL,
      AT(8), AT(168), WIDTH(302), HEIGHT(44) },
    { IDC_STATIC, "STATIC", "Path:", SS_LEFT, 0, PAGE_GENERAL, NULL,
      AT(14), AT(188), WIDTH(32), HEIGHT(15) },
    { IDC_BROWSER, "EDIT", "", ES_AUTOHSCROLL, WS_EX_CLIENTEDGE, PAGE_GENERAL, NULL,
      AT(46), AT(186), WIDTH(193), HEIGHT(20) },
    { IDC_BROWSE, "BUTTON", "Browse...", BS_PUSHBUTTON, 0, PAGE_GENERAL, NULL,
      AT(244), AT(186), WIDTH(60), HEIGHT(20) },

    // Page "Audio".
    { IDC_STATIC, "BUTTON", "Sounds", BS_GROUPBOX, 0, PAGE_AUDIO, NULL,
      AT(8), AT(26), WIDTH(212), HEIGHT(57) },
    { IDC_SOUNDS, "BUTTON", "Sounds and music enabled", BS_CHECKBOX, 0, PAGE_AUDIO, NULL,
      AT(14), AT(44), WIDTH(200), HEIGHT(15) },
    // The trade mark sign is the Windows-1252 byte 0x99.
    { IDC_DOLBY, "BUTTON", "Support Dolby\x99 Surround (6-channel)", BS_CHECKBOX, 0, PAGE_AUDIO,
      &fDolbyEnabled,
      AT(14), AT(62), WIDTH(200), HEIGHT(15) },
};

const _VIDEOMODE szVideoModes[VIDEO_MODES] = {
    { "640 x 480 x 16", 1 },
    { "800 x 600 x 16", 3 },
    { "1024 x 768 x 16", 5 },
    { "640 x 480 x 32", 2 },
    { "800 x 600 x 32", 4 },
    { "1024 x 768 x 32", 6 },
};

void Controls_LayoutDpi(INT *pnDpiX, INT *pnDpiY)
{
    _LAYOUTDPI ld;
    LayoutDpi_Begin(&ld, (HFONT)GetStockObject(DEFAULT_GUI_FONT));
    for (int i = 0; i < MAIN_CONTROLS; i++)
        LayoutDpi_AddText(&ld, adiMain[i].szText);
    for (int i = 0; i < VIDEO_MODES; i++)
        LayoutDpi_AddText(&ld, szVideoModes[i].szCaption);
    LayoutDpi_End(&ld);
    *pnDpiX = ld.nDpiX;
    *pnDpiY = ld.nDpiY;
}
