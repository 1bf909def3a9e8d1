// Main: program start and the main window. WinMain keeps later DLL loads to
// the system folder, loads the common controls from there, resolves qw.ini in
// the working directory and reads it once, creates the one fixed-size window
// centred on the screen and runs the message loop; MainWindowProc hands every
// message to its own handler. When qw.ini cannot be named or read, the program
// says why and ends with exit code 1 before any window shows: it never offers
// defaults that "Okay" would write over the player's settings.
#include "Main.h"

#include <commctrl.h>
#include <string.h>
#include <wchar.h>

#include "Controls.h"
#include "DlgItemsControl.h"
#include "IniFiles.h"
#include "LayoutDpi.h"
#include "MessageBoxes.h"
#include "Settings.h"

HINSTANCE g_hInstance;
HWND g_hwndMain;
char szIniFile[INI_PATH_SIZE];
char szIniFileShown[INI_SHOWN_SIZE];

static const WCHAR wszShort[] = L"qw.ini";
static const char szClassName[] = "MAIN";
static const char szTitle[] = "Quarrow Configuration";

// The creator of the window's child controls; lives from WM_CREATE to
// WM_DESTROY. Handlers of messages that arrive later find it null.
static DlgItemsControl *p_dicMain;

// How many WM_COMMAND handlers run at the moment: one of them may wait in a
// message box or the file dialog, and more may run inside it.
static int nCommandsRunning;

// A WM_CLOSE that arrived while a WM_COMMAND handler ran; the window closes
// when the outermost handler returns.
static bool fCloseWaiting;

// The DPI that the window's client area and controls are scaled to from their
// 96-DPI pixels; found before the window is created.
static INT nLayoutDpiX = LAYOUT_BASE_DPI;
static INT nLayoutDpiY = LAYOUT_BASE_DPI;

// The common controls library, loaded from the system folder by WinMain.
static const char szComctl32[] = "comctl32.dll";
static const WCHAR wszComctl32[] = L"comctl32.dll";

// Functions looked up at run time: SetDefaultDllDirectories is missing on
// Windows before 8 without its update, InitCommonControls comes from comctl32.
typedef BOOL(WINAPI *PFN_SETDEFAULTDLLDIRECTORIES)(DWORD);
typedef BOOL(WINAPI *PFN_SETDLLDIRECTORYW)(LPCWSTR);
typedef void(WINAPI *PFN_INITCOMMONCONTROLS)(void);
// SetProcessDPIAware is missing before Vista.
typedef BOOL(WINAPI *PFN_SETPROCESSDPIAWARE)(void);

// Tab captions, by tab index (the index of the page's entry in fTab).
static char aszTabs[TAB_PAGES][8] = { "General", "Video", "Audio" };

// Exit code of a start that could not use qw.ini or could not load the
// common controls: no window showed.
#define EXIT_NO_START 1

// A folder name longer than this is shown in a message with its middle left out.
#define FOLDER_SHOWN 96

// The start and the end of every "folder too long" message; the reason why
// no shorter name could stand in for the folder goes between them.
#define TOO_LONG_START \
    "The editor cannot use the settings file qw.ini in the folder\n%s\n" \
    "because the folder's path is too long: the full path of qw.ini must be " \
    "shorter than 260 characters (letters, digits and signs alike), "
#define TOO_LONG_END \
    "\n\nMove the game to a folder with a shorter path, then start the editor " \
    "there again. Nothing has been changed."

static const char szTooLongNoShort[] =
    TOO_LONG_START "and the disk keeps no shorter name (8.3 name) for the folder." TOO_LONG_END;

static const char szTooLongShortToo[] =
    TOO_LONG_START "and even the shorter name (8.3 name) that the disk keeps for the folder "
    "is too long." TOO_LONG_END;

static const char szTooLongNotListed[] =
    TOO_LONG_START "and the shorter name (8.3 name) that the disk may keep for the folder "
    "cannot be found: your user account may not list the contents of one of the "
    "folders on its path." TOO_LONG_END;

