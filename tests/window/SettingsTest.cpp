// The settings binding in-process: qw.ini in a temporary folder, the editor on
// a thread, the test pressing the controls and answering the boxes.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <vector>

#include "Controls.h"
#include "EditorSession.h"
#include "ImportSeam.h"
#include "Main.h"
#include "Settings.h"

namespace {

const char szDefaultBrowser[] = "C:\\Program Files\\Internet Explorer\\iexplore.exe";

// What "Okay" writes when it starts without a file and nothing is changed.
const char szDefaultFile[] =
    "#server_address = Please, see licence.txt\r\n"
    "#server_port = 2000\r\n"
    "#save_ignores = 1\r\n"
    "#use_global_ignores = 1\r\n"
    "#normal_camera_rotation_speed = 15.0\r\n"
    "#fine_camera_rotation_speed = 1.0\r\n"
    "#browser = C:\\Program Files\\Internet Explorer\\iexplore.exe\r\n"
    "#video_mode = 2\r\n"
    "#full_screen = 0\r\n"
    "#shadows_on = 1\r\n"
    "#clouds_shadows = 1\r\n"
    "#no_adjust_shadows = 1\r\n"
    "#poor_man = 0\r\n"
    "#no_sound = 0";

// The value of the first line "#key = value" of a file's bytes; "?" when absent.
std::string ValueOf(const std::string &data, const std::string &key)
{
    std::string start = "#" + key + " = ";
    size_t pos = 0;
    while ((pos = data.find(start, pos)) != std::string::npos) {
        if (pos == 0 || data[pos - 1] == '\n') {
            size_t end = data.find_first_of("\r\n", pos);
            if (end == std::string::npos)
                end = data.size();
            return data.substr(pos + start.size(), end - pos - start.size());
        }
        pos++;
    }
    return "?";
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override
    {
        folder = makeTempFolder();
        ASSERT_FALSE(folder.empty());
        ini = folder + "\\qw.ini";
    }
    void TearDown() override
    {
        if (editor.running()) {
            PostMessageA(editor.hwnd, WM_CLOSE, 0, 0);
            editor.waitForExit();
        }
        removeTempFolder(folder);
    }

    // Starts the editor, on qw.ini with these bytes when pszFile is not null.
    bool start(const char *pszFile = NULL)
    {
        if (pszFile != NULL && !writeFileBytes(ini, pszFile))
            return false;
        return editor.start(folder.c_str());
    }
    // Presses "Okay" and waits for the end; true when the program ended with 0.
    // Starts on a read-only copy of the sample, changes every page and presses
    // "Okay": the "not saved" box, or NULL when it does not show.
    HWND okayOnReadOnlySample();
    bool okay()
    {
        editor.clickAsync(IDOK);
        return editor.waitForExit() && editor.nExitCode == 0;
    }
    std::string file()
    {
        std::string data;
        if (!readFileBytes(ini, &data))
            return "(no file)";
        return data;
    }
    int videoRow() { return (int)SendMessageA(editor.control(IDC_VIDEOMODE), LB_GETCURSEL, 0, 0); }
    // Picks a row of the video mode list as a click on it would.
    void pickVideoRow(int nRow)
    {
        SendMessageA(editor.control(IDC_VIDEOMODE), LB_SETCURSEL, nRow, 0);
        editor.command(IDC_VIDEOMODE, LBN_SELCHANGE);
    }
    bool enabled(int nID) { return IsWindowEnabled(editor.control(nID)) != FALSE; }
    // Starts the editor in pszFolder and expects an "Error" box instead of the
    // window, then exit code 1 once the box is answered; gives the box's text.
    std::string refusedStart(const char *pszFolder)
    {
        if (!editor.launch(pszFolder))
            return "(not started)";
        HWND hwndBox = editor.waitForDialog("Error");
        if (hwndBox == NULL)
            return "(no box)";
        WCHAR wszText[1024] = L"";
        GetDlgItemTextW(hwndBox, 0xFFFF, wszText, 1024);
        EXPECT_EQ(nullptr, FindWindowA("MAIN", NULL)) << "a window behind the box";
        EXPECT_TRUE(editor.answerDialog(hwndBox, IDOK));
        EXPECT_TRUE(editor.waitForExit());
        EXPECT_EQ(1u, editor.nExitCode);
        // In UTF-8, as szIniFile holds a path.
        return utf8(wszText);
    }

    std::string folder;
    std::string ini;
    EditorSession editor;
};

TEST_F(Settings, WithoutAFileShowsTheDefaultsAndOkayWritesThem)
{
    ASSERT_TRUE(start());
    EXPECT_EQ("Please, see licence.txt", editor.text(IDC_HOST));
    EXPECT_EQ("2000", editor.text(IDC_PORT));
    EXPECT_TRUE(editor.checked(IDC_SAVEIGNORES));
    EXPECT_TRUE(editor.checked(IDC_USEGLOBALIGNORES));
    EXPECT_EQ("15.0", editor.text(IDC_NORMALROT));
    EXPECT_EQ("1.0", editor.text(IDC_FINEROT));
    EXPECT_EQ(szDefaultBrowser, editor.text(IDC_BROWSER));

    EXPECT_EQ(3, videoRow());
    EXPECT_FALSE(editor.checked(IDC_FULLSCREEN));
    EXPECT_FALSE(editor.checked(IDC_POORMAN));
    EXPECT_TRUE(editor.checked(IDC_SHADOWS));
    EXPECT_TRUE(editor.checked(IDC_CLOUDSSHADOWS));
    EXPECT_TRUE(editor.checked(IDC_NOADJUSTSHADOWS));
    EXPECT_TRUE(enabled(IDC_NOADJUSTSHADOWS));

    EXPECT_TRUE(editor.checked(IDC_SOUNDS));
    EXPECT_FALSE(editor.checked(IDC_DOLBY));
    EXPECT_FALSE(enabled(IDC_DOLBY));
    EXPECT_FALSE(fileExists(ini)) << "loading must not create the file";

    ASSERT_TRUE(okay());
    EXPECT_EQ(szDefaultFile, file());
}

TEST_F(Settings, OkayKeepsEveryOtherLineAndUpdatesTheKeysInPlace)
{
    ASSERT_TRUE(start("; Quarrow client settings\r\n"
                      "[General]\r\n"
                      "#Server_Address = old.example.net\r\n"
                      "  #SERVER_PORT = 0080\r\n"
                      "#chat_colour = 3\r\n"
                      "\r\n"
                      "\t#video_mode = 5\r\n"
                      "#full_screen = 0\r\n"
                      "# browser = not a key\r\n"
                      "#shadows_on = 0\r\n"
                      "#SHADOWS_ON = 1\r\n"
                      "#poor_man = 1\r\n"
                      "#no_sound = 5\r\n"
                      "last line without a line end"));
    EXPECT_EQ("old.example.net", editor.text(IDC_HOST));
    EXPECT_EQ("80", editor.text(IDC_PORT));
    EXPECT_EQ(2, videoRow());   // "1024 x 768 x 16"
    EXPECT_FALSE(editor.checked(IDC_SHADOWS)) << "the first of two lines counts";
    EXPECT_TRUE(editor.checked(IDC_POORMAN));
    EXPECT_FALSE(editor.checked(IDC_SOUNDS));
    EXPECT_EQ(szDefaultBrowser, editor.text(IDC_BROWSER));
    EXPECT_EQ(nullptr, editor.waitForDialog(NULL, 0)) << "poor_man from the file asks nothing";

    ASSERT_TRUE(okay());
    EXPECT_EQ("; Quarrow client settings\r\n"
              "[General]\r\n"
              "#server_address = old.example.net\n"
              "  #server_port = 0080\n"
              "#chat_colour = 3\r\n"
              "\r\n"
              "\t#video_mode = 5\n"
              "#full_screen = 0\n"
              "# browser = not a key\r\n"
              "#shadows_on = 0\n"
              "#shadows_on = 0\n"
              "#poor_man = 1\n"
              "#no_sound = 1\n"
              "last line without a line end\r\n"
              "#save_ignores = 1\r\n"
              "#use_global_ignores = 1\r\n"
              "#normal_camera_rotation_speed = 15.0\r\n"
              "#fine_camera_rotation_speed = 1.0\r\n"
              "#browser = C:\\Program Files\\Internet Explorer\\iexplore.exe\r\n"
              "#clouds_shadows = 1\r\n"
              "#no_adjust_shadows = 1",
              file());
}

TEST_F(Settings, ConvertsNumbersAsTheGameClientStoresThem)
{
    ASSERT_TRUE(start("#video_mode = 65537\r\n"
                      "#server_port = -2\r\n"
                      "#full_screen = 5\r\n"
                      "#save_ignores = 0\r\n"
                      "#normal_camera_rotation_speed = 12.50\r\n"));
    EXPECT_EQ(0, videoRow()) << "only the low 16 bits name the mode";
    EXPECT_EQ("4294967294", editor.text(IDC_PORT));
    EXPECT_TRUE(editor.checked(IDC_FULLSCREEN));
    EXPECT_FALSE(editor.checked(IDC_SAVEIGNORES));
    EXPECT_EQ("12.50", editor.text(IDC_NORMALROT));

    ASSERT_TRUE(okay());
    std::string data = file();
    EXPECT_EQ("1", ValueOf(data, "video_mode"));
    EXPECT_EQ("-002", ValueOf(data, "server_port"));
    EXPECT_EQ("1", ValueOf(data, "full_screen"));
    EXPECT_EQ("0", ValueOf(data, "save_ignores"));
    EXPECT_EQ("12.50", ValueOf(data, "normal_camera_rotation_speed"));
}

TEST_F(Settings, UnknownVideoModeFallsBackToIndexThree)
{
    ASSERT_TRUE(start("#video_mode = 7"));
    EXPECT_EQ(3, videoRow());
    ASSERT_TRUE(okay());
    EXPECT_EQ("2", ValueOf(file(), "video_mode"));
}

TEST_F(Settings, OkayWritesWhatThePlayerEntered)
{
    ASSERT_TRUE(start());
    editor.setText(IDC_HOST, "");
    editor.setText(IDC_PORT, "80");
    // Text set from outside past a field's room is cut in the field itself.
    editor.setText(IDC_FINEROT, "0.123456789012345678");
    editor.setText(IDC_BROWSER, std::string(300, 'b').c_str());
    EXPECT_EQ("0.1234567890123", editor.text(IDC_FINEROT));
    EXPECT_EQ(std::string(259, 'b'), editor.text(IDC_BROWSER));
    editor.click(IDC_SAVEIGNORES);
    editor.click(IDC_FULLSCREEN);
    editor.click(IDC_SOUNDS);
    pickVideoRow(5);

    ASSERT_TRUE(okay());
    std::string data = file();
    EXPECT_NE(std::string::npos, data.find("#server_address = \r\n")) << data;
    EXPECT_EQ("0080", ValueOf(data, "server_port"));
    EXPECT_EQ("0.1234567890123", ValueOf(data, "fine_camera_rotation_speed"));
    EXPECT_EQ(std::string(259, 'b'), ValueOf(data, "browser"));
    EXPECT_EQ("0", ValueOf(data, "save_ignores"));
    EXPECT_EQ("1", ValueOf(data, "full_screen"));
    EXPECT_EQ("1", ValueOf(data, "no_sound"));
    EXPECT_EQ("6", ValueOf(data, "video_mode"));
}

TEST_F(Settings, AListWithoutSelectionKeepsTheLastVideoMode)
{
    ASSERT_TRUE(start("#video_mode = 4"));
    pickVideoRow(1);
    pickVideoRow(-1);   // LB_GETCURSEL then reports LB_ERR
    EXPECT_EQ(1, nSelectedVideo);
    ASSERT_TRUE(okay());
    EXPECT_EQ("3", ValueOf(file(), "video_mode"));
}

TEST_F(Settings, KeepShadowsBoxFollowsBothShadowBoxes)
{
    ASSERT_TRUE(start("#shadows_on = 0\r\n#clouds_shadows = 0\r\n#no_adjust_shadows = 1"));
    editor.selectTab(1);
    EXPECT_FALSE(enabled(IDC_NOADJUSTSHADOWS));
    EXPECT_TRUE(editor.checked(IDC_NOADJUSTSHADOWS)) << "disabled, but it keeps its mark";

    editor.click(IDC_SHADOWS);
    EXPECT_TRUE(enabled(IDC_NOADJUSTSHADOWS));
    editor.click(IDC_CLOUDSSHADOWS);
    EXPECT_TRUE(enabled(IDC_NOADJUSTSHADOWS));
    editor.click(IDC_SHADOWS);
    EXPECT_TRUE(enabled(IDC_NOADJUSTSHADOWS));
    editor.click(IDC_CLOUDSSHADOWS);
    EXPECT_FALSE(enabled(IDC_NOADJUSTSHADOWS));

    ASSERT_TRUE(okay());
    std::string data = file();
    EXPECT_EQ("0", ValueOf(data, "shadows_on"));
    EXPECT_EQ("0", ValueOf(data, "clouds_shadows"));
    EXPECT_EQ("1", ValueOf(data, "no_adjust_shadows"));
}

TEST_F(Settings, OnlyAClickTogglesACheckBox)
{
    ASSERT_TRUE(start());
    // Notifications of a button other than a click (a button with BS_NOTIFY,
    // or one sent by another program) and a click reported by a window that
    // is no check box change no check mark.
    const struct {
        int nID;
        int nCode;
        int nChecked;   // the box IDC_FULLSCREEN afterwards
    } aCases[] = {
        { IDC_FULLSCREEN, BN_SETFOCUS, 0 },
        { IDC_FULLSCREEN, BN_KILLFOCUS, 0 },
        { IDC_FULLSCREEN, BN_DOUBLECLICKED, 0 },
        { IDC_FULLSCREEN, EN_CHANGE, 0 },
        { IDC_FULLSCREEN, BN_CLICKED, 1 },
        { IDC_FULLSCREEN, BN_CLICKED, 0 },
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.nCode);
        editor.command(c.nID, c.nCode);
        EXPECT_EQ(c.nChecked != 0, editor.checked(IDC_FULLSCREEN));
    }
}

