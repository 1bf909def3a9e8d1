// qwpeek: looks at the running editor from outside, as a second process, so
// that the player tests can check what a player sees and find where to click.
//
//   qwpeek          the main window, its tabs, its controls and the list
//   qwpeek dialogs  the editor's open dialogs (question boxes, file dialog),
//                   also those it shows before its main window exists
//   qwpeek fit      the main window as above, the screen's DPI, and how much
//                   of the text of every shown control and list entry shows
//
// One line per thing, fields separated by tabs, positions in screen pixels.
// Texts are printed with "\n" for a line feed and "\xNN" for other bytes
// outside 0x20-0x7E, and a backslash as "\\". Exit code 0 when the main window
// (or, for "dialogs", the editor's process) is there, 2 when it is not.
#include <windows.h>
#include <commctrl.h>
#include <tlhelp32.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string.h>

// Prints a text in the escaped form described above.
static void PrintText(const char *pszText)
{
    for (const unsigned char *p = (const unsigned char *)pszText; *p; p++) {
        if (*p == '\\')
            fputs("\\\\", stdout);
        else if (*p == '\n')
            fputs("\\n", stdout);
        else if (*p < 0x20 || *p > 0x7E)
            printf("\\x%02X", *p);
        else
            putchar(*p);
    }
}

// Prints a rectangle as x, y, width, height.
static void PrintRect(const RECT *prc)
{
    printf("\t%ld\t%ld\t%ld\t%ld", (long)prc->left, (long)prc->top, (long)(prc->right - prc->left),
           (long)(prc->bottom - prc->top));
}

// Prints one control: identifier, class, shown, enabled, check state, place, text.
static BOOL CALLBACK PrintControlProc(HWND hwnd, LPARAM lParam)
{
    (void)lParam;
    char szClass[64] = "";
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    // Another process's window text comes only through WM_GETTEXT.
    char szText[1024] = "";
    SendMessageA(hwnd, WM_GETTEXT, sizeof(szText), (LPARAM)szText);
    LONG lStyle = GetWindowLongA(hwnd, GWL_STYLE);
    LRESULT nCheck = -1;
    if (lstrcmpiA(szClass, "Button") == 0) {
        LONG lType = lStyle & BS_TYPEMASK;
        if (lType == BS_CHECKBOX || lType == BS_AUTOCHECKBOX || lType == BS_3STATE ||
            lType == BS_AUTO3STATE || lType == BS_RADIOBUTTON || lType == BS_AUTORADIOBUTTON)
            nCheck = SendMessageA(hwnd, BM_GETCHECK, 0, 0);
    }
    RECT rc;
    GetWindowRect(hwnd, &rc);
    printf("control\t%d\t%s\t%d\t%d\t%d", GetDlgCtrlID(hwnd), szClass, IsWindowVisible(hwnd) ? 1 : 0,
           IsWindowEnabled(hwnd) ? 1 : 0, (int)nCheck);
    PrintRect(&rc);
    putchar('\t');
    PrintText(szText);
    putchar('\n');
    return TRUE;
}

// Prints the screen rectangle of every tab; the rectangle comes back through
// memory of the editor's process, since the message carries a pointer.
static void PrintTabs(HWND hwndTab)
{
    LRESULT nTabs = SendMessageA(hwndTab, TCM_GETITEMCOUNT, 0, 0);
    printf("tabsel\t%d\n", (int)SendMessageA(hwndTab, TCM_GETCURSEL, 0, 0));
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hwndTab, &dwPid);
    HANDLE hProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, dwPid);
    if (hProcess == NULL)
        return;
    void *pRemote = VirtualAllocEx(hProcess, NULL, sizeof(RECT), MEM_COMMIT, PAGE_READWRITE);
    for (LRESULT i = 0; pRemote != NULL && i < nTabs; i++) {
        RECT rc;
        SIZE_T cbRead = 0;
        if (!SendMessageA(hwndTab, TCM_GETITEMRECT, (WPARAM)i, (LPARAM)pRemote) ||
            !ReadProcessMemory(hProcess, pRemote, &rc, sizeof(rc), &cbRead))
            continue;
        MapWindowPoints(hwndTab, NULL, (POINT *)&rc, 2);
        printf("tab\t%d", (int)i);
        PrintRect(&rc);
        putchar('\n');
    }
    if (pRemote != NULL)
        VirtualFreeEx(hProcess, pRemote, 0, MEM_RELEASE);
    CloseHandle(hProcess);
}