static const char szFolderNotText[] =
    "The editor cannot use the settings file qw.ini in the folder\n%s\n"
    "because the folder's name holds a damaged character (half of a character "
    "that takes two, shown above as a replacement sign), which no program can "
    "pass on as text.\n\n"
    "Rename the folder, then start the editor there again. Nothing has been "
    "changed.";

static const char szNoControls[] =
    "The editor cannot start: the system's common controls (%s) could not be "
    "loaded from the system folder.\n\n"
    "Repair the Windows installation, then start the editor again. Nothing has "
    "been changed.";

static const char szFileLocked[] =
    "The settings file\n%s\nis held open by another program, so the editor "
    "cannot read it.\n\n"
    "Close the game or the program that holds the file (a backup or virus "
    "checker, for example), then start the editor again. Your settings have not "
    "been changed.";

static const char szFileDenied[] =
    "The settings file\n%s\ncannot be read: your user account has no permission "
    "to read it.\n\n"
    "Give your account permission to read and write the file, or ask whoever "
    "manages this computer to do so, then start the editor again. Your settings "
    "have not been changed.";

static const char szNotAFile[] =
    "%s\nis not a settings file but a folder, a device or another kind of entry, "
    "so the editor cannot read the settings from it.\n\n"
    "Rename it or move it elsewhere, then start the editor again: it will show "
    "the default settings and create the file on \"Okay\".";

static const char szFileFailed[] =
    "The settings file\n%s\ncould not be read (a disk error, or too little "
    "memory).\n\n"
    "Check the disk and close other programs, then start the editor again. Your "
    "settings have not been changed.";

static const char szFileNotRestored[] =
    "The settings file\n%s\nis missing: a save of the editor was cut off, and the "
    "copy of your settings that it left beside the file (named like "
    "qw.ini.qwconfig-1234-5.bak) could not be put back, perhaps because another "
    "program holds it.\n\n"
    "Close the game and any program that may use the folder (a backup or virus "
    "checker, for example), then start the editor again; or rename that copy to "
    "qw.ini yourself. Nothing has been changed.";

static const char szBackupLeft[] =
    "Beside the settings file\n%%s\nlies the file %s: a copy of your settings that "
    "a save of the editor set aside (one cut off by a crash or a power cut, or "
    "one that another program's file met at the same moment). qw.ini has been "
    "made again since, perhaps by the game with its default settings, and the "
    "editor shows what qw.ini holds now.\n\n"
    "To go back to the copy, close the editor and the game, delete qw.ini and "
    "rename the copy to qw.ini. When you no longer need the copy, delete it; "
    "this message then no longer appears.";

static const char szBackupLeftMissing[] =
    "The settings file\n%%s\nis missing, and beside it lies the file %s: a copy of "
    "your settings that a save of the editor set aside. The editor did not put it "
    "back by itself, because it cannot tell whether that copy is older than the "
    "file that was deleted; it shows the default settings.\n\n"
    "To go back to the copy, close the editor and rename the copy to qw.ini. "
    "When you no longer need the copy, delete it; this message then no longer "
    "appears.";

static const char szBackupRestored[] =
    "The settings file\n%%s\nwas missing: a save of the editor had been cut off (by "
    "a crash or a power cut, for example) while it replaced the file. The editor "
    "has put back the copy of your settings from before that save, which was "
    "named %s, and shows it.";

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
// settings from qw.ini as WinMain read it (the creation parameter) and shows
// the page "General".
static LRESULT OnCreate(HWND hwnd, const CREATESTRUCTA *pcs)
{
    static TCITEMA tie;

    p_dicMain = new DlgItemsControl(hwnd, NULL, MAIN_CONTROLS);
    p_dicMain->setDpi(nLayoutDpiX, nLayoutDpiY);
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

    Settings_Load(hwnd, hwndList, (const _INISNAPSHOT *)pcs->lpCreateParams);
    Settings_Refresh(hwnd, p_dicMain);
    return 0;
}