TEST_F(Settings, LowQualityAsksBeforeSwitchingOnOnly)
{
    ASSERT_TRUE(start());
    editor.selectTab(1);

    editor.clickAsync(IDC_POORMAN);
    HWND hwndBox = editor.waitForDialog("Confirmation");
    ASSERT_NE(nullptr, hwndBox);
    char szText[512] = "";
    GetDlgItemTextA(hwndBox, 0xFFFF, szText, sizeof(szText));
    EXPECT_STREQ("You are going to enable an option that will drastically drop the quality \n"
                 "(no reflections and the texture filtering will be set to NEAREST).\n"
                 "Although you might get some performance increase.\n\n"
                 "Are you sure you want to enable this option?",
                 szText);
    EXPECT_NE(nullptr, GetDlgItem(hwndBox, IDYES));
    EXPECT_NE(nullptr, GetDlgItem(hwndBox, IDNO));
    ASSERT_TRUE(editor.answerDialog(hwndBox, IDNO));
    EXPECT_FALSE(editor.checked(IDC_POORMAN));

    editor.clickAsync(IDC_POORMAN);
    hwndBox = editor.waitForDialog("Confirmation");
    ASSERT_NE(nullptr, hwndBox);
    ASSERT_TRUE(editor.answerDialog(hwndBox, IDYES));
    EXPECT_TRUE(editor.checked(IDC_POORMAN));

    // Switching it off asks nothing: the box clears by itself. (The click is
    // posted, so it is waited for; a sync would only wait for sent messages.)
    editor.clickAsync(IDC_POORMAN);
    for (int i = 0; i < 100 && editor.checked(IDC_POORMAN); i++)
        Sleep(50);
    EXPECT_FALSE(editor.checked(IDC_POORMAN));
    EXPECT_EQ(nullptr, editor.waitForDialog(NULL, 0));

    editor.clickAsync(IDC_POORMAN);
    hwndBox = editor.waitForDialog("Confirmation");
    ASSERT_NE(nullptr, hwndBox);
    ASSERT_TRUE(editor.answerDialog(hwndBox, IDYES));
    ASSERT_TRUE(okay());
    EXPECT_EQ("1", ValueOf(file(), "poor_man"));
}

