// Main: program start and the main window. WinMain resolves qw.ini in the
// working directory, creates the one fixed-size window centred on the screen and
// runs the message loop; MainWindowProc hands every message to its own handler.
#include "Main.h"

#include <commctrl.h>

#include "Controls.h"
#include "DlgItemsControl.h"
#include "Settings.h"

HINSTANCE g_hInstance;
HWND g_hwndMain;
char szIniFile[MAX_PATH];

static const char szShort[] = "qw.ini";
static const char szClassName[] = "MAIN";
static const char szTitle[] = "Quarrow Configuration";

// The creator of the window's child controls; lives from WM_CREATE to WM_CLOSE.
static DlgItemsControl *p_dicMain;

// Tab captions, by tab index (the index of the page's entry in fTab).
static char aszTabs[TAB_PAGES][8] = { "General", "Video", "Audio" };

// Fills the class record of the main window, except instance and small icon.
static void InitWindowClass(WNDCLASSEXA *pwcx)
{
    ZeroMemory(pwcx, sizeof(*pwcx));
    pwcx->cbSize = sizeof(*pwcx);
    pwcx->style = CS_OWNDC;
    pwcx->lpfnWndProc = MainWindowProc;
    pwcx->hCursor = LoadCursorA(NULL, IDC_ARROW);
    pwcx->hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
    pwcx->lpszClassName = szClassName;
}

// Shows the controls of the page whose tab is selected and hides the others.
static void ShowSelectedPage(HWND hwnd)
{
    for (int i = 0; i < TAB_PAGES; i++)
        fTab[i] = 0;
    // -1 (no tab selected) must not index fTab: then no page is shown.
    LRESULT nSel = SendMessageA(GetDlgItem(hwnd, IDC_TAB), TCM_GETCURSEL, 0, 0);
    if (nSel >= 0 && nSel < TAB_PAGES)
        fTab[nSel] = 1;
    p_dicMain->update();
}

// WM_CREATE: creates the controls, the tabs and the video mode list, loads the
// settings and shows the page "General".
static LRESULT OnCreate(HWND hwnd)
{
    static TCITEMA tie;

    InitCommonControls();
    p_dicMain = new DlgItemsControl(hwnd, NULL, MAIN_CONTROLS);
    for (int i = 0; i < MAIN_CONTROLS; i++)
        p_dicMain->addItem(&adiMain[i]);

    HWND hwndTab = GetDlgItem(hwnd, IDC_TAB);
    tie.mask = TCIF_TEXT;
    tie.iImage = -1;
    tie.lParam = 0;
    for (int i = 0; i < TAB_PAGES; i++) {
        tie.pszText = aszTabs[i];
        tie.cchTextMax = lstrlenA(aszTabs[i]);
        SendMessageA(hwndTab, TCM_INSERTITEMA, (WPARAM)i, (LPARAM)&tie);
    }
    fTab[0] = 1;

    p_dicMain->sendMessage(WM_SETFONT, (WPARAM)GetStockObject(DEFAULT_GUI_FONT), 1);

    HWND hwndList = GetDlgItem(hwnd, IDC_VIDEOMODE);
    for (int i = 0; i < VIDEO_MODES; i++)
        SendMessageA(hwndList, LB_ADDSTRING, 0, (LPARAM)szVideoModes[i].szCaption);

    Settings_Load(hwnd, hwndList);
    Settings_Refresh(hwnd, p_dicMain);
    return 0;
}

// WM_CLOSE: releases the controller and destroys the window, saving nothing.
static LRESULT OnClose(HWND hwnd)
{
    if (p_dicMain != NULL) {
        delete p_dicMain;
        p_dicMain = NULL;
    }
    DestroyWindow(hwnd);
    return 0;
}

// WM_DESTROY: ends the message loop.
static LRESULT OnDestroy()
{
    PostQuitMessage(0);
    return 0;
}

// WM_PAINT: validates the window; the class brush paints the background.
static LRESULT OnPaint(HWND hwnd)
{
    PAINTSTRUCT ps;
    HDC hdc = BeginPaint(hwnd, &ps);
    SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    EndPaint(hwnd, &ps);
    return 0;
}

// WM_NOTIFY: switches the page when the tab control's selection changed.
static LRESULT OnNotify(HWND hwnd, const NMHDR *pnmh)
{
    if (pnmh->idFrom != IDC_TAB || pnmh->code != TCN_SELCHANGE)
        return 0;
    SetFocus(hwnd);
    ShowSelectedPage(hwnd);
    return 0;
}

// WM_COMMAND: buttons, check boxes, fields and the list, by control identifier.
static LRESULT OnCommand(HWND hwnd, WPARAM wParam)
{
    Settings_OnCommand(hwnd, p_dicMain, LOWORD(wParam), HIWORD(wParam));
    return 0;
}

// WM_LBUTTONDOWN: a click on the empty client area takes the focus from any control.
static LRESULT OnLButtonDown(HWND hwnd)
{
    SetFocus(hwnd);
    return 0;
}

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    switch (uMsg) {
    case WM_CREATE:
        return OnCreate(hwnd);
    case WM_DESTROY:
        return OnDestroy();
    case WM_PAINT:
        return OnPaint(hwnd);
    case WM_CLOSE:
        return OnClose(hwnd);
    case WM_NOTIFY:
        return OnNotify(hwnd, (const NMHDR *)lParam);
    case WM_COMMAND:
        return OnCommand(hwnd, wParam);
    case WM_LBUTTONDOWN:
        return OnLButtonDown(hwnd);
    default:
        return DefWindowProcA(hwnd, uMsg, wParam, lParam);
    }
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    static WNDCLASSEXA wcx;
    static MSG msg;

    if (wcx.cbSize == 0)
        InitWindowClass(&wcx);
    g_hInstance = hInstance;

    // Resolved against the working directory: the game's folder, for a player.
    char *pszFilePart;
    GetFullPathNameA(szShort, MAX_PATH, szIniFile, &pszFilePart);

    wcx.hInstance = g_hInstance;
    wcx.hIconSm = LoadIconA(hInstance, "A");
    RegisterClassExA(&wcx);

    int x = (GetSystemMetrics(SM_CXSCREEN) - MAIN_WIDTH) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - MAIN_HEIGHT) / 2;
    g_hwndMain = CreateWindowExA(WS_EX_WINDOWEDGE, szClassName, szTitle,
                                 WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                                 x, y, MAIN_WIDTH, MAIN_HEIGHT, NULL, NULL, g_hInstance, NULL);
    if (g_hwndMain == NULL)
        return 0;

    // No dialog manager and no accelerators: Tab and Enter do nothing special.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}
