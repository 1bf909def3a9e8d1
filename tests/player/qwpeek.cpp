// qwpeek: looks at the running editor from outside, as a second process, so
// that the player tests can check what a player sees and find where to click.
//
//   qwpeek          the main window, its tabs, its controls and the list
//   qwpeek dialogs  the editor's open dialogs (question boxes, file dialog),
//                   also those it shows before its main window exists
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
        // The ANSI text of another process's list comes back cut: ask for Unicode.
        WCHAR wszItem[256] = L"";
        char szItem[256] = "";
        if (SendMessageW(hwndList, LB_GETTEXTLEN, (WPARAM)i, 0) < 255)
            SendMessageW(hwndList, LB_GETTEXT, (WPARAM)i, (LPARAM)wszItem);
        WideCharToMultiByte(CP_ACP, 0, wszItem, -1, szItem, sizeof(szItem), NULL, NULL);
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
    return PrintMain(hwndMain);
}