// Types a name into the file field of an open dialog.
bool TypeFileName(HWND hwndDialog, const char *pszName)
{
    static const int aFields[] = { 0x47C /* cmb13 */, 0x480 /* edt1 */ };
    for (int nID : aFields) {
        HWND hwndField = GetDlgItem(hwndDialog, nID);
        if (hwndField != NULL && IsWindowVisible(hwndField))
            return SetWindowTextA(hwndField, pszName) != FALSE;
    }
    return false;
}

TEST_F(Settings, BrowseCancelledLeavesTheFieldAndChosenReplacesIt)
{
    std::string chosen = folder + "\\mybrowser.exe";
    ASSERT_TRUE(writeFileBytes(chosen, "MZ"));
    ASSERT_TRUE(start("#browser = C:\\old\\browser.exe"));
    editor.setText(IDC_BROWSER, "C:\\typed\\by\\hand.exe");

    editor.clickAsync(IDC_BROWSE);
    HWND hwndDialog = editor.waitForDialog("Locate your favorite browser", 15000);
    ASSERT_NE(nullptr, hwndDialog);
    ASSERT_TRUE(editor.answerDialog(hwndDialog, IDCANCEL));
    EXPECT_EQ("C:\\typed\\by\\hand.exe", editor.text(IDC_BROWSER));
    EXPECT_STREQ("C:\\old\\browser.exe", szBrowser);

    editor.clickAsync(IDC_BROWSE);
    hwndDialog = editor.waitForDialog("Locate your favorite browser", 15000);
    ASSERT_NE(nullptr, hwndDialog);
    ASSERT_TRUE(TypeFileName(hwndDialog, chosen.c_str()));
    ASSERT_TRUE(editor.answerDialog(hwndDialog, IDOK));
    EXPECT_EQ(0, lstrcmpiA(chosen.c_str(), editor.text(IDC_BROWSER).c_str()))
        << editor.text(IDC_BROWSER);

    ASSERT_TRUE(okay());
    EXPECT_EQ(0, lstrcmpiA(chosen.c_str(), ValueOf(file(), "browser").c_str()));
}