// WM_CLOSE: destroys the window, saving nothing. While a WM_COMMAND handler
// runs (a box or the file dialog may be open over the window), the close waits
// until it returns, so that nothing it still uses goes away under it.
static LRESULT OnClose(HWND hwnd)
{
    if (nCommandsRunning > 0) {
        fCloseWaiting = true;
        return 0;
    }
    DestroyWindow(hwnd);
    return 0;
}

// WM_DESTROY: releases the controller and ends the message loop. The controls
// still send notifications while they go (an edit field that loses the
// focus), and their handlers find no controller.
static LRESULT OnDestroy()
{
    delete p_dicMain;
    p_dicMain = NULL;
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
    if (p_dicMain == NULL)
        return 0;
    if (pnmh->idFrom != IDC_TAB || pnmh->code != TCN_SELCHANGE)
        return 0;
    SetFocus(hwnd);
    ShowSelectedPage(hwnd);
    return 0;
}

// WM_COMMAND: buttons, check boxes, fields and the list, by control
// identifier; nothing once the window is being destroyed. A close asked for
// while the handler ran ("Okay", "Cancel", or a WM_CLOSE from outside while a
// box was open) happens when it has returned.
static LRESULT OnCommand(HWND hwnd, WPARAM wParam)
{
    if (p_dicMain == NULL)
        return 0;
    nCommandsRunning++;
    Settings_OnCommand(hwnd, p_dicMain, LOWORD(wParam), HIWORD(wParam));
    nCommandsRunning--;
    if (nCommandsRunning == 0 && fCloseWaiting) {
        fCloseWaiting = false;
        DestroyWindow(hwnd);
    }
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
        return OnCreate(hwnd, (const CREATESTRUCTA *)lParam);
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

// Length of a path without a trailing backslash (which only a root has).
static int WithoutEndingSlash(const WCHAR *pwsz, int cch)
{
    return cch > 0 && pwsz[cch - 1] == L'\\' ? cch - 1 : cch;
}

// Shows an "Error" box whose format names the working directory as the
// player sees it; a long name is shown with its middle left out.
static void ReportFolder(const char *pszFormat)
{
    WCHAR wszFolder[MAX_PATH], wszShown[FOLDER_SHOWN + 4];
    int cch = (int)GetCurrentDirectoryW(MAX_PATH, wszFolder);
    if (cch <= 0 || cch >= MAX_PATH)
        cch = 0;
    if (cch > FOLDER_SHOWN) {
        // The start and the end of the name tell the player the most; neither
        // piece may split a character that takes two UTF-16 units.
        int cchStart = FOLDER_SHOWN / 3, cchEnd = FOLDER_SHOWN - FOLDER_SHOWN / 3;
        if (IS_HIGH_SURROGATE(wszFolder[cchStart - 1]))
            cchStart--;
        if (IS_LOW_SURROGATE(wszFolder[cch - cchEnd]))
            cchEnd--;
        memcpy(wszShown, wszFolder, (size_t)cchStart * sizeof(WCHAR));
        memcpy(wszShown + cchStart, L"...", 3 * sizeof(WCHAR));
        memcpy(wszShown + cchStart + 3, wszFolder + cch - cchEnd, (size_t)cchEnd * sizeof(WCHAR));
        cch = cchStart + 3 + cchEnd;
    } else {
        memcpy(wszShown, wszFolder, (size_t)cch * sizeof(WCHAR));
    }
    // A UTF-16 unit takes at most three bytes in UTF-8.
    char szShown[3 * (FOLDER_SHOWN + 4)];
    int cb = WideCharToMultiByte(CP_UTF8, 0, wszShown, cch, szShown, (int)sizeof(szShown) - 1,
                                 NULL, NULL);
    szShown[cb > 0 ? cb : 0] = '\0';
    DisplayMessageBoxPath(NULL, MSGBOX_ERROR, pszFormat, szShown);
}

// Puts the wide path into szIniFile as UTF-8, the form the file module takes;
// false when it does not convert back to the same path (a name with half of a
// surrogate pair, which Windows allows and no text form carries).
static bool SetIniFile(const WCHAR *pwszPath)
{
    WCHAR wszBack[MAX_PATH];
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwszPath, -1, szIniFile, INI_PATH_SIZE, NULL, NULL);
    int cchBack = cb > 0 ? MultiByteToWideChar(CP_UTF8, 0, szIniFile, -1, wszBack, MAX_PATH) : 0;
    if (cchBack <= 0 || wcscmp(wszBack, pwszPath) != 0) {
        szIniFile[0] = '\0';
        return false;
    }
    return true;
}