// Copies entry i of another process's list into szItem (256 bytes). The ANSI
// text comes back cut across processes: it is asked for in Unicode.
static void GetListEntry(HWND hwndList, LRESULT i, char szItem[256])
{
    WCHAR wszItem[256] = L"";
    szItem[0] = '\0';
    if (SendMessageW(hwndList, LB_GETTEXTLEN, (WPARAM)i, 0) < 255)
        SendMessageW(hwndList, LB_GETTEXT, (WPARAM)i, (LPARAM)wszItem);
    WideCharToMultiByte(CP_ACP, 0, wszItem, -1, szItem, 256, NULL, NULL);
}

// Prints the list's selection and every entry with its screen rectangle.
static void PrintList(HWND hwndList)
{
    printf("listsel\t%d\n", (int)SendMessageA(hwndList, LB_GETCURSEL, 0, 0));
    LRESULT nItems = SendMessageA(hwndList, LB_GETCOUNT, 0, 0);
    LRESULT nTop = SendMessageA(hwndList, LB_GETTOPINDEX, 0, 0);
    LRESULT nHeight = SendMessageA(hwndList, LB_GETITEMHEIGHT, 0, 0);
    RECT rcClient;
    GetClientRect(hwndList, &rcClient);
    MapWindowPoints(hwndList, NULL, (POINT *)&rcClient, 2);
    for (LRESULT i = 0; i < nItems; i++) {
        char szItem[256];
        GetListEntry(hwndList, i, szItem);
        RECT rc = rcClient;
        rc.top = rcClient.top + (LONG)((i - nTop) * nHeight);
        rc.bottom = rc.top + (LONG)nHeight;
        printf("item\t%d", (int)i);
        PrintRect(&rc);
        putchar('\t');
        PrintText(szItem);
        putchar('\n');
    }
}

// How many leading characters of pszText a box of cx x cy pixels shows when
// they are drawn with uFormat: the longest start that fits whole.
static int CharsShown(HDC hdc, const char *pszText, int cx, int cy, UINT uFormat)
{
    int cch = lstrlenA(pszText), n;
    for (n = 0; n < cch; n++) {
        RECT rc = { 0, 0, cx, cy };
        DrawTextA(hdc, pszText, n + 1, &rc, uFormat | DT_CALCRECT);
        if (rc.right - rc.left > cx || rc.bottom - rc.top > cy)
            break;
    }
    return n;
}

// The box in which a control draws its text, as the classic controls of
// Windows and Wine lay it out in the client area, and how they break lines.
// False for a control without text of its own.
static bool TextBox(HWND hwnd, const char *pszClass, HDC hdc, int *pcx, int *pcy, UINT *puFormat)
{
    RECT rc;
    GetClientRect(hwnd, &rc);
    LONG lStyle = GetWindowLongA(hwnd, GWL_STYLE);
    *pcx = rc.right;
    *pcy = rc.bottom;
    *puFormat = DT_SINGLELINE;
    if (lstrcmpiA(pszClass, "Button") == 0) {
        LONG lType = lStyle & BS_TYPEMASK;
        if (lType == BS_GROUPBOX) {
            *pcx -= 7 + 7 + 1;      // the frame's insets; the label moves 1 right
        } else if (lType == BS_PUSHBUTTON || lType == BS_DEFPUSHBUTTON) {
            *pcx -= 4;              // the raised frame on both sides
            *pcy -= 4;
        } else {
            // The check box, half a digit's width, and the label's 1-pixel shift.
            INT cxDigit = 0;
            GetCharWidth32A(hdc, '0', '0', &cxDigit);
            *pcx -= 12 * GetDeviceCaps(hdc, LOGPIXELSX) / 96 + 1 + cxDigit / 2 + 1;
            if (lStyle & BS_MULTILINE) {
                *puFormat = DT_WORDBREAK;
                *pcy -= 1;          // top-aligned, 1 pixel down
            }
        }
        return true;
    }
    if (lstrcmpiA(pszClass, "Static") == 0) {
        *puFormat = DT_WORDBREAK;
        return true;
    }
    if (lstrcmpiA(pszClass, "Edit") == 0) {
        LRESULT lMargins = SendMessageA(hwnd, EM_GETMARGINS, 0, 0);
        *pcx -= LOWORD(lMargins) + HIWORD(lMargins);
        return true;
    }
    return false;
}

