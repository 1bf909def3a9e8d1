// The main window in-process: size and place, the controls of the three pages,
// page switching, focus, and the end of the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <string>
#include <vector>

#include "Controls.h"
#include "EditorSession.h"
#include "ImportSeam.h"
#include "Main.h"

namespace {

enum { ALWAYS = -1, GENERAL = 0, VIDEO = 1, AUDIO = 2 };

// One control as the player must see it in a client area of 317 x 250.
struct Expected {
    int nID;
    const char *pszClass;
    const char *pszCaption;   // null: text that the settings fill in
    DWORD dwStyle;
    DWORD dwExStyle;
    int x, y, cx, cy;
    int nPage;
};

const Expected aExpected[] = {
    { IDOK, "Button", "Okay", 0x10001, 0, 91, 223, 64, 22, ALWAYS },
    { IDCANCEL, "Button", "Cancel", 0x10000, 0, 161, 223, 64, 22, ALWAYS },
    { 4, "Static", "v0.5", 0x2, 0, 252, 230, 60, 15, ALWAYS },
    { 3, "SysTabControl32", "", 0x0, 0, 2, 2, 313, 216, ALWAYS },
    { -1, "Button", "Video mode", 0x7, 0, 8, 26, 122, 186, VIDEO },
    { 102, "ListBox", "", 0x211101, 0x200, 14, 44, 110, 144, VIDEO },
    { 103, "Button", "Full screen", 0x2, 0, 14, 191, 110, 15, VIDEO },
    { -1, "Button", "Effects", 0x7, 0, 135, 26, 174, 123, VIDEO },
    { 202, "Button", "Shadows enabled", 0x2, 0, 141, 44, 164, 15, VIDEO },
    { 204, "Button", "Clouds shadows enabled", 0x2, 0, 141, 62, 164, 15, VIDEO },
    { 203, "Button", "Keep shadows enabled even when the frame rate is too low", 0x2402, 0,
      141, 80, 164, 30, VIDEO },
    { 205, "Button", "Low texture filtering and no reflections", 0x2402, 0, 141, 113, 164, 30,
      VIDEO },
    { -1, "Button", "Connection", 0x7, 0, 8, 26, 302, 69, GENERAL },
    { -1, "Static", "Host:", 0x0, 0, 14, 46, 32, 15, GENERAL },
    { 302, "Edit", NULL, 0x80, 0x200, 46, 44, 258, 20, GENERAL },
    { -1, "Static", "Port:", 0x0, 0, 14, 71, 32, 15, GENERAL },
    { 303, "Edit", NULL, 0x2080, 0x200, 46, 69, 40, 20, GENERAL },
    { -1, "Button", "Ignores", 0x7, 0, 8, 95, 152, 57, GENERAL },
    { 503, "Button", "Save ignores", 0x2, 0, 14, 113, 140, 15, GENERAL },
    { 502, "Button", "Use global ignores", 0x2, 0, 14, 131, 140, 15, GENERAL },
    { -1, "Button", "Camera rotation speed", 0x7, 0, 165, 95, 145, 69, GENERAL },
    { -1, "Static", "Normal:", 0x0, 0, 171, 115, 40, 15, GENERAL },
    { 402, "Edit", NULL, 0x2080, 0x200, 211, 113, 93, 20, GENERAL },
    { -1, "Static", "Fine:", 0x0, 0, 171, 140, 40, 15, GENERAL },
    { 403, "Edit", NULL, 0x2080, 0x200, 211, 138, 93, 20, GENERAL },
    { -1, "Button", "Prefered internet browser", 0x7, 0, 8, 168, 302, 44, GENERAL },
    { -1, "Static", "Path:", 0x0, 0, 14, 188, 32, 15, GENERAL },
    { 701, "Edit", NULL, 0x80, 0x200, 46, 186, 193, 20, GENERAL },
    { 702, "Button", "Browse...", 0x0, 0, 244, 186, 60, 20, GENERAL },
    { -1, "Button", "Sounds", 0x7, 0, 8, 26, 212, 57, AUDIO },
    { 601, "Button", "Sounds and music enabled", 0x2, 0, 14, 44, 200, 15, AUDIO },
    { 602, "Button", "Support Dolby\x99 Surround (6-channel)", 0x2, 0, 14, 62, 200, 15, AUDIO },
};
const int nExpected = sizeof(aExpected) / sizeof(aExpected[0]);

// The direct children of a window, in the order the system keeps them.
std::vector<HWND> Children(HWND hwnd)
{
    std::vector<HWND> children;
    for (HWND hwndChild = GetWindow(hwnd, GW_CHILD); hwndChild != NULL;
         hwndChild = GetWindow(hwndChild, GW_HWNDNEXT))
        children.push_back(hwndChild);
    return children;
}

// The page controls shown at the moment, as page numbers (ALWAYS for rows 0 to 3).
std::string VisiblePages(HWND hwnd)
{
    std::vector<HWND> children = Children(hwnd);
    std::string pages;
    for (size_t i = 0; i < children.size() && i < (size_t)nExpected; i++)
        if (IsWindowVisible(children[i]))
            pages += aExpected[i].nPage == ALWAYS ? '*' : (char)('0' + aExpected[i].nPage);
    return pages;
}

// The visible controls expected while page nPage is showing.
std::string PagesFor(int nPage)
{
    std::string pages;
    for (int i = 0; i < nExpected; i++) {
        if (aExpected[i].nPage == ALWAYS)
            pages += '*';
        else if (aExpected[i].nPage == nPage)
            pages += (char)('0' + nPage);
    }
    return pages;
}

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTempFolder();
        ASSERT_FALSE(folder.empty());
        ASSERT_TRUE(editor.start(folder.c_str()));
    }
    void TearDown() override
    {
        if (editor.running()) {
            PostMessageA(editor.hwnd, WM_CLOSE, 0, 0);
            editor.waitForExit();
        }
        removeTempFolder(folder);
    }

    std::string folder;
    EditorSession editor;
};