// For a working directory whose qw.ini has a path too long to use: the path
// of qw.ini through the short name of the folder, into pwszPath (MAX_PATH
// characters). NULL when that works, else the message that says why not.
static const char *ShortIniPath(WCHAR *pwszPath)
{
    WCHAR wszFolder[MAX_PATH];
    DWORD cchFolder = GetCurrentDirectoryW(MAX_PATH, wszFolder);
    if (cchFolder == 0 || cchFolder >= MAX_PATH)
        return szTooLongNoShort;
    DWORD cchShort = GetShortPathNameW(wszFolder, pwszPath, MAX_PATH);
    if (cchShort == 0)
        return GetLastError() == ERROR_ACCESS_DENIED ? szTooLongNotListed : szTooLongNoShort;
    int cch = cchShort < MAX_PATH ? WithoutEndingSlash(pwszPath, (int)cchShort) : MAX_PATH;
    // The folder, a backslash, "qw.ini" and the terminator must fit.
    if (cch + 1 + (int)(sizeof(wszShort) / sizeof(WCHAR)) > MAX_PATH)
        return cchShort < cchFolder ? szTooLongShortToo : szTooLongNoShort;
    pwszPath[cch] = L'\\';
    memcpy(pwszPath + cch + 1, wszShort, sizeof(wszShort));
    return NULL;
}

// Fills szIniFileShown with the full path of qw.ini by the folder's own name,
// in UTF-8, as the player knows it even where szIniFile takes the short name;
// szIniFile itself when that cannot be had.
static void SetIniFileShown()
{
    WCHAR wszShown[INI_SHOWN_SIZE / 3];
    DWORD cch = GetFullPathNameW(wszShort, INI_SHOWN_SIZE / 3, wszShown, NULL);
    int cb = cch > 0 && cch < INI_SHOWN_SIZE / 3
                 ? WideCharToMultiByte(CP_UTF8, 0, wszShown, -1, szIniFileShown, INI_SHOWN_SIZE,
                                       NULL, NULL)
                 : 0;
    if (cb <= 0)
        memcpy(szIniFileShown, szIniFile, strlen(szIniFile) + 1);
}

// Fills szIniFile with the full path of qw.ini in the working directory, in
// UTF-8: the folder's own name, whatever its characters; only a path too long
// to use goes through the folder's short name. False, after telling the
// player why, when neither gives a path that the file module can use.
static bool ResolveIniFile()
{
    // Resolved against the working directory: the game's folder, for a player.
    WCHAR wszPath[MAX_PATH];
    WCHAR *pwszFilePart = NULL;
    DWORD cchPath = GetFullPathNameW(wszShort, MAX_PATH, wszPath, &pwszFilePart);
    if (cchPath == 0 || cchPath >= MAX_PATH) {
        const char *pszWhy = ShortIniPath(wszPath);
        if (pszWhy != NULL) {
            szIniFile[0] = '\0';
            ReportFolder(pszWhy);
            return false;
        }
    }
    if (!SetIniFile(wszPath)) {
        ReportFolder(szFolderNotText);
        return false;
    }
    SetIniFileShown();
    return true;
}

// The message for a qw.ini that exists but cannot be read, by INIFILE_ result.
static const char *UnreadableMessage(int nResult)
{
    switch (nResult) {
    case INIFILE_LOCKED:
        return szFileLocked;
    case INIFILE_DENIED:
        return szFileDenied;
    case INIFILE_NOT_FILE:
        return szNotAFile;
    case INIFILE_NOT_RESTORED:
        return szFileNotRestored;
    default:
        return szFileFailed;
    }
}

