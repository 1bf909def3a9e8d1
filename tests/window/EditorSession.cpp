// EditorSession: the editor on a thread of the test program. Every message the
// test sends crosses to that thread and is handled there, as in the program.
#include "EditorSession.h"

#include <commctrl.h>

#include "Controls.h"
#include "Main.h"

// Runs the program's entry on the editor thread; its result is the thread's.
static DWORD WINAPI EditorThread(LPVOID)
{
    return (DWORD)WinMain(GetModuleHandleA(NULL), NULL, (LPSTR) "", SW_SHOWNORMAL);
}

// What FindThreadWindow looks for, and what it found.
struct WindowQuery {
    const char *pszClass;
    const char *pszCaption;   // null: any caption
    HWND hwndFound;
};

// EnumThreadWindows callback: stops at the first visible window that matches.
static BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM lParam)
{
    WindowQuery *pQuery = (WindowQuery *)lParam;
    char szClass[64];
    char szCaption[256];
    if (!IsWindowVisible(hwnd) || !GetClassNameA(hwnd, szClass, sizeof(szClass)))
        return TRUE;
    if (lstrcmpiA(szClass, pQuery->pszClass) != 0)
        return TRUE;
    GetWindowTextA(hwnd, szCaption, sizeof(szCaption));
    if (pQuery->pszCaption != NULL && lstrcmpA(szCaption, pQuery->pszCaption) != 0)
        return TRUE;
    pQuery->hwndFound = hwnd;
    return FALSE;
}

// Waits for a visible top-level window of the thread with this class and caption.
static HWND FindThreadWindow(DWORD dwThreadId, const char *pszClass, const char *pszCaption,
                             DWORD dwMilliseconds)
{
    DWORD dwStart = GetTickCount();
    for (;;) {
        WindowQuery query = { pszClass, pszCaption, NULL };
        EnumThreadWindows(dwThreadId, MatchWindow, (LPARAM)&query);
        if (query.hwndFound != NULL)
            return query.hwndFound;
        if (GetTickCount() - dwStart > dwMilliseconds)
            return NULL;
        Sleep(20);
    }
}

EditorSession::EditorSession() : hwnd(NULL), hThread(NULL), dwThreadId(0), nExitCode(0xFFFFFFFF)
{
}

EditorSession::~EditorSession()
{
    if (hThread == NULL)
        return;
    // A test that stopped half-way: dismiss any box, close the window.
    for (int i = 0; i < 10 && running(); i++) {
        HWND hwndBox = FindThreadWindow(dwThreadId, "#32770", NULL, 0);
        if (hwndBox != NULL)
            PostMessageA(hwndBox, WM_COMMAND, IDCANCEL, 0);
        else if (IsWindow(hwnd))
            PostMessageA(hwnd, WM_CLOSE, 0, 0);
        WaitForSingleObject(hThread, 500);
    }
    if (running())
        TerminateThread(hThread, 1);
    CloseHandle(hThread);
}

bool EditorSession::start(const char *pszFolder)
{
    if (!launch(pszFolder))
        return false;
    hwnd = FindThreadWindow(dwThreadId, "MAIN", NULL, 10000);
    return hwnd != NULL;
}

bool EditorSession::launch(const char *pszFolder)
{
    if (!SetCurrentDirectoryA(pszFolder))
        return false;
    // The program starts with every flag at 0; earlier runs in this process
    // have left theirs set.
    for (int i = 0; i < TAB_PAGES; i++)
        fTab[i] = 0;
    fAnyShadowsEnabled = 0;
    g_hwndMain = NULL;

    hThread = CreateThread(NULL, 0, EditorThread, NULL, 0, &dwThreadId);
    return hThread != NULL;
}

bool EditorSession::waitForExit(DWORD dwMilliseconds)
{
    if (WaitForSingleObject(hThread, dwMilliseconds) != WAIT_OBJECT_0)
        return false;
    GetExitCodeThread(hThread, &nExitCode);
    CloseHandle(hThread);
    hThread = NULL;
    return true;
}

bool EditorSession::running() const
{
    return hThread != NULL && WaitForSingleObject(hThread, 0) == WAIT_TIMEOUT;
}

HWND EditorSession::control(int nID) const
{
    return GetDlgItem(hwnd, nID);
}

void EditorSession::selectTab(int nIndex)
{
    HWND hwndTab = control(IDC_TAB);
    SendMessageA(hwndTab, TCM_SETCURSEL, (WPARAM)nIndex, 0);
    NMHDR nmh;
    nmh.hwndFrom = hwndTab;
    nmh.idFrom = IDC_TAB;
    nmh.code = TCN_SELCHANGE;
    SendMessageA(hwnd, WM_NOTIFY, IDC_TAB, (LPARAM)&nmh);
}