TEST_F(MainWindow, OpensCentredWithAFixedFrameAndTheDesignedSize)
{
    RECT rc;
    ASSERT_TRUE(GetWindowRect(editor.hwnd, &rc));
    EXPECT_EQ(323, rc.right - rc.left);
    EXPECT_EQ(275, rc.bottom - rc.top);
    int cxScreen = GetSystemMetrics(SM_CXSCREEN);
    int cyScreen = GetSystemMetrics(SM_CYSCREEN);
    EXPECT_EQ((cxScreen - 323) / 2, rc.left);
    EXPECT_EQ((cyScreen - 275) / 2, rc.top);
    if (cxScreen == 1024 && cyScreen == 768) {
        EXPECT_EQ(350, rc.left);
        EXPECT_EQ(246, rc.top);
    }

    ASSERT_TRUE(GetClientRect(editor.hwnd, &rc));
    EXPECT_EQ(317, rc.right);
    EXPECT_EQ(250, rc.bottom);

    LONG_PTR nStyle = GetWindowLongPtrA(editor.hwnd, GWL_STYLE);
    // The system adds WS_CLIPSIBLINGS to every top-level window.
    EXPECT_EQ(0x10CA0000, nStyle & 0xFFFF0000 & ~WS_CLIPSIBLINGS) << std::hex << nStyle;
    EXPECT_EQ(WS_EX_WINDOWEDGE, GetWindowLongPtrA(editor.hwnd, GWL_EXSTYLE) & WS_EX_WINDOWEDGE);

    char szText[64];
    GetWindowTextA(editor.hwnd, szText, sizeof(szText));
    EXPECT_STREQ("Quarrow Configuration", szText);
    GetClassNameA(editor.hwnd, szText, sizeof(szText));
    EXPECT_STREQ("MAIN", szText);

    EXPECT_EQ(editor.hwnd, g_hwndMain);
    EXPECT_STREQ((folder + "\\qw.ini").c_str(), szIniFile);
}