// Reads qw.ini once, for the window to load from: an empty snapshot when there
// is no file yet. NULL, after telling the player, when the file exists but
// cannot be read, or is missing and its copy cannot be put back. A copy that
// the read put back, and one that a save set aside, are named to the player.
static _INISNAPSHOT *ReadIniFile()
{
    int nResult = INIFILE_FAILED;
    char szBackup[MAX_PATH], szFormat[1024];
    const char *pszText = NULL;
    int nKind = MSGBOX_WARNING;
    _INISNAPSHOT *pSnapshot = IniFile_ReadSnapshot(szIniFile, &nResult);
    if (pSnapshot == NULL)
        DisplayMessageBoxPath(NULL, MSGBOX_ERROR, UnreadableMessage(nResult), szIniFileShown);
    else if (IniFile_SnapshotRestored(pSnapshot, szBackup, sizeof(szBackup))) {
        pszText = szBackupRestored;
        nKind = MSGBOX_INFORMATION;
    } else if (IniFile_FindLeftBackup(szIniFile, szBackup, sizeof(szBackup)))
        pszText = nResult == INIFILE_OK ? szBackupLeft : szBackupLeftMissing;
    if (pszText) {
        // The copy's name (ASCII) goes into the text first; the path takes
        // the box's own slot. wsprintfA writes at most 1024 bytes.
        wsprintfA(szFormat, pszText, szBackup);
        DisplayMessageBoxPath(NULL, nKind, szFormat, szIniFileShown);
    }
    return pSnapshot;
}

// Creates the main window centred on the screen, with the outer size that
// gives the client area the control table is laid out for, scaled for the
// screen's DPI and font, under the frame and caption of the current visual
// style; its WM_CREATE loads the settings from pSnapshot. NULL when it could
// not be created.
static HWND CreateMainWindow(const _INISNAPSHOT *pSnapshot)
{
    const DWORD dwStyle = WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
    const DWORD dwExStyle = WS_EX_WINDOWEDGE;
    Controls_LayoutDpi(&nLayoutDpiX, &nLayoutDpiY);
    RECT rc = { 0, 0, LayoutDpi_Scale(MAIN_CLIENT_WIDTH, nLayoutDpiX),
                LayoutDpi_Scale(MAIN_CLIENT_HEIGHT, nLayoutDpiY) };
    if (!AdjustWindowRectEx(&rc, dwStyle, FALSE, dwExStyle))
        SetRect(&rc, 0, 0, LayoutDpi_Scale(MAIN_WIDTH, nLayoutDpiX),
                LayoutDpi_Scale(MAIN_HEIGHT, nLayoutDpiY));
    int cx = rc.right - rc.left;
    int cy = rc.bottom - rc.top;
    int x = (GetSystemMetrics(SM_CXSCREEN) - cx) / 2;
    int y = (GetSystemMetrics(SM_CYSCREEN) - cy) / 2;
    return CreateWindowExA(dwExStyle, szClassName, szTitle, dwStyle, x, y, cx, cy, NULL, NULL,
                           g_hInstance, (LPVOID)pSnapshot);
}