void EditorSession::click(int nID)
{
    SendMessageA(control(nID), BM_CLICK, 0, 0);
    sync();
}

void EditorSession::clickAsync(int nID)
{
    PostMessageA(control(nID), BM_CLICK, 0, 0);
}

void EditorSession::command(int nID, int nCode)
{
    SendMessageA(hwnd, WM_COMMAND, MAKEWPARAM(nID, nCode), (LPARAM)control(nID));
}

bool EditorSession::checked(int nID) const
{
    return SendMessageA(control(nID), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string EditorSession::text(int nID) const
{
    char szText[1024];
    szText[0] = 0;
    GetWindowTextA(control(nID), szText, sizeof(szText));
    return szText;
}

void EditorSession::setText(int nID, const char *pszText)
{
    SetWindowTextA(control(nID), pszText);
    sync();
}

void EditorSession::paste(int nID, const char *pszText)
{
    std::wstring wstrText = fromUtf8(pszText);
    size_t cb = (wstrText.size() + 1) * sizeof(WCHAR);
    HGLOBAL hText = GlobalAlloc(GMEM_MOVEABLE, cb);
    memcpy(GlobalLock(hText), wstrText.c_str(), cb);
    GlobalUnlock(hText);
    if (!OpenClipboard(NULL) || !EmptyClipboard() || !SetClipboardData(CF_UNICODETEXT, hText))
        GlobalFree(hText);
    CloseClipboard();
    SendMessageA(control(nID), EM_SETSEL, 0, -1);
    SendMessageA(control(nID), WM_PASTE, 0, 0);
    sync();
}

void EditorSession::sync()
{
    if (IsWindow(hwnd))
        SendMessageA(hwnd, WM_NULL, 0, 0);
}

HWND EditorSession::waitForDialog(const char *pszCaption, DWORD dwMilliseconds) const
{
    return FindThreadWindow(dwThreadId, "#32770", pszCaption, dwMilliseconds);
}

bool EditorSession::answerDialog(HWND hwndDialog, int nButton)
{
    PostMessageA(hwndDialog, WM_COMMAND, MAKEWPARAM(nButton, BN_CLICKED),
                 (LPARAM)GetDlgItem(hwndDialog, nButton));
    DWORD dwStart = GetTickCount();
    while (IsWindow(hwndDialog)) {
        if (GetTickCount() - dwStart > 5000)
            return false;
        Sleep(20);
    }
    // The box is gone: the handler that showed it finishes before the next
    // message of the window is taken.
    sync();
    return true;
}

std::string makeTempFolder()
{
    static int nCount;
    char szTemp[MAX_PATH];
    GetTempPathA(sizeof(szTemp), szTemp);
    for (;;) {
        char szFolder[MAX_PATH];
        wsprintfA(szFolder, "%sqwwin%lu_%d", szTemp, GetCurrentProcessId(), ++nCount);
        if (CreateDirectoryA(szFolder, NULL))
            return szFolder;
        if (GetLastError() != ERROR_ALREADY_EXISTS)
            return "";
    }
}

void removeTempFolder(const std::string &folder)
{
    char szHere[MAX_PATH];
    GetTempPathA(sizeof(szHere), szHere);
    SetCurrentDirectoryA(szHere);
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (hFind != INVALID_HANDLE_VALUE) {
        do {
            std::string path = folder + "\\" + fd.cFileName;
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(hFind, &fd));
        FindClose(hFind);
    }
    RemoveDirectoryA(folder.c_str());
}

std::string utf8(const std::wstring &wide)
{
    char sz[4 * 1024] = "";
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, sz, sizeof(sz), NULL, NULL);
    return sz;
}

std::wstring fromUtf8(const std::string &path)
{
    WCHAR wsz[1024] = L"";
    MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, wsz, 1024);
    return wsz;
}

bool readFileBytes(const std::string &path, std::string *pData)
{
    HANDLE hFile = CreateFileW(fromUtf8(path).c_str(), GENERIC_READ, FILE_SHARE_READ, NULL,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    pData->clear();
    char buf[4096];
    DWORD dwRead;
    while (ReadFile(hFile, buf, sizeof(buf), &dwRead, NULL) && dwRead > 0)
        pData->append(buf, dwRead);
    CloseHandle(hFile);
    return true;
}

bool writeFileBytes(const std::string &path, const std::string &data)
{
    HANDLE hFile = CreateFileW(fromUtf8(path).c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                               FILE_ATTRIBUTE_NORMAL, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    DWORD dwWritten = 0;
    BOOL fOk = WriteFile(hFile, data.data(), (DWORD)data.size(), &dwWritten, NULL);
    CloseHandle(hFile);
    return fOk && dwWritten == data.size();
}

bool fileExists(const std::string &path)
{
    return GetFileAttributesW(fromUtf8(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}