const char szSample[] =
    "; sample\r\n"
    "#server_address = play.quarrow.example\r\n"
    "#server_port = 2000\r\n"
    "#shadows_on = 1\r\n"
    "#poor_man = 0\r\n";

// Changes something on every page.
void ChangeEverything(EditorSession &editor)
{
    editor.setText(IDC_HOST, "elsewhere");
    editor.setText(IDC_PORT, "1234");
    editor.click(IDC_SHADOWS);
    editor.click(IDC_SOUNDS);
    SendMessageA(editor.control(IDC_VIDEOMODE), LB_SETCURSEL, 0, 0);
    editor.command(IDC_VIDEOMODE, LBN_SELCHANGE);
}

// "\u8868" in UTF-8; code page 932 spells it 0x95 0x5C, two bytes.
#define HYO "\xe8\xa1\xa8"
#define HYO_932 "\x95\x5c"

std::string Repeat(const char *psz, int n)
{
    std::string str;
    while (n-- > 0)
        str += psz;
    return str;
}

TEST_F(Settings, AFieldIsSavedAsItShowsOrABoxSaysWhyAndTheFileStays)
{
    EXPECT_CODE_PAGE();
    const std::string strHost259 = std::string(259, 'h');
    const std::string strHyo129 = Repeat(HYO, 129) + "h", strHyo130 = Repeat(HYO, 130);
    const std::string strDbcs259 = Repeat(HYO_932, 129) + "h";
    const struct {
        UINT uCodePage;          // 0: any
        int nID;
        const char *pszKey;
        std::string strPasted;   // UTF-8
        std::string strShown;    // UTF-8, what the field then shows
        std::string strSaved;    // the value's bytes in qw.ini; "" with pszBox
        const char *pszBox;      // what the box says; NULL: saved
    } aCases[] = {
        { 0, IDC_HOST, "server_address", strHost259, strHost259, strHost259, NULL },
        { 0, IDC_HOST, "server_address", strHost259 + "x", strHost259, strHost259, NULL },
        { 0, IDC_NORMALROT, "normal_camera_rotation_speed", "1234567890123456", "123456789012345",
          "123456789012345", NULL },
        { 0, IDC_PORT, "server_port", "42949672951", "4294967295", "-001", NULL },
        { 0, IDC_PORT, "server_port", "", "", "", "is empty" },
        { 0, IDC_PORT, "server_port", "9999999999", "9999999999", "", "no number" },
        { 0, IDC_BROWSER, "browser", "C:\\\xc5\x81ukasz\\b.exe", "C:\\\xc5\x81ukasz\\b.exe", "",
          "cannot read" },
        { 1252, IDC_HOST, "server_address", HYO HYO, HYO HYO, "", "cannot read" },
        { 1252, IDC_FINEROT, "fine_camera_rotation_speed", "2.5\xc3\xa9", "2.5\xc3\xa9", "2.5\xe9",
          NULL },
        { 932, IDC_HOST, "server_address", strHyo129, strHyo129, strDbcs259, NULL },
        { 932, IDC_BROWSER, "browser", strHyo130, Repeat(HYO, 129), Repeat(HYO_932, 129), NULL },
        { 932, IDC_FINEROT, "fine_camera_rotation_speed", "2.5\xc3\xa9", "2.5\xc3\xa9", "",
          "cannot read" },
    };
    for (const auto &c : aCases) {
        if (c.uCodePage != 0 && c.uCodePage != GetACP())
            continue;
        SCOPED_TRACE(c.pszKey + (" = " + c.strPasted));
        ASSERT_TRUE(start(szSample));
        editor.paste(c.nID, c.strPasted.c_str());
        WCHAR wszShown[1024] = L"";
        GetWindowTextW(editor.control(c.nID), wszShown, 1024);
        EXPECT_EQ(c.strShown, utf8(wszShown));
        if (c.pszBox == NULL) {
            ASSERT_TRUE(okay());
            EXPECT_EQ(c.strSaved, ValueOf(file(), c.pszKey));
            continue;
        }
        editor.clickAsync(IDOK);
        HWND hwndBox = editor.waitForDialog("Error");
        ASSERT_NE(nullptr, hwndBox);
        char szText[1024] = "";
        GetDlgItemTextA(hwndBox, 0xFFFF, szText, sizeof(szText));
        EXPECT_NE(nullptr, strstr(szText, c.pszBox)) << szText;
        EXPECT_TRUE(editor.answerDialog(hwndBox, IDOK));
        EXPECT_TRUE(IsWindowVisible(editor.hwnd));
        EXPECT_EQ(szSample, file());
        PostMessageA(editor.hwnd, WM_CLOSE, 0, 0);
        ASSERT_TRUE(editor.waitForExit());
    }
}