TEST_F(MainWindow, CreatesTheControlsOfTheTableInOrder)
{
    std::vector<HWND> children = Children(editor.hwnd);
    ASSERT_EQ(32u, children.size());
    for (int i = 0; i < nExpected; i++) {
        const Expected &e = aExpected[i];
        HWND hwnd = children[i];
        SCOPED_TRACE("row " + std::to_string(i));

        EXPECT_EQ(e.nID, GetDlgCtrlID(hwnd));
        char szText[128];
        GetClassNameA(hwnd, szText, sizeof(szText));
        EXPECT_EQ(0, lstrcmpiA(e.pszClass, szText)) << szText;
        if (e.pszCaption != NULL) {
            GetWindowTextA(hwnd, szText, sizeof(szText));
            EXPECT_STREQ(e.pszCaption, szText);
        }

        // The control's own bits exactly; of the window bits, those the table
        // gives plus WS_CHILD. Visibility and enabling come from the flags.
        DWORD dwStyle = (DWORD)GetWindowLongPtrA(hwnd, GWL_STYLE);
        EXPECT_EQ(e.dwStyle & 0xFFFF, dwStyle & 0xFFFF) << std::hex << dwStyle;
        DWORD dwWindowBits = WS_CHILD | WS_TABSTOP | WS_VSCROLL | WS_HSCROLL | WS_BORDER;
        EXPECT_EQ((e.dwStyle | WS_CHILD) & dwWindowBits, dwStyle & dwWindowBits)
            << std::hex << dwStyle;
        DWORD dwExStyle = (DWORD)GetWindowLongPtrA(hwnd, GWL_EXSTYLE);
        EXPECT_EQ(e.dwExStyle, dwExStyle & WS_EX_CLIENTEDGE);

        RECT rc;
        GetWindowRect(hwnd, &rc);
        MapWindowPoints(NULL, editor.hwnd, (POINT *)&rc, 2);
        EXPECT_EQ(e.x, rc.left);
        EXPECT_EQ(e.y, rc.top);
        EXPECT_EQ(e.cx, rc.right - rc.left);
        EXPECT_EQ(e.cy, rc.bottom - rc.top);

        EXPECT_EQ((LRESULT)GetStockObject(DEFAULT_GUI_FONT), SendMessageA(hwnd, WM_GETFONT, 0, 0));
    }
}