// Prints one fit line: control identifier, class, characters shown, length, text.
static void PrintFit(int nID, const char *pszClass, int nShown, const char *pszText)
{
    printf("fit\t%d\t%s\t%d\t%d\t", nID, pszClass, nShown, lstrlenA(pszText));
    PrintText(pszText);
    putchar('\n');
}

// Prints how much of a shown control's text shows, measured with the default
// GUI font of this process, which is the editor's at the same DPI.
static BOOL CALLBACK PrintControlFitProc(HWND hwnd, LPARAM lParam)
{
    HDC hdc = (HDC)lParam;
    char szClass[64] = "";
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    char szText[1024] = "";
    SendMessageA(hwnd, WM_GETTEXT, sizeof(szText), (LPARAM)szText);
    int cx, cy;
    UINT uFormat;
    if (!IsWindowVisible(hwnd) || szText[0] == '\0' ||
        !TextBox(hwnd, szClass, hdc, &cx, &cy, &uFormat))
        return TRUE;
    PrintFit(GetDlgCtrlID(hwnd), szClass, CharsShown(hdc, szText, cx, cy, uFormat), szText);
    return TRUE;
}

// Prints how much of each entry of a shown list shows: none of an entry whose
// line lies (partly) below the list's client area.
static void PrintListFit(HWND hwndList, HDC hdc)
{
    if (!IsWindowVisible(hwndList))
        return;
    RECT rc;
    GetClientRect(hwndList, &rc);
    LRESULT nItems = SendMessageA(hwndList, LB_GETCOUNT, 0, 0);
    LRESULT nTop = SendMessageA(hwndList, LB_GETTOPINDEX, 0, 0);
    int cyItem = (int)SendMessageA(hwndList, LB_GETITEMHEIGHT, 0, 0);
    for (LRESULT i = 0; i < nItems; i++) {
        char szItem[256];
        GetListEntry(hwndList, i, szItem);
        bool fInside = i >= nTop && (i - nTop + 1) * cyItem <= rc.bottom;
        // The entry's text starts 1 pixel in from the left and ends as far in from the right.
        int nShown = fInside ? CharsShown(hdc, szItem, rc.right - 2, cyItem, DT_SINGLELINE) : 0;
        PrintFit(GetDlgCtrlID(hwndList), "ListBox", nShown, szItem);
    }
}

// Prints the screen's DPI and the fit of every shown control and list entry.
static void PrintFits(HWND hwndMain)
{
    HDC hdc = GetDC(NULL);
    HGDIOBJ hOld = SelectObject(hdc, GetStockObject(DEFAULT_GUI_FONT));
    printf("dpi\t%d\t%d\n", GetDeviceCaps(hdc, LOGPIXELSX), GetDeviceCaps(hdc, LOGPIXELSY));
    EnumChildWindows(hwndMain, PrintControlFitProc, (LPARAM)hdc);
    HWND hwndList = FindWindowExA(hwndMain, NULL, "ListBox", NULL);
    if (hwndList != NULL)
        PrintListFit(hwndList, hdc);
    SelectObject(hdc, hOld);
    ReleaseDC(NULL, hdc);
}