TEST_F(Settings, CancelAndCloseBoxLeaveTheFileAsItWas)
{
    ASSERT_TRUE(start(szSample));
    ChangeEverything(editor);
    editor.clickAsync(IDCANCEL);
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(0u, editor.nExitCode);
    EXPECT_EQ(szSample, file());

    EditorSession second;
    ASSERT_TRUE(second.start(folder.c_str()));
    ChangeEverything(second);
    PostMessageA(second.hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
    ASSERT_TRUE(second.waitForExit());
    EXPECT_EQ(0u, second.nExitCode);
    EXPECT_EQ(szSample, file());
}

TEST_F(Settings, CancelWithoutAFileCreatesNone)
{
    ASSERT_TRUE(start());
    editor.click(IDC_FULLSCREEN);
    editor.clickAsync(IDCANCEL);
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_FALSE(fileExists(ini));
}

TEST_F(Settings, OkayKeepsWhatAnotherProgramWroteWhileTheWindowWasOpen)
{
    ASSERT_TRUE(start(szSample));
    std::string changed = szSample;
    changed.replace(changed.find("2000"), 4, "3000");
    changed += "#chat_colour = 3\r\n";
    ASSERT_TRUE(writeFileBytes(ini, changed));
    editor.setText(IDC_HOST, "elsewhere");

    ASSERT_TRUE(okay());
    std::string data = file();
    EXPECT_EQ("elsewhere", ValueOf(data, "server_address"));
    EXPECT_EQ("2000", ValueOf(data, "server_port")) << "the editor's fourteen settings win";
    EXPECT_EQ("3", ValueOf(data, "chat_colour")) << data;
}

// A qw.ini held open by another program is the player test "locked".
TEST_F(Settings, AFolderInTheFilesPlaceStopsTheStart)
{
    ASSERT_TRUE(CreateDirectoryA(ini.c_str(), NULL));
    std::string box = refusedStart(folder.c_str());
    EXPECT_NE(std::string::npos, box.find(ini + "\nis not a settings file")) << box;
    EXPECT_NE(std::string::npos, box.find("Rename it or move it elsewhere")) << box;
    EXPECT_EQ(FILE_ATTRIBUTE_DIRECTORY, GetFileAttributesA(ini.c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    RemoveDirectoryA(ini.c_str());
}

// How the scripted GetShortPathNameW answers: as Windows does on a drive
// that keeps no short names, for a folder it cannot list, or with a name
// shorter by one character.
enum { SHORT_SYSTEM, SHORT_NONE, SHORT_DENIED, SHORT_ONE_LESS };
int g_nShortNames;
void *g_pGetShortPathNameW;

DWORD WINAPI ScriptedGetShortPathNameW(LPCWSTR pwszLong, LPWSTR pwszShort, DWORD cchShort)
{
    if (g_nShortNames == SHORT_DENIED) {
        SetLastError(ERROR_ACCESS_DENIED);
        return 0;
    }
    if (g_nShortNames == SHORT_SYSTEM)
        return ((DWORD(WINAPI *)(LPCWSTR, LPWSTR, DWORD))g_pGetShortPathNameW)(pwszLong, pwszShort,
                                                                              cchShort);
    DWORD cch = (DWORD)lstrlenW(pwszLong) - (g_nShortNames == SHORT_ONE_LESS ? 1 : 0);
    if (cch >= cchShort)
        return cch + 1;
    memcpy(pwszShort, pwszLong, cch * sizeof(WCHAR));
    pwszShort[cch] = L'\0';
    return cch;
}

// The editor's folders by their own names: GetShortPathNameW answers as the
// test says while it lives.
class Folders : public Settings {
protected:
    void SetUp() override
    {
        Settings::SetUp();
        g_nShortNames = SHORT_NONE;
        g_pGetShortPathNameW = ReplaceImport("kernel32.dll", "GetShortPathNameW",
                                             (void *)ScriptedGetShortPathNameW);
    }
    void TearDown() override
    {
        SetCurrentDirectoryA(folder.c_str());
        for (size_t i = m_awstrMade.size(); i-- > 0;) {
            DeleteFileW((m_awstrMade[i] + L"\\qw.ini").c_str());
            RemoveDirectoryW(m_awstrMade[i].c_str());
        }
        if (g_pGetShortPathNameW != NULL)
            ReplaceImport("kernel32.dll", "GetShortPathNameW", g_pGetShortPathNameW);
        Settings::TearDown();
    }
    // Makes the folders of the UTF-8 path pszPath under the test's folder and
    // gives the full path of the last one.
    std::wstring makeFolders(const char *pszPath)
    {
        std::wstring wstrName = fromUtf8(pszPath);
        std::wstring wstrPath(folder.begin(), folder.end());
        for (const WCHAR *pwsz = wstrName.c_str(); *pwsz != L'\0';) {
            const WCHAR *pwszEnd = wcschr(pwsz, L'\\');
            size_t cch = pwszEnd != NULL ? (size_t)(pwszEnd - pwsz) : wcslen(pwsz);
            wstrPath += L"\\" + std::wstring(pwsz, cch);
            EXPECT_TRUE(CreateDirectoryW(wstrPath.c_str(), NULL)) << GetLastError();
            m_awstrMade.push_back(wstrPath);
            pwsz += cch + (pwszEnd != NULL ? 1 : 0);
        }
        return wstrPath;
    }
    std::vector<std::wstring> m_awstrMade;
};

TEST_F(Folders, AFolderOfAnyNameOnADriveWithoutShortNamesIsUsedByItsOwnName)
{
    std::vector<std::string> astrNames = {
        "\xc5\x81\xc3\xb3" "d\xc5\xba",                        // Lodz in its Polish letters
        "\xd0\x98\xd0\xb3\xd1\x80\xd1\x8b \xe6\xb8\xb8\xe6\x88\x8f",   // "Games" in Russian and Chinese
        "Quarrow \xf0\x9f\x8e\xae",                            // a character of two UTF-16 units
    };
    // And a folder 250 characters long, in folders of 39 characters of the
    // Russian and Chinese name above (none may end in a space).
    const std::wstring wstrWord = L"\x0418\x0433\x0440\x044b \x6e38\x620f ";
    std::wstring wstrLong;
    for (size_t cchName = 0; folder.size() + 1 + wstrLong.size() < 250; cchName++) {
        if (cchName == 39)
            cchName = 0, wstrLong += L'\\';
        wstrLong += wstrWord[cchName % wstrWord.size()];
    }
    if (wstrLong.back() == L' ' || wstrLong.back() == L'\\')
        wstrLong.back() = L'x';
    astrNames.push_back(utf8(wstrLong));
    for (const std::string &strName : astrNames) {
        SCOPED_TRACE(strName);
        std::wstring wstrFolder = makeFolders(strName.c_str());
        std::string strIni = utf8(wstrFolder + L"\\qw.ini");
        ASSERT_TRUE(writeFileBytes(strIni, "#server_address = far.example\r\n#chat = \xe9\xff\r\n"));
        ASSERT_TRUE(SetCurrentDirectoryW(wstrFolder.c_str()));

        ASSERT_TRUE(editor.start("."));
        EXPECT_EQ(strIni, szIniFile);
        EXPECT_EQ("far.example", editor.text(IDC_HOST));
        editor.setText(IDC_HOST, "saved.example");
        EXPECT_TRUE(okay());
        std::string data;
        ASSERT_TRUE(readFileBytes(strIni, &data));
        // The replaced line ends in a bare line feed; the others keep their bytes.
        EXPECT_EQ(0u, data.find("#server_address = saved.example\n#chat = \xe9\xff\r\n")) << data;
        EXPECT_EQ("0", ValueOf(data, "no_sound"));
        SetCurrentDirectoryA(folder.c_str());
    }
}

TEST_F(Folders, APathTooLongGoesThroughTheShortNameOrTheBoxSaysWhyNot)
{
    // A working directory of 250 characters: "\qw.ini" makes 257; one more
    // folder of 3 characters makes a path of 261.
    std::wstring wstrFolder(folder.begin(), folder.end());
    std::string strLong(254 - wstrFolder.size() - 5, 'x');
    std::wstring wstrDeep = makeFolders((strLong + "\\d\xc3\xa9\xc3\xa9").c_str());
    ASSERT_EQ(254u, wstrDeep.size());
    const struct {
        int nShortNames;
        const char *pszBox;   // NULL: the editor starts
    } aCases[] = {
        { SHORT_SYSTEM, NULL },
        { SHORT_NONE, "keeps no shorter name" },
        { SHORT_DENIED, "may not list the contents" },
        { SHORT_ONE_LESS, "even the shorter name" },
    };
    for (const auto &c : aCases) {
        SCOPED_TRACE(c.nShortNames);
        g_nShortNames = c.nShortNames;
        ASSERT_TRUE(SetCurrentDirectoryW(wstrDeep.c_str()));
        if (c.pszBox == NULL) {
            ASSERT_TRUE(writeFileBytes(utf8(wstrDeep + L"\\qw.ini"), szSample));
            SetFileAttributesW((wstrDeep + L"\\qw.ini").c_str(), FILE_ATTRIBUTE_READONLY);
            ASSERT_TRUE(editor.start("."));
            WCHAR wszShort[MAX_PATH];
            ASSERT_NE(0u, GetShortPathNameW(wstrDeep.c_str(), wszShort, MAX_PATH));
            EXPECT_EQ(utf8(std::wstring(wszShort) + L"\\qw.ini"), szIniFile);
            // A box names the file by the folder's own name, not its short one.
            editor.clickAsync(IDOK);
            HWND hwndBox = editor.waitForDialog("Error");
            ASSERT_NE(nullptr, hwndBox);
            WCHAR wszText[1024] = L"";
            GetDlgItemTextW(hwndBox, 0xFFFF, wszText, 1024);
            EXPECT_NE(std::string::npos, utf8(wszText).find("xxx\\d\xc3\xa9\xc3\xa9\\qw.ini\n"))
                << utf8(wszText);
            ASSERT_TRUE(editor.answerDialog(hwndBox, IDOK));
            SetFileAttributesW((wstrDeep + L"\\qw.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
            EXPECT_TRUE(okay());
            EXPECT_TRUE(fileExists(utf8(wstrDeep + L"\\qw.ini")));
            continue;
        }
        std::string box = refusedStart(".");
        EXPECT_NE(std::string::npos, box.find("too long")) << box;
        EXPECT_NE(std::string::npos, box.find(c.pszBox)) << box;
        // The end of the folder's name, as the player sees it.
        EXPECT_NE(std::string::npos, box.find("xxx\\d\xc3\xa9\xc3\xa9\n")) << box;
    }
}

HWND Settings::okayOnReadOnlySample()
{
    if (!writeFileBytes(ini, szSample) || !SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_READONLY) ||
        !start())
        return NULL;
    ChangeEverything(editor);
    editor.clickAsync(IDOK);
    return editor.waitForDialog("Error");
}

TEST_F(Settings, OkayThatCannotWriteSaysSoAndKeepsTheWindow)
{
    HWND hwndBox = okayOnReadOnlySample();
    ASSERT_NE(nullptr, hwndBox);
    char szText[1024] = "";
    GetDlgItemTextA(hwndBox, 0xFFFF, szText, sizeof(szText));
    EXPECT_NE(nullptr, strstr(szText, szIniFile)) << szText;
    EXPECT_NE(nullptr, strstr(szText, "not saved")) << szText;
    ASSERT_TRUE(editor.answerDialog(hwndBox, IDOK));

    ASSERT_TRUE(editor.running());
    EXPECT_TRUE(IsWindowVisible(editor.hwnd));
    EXPECT_EQ("elsewhere", editor.text(IDC_HOST));
    EXPECT_EQ("1234", editor.text(IDC_PORT));
    EXPECT_FALSE(editor.checked(IDC_SHADOWS));
    EXPECT_EQ(szSample, file());

    // Once the file can be written, "Okay" again saves the player's values.
    ASSERT_TRUE(SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL));
    ASSERT_TRUE(okay());
    std::string data = file();
    EXPECT_EQ("elsewhere", ValueOf(data, "server_address"));
    EXPECT_EQ("1234", ValueOf(data, "server_port"));
    EXPECT_EQ("0", ValueOf(data, "shadows_on"));
    EXPECT_EQ("1", ValueOf(data, "video_mode"));
    EXPECT_EQ("1", ValueOf(data, "no_sound"));
}

TEST_F(Settings, CloseWhileTheNotSavedBoxIsOpenEndsOnceItIsAnswered)
{
    HWND hwndBox = okayOnReadOnlySample();
    ASSERT_NE(nullptr, hwndBox);
    // Sent, as "End task" would: handled inside the box's own message loop,
    // while "Okay" still waits for the box.
    SendMessageA(editor.hwnd, WM_CLOSE, 0, 0);
    EXPECT_TRUE(IsWindow(editor.hwnd)) << "the window went while its box was open";
    ASSERT_TRUE(editor.answerDialog(hwndBox, IDOK));
    ASSERT_TRUE(editor.waitForExit());
    EXPECT_EQ(0u, editor.nExitCode);
    SetFileAttributesA(ini.c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(szSample, file());
}

}  // namespace