// Dispatches the thread's messages until the quit message.
static void RunMessageLoop()
{
    static MSG msg;

    // No dialog manager and no accelerators: Tab and Enter do nothing special.
    while (GetMessageA(&msg, NULL, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

// True once SetDefaultDllDirectories has kept every later DLL load to the
// system folder (Windows 8, and Vista and 7 with their loader update).
static bool fDllsFromSystemFolder;

// Looks up a function that older Windows lacks in one of the system DLLs
// the program imports; NULL there.
static FARPROC SystemFunction(const char *pszModule, const char *pszName)
{
    HMODULE hModule = GetModuleHandleA(pszModule);
    return hModule != NULL ? GetProcAddress(hModule, pszName) : NULL;
}

// Keeps every DLL loaded from now on to the system folder where Windows knows
// how, and takes the working directory out of the search where Windows can
// (XP SP1 and later): after "Browse..." it is the browser's folder.
static void KeepDllsToSystemFolder()
{
    // Through void (*)(void), which converts to any function pointer unwarned.
    PFN_SETDEFAULTDLLDIRECTORIES pfnSetDefaultDllDirectories =
        (PFN_SETDEFAULTDLLDIRECTORIES)(void (*)(void))SystemFunction("kernel32.dll",
                                                                     "SetDefaultDllDirectories");
    fDllsFromSystemFolder = pfnSetDefaultDllDirectories != NULL &&
                            pfnSetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
    PFN_SETDLLDIRECTORYW pfnSetDllDirectoryW =
        (PFN_SETDLLDIRECTORYW)(void (*)(void))SystemFunction("kernel32.dll", "SetDllDirectoryW");
    if (pfnSetDllDirectoryW != NULL)
        pfnSetDllDirectoryW(L"");
}

// Tells Windows (Vista and later) that the window lays itself out for the
// system's DPI, so that it is drawn sharp instead of stretched as a bitmap.
// XP lacks the call and stretches nothing.
static void DeclareDpiAware()
{
    PFN_SETPROCESSDPIAWARE pfnSetProcessDPIAware =
        (PFN_SETPROCESSDPIAWARE)(void (*)(void))SystemFunction("user32.dll", "SetProcessDPIAware");
    if (pfnSetProcessDPIAware != NULL)
        pfnSetProcessDPIAware();
}

// Loads comctl32 from the system folder, never from the program's folder or
// the working directory: with the search flag where SetDefaultDllDirectories
// showed that Windows knows it (older Windows may ignore an unknown flag and
// search as usual), else by its full path. NULL when that fails.
static HMODULE LoadSystemComctl32()
{
    if (fDllsFromSystemFolder)
        return LoadLibraryExW(wszComctl32, NULL, LOAD_LIBRARY_SEARCH_SYSTEM32);
    WCHAR wszPath[MAX_PATH];
    const int cchName = (int)(sizeof(wszComctl32) / sizeof(WCHAR));
    UINT cchFolder = GetSystemDirectoryW(wszPath, MAX_PATH);
    // The folder, a backslash and the name with its terminator must fit.
    if (cchFolder == 0 || (int)cchFolder + 1 + cchName > MAX_PATH)
        return NULL;
    wszPath[cchFolder] = L'\\';
    memcpy(wszPath + cchFolder + 1, wszComctl32, sizeof(wszComctl32));
    return LoadLibraryExW(wszPath, NULL, LOAD_WITH_ALTERED_SEARCH_PATH);
}

// Loads the common controls (the tab control's class) for the window; false,
// after telling the player, when they cannot be had. The library stays loaded
// for the life of the program.
static bool StartCommonControls()
{
    HMODULE hComctl = LoadSystemComctl32();
    PFN_INITCOMMONCONTROLS pfnInitCommonControls =
        hComctl == NULL ? NULL
                        : (PFN_INITCOMMONCONTROLS)(void (*)(void))GetProcAddress(
                              hComctl, "InitCommonControls");
    if (pfnInitCommonControls == NULL) {
        DisplayMessageBoxF(NULL, MSGBOX_ERROR, szNoControls, szComctl32);
        return false;
    }
    pfnInitCommonControls();
    return true;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int)
{
    static WNDCLASSEXA wcx;

    KeepDllsToSystemFolder();
    DeclareDpiAware();
    if (wcx.cbSize == 0)
        InitWindowClass(&wcx);
    g_hInstance = hInstance;

    if (!StartCommonControls())
        return EXIT_NO_START;
    if (!ResolveIniFile())
        return EXIT_NO_START;
    _INISNAPSHOT *pSnapshot = ReadIniFile();
    if (pSnapshot == NULL)
        return EXIT_NO_START;

    wcx.hInstance = g_hInstance;
    wcx.hIconSm = LoadIconA(hInstance, "A");
    RegisterClassExA(&wcx);

    g_hwndMain = CreateMainWindow(pSnapshot);
    IniFile_FreeSnapshot(pSnapshot);
    if (g_hwndMain == NULL)
        return 0;
    RunMessageLoop();
    return 0;
}