// Prints the main window: its place, its client area, tabs, controls and list.
static int PrintMain(HWND hwndMain)
{
    RECT rc;
    GetWindowRect(hwndMain, &rc);
    char szTitle[256] = "";
    SendMessageA(hwndMain, WM_GETTEXT, sizeof(szTitle), (LPARAM)szTitle);
    printf("window");
    PrintRect(&rc);
    putchar('\t');
    PrintText(szTitle);
    putchar('\n');
    GetClientRect(hwndMain, &rc);
    MapWindowPoints(hwndMain, NULL, (POINT *)&rc, 2);
    printf("client");
    PrintRect(&rc);
    putchar('\n');
    printf("screen\t%d\t%d\n", GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN));
    printf("focus\t%d\n", GetForegroundWindow() == hwndMain ? 1 : 0);
    EnumChildWindows(hwndMain, PrintControlProc, 0);
    HWND hwndTab = FindWindowExA(hwndMain, NULL, WC_TABCONTROLA, NULL);
    if (hwndTab != NULL)
        PrintTabs(hwndTab);
    HWND hwndList = FindWindowExA(hwndMain, NULL, "ListBox", NULL);
    if (hwndList != NULL)
        PrintList(hwndList);
    return 0;
}

// Prints one dialog of the editor's process with all its controls.
static BOOL CALLBACK PrintDialogProc(HWND hwnd, LPARAM lParam)
{
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hwnd, &dwPid);
    char szClass[64] = "";
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    if (dwPid != (DWORD)lParam || !IsWindowVisible(hwnd) || strcmp(szClass, "#32770") != 0)
        return TRUE;
    RECT rc;
    GetWindowRect(hwnd, &rc);
    char szTitle[256] = "";
    SendMessageA(hwnd, WM_GETTEXT, sizeof(szTitle), (LPARAM)szTitle);
    printf("dialog\t%d", IsWindowEnabled(hwnd) ? 1 : 0);
    PrintRect(&rc);
    putchar('\t');
    PrintText(szTitle);
    putchar('\n');
    EnumChildWindows(hwnd, PrintControlProc, 0);
    return TRUE;
}

// The process number of the running editor, found by its program's name; 0
// when none runs.
static DWORD FindEditorProcess()
{
    HANDLE hSnapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (hSnapshot == INVALID_HANDLE_VALUE)
        return 0;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof(pe);
    DWORD dwPid = 0;
    for (BOOL fMore = Process32First(hSnapshot, &pe); fMore && dwPid == 0;
         fMore = Process32Next(hSnapshot, &pe))
        if (lstrcmpiA(pe.szExeFile, "qwconfig.exe") == 0)
            dwPid = pe.th32ProcessID;
    CloseHandle(hSnapshot);
    return dwPid;
}

int main(int argc, char **argv)
{
    // Plain line feeds: the output is read by shell scripts.
    _setmode(_fileno(stdout), _O_BINARY);
    HWND hwndMain = FindWindowA("MAIN", NULL);
    if (argc > 1 && strcmp(argv[1], "dialogs") == 0) {
        DWORD dwPid = 0;
        if (hwndMain != NULL)
            GetWindowThreadProcessId(hwndMain, &dwPid);
        else
            dwPid = FindEditorProcess();
        if (dwPid == 0) {
            printf("none\n");
            return 2;
        }
        EnumWindows(PrintDialogProc, (LPARAM)dwPid);
        return 0;
    }
    // The window can be found while it is still being created: it counts once visible.
    if (hwndMain == NULL || !IsWindowVisible(hwndMain)) {
        printf("none\n");
        return 2;
    }
    PrintMain(hwndMain);
    if (argc > 1 && strcmp(argv[1], "fit") == 0)
        PrintFits(hwndMain);
    return 0;
}