TEST_F(MainWindow, HasThreeTabsAndTheSixVideoModesInOrder)
{
    HWND hwndTab = editor.control(IDC_TAB);
    ASSERT_EQ(3, SendMessageA(hwndTab, TCM_GETITEMCOUNT, 0, 0));
    const char *aszTabs[] = { "General", "Video", "Audio" };
    for (int i = 0; i < 3; i++) {
        char szText[32] = "";
        TCITEMA tci = {};
        tci.mask = TCIF_TEXT;
        tci.pszText = szText;
        tci.cchTextMax = sizeof(szText);
        ASSERT_TRUE(SendMessageA(hwndTab, TCM_GETITEMA, i, (LPARAM)&tci));
        EXPECT_STREQ(aszTabs[i], szText);
    }
    EXPECT_EQ(0, SendMessageA(hwndTab, TCM_GETCURSEL, 0, 0));

    HWND hwndList = editor.control(IDC_VIDEOMODE);
    const char *aszModes[] = { "640 x 480 x 16", "800 x 600 x 16", "1024 x 768 x 16",
                               "640 x 480 x 32", "800 x 600 x 32", "1024 x 768 x 32" };
    ASSERT_EQ(6, SendMessageA(hwndList, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < 6; i++) {
        char szText[32] = "";
        SendMessageA(hwndList, LB_GETTEXT, i, (LPARAM)szText);
        EXPECT_STREQ(aszModes[i], szText);
    }
}

TEST_F(MainWindow, ShowsExactlyTheSelectedPage)
{
    EXPECT_EQ(PagesFor(GENERAL), VisiblePages(editor.hwnd));
    editor.selectTab(VIDEO);
    EXPECT_EQ(PagesFor(VIDEO), VisiblePages(editor.hwnd));
    editor.selectTab(AUDIO);
    EXPECT_EQ(PagesFor(AUDIO), VisiblePages(editor.hwnd));
    editor.selectTab(GENERAL);
    EXPECT_EQ(PagesFor(GENERAL), VisiblePages(editor.hwnd));
    EXPECT_EQ(1, fTab[0]);
    EXPECT_EQ(0, fTab[1]);
    EXPECT_EQ(0, fTab[2]);
}

TEST_F(MainWindow, IgnoresOtherNotifications)
{
    HWND hwndTab = editor.control(IDC_TAB);
    SendMessageA(hwndTab, TCM_SETCURSEL, VIDEO, 0);
    NMHDR nmh = { hwndTab, IDC_TAB, (UINT)TCN_SELCHANGING };
    EXPECT_EQ(0, SendMessageA(editor.hwnd, WM_NOTIFY, IDC_TAB, (LPARAM)&nmh));
    nmh.idFrom = IDC_VIDEOMODE;
    nmh.code = TCN_SELCHANGE;
    EXPECT_EQ(0, SendMessageA(editor.hwnd, WM_NOTIFY, IDC_VIDEOMODE, (LPARAM)&nmh));
    EXPECT_EQ(PagesFor(GENERAL), VisiblePages(editor.hwnd));
}

TEST_F(MainWindow, NoSelectedTabShowsNoPage)
{
    editor.selectTab(-1);
    ASSERT_EQ(-1, SendMessageA(editor.control(IDC_TAB), TCM_GETCURSEL, 0, 0));
    EXPECT_EQ(PagesFor(ALWAYS), VisiblePages(editor.hwnd));
    EXPECT_EQ(0, fTab[0] | fTab[1] | fTab[2]);
    editor.selectTab(AUDIO);
    EXPECT_EQ(PagesFor(AUDIO), VisiblePages(editor.hwnd));
}

TEST_F(MainWindow, VersionTextAndDolbyBoxStayDisabled)
{
    for (int nPage : { GENERAL, VIDEO, AUDIO }) {
        editor.selectTab(nPage);
        EXPECT_FALSE(IsWindowEnabled(editor.control(IDC_VERSION)));
        EXPECT_FALSE(IsWindowEnabled(editor.control(IDC_DOLBY)));
        EXPECT_TRUE(IsWindowEnabled(editor.control(IDC_SOUNDS)));
        EXPECT_TRUE(IsWindowEnabled(editor.control(IDOK)));
    }
    EXPECT_FALSE(editor.checked(IDC_DOLBY));
}

// The thread's keyboard focus, as the editor thread sees it.
HWND FocusOf(DWORD dwThreadId)
{
    GUITHREADINFO gti = {};
    gti.cbSize = sizeof(gti);
    GetGUIThreadInfo(dwThreadId, &gti);
    return gti.hwndFocus;
}

TEST_F(MainWindow, ClickOnTheEmptyAreaOrATabTakesTheFocusFromAField)
{
    HWND hwndHost = editor.control(IDC_HOST);
    SendMessageA(hwndHost, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(hwndHost, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(hwndHost, FocusOf(editor.dwThreadId));
    SendMessageA(editor.hwnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, 240));
    EXPECT_EQ(editor.hwnd, FocusOf(editor.dwThreadId));

    SendMessageA(hwndHost, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(5, 5));
    SendMessageA(hwndHost, WM_LBUTTONUP, 0, MAKELPARAM(5, 5));
    ASSERT_EQ(hwndHost, FocusOf(editor.dwThreadId));
    editor.selectTab(VIDEO);
    EXPECT_EQ(editor.hwnd, FocusOf(editor.dwThreadId));
}

TEST_F(MainWindow, CloseMessageEndsTheProgramWithExitCodeZero)
{
    PostMessageA(editor.hwnd, WM_CLOSE, 0, 0);
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(0u, editor.nExitCode);
    EXPECT_FALSE(IsWindow(editor.hwnd));
}

TEST_F(MainWindow, CloseBoxEndsTheProgramWithExitCodeZero)
{
    PostMessageA(editor.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(0u, editor.nExitCode);
}

TEST_F(MainWindow, CloseWhileABoxIsOpenWaitsUntilTheBoxIsAnswered)
{
    editor.clickAsync(IDC_POORMAN);
    HWND hwndBox = editor.waitForDialog("Confirmation");
    ASSERT_NE(nullptr, hwndBox);
    // Sent, as "End task" would: handled inside the box's own message loop.
    SendMessageA(editor.hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(editor.hwnd)) << "the window went while its box was open";
    EXPECT_TRUE(IsWindow(hwndBox));
    ASSERT_TRUE(editor.answerDialog(hwndBox, IDYES));
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(0u, editor.nExitCode);
    EXPECT_FALSE(IsWindow(editor.hwnd));
}

TEST_F(MainWindow, CancelEndsTheProgramWithExitCodeZero)
{
    editor.clickAsync(IDCANCEL);
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(0u, editor.nExitCode);
    EXPECT_FALSE(IsWindow(editor.hwnd));
}

// ------------------------------------------------ DLL search, by Windows version

// Which of the two kernel32 functions the scripted GetProcAddress finds, and
// what the editor asked of the loader.
bool g_fHasSetDefaultDllDirectories;
bool g_fHasSetDllDirectoryW;
std::vector<std::string> g_astrCalls;
void *g_pGetProcAddress;
void *g_pLoadLibraryExW;

BOOL WINAPI RecordSetDefaultDllDirectories(DWORD dwFlags)
{
    g_astrCalls.push_back("SetDefaultDllDirectories " + std::to_string(dwFlags));
    return TRUE;
}

BOOL WINAPI RecordSetDllDirectoryW(LPCWSTR pwszFolder)
{
    g_astrCalls.push_back("SetDllDirectoryW \"" + (pwszFolder != NULL ? utf8(pwszFolder) : "(null)") +
                          "\"");
    return TRUE;
}

HMODULE WINAPI RecordLoadLibraryExW(LPCWSTR pwszName, HANDLE hFile, DWORD dwFlags)
{
    g_astrCalls.push_back("LoadLibraryExW " + utf8(pwszName) + " " + std::to_string(dwFlags));
    return ((HMODULE(WINAPI *)(LPCWSTR, HANDLE, DWORD))g_pLoadLibraryExW)(pwszName, hFile, dwFlags);
}

FARPROC WINAPI ScriptedGetProcAddress(HMODULE hModule, LPCSTR pszName)
{
    // A name, not an ordinal, and one of the two that older Windows lacks.
    if (HIWORD((ULONG_PTR)pszName) != 0 && strcmp(pszName, "SetDefaultDllDirectories") == 0)
        return g_fHasSetDefaultDllDirectories
                   ? (FARPROC)(void (*)(void))RecordSetDefaultDllDirectories
                   : NULL;
    if (HIWORD((ULONG_PTR)pszName) != 0 && strcmp(pszName, "SetDllDirectoryW") == 0)
        return g_fHasSetDllDirectoryW ? (FARPROC)(void (*)(void))RecordSetDllDirectoryW : NULL;
    return ((FARPROC(WINAPI *)(HMODULE, LPCSTR))g_pGetProcAddress)(hModule, pszName);
}

TEST(DllSearch, EachWindowsGetsTheSafestLoadItKnows)
{
    WCHAR wszSystem[MAX_PATH];
    ASSERT_NE(0u, GetSystemDirectoryW(wszSystem, MAX_PATH));
    const std::string strFullPath = "LoadLibraryExW " + utf8(wszSystem) + "\\comctl32.dll " +
                                    std::to_string(LOAD_WITH_ALTERED_SEARCH_PATH);
    const std::string strEmptyFolder = "SetDllDirectoryW \"\"";
    const struct {
        const char *pszWindows;
        bool fSetDefault, fSetDllDirectory;
        std::vector<std::string> astrCalls;
    } aCases[] = {
        { "XP before SP1", false, false, { strFullPath } },
        { "XP SP1 and later, Vista and 7 without their update", false, true,
          { strEmptyFolder, strFullPath } },
        { "Vista and 7 with their update, 8 and later", true, true,
          { "SetDefaultDllDirectories " + std::to_string(LOAD_LIBRARY_SEARCH_SYSTEM32),
            strEmptyFolder,
            "LoadLibraryExW comctl32.dll " + std::to_string(LOAD_LIBRARY_SEARCH_SYSTEM32) } },
    };
    std::string folder = makeTempFolder();
    ASSERT_FALSE(folder.empty());
    g_pGetProcAddress = ReplaceImport("kernel32.dll", "GetProcAddress", (void *)ScriptedGetProcAddress);
    g_pLoadLibraryExW = ReplaceImport("kernel32.dll", "LoadLibraryExW", (void *)RecordLoadLibraryExW);
    ASSERT_NE(nullptr, g_pGetProcAddress);
    ASSERT_NE(nullptr, g_pLoadLibraryExW);
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.pszWindows);
        g_fHasSetDefaultDllDirectories = c.fSetDefault;
        g_fHasSetDllDirectoryW = c.fSetDllDirectory;
        g_astrCalls.clear();
        EditorSession editor;
        ASSERT_TRUE(editor.start(folder.c_str()));
        EXPECT_EQ(c.astrCalls, g_astrCalls);
        editor.clickAsync(IDCANCEL);
        EXPECT_TRUE(editor.waitForExit());
    }
    ReplaceImport("kernel32.dll", "GetProcAddress", g_pGetProcAddress);
    ReplaceImport("kernel32.dll", "LoadLibraryExW", g_pLoadLibraryExW);
    removeTempFolder(folder);
}

}  // namespace
