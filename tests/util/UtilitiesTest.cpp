// The utilities under Wine. Message boxes and file dialogs are modal, so each
// one is answered from a second thread that finds the "#32770" window of this
// process, records what it shows and presses one of its buttons.
#include <windows.h>
#include <cderr.h>
#include <commdlg.h>

#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "Files.h"
#include "ImportSeam.h"
#include "MessageBoxes.h"

// The program defines these in its start-up code; here the tests set them.
HWND g_hwndMain = NULL;
HINSTANCE g_hInstance = NULL;

namespace {

// What the answering thread saw of one dialog.
struct _SEEN {
    bool fSeen;
    HWND hwndOwner;
    std::string strCaption;
    std::string strText;              // the message text, or the file name field
    HICON hIcon;
    std::vector<int> anButtons;       // visible push buttons, in creation order
    int nDefButton;                   // the identifier of the default button, or 0
};

// One scripted step: wait for a dialog, note it, maybe type a file name, press a button.
struct _ANSWER {
    int nPress;                       // button to press; 0 = only look, then close it
    const char *pszType;              // typed into the file name field first, or NULL
    _SEEN seen;
};

// The answering thread's work: dialogs in a row (a file dialog, its complaint
// or question, the file dialog again).
struct _SCRIPT {
    std::vector<_ANSWER> aAnswers;
    volatile LONG fStop;              // set by the test thread once the call returned
};

// Collects the top-level dialog of this process that is visible and enabled
// (a file dialog is disabled while its own question is up).
BOOL CALLBACK FindOwnDialogProc(HWND hwnd, LPARAM lParam)
{
    DWORD dwPid = 0;
    GetWindowThreadProcessId(hwnd, &dwPid);
    char szClass[32];
    if (dwPid == GetCurrentProcessId() && IsWindowVisible(hwnd) && IsWindowEnabled(hwnd) &&
        GetClassNameA(hwnd, szClass, sizeof(szClass)) && strcmp(szClass, "#32770") == 0) {
        *(HWND *)lParam = hwnd;
        return FALSE;
    }
    return TRUE;
}

// Returns the dialog of this process that waits for an answer, or NULL.
HWND FindOwnDialog()
{
    HWND hwnd = NULL;
    EnumWindows(FindOwnDialogProc, (LPARAM)&hwnd);
    return hwnd;
}

// Notes the buttons, icon, text and file name field of one child window.
BOOL CALLBACK NoteChildProc(HWND hwnd, LPARAM lParam)
{
    _SEEN *pSeen = (_SEEN *)lParam;
    char szClass[32];
    GetClassNameA(hwnd, szClass, sizeof(szClass));
    LONG lStyle = GetWindowLongA(hwnd, GWL_STYLE);
    int nId = GetDlgCtrlID(hwnd);
    if (_stricmp(szClass, "Button") == 0 && IsWindowVisible(hwnd) &&
        ((lStyle & BS_TYPEMASK) == BS_PUSHBUTTON || (lStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON)) {
        pSeen->anButtons.push_back(nId);
        if ((lStyle & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
            pSeen->nDefButton = nId;
    } else if (_stricmp(szClass, "Static") == 0 && (lStyle & SS_TYPEMASK) == SS_ICON) {
        pSeen->hIcon = (HICON)SendMessageA(hwnd, STM_GETICON, 0, 0);
    } else if ((_stricmp(szClass, "Static") == 0 && nId == 0xFFFF) ||
               (_stricmp(szClass, "Edit") == 0 && nId == 0x47C)) {
        // the message text of a box; the file name field of a file dialog
        static char szText[4096];
        SendMessageA(hwnd, WM_GETTEXT, sizeof(szText), (LPARAM)szText);
        pSeen->strText = szText;
    }
    return TRUE;
}

// Returns the visible button nId among the dialog's children (the file dialog
// has other windows with the identifier 1).
HWND FindButton(HWND hwndDlg, int nId)
{
    HWND hwnd = NULL;
    while ((hwnd = FindWindowExA(hwndDlg, hwnd, "Button", NULL)) != NULL)
        if (GetDlgCtrlID(hwnd) == nId && IsWindowVisible(hwnd))
            return hwnd;
    return NULL;
}

// Returns the file name field of a file dialog: an Edit inside combo boxes.
HWND FindFileNameField(HWND hwndDlg)
{
    std::vector<HWND> ahwnd(1, hwndDlg);
    for (size_t n = 0; n < ahwnd.size(); n++) {
        HWND hwnd = NULL;
        while ((hwnd = FindWindowExA(ahwnd[n], hwnd, NULL, NULL)) != NULL) {
            char szClass[32];
            GetClassNameA(hwnd, szClass, sizeof(szClass));
            if (_stricmp(szClass, "Edit") == 0 && GetDlgCtrlID(hwnd) == 0x47C)
                return hwnd;
            ahwnd.push_back(hwnd);
        }
    }
    return NULL;
}

// Presses a button without waiting for what it starts (it may ask a question).
void Press(HWND hwndDlg, int nId)
{
    HWND hwndButton = FindButton(hwndDlg, nId);
    if (hwndButton != NULL)
        PostMessageA(hwndButton, BM_CLICK, 0, 0);
    else
        PostMessageA(hwndDlg, WM_COMMAND, MAKEWPARAM(nId, BN_CLICKED), 0);
}

// Waits up to nMs milliseconds until the dialog is gone or no longer waiting.
void WaitAnswered(HWND hwndDlg, int nMs)
{
    for (int i = 0; i < nMs / 50 && IsWindow(hwndDlg) && IsWindowEnabled(hwndDlg); i++)
        Sleep(50);
}

// Answers one dialog: waits for it, notes it, types, presses. False on timeout.
bool AnswerOne(_SCRIPT *pScript, _ANSWER *pAnswer)
{
    HWND hwndDlg = NULL;
    for (int i = 0; i < 200 && hwndDlg == NULL; i++) {
        if (pScript->fStop)
            return false;
        Sleep(50);
        hwndDlg = FindOwnDialog();
    }
    if (hwndDlg == NULL)
        return false;
    Sleep(300);   // let the dialog finish filling itself

    _SEEN *pSeen = &pAnswer->seen;
    pSeen->fSeen = true;
    pSeen->hwndOwner = GetWindow(hwndDlg, GW_OWNER);
    char szCaption[256] = "";
    GetWindowTextA(hwndDlg, szCaption, sizeof(szCaption));
    pSeen->strCaption = szCaption;
    EnumChildWindows(hwndDlg, NoteChildProc, (LPARAM)pSeen);

    if (pAnswer->pszType != NULL) {
        HWND hwndField = FindFileNameField(hwndDlg);
        if (hwndField != NULL)
            SendMessageA(hwndField, WM_SETTEXT, 0, (LPARAM)pAnswer->pszType);
    }

    if (pAnswer->nPress != 0) {
        Press(hwndDlg, pAnswer->nPress);
        WaitAnswered(hwndDlg, 3000);
        return true;
    }
    // Nothing was to be shown: close it whatever it is.
    const int anClose[] = { IDCANCEL, IDNO, IDOK };
    for (int nId : anClose) {
        if (FindButton(hwndDlg, nId) != NULL) {
            Press(hwndDlg, nId);
            break;
        }
    }
    WaitAnswered(hwndDlg, 3000);
    return true;
}

// The answering thread: the script's dialogs in turn.
DWORD WINAPI AnswerThread(void *pParam)
{
    _SCRIPT *pScript = (_SCRIPT *)pParam;
    for (_ANSWER &answer : pScript->aAnswers)
        if (!AnswerOne(pScript, &answer))
            break;
    return 0;
}

// Runs the answering thread while the test thread makes one modal call. The
// buttons to press are listed in order, one per dialog expected.
class Answerer {
public:
    Answerer(std::initializer_list<int> anPress, const char *pszType = NULL)
    {
        for (int nPress : anPress) {
            _ANSWER answer = { nPress, m_script.aAnswers.empty() ? pszType : NULL, _SEEN() };
            m_script.aAnswers.push_back(answer);
        }
        m_script.fStop = 0;
        m_hThread = CreateThread(NULL, 0, AnswerThread, &m_script, 0, NULL);
    }
    ~Answerer() { Finish(); }

    // Waits for the thread once the modal call has returned.
    void Finish()
    {
        if (m_hThread == NULL)
            return;
        InterlockedExchange(&m_script.fStop, 1);
        WaitForSingleObject(m_hThread, 20000);
        CloseHandle(m_hThread);
        m_hThread = NULL;
    }

    const _SEEN &Seen(size_t i = 0)
    {
        Finish();
        return m_script.aAnswers[i].seen;
    }

private:
    _SCRIPT m_script;
    HANDLE m_hThread;
};

// A hidden top-level window to own the boxes and dialogs.
class OwnerWindow {
public:
    OwnerWindow()
    {
        m_hwnd = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPED, 0, 0, 100, 100, NULL, NULL,
                                 GetModuleHandleA(NULL), NULL);
    }
    ~OwnerWindow() { DestroyWindow(m_hwnd); }
    HWND m_hwnd;
};

// A fresh folder under the temporary folder, removed with its files afterwards.
class TempFolder {
public:
    TempFolder()
    {
        char szTemp[MAX_PATH];
        GetTempPathA(sizeof(szTemp), szTemp);
        snprintf(m_szPath, sizeof(m_szPath), "%squtil%lu", szTemp, (unsigned long)GetTickCount());
        CreateDirectoryA(m_szPath, NULL);
    }
    ~TempFolder()
    {
        for (size_t i = 0; i < m_astrFiles.size(); i++)
            DeleteFileA(m_astrFiles[i].c_str());
        for (size_t i = m_astrFolders.size(); i-- > 0;)
            RemoveDirectoryA(m_astrFolders[i].c_str());
        RemoveDirectoryA(m_szPath);
    }
    // Creates a file (or a folder) of that name in the folder and returns its path.
    std::string Make(const std::string &strName, bool fFolder = false)
    {
        std::string strPath = std::string(m_szPath) + "\\" + strName;
        if (fFolder) {
            CreateDirectoryA(strPath.c_str(), NULL);
            m_astrFolders.push_back(strPath);
        } else {
            HANDLE h = CreateFileA(strPath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, NULL);
            DWORD dw;
            WriteFile(h, "x", 1, &dw, NULL);
            CloseHandle(h);
            m_astrFiles.push_back(strPath);
        }
        return strPath;
    }
    std::string Path() const { return m_szPath; }

private:
    char m_szPath[MAX_PATH];
    std::vector<std::string> m_astrFiles;
    std::vector<std::string> m_astrFolders;
};

// ---------------------------------------------------------------- message boxes

struct _KINDCASE {
    short nKind;
    const char *pszCaption;
    LPCSTR pszIcon;
    std::vector<int> anButtons;
    int nPress;
};

TEST(MessageBoxes, EachKindShowsItsCaptionIconAndButtonsAndReturnsThePressedButton)
{
    OwnerWindow owner;
    const _KINDCASE aCases[] = {
        { MSGBOX_INFORMATION, "Information", IDI_INFORMATION, { IDOK }, IDOK },
        { MSGBOX_WARNING, "Warning", IDI_EXCLAMATION, { IDOK }, IDOK },
        { MSGBOX_ERROR, "Error", IDI_ERROR, { IDOK }, IDOK },
        { MSGBOX_CONFIRMATION, "Confirmation", IDI_EXCLAMATION, { IDYES, IDNO }, IDYES },
        { MSGBOX_CONFIRMATION, "Confirmation", IDI_EXCLAMATION, { IDYES, IDNO }, IDNO },
    };
    for (const _KINDCASE &c : aCases) {
        SCOPED_TRACE(std::string(c.pszCaption) + ", pressing " + std::to_string(c.nPress));
        Answerer answerer({ c.nPress });
        int nResult = DisplayMessageBox(owner.m_hwnd, c.nKind, "Line one\nLine two");
        const _SEEN &seen = answerer.Seen();
        ASSERT_TRUE(seen.fSeen);
        EXPECT_EQ(c.nPress, nResult);
        EXPECT_EQ(c.pszCaption, seen.strCaption);
        EXPECT_EQ("Line one\nLine two", seen.strText);
        EXPECT_EQ(LoadIconA(NULL, c.pszIcon), seen.hIcon);
        EXPECT_EQ(c.anButtons, seen.anButtons);
        EXPECT_EQ(c.anButtons[0], seen.nDefButton) << "the first button is the default";
        EXPECT_EQ(owner.m_hwnd, seen.hwndOwner);
    }
}

TEST(MessageBoxes, KindOutsideTheFourShowsNothingAndReturnsZero)
{
    const short anKinds[] = { -1, 4, 5, 32767, -32768 };
    for (short nKind : anKinds) {
        SCOPED_TRACE(nKind);
        Answerer answerer({ 0 });
        EXPECT_EQ(0, DisplayMessageBox(NULL, nKind, "never shown"));
        EXPECT_FALSE(answerer.Seen().fSeen);

        Answerer answerer2({ 0 });
        EXPECT_EQ(0, DisplayMessageBoxF(NULL, nKind, "never %s", "shown"));
        EXPECT_FALSE(answerer2.Seen().fSeen);
    }
}

TEST(MessageBoxes, FormattedBoxShowsTheComposedText)
{
    Answerer answerer({ IDOK });
    int nResult = DisplayMessageBoxF(NULL, MSGBOX_ERROR, "Could not write %s (error %d).",
                                     "C:\\Games\\Quarrow\\qw.ini", 5);
    const _SEEN &seen = answerer.Seen();
    ASSERT_TRUE(seen.fSeen);
    EXPECT_EQ(IDOK, nResult);
    EXPECT_EQ("Error", seen.strCaption);
    EXPECT_EQ("Could not write C:\\Games\\Quarrow\\qw.ini (error 5).", seen.strText);
}

TEST(MessageBoxes, FormattedTextIsCutTo1023Characters)
{
    // 1023 characters fit whole; anything longer loses its end.
    std::string strFits(1022, 'a');
    Answerer answerer({ IDYES });
    EXPECT_EQ(IDYES, DisplayMessageBoxF(NULL, MSGBOX_CONFIRMATION, "%s!", strFits.c_str()));
    EXPECT_EQ(strFits + "!", answerer.Seen().strText);

    std::string strLong(1023, 'b');
    Answerer answerer2({ IDOK });
    EXPECT_EQ(IDOK, DisplayMessageBoxF(NULL, MSGBOX_INFORMATION, "%s%s", strLong.c_str(), "TAIL"));
    EXPECT_EQ(strLong, answerer2.Seen().strText);

    std::string strHuge(5000, 'c');
    Answerer answerer3({ IDOK });
    EXPECT_EQ(IDOK, DisplayMessageBoxF(NULL, MSGBOX_WARNING, "%s", strHuge.c_str()));
    EXPECT_EQ(std::string(1023, 'c'), answerer3.Seen().strText);
}

// ---------------------------------------------------------------- file helpers


TEST(Files, RemoveEndingSlashTakesOffOneTrailingBackslashOnly)
{
    EXPECT_CODE_PAGE();
    // 0x95 0x5C is one character in code page 932 (its second byte is no
    // backslash there), two in 1252.
    const struct {
        UINT uCodePage;   // 0: any
        const char *pszIn;
        const char *pszOut;
    } aCases[] = {
        { 0, "C:\\Games\\Quarrow\\", "C:\\Games\\Quarrow" },
        { 0, "C:\\Games\\Quarrow", "C:\\Games\\Quarrow" },
        { 0, "C:\\Games\\\\", "C:\\Games\\" },
        { 0, "C:/Games/", "C:/Games/" },
        { 0, "\\", "" },
        { 0, "", "" },
        { 932, "C:\\\x95\x5c", "C:\\\x95\x5c" },
        { 932, "C:\\\x95\x5c\\", "C:\\\x95\x5c" },
        { 1252, "C:\\\x95\x5c", "C:\\\x95" },
    };
    for (const auto &c : aCases) {
        if (c.uCodePage != 0 && c.uCodePage != GetACP())
            continue;
        char szPath[32];
        memset(szPath, 'z', sizeof(szPath));
        strcpy(szPath, c.pszIn);
        size_t nIn = strlen(c.pszIn);
        RemoveEndingSlash(szPath);
        EXPECT_STREQ(c.pszOut, szPath) << "from \"" << c.pszIn << "\"";
        EXPECT_EQ('z', szPath[nIn + 1]) << "wrote past the end of \"" << c.pszIn << "\"";
    }
}

TEST(Files, FileExistsOnlyForFilesThatCanBeOpenedForReading)
{
    TempFolder folder;
    std::string strFile = folder.Make("qw.ini");
    std::string strFolder = folder.Make("sub", true);

    EXPECT_TRUE(FileExists(strFile.c_str()));
    EXPECT_FALSE(FileExists((folder.Path() + "\\missing.ini").c_str()));
    EXPECT_FALSE(FileExists(strFolder.c_str()));
    EXPECT_FALSE(FileExists((folder.Path() + "\\nofolder\\qw.ini").c_str()));
    EXPECT_FALSE(FileExists(""));

    // Another reader does not get in the way; a writer does, and the handle
    // of a successful test is closed again (the file can then be deleted).
    HANDLE hReader = CreateFileA(strFile.c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_TRUE(FileExists(strFile.c_str()));
    CloseHandle(hReader);
    HANDLE hWriter = CreateFileA(strFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    ASSERT_NE(INVALID_HANDLE_VALUE, hWriter);
    EXPECT_FALSE(FileExists(strFile.c_str()));
    CloseHandle(hWriter);
    EXPECT_TRUE(FileExists(strFile.c_str()));
    EXPECT_TRUE(DeleteFileA(strFile.c_str())) << "FileExists left the file open";
}

TEST(Files, FileExistsFComposesThePath)
{
    TempFolder folder;
    folder.Make("qw.ini");
    EXPECT_TRUE(FileExistsF("%s\\%s", folder.Path().c_str(), "qw.ini"));
    EXPECT_FALSE(FileExistsF("%s\\%s", folder.Path().c_str(), "qx.ini"));
    EXPECT_FALSE(FileExistsF("%s\\%s%d", folder.Path().c_str(), "qw.ini", 2));
}

TEST(Files, FileExistsFCutsAPathLongerThan259Characters)
{
    TempFolder folder;
    // A file whose full path is exactly 259 characters, the longest that fits.
    size_t nPrefix = folder.Path().size() + 1;
    ASSERT_LT(nPrefix, 259u - 8);
    std::string strName(259 - nPrefix - 4, 'n');
    std::string strPath = folder.Make(strName + ".ini");
    ASSERT_EQ(259u, strPath.size());
    ASSERT_TRUE(FileExists(strPath.c_str()));

    // Whatever follows the 259th character is dropped, so the file is found...
    EXPECT_TRUE(FileExistsF("%s%s", strPath.c_str(), "X"));
    EXPECT_TRUE(FileExistsF("%s%s", strPath.c_str(), std::string(1000, 'Y').c_str()));
    // ...but a cut one character shorter would not name it.
    std::string strShort = strPath.substr(0, 258);
    EXPECT_FALSE(FileExistsF("%s", strShort.c_str()));
}

TEST(Files, GetFileNameWithAnUnknownModeShowsNothing)
{
    char szFilter[] = "Executable\0*.EXE;*.COM;*.BAT\0";
    char szTitle[] = "Locate your favorite browser";
    const short anModes[] = { 0, 3, -1 };
    for (short nMode : anModes) {
        SCOPED_TRACE(nMode);
        char szFile[MAX_PATH] = "C:\\windows\\notepad.exe";
        char szDir[MAX_PATH] = "C:\\windows";
        Answerer answerer({ 0 });
        EXPECT_FALSE(GetFileName(szFile, szDir, szFilter, nMode, szTitle));
        EXPECT_FALSE(answerer.Seen().fSeen);
        EXPECT_STREQ("C:\\windows\\notepad.exe", szFile);
    }
}

// The dialogs of modes 1 and 2, owned by the program's window.
class FileDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_hInstance = GetModuleHandleA(NULL);
        g_hwndMain = m_owner.m_hwnd;
    }
    void TearDown() override { g_hwndMain = NULL; }

    OwnerWindow m_owner;
    TempFolder m_folder;
    char m_szFilter[32] = "Executable\0*.EXE;*.COM;*.BAT\0";
    char m_szTitle[64] = "Locate your favorite browser";
};

TEST_F(FileDialogs, OpenDialogShowsTitleAndNameAndCancelLeavesTheName)
{
    std::string strFile = m_folder.Make("game.exe");
    char szFile[MAX_PATH];
    strcpy(szFile, strFile.c_str());
    Answerer answerer({ IDCANCEL });
    EXPECT_FALSE(GetFileName(szFile, szFile, m_szFilter, FILENAME_OPEN, m_szTitle));
    const _SEEN &seen = answerer.Seen();
    ASSERT_TRUE(seen.fSeen);
    EXPECT_EQ("Locate your favorite browser", seen.strCaption);
    EXPECT_EQ("game.exe", seen.strText);
    EXPECT_EQ(g_hwndMain, seen.hwndOwner);
    EXPECT_STREQ(strFile.c_str(), szFile);
}

TEST_F(FileDialogs, OpenDialogTakesANewFileInAnExistingFolder)
{
    char szFile[MAX_PATH] = "";
    char szDir[MAX_PATH];
    strcpy(szDir, m_folder.Path().c_str());
    std::string strWanted = m_folder.Path() + "\\browser.exe";
    Answerer answerer({ IDOK }, strWanted.c_str());
    EXPECT_TRUE(GetFileName(szFile, szDir, m_szFilter, FILENAME_OPEN, m_szTitle));
    ASSERT_TRUE(answerer.Seen().fSeen);
    EXPECT_STREQ(strWanted.c_str(), szFile);
}

TEST_F(FileDialogs, OpenDialogRefusesAMissingFolder)
{
    // The dialog complains and stays; the answering thread then cancels it.
    char szFile[MAX_PATH] = "";
    char szDir[MAX_PATH];
    strcpy(szDir, m_folder.Path().c_str());
    std::string strWanted = m_folder.Path() + "\\nofolder\\browser.exe";
    Answerer answerer({ IDOK, IDOK, IDCANCEL }, strWanted.c_str());
    EXPECT_FALSE(GetFileName(szFile, szDir, m_szFilter, FILENAME_OPEN, m_szTitle));
    EXPECT_TRUE(answerer.Seen(1).fSeen) << "no complaint about the missing folder";
    EXPECT_EQ(m_szTitle, answerer.Seen(2).strCaption) << "the dialog did not stay after the complaint";
}

// ------------------------------------------------- failures of the dialog

// Wine's open dialog neither refuses a starting name nor reports a buffer too
// small (it keeps paths within 259 characters itself), and Wine gives every
// folder a short name, so these tests put a scripted dialog in place of
// GetOpenFileNameW and CommDlgExtendedError, and a scripted GetShortPathNameW,
// in this program's import table, which GetFileName calls through.

// One scripted call of the dialog: its result, its error code and what it
// leaves in the name buffer, in UTF-8 (nothing when null; "" with fFill: the
// whole buffer without a terminator).
struct _DIALOGCALL {
    BOOL fResult;
    DWORD dwError;
    const char *pszLeft;
    bool fFill;
};

std::vector<_DIALOGCALL> g_aScript;
std::vector<std::string> g_astrStartNames;   // the name each call started from
std::vector<std::string> g_astrStartDirs;    // and its starting folder, "(none)"
DWORD g_dwLastError;
const char *g_pszShortName;                  // what GetShortPathNameW gives, UTF-8; NULL: fails

std::string Utf8(const WCHAR *pwsz)
{
    char sz[4 * MAX_PATH] = "";
    WideCharToMultiByte(CP_UTF8, 0, pwsz, -1, sz, sizeof(sz), NULL, NULL);
    return sz;
}

// Copies a UTF-8 text into the wide buffer of cch characters, terminated.
void CopyWide(const char *psz, WCHAR *pwsz, int cch)
{
    int cchDone = MultiByteToWideChar(CP_UTF8, 0, psz, -1, pwsz, cch);
    pwsz[cchDone > 0 ? cchDone - 1 : 0] = L'\0';
}

BOOL WINAPI ScriptedGetOpenFileNameW(LPOPENFILENAMEW pofn)
{
    g_astrStartNames.push_back(Utf8(pofn->lpstrFile));
    g_astrStartDirs.push_back(pofn->lpstrInitialDir != NULL ? Utf8(pofn->lpstrInitialDir) : "(none)");
    size_t nCall = g_astrStartNames.size() - 1;
    if (nCall >= g_aScript.size()) {
        g_dwLastError = 0;
        return FALSE;
    }
    const _DIALOGCALL &call = g_aScript[nCall];
    if (call.fFill)
        wmemset(pofn->lpstrFile, L'a', pofn->nMaxFile);
    else if (call.pszLeft != NULL)
        CopyWide(call.pszLeft, pofn->lpstrFile, (int)pofn->nMaxFile);
    g_dwLastError = call.dwError;
    return call.fResult;
}

DWORD WINAPI ScriptedCommDlgExtendedError()
{
    return g_dwLastError;
}

DWORD WINAPI ScriptedGetShortPathNameW(LPCWSTR, LPWSTR pwszShort, DWORD cchShort)
{
    if (g_pszShortName == NULL) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    CopyWide(g_pszShortName, pwszShort, (int)cchShort);
    return (DWORD)lstrlenW(pwszShort);
}

class DialogFailures : public FileDialogs {
protected:
    void SetUp() override
    {
        FileDialogs::SetUp();
        g_aScript.clear();
        g_astrStartNames.clear();
        g_astrStartDirs.clear();
        g_pszShortName = NULL;
        m_pOpen = ReplaceImport("comdlg32.dll", "GetOpenFileNameW", (void *)ScriptedGetOpenFileNameW);
        m_pError = ReplaceImport("comdlg32.dll", "CommDlgExtendedError",
                                 (void *)ScriptedCommDlgExtendedError);
        m_pShort = ReplaceImport("kernel32.dll", "GetShortPathNameW", (void *)ScriptedGetShortPathNameW);
        // GetFileName may not ask for the error code or the short name at all.
        ASSERT_NE(nullptr, m_pOpen);
    }
    void TearDown() override
    {
        if (m_pOpen != NULL)
            ReplaceImport("comdlg32.dll", "GetOpenFileNameW", m_pOpen);
        if (m_pError != NULL)
            ReplaceImport("comdlg32.dll", "CommDlgExtendedError", m_pError);
        if (m_pShort != NULL)
            ReplaceImport("kernel32.dll", "GetShortPathNameW", m_pShort);
        FileDialogs::TearDown();
    }
    // Runs GetFileName's open dialog on szFile, as "Browse..." does.
    bool Browse(char *szFile) { return GetFileName(szFile, szFile, m_szFilter, FILENAME_OPEN, m_szTitle); }

    void *m_pOpen = NULL;
    void *m_pError = NULL;
    void *m_pShort = NULL;
};

TEST_F(DialogFailures, ARefusedStartingNameIsTriedOnceMoreWithoutItOrItsFolder)
{
    const char szQuoted[] = "\"C:\\Program Files\\browser.exe\"";
    char szFile[MAX_PATH];
    strcpy(szFile, szQuoted);
    g_aScript = { { FALSE, FNERR_INVALIDFILENAME, "junk", false },
                  { TRUE, 0, "C:\\new\\browser.exe", false } };
    EXPECT_TRUE(Browse(szFile));
    EXPECT_EQ((std::vector<std::string>{ szQuoted, "" }), g_astrStartNames);
    EXPECT_EQ((std::vector<std::string>{ szQuoted, "(none)" }), g_astrStartDirs);
    EXPECT_STREQ("C:\\new\\browser.exe", szFile);

    // Refused again: the player is told, the name stays, no third try.
    strcpy(szFile, szQuoted);
    g_astrStartNames.clear();
    g_aScript = { { FALSE, FNERR_INVALIDFILENAME, "junk", false },
                  { FALSE, FNERR_INVALIDFILENAME, "junk", false } };
    Answerer answerer({ IDOK });
    EXPECT_FALSE(Browse(szFile));
    EXPECT_NE(std::string::npos, answerer.Seen().strText.find("could not be shown"))
        << answerer.Seen().strText;
    EXPECT_EQ(2u, g_astrStartNames.size());
    EXPECT_STREQ(szQuoted, szFile);

    // A cancel is no refusal: no second dialog, no box.
    g_astrStartNames.clear();
    g_aScript = { { FALSE, 0, "junk", false } };
    Answerer answerer2({ 0 });
    EXPECT_FALSE(Browse(szFile));
    EXPECT_FALSE(answerer2.Seen().fSeen);
    EXPECT_EQ(1u, g_astrStartNames.size());
    EXPECT_STREQ(szQuoted, szFile);
}

TEST_F(DialogFailures, AStartingNameThatFillsTheBufferStartsTheDialogThere)
{
    // 259 bytes, the second in code page 932 only: 126 characters of two bytes.
    for (const char *pszUnit : { "a", "\xe8\xa1\xa8" }) {
        std::string strName = "C:\\";
        for (int i = 0; i < (pszUnit[1] != '\0' ? 126 : 252); i++)
            strName += pszUnit;
        WCHAR wszName[MAX_PATH];
        CopyWide((strName += ".exe").c_str(), wszName, MAX_PATH);
        char szFile[MAX_PATH] = "";
        if (WideCharToMultiByte(CP_ACP, 0, wszName, -1, szFile, MAX_PATH, NULL, NULL) != MAX_PATH)
            continue;
        g_astrStartDirs.clear();
        EXPECT_FALSE(Browse(szFile));
        EXPECT_EQ(std::vector<std::string>{ strName }, g_astrStartDirs);
    }
}

// A chosen path is kept only in an ANSI spelling (code page 1252 or 932 under
// Wine) that names the very file the player chose.
TEST_F(DialogFailures, AChosenPathIsKeptOnlyWhereTheCodePageNamesThatFile)
{
    EXPECT_CODE_PAGE();
    // 156 characters, 262 bytes in code page 932.
    std::string strDbcsLong = "C:\\" + std::string(43, 'x');
    while (strDbcsLong.size() < 46 + 3 * 106)
        strDbcsLong += "\xe8\xa1\xa8";
    const struct {
        UINT uCodePage;
        std::string strChosen;   // UTF-8, as the dialog gives it
        bool fFill;              // the dialog leaves no terminator
        const char *pszShort;    // the short name the system gives, or NULL
        const char *pszKept;     // in the ANSI code page; NULL: refused with a box
        const char *pszBox;      // what the box says
    } aCases[] = {
        { 1252, "C:\\Caf\xc3\xa9\\browser.exe", false, NULL, "C:\\Caf\xe9\\browser.exe", NULL },
        // A Polish L with a stroke: best fit would make it "L".
        { 0, "C:\\\xc5\x81ukasz\\browser.exe", false, NULL, NULL, "cannot be kept" },
        { 0, "C:\\\xc5\x81ukasz\\browser.exe", false, "C:\\UKASZ~1\\browser.exe",
          "C:\\UKASZ~1\\browser.exe", NULL },
        // A drive without short names gives the long name back.
        { 0, "C:\\\xc5\x81ukasz\\browser.exe", false, "C:\\\xc5\x81ukasz\\browser.exe", NULL,
          "cannot be kept" },
        { 1252, "D:\\\xe6\xb8\xb8\xe6\x88\x8f\\game.exe", false, NULL, NULL, "cannot be kept" },
        { 1252, "", true, NULL, NULL, "259 characters" },
        // Its second byte is 0x5C, the backslash of code page 1252.
        { 932, "D:\\\xe8\xa1\xa8\\game.exe", false, NULL, "D:\\\x95\x5c\\game.exe", NULL },
        { 932, strDbcsLong + ".exe", false, NULL, NULL, "259 bytes" },
    };
    for (const auto &c : aCases) {
        if (c.uCodePage != 0 && c.uCodePage != GetACP())
            continue;
        SCOPED_TRACE(c.strChosen);
        char szFile[MAX_PATH + 1];
        memset(szFile, 'z', sizeof(szFile));
        strcpy(szFile, "C:\\old\\browser.exe");
        g_astrStartNames.clear();
        g_aScript = { { TRUE, 0, c.strChosen.c_str(), c.fFill } };
        g_pszShortName = c.pszShort;
        Answerer answerer({ c.pszKept != NULL ? 0 : IDOK });
        EXPECT_EQ(c.pszKept != NULL, Browse(szFile));
        const _SEEN &seen = answerer.Seen();
        EXPECT_STREQ(c.pszKept != NULL ? c.pszKept : "C:\\old\\browser.exe", szFile);
        EXPECT_EQ('z', szFile[MAX_PATH]) << "wrote past the buffer";
        if (c.pszBox == NULL) {
            EXPECT_FALSE(seen.fSeen) << seen.strText;
            continue;
        }
        EXPECT_EQ("Error", seen.strCaption);
        EXPECT_NE(std::string::npos, seen.strText.find(c.pszBox)) << seen.strText;
        EXPECT_EQ(g_hwndMain, seen.hwndOwner);
    }
}

TEST_F(DialogFailures, APathTooLongIsRefusedWithABoxAndTheNameKept)
{
    char szFile[MAX_PATH] = "C:\\Program Files\\browser.exe";
    // The dialog leaves the size it needed in the first bytes of the buffer.
    g_aScript = { { FALSE, FNERR_BUFFERTOOSMALL, "\x2c\x01", false } };
    Answerer answerer({ IDOK });
    EXPECT_FALSE(Browse(szFile));
    const _SEEN &seen = answerer.Seen();
    ASSERT_TRUE(seen.fSeen) << "no box about the long path";
    EXPECT_EQ("Error", seen.strCaption);
    EXPECT_NE(std::string::npos, seen.strText.find("too long")) << seen.strText;
    EXPECT_EQ(g_hwndMain, seen.hwndOwner);
    EXPECT_EQ(1u, g_astrStartNames.size());
    EXPECT_STREQ("C:\\Program Files\\browser.exe", szFile);
}

TEST_F(FileDialogs, SaveDialogAsksBeforeTakingAnExistingFile)
{
    std::string strFile = m_folder.Make("qw.exe");
    char szFile[MAX_PATH] = "";
    char szDir[MAX_PATH];
    strcpy(szDir, m_folder.Path().c_str());
    Answerer answerer({ IDOK, IDYES }, strFile.c_str());
    EXPECT_TRUE(GetFileName(szFile, szDir, m_szFilter, FILENAME_SAVE, m_szTitle));
    ASSERT_TRUE(answerer.Seen(0).fSeen);
    EXPECT_TRUE(answerer.Seen(1).fSeen) << "no question before overwriting";
    EXPECT_STREQ(strFile.c_str(), szFile);
}

}  // namespace
