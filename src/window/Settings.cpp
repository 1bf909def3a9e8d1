// Settings: one table of the fourteen keys drives loading, reading back and
// saving, in the order in which the game client's file lists them.
#include "Settings.h"

#include <stdio.h>

#include "Controls.h"
#include "Files.h"
#include "IniFiles.h"
#include "Main.h"
#include "MessageBoxes.h"

short nSelectedVideo;
BYTE fFullScreen;
BYTE fShadowsOn;
BYTE fCloudsShadowsOn;
BYTE fDontAdjustShadows;
BYTE fPoorMan;
BYTE fSaveIgnores;
BYTE fUseGlobalIgnores;
BYTE fSoundsEnabled;
UINT uPort;
char szHost[MAX_PATH];
char szNormalRot[16];
char szFineRot[16];
char szBrowser[MAX_PATH];

// How a key's value travels between file, global and control.
enum {
    KIND_TEXT,      // text as it is, in an edit field
    KIND_PORT,      // unsigned number in an edit field, saved as "%04d"
    KIND_FLAG,      // non-zero is 1, a check box
    KIND_NOFLAG,    // non-zero is 0 (the flag is the inverse of the key), a check box
    KIND_VIDEO      // a mode number, shown as its row of the video mode list
};

// One key of qw.ini and the control that shows it.
struct _SETTINGKEY {
    const char *szKey;
    int nKind;
    int nID;
    const char *szField;     // KIND_TEXT, KIND_PORT: the field as the player finds it
    const char *szDefault;   // KIND_TEXT
    int nDefault;            // the number kinds
    char *szValue;           // KIND_TEXT: the global and its size
    int nSize;
    BYTE *pfValue;           // KIND_FLAG, KIND_NOFLAG: the global
};

// A rotation speed field, by its label.
#define SPEED_FIELD(label) "\"" label "\" (camera rotation speed)"

static const _SETTINGKEY aKeys[] = {
    { "server_address", KIND_TEXT, IDC_HOST, "\"Host\"", "Please, see licence.txt", 0, szHost,
      sizeof(szHost), NULL },
    { "server_port", KIND_PORT, IDC_PORT, "\"Port\"", NULL, 2000, NULL, 0, NULL },
    { "save_ignores", KIND_FLAG, IDC_SAVEIGNORES, NULL, NULL, 1, NULL, 0, &fSaveIgnores },
    { "use_global_ignores", KIND_FLAG, IDC_USEGLOBALIGNORES, NULL, NULL, 1, NULL, 0,
      &fUseGlobalIgnores },
    { "normal_camera_rotation_speed", KIND_TEXT, IDC_NORMALROT, SPEED_FIELD("Normal"),
      "15.0", 0, szNormalRot, sizeof(szNormalRot), NULL },
    { "fine_camera_rotation_speed", KIND_TEXT, IDC_FINEROT, SPEED_FIELD("Fine"),
      "1.0", 0, szFineRot, sizeof(szFineRot), NULL },
    { "browser", KIND_TEXT, IDC_BROWSER, "\"Path\" of the preferred internet browser",
      "C:\\Program Files\\Internet Explorer\\iexplore.exe", 0,
      szBrowser, sizeof(szBrowser), NULL },
    { "video_mode", KIND_VIDEO, IDC_VIDEOMODE, NULL, NULL, 2, NULL, 0, NULL },
    { "full_screen", KIND_FLAG, IDC_FULLSCREEN, NULL, NULL, 0, NULL, 0, &fFullScreen },
    { "shadows_on", KIND_FLAG, IDC_SHADOWS, NULL, NULL, 1, NULL, 0, &fShadowsOn },
    { "clouds_shadows", KIND_FLAG, IDC_CLOUDSSHADOWS, NULL, NULL, 1, NULL, 0, &fCloudsShadowsOn },
    { "no_adjust_shadows", KIND_FLAG, IDC_NOADJUSTSHADOWS, NULL, NULL, 1, NULL, 0,
      &fDontAdjustShadows },
    { "poor_man", KIND_FLAG, IDC_POORMAN, NULL, NULL, 0, NULL, 0, &fPoorMan },
    { "no_sound", KIND_NOFLAG, IDC_SOUNDS, NULL, NULL, 0, NULL, 0, &fSoundsEnabled },
};
static const int nKeys = sizeof(aKeys) / sizeof(aKeys[0]);

// Room for a number as text: sign, ten digits and the terminator.
#define NUMBER_SIZE 16

// Digits the port field takes: every unsigned 32-bit number, 4294967295 the
// largest.
#define PORT_DIGITS 10

// Characters of a field that are looked at: more than any field's room, so
// that a text set from outside past the room shows as too long.
#define FIELD_READ (MAX_PATH + 1)

// Filter of the browser search: one description and pattern, then the end.
static char szExe[] = "Executable\0*.EXE;*.COM;*.BAT\0";
static char szBrowseTitle[] = "Locate your favorite browser";

static const char szPoorManQuestion[] =
    "You are going to enable an option that will drastically drop the quality \n"
    "(no reflections and the texture filtering will be set to NEAREST).\n"
    "Although you might get some performance increase.\n\n"
    "Are you sure you want to enable this option?";

// The end of every "not saved" message: the window stays open with the changes.
#define NOT_SAVED_END \
    "\n\nYour changes are still in the window. Press \"Okay\" to try again, " \
    "or \"Cancel\" to close without saving."

static const char szNotSavedChanged[] =
    "The settings were not saved: another program kept changing the file\n%s\n"
    "while the editor was saving it. The file is as that program left it.\n\n"
    "Close the game or the program that writes the file." NOT_SAVED_END;

static const char szNotSavedLocked[] =
    "The settings were not saved: the file\n%s\nis held open by another program.\n\n"
    "Close the game or the program that holds the file (a backup or virus "
    "checker, for example)." NOT_SAVED_END;

static const char szNotSavedReadOnly[] =
    "The settings were not saved: the file\n%s\nis read-only.\n\n"
    "Clear its \"Read-only\" attribute (in the file's Properties)." NOT_SAVED_END;

static const char szNotSavedDenied[] =
    "The settings were not saved: your user account has no permission to write "
    "the file\n%s\nor its folder.\n\n"
    "Give your account permission to write them, or ask whoever manages this "
    "computer to do so." NOT_SAVED_END;

static const char szNotSavedFull[] =
    "The settings were not saved: the disk that holds the file\n%s\nis full.\n\n"
    "Make room on the disk." NOT_SAVED_END;

static const char szNotSavedIO[] =
    "The settings were not saved: a disk error stopped the editor while it "
    "wrote the file\n%s\n\n"
    "Check the disk (for a network or removable drive, its connection)." NOT_SAVED_END;

static const char szNotSavedDamaged[] =
    "The settings were not saved, and the file\n%s\nmay be damaged or missing: a "
    "disk error stopped the editor half-way, and the old content could not be put "
    "back. If a file named like qw.ini.qwconfig-1234-5.bak lies beside it, that "
    "file holds the last content the editor could keep (the old settings, or the "
    "new ones when no old ones were left): the editor puts it back when it starts "
    "while qw.ini is missing and the save's temporary file lies beside it, and "
    "otherwise names it to you.\n\n"
    "Check the disk, then save again, or put back a copy of the file from a "
    "backup before you start the game." NOT_SAVED_END;

static const char szSetAside[] =
    "The settings were saved in the file\n%s\nbut at the same moment another "
    "program (the game, perhaps) replaced that file, and its file could not be put "
    "back: it lies beside qw.ini under a name like qw.ini.qwconfig-1234-5.bak, and "
    "the editor names it at every start until it is deleted.\n\n"
    "Compare the two files and keep the one you want." NOT_SAVED_END;

static const char szNotSaved[] =
    "The settings were not saved: the file\n%s\ncould not be written." NOT_SAVED_END;

// The start of every box about a field that cannot be saved as it shows.
#define FIELD_NOT_SAVED "The settings were not saved: the field %s on the page \"General\" "

static const char szFieldNotAnsi[] =
    FIELD_NOT_SAVED "holds characters that the game cannot read from its settings file: "
    "they would be saved as other characters or as \"?\".\n\n"
    "Change them to characters of your system's language or plain Latin letters." NOT_SAVED_END;

static const char szFieldTooLong[] =
    FIELD_NOT_SAVED "is too long: the settings file keeps up to %d %s of it." NOT_SAVED_END;

static const char szPortEmpty[] =
    FIELD_NOT_SAVED "is empty, and the game needs a port to connect to.\n\n"
    "Type the port of the server (2000, if you do not know it)." NOT_SAVED_END;

static const char szPortNotNumber[] =
    FIELD_NOT_SAVED "holds no number that the settings file can keep: the port is "
    "written in digits only, up to 4294967295." NOT_SAVED_END;

// The "not saved" message for a failed save, by INISAVE_ result.
static const char *NotSavedMessage(int nResult)
{
    switch (nResult) {
    case INISAVE_CHANGED:
        return szNotSavedChanged;
    case INISAVE_LOCKED:
        return szNotSavedLocked;
    case INISAVE_READ_ONLY:
        return szNotSavedReadOnly;
    case INISAVE_DENIED:
        return szNotSavedDenied;
    case INISAVE_FULL:
        return szNotSavedFull;
    case INISAVE_IO:
        return szNotSavedIO;
    case INISAVE_DAMAGED:
        return szNotSavedDamaged;
    case INISAVE_SET_ASIDE:
        return szSetAside;
    default:
        return szNotSaved;
    }
}

// The row of szVideoModes whose mode number matches the low 16 bits of nMode;
// row 3 ("640 x 480 x 32") when none does.
static short VideoIndexOf(int nMode)
{
    short nIndex = 3;
    for (short i = 0; i < VIDEO_MODES; i++)
        if ((WORD)szVideoModes[i].nMode == (WORD)(nMode & 0xFFFF))
            nIndex = i;
    return nIndex;
}

// 1 when the check box is checked, else 0.
static BYTE CheckedFlag(HWND hwnd, int nID)
{
    return IsDlgButtonChecked(hwnd, nID) != 0 ? 1 : 0;
}

// Sets a check box from a flag.
static void ShowFlag(HWND hwnd, int nID, BYTE fValue)
{
    CheckDlgButton(hwnd, nID, fValue ? BST_CHECKED : BST_UNCHECKED);
}

// The bytes of the key's value that an edit field may hold: what the file
// gets of it, without the terminator.
static int RoomOf(const _SETTINGKEY *pKey)
{
    return pKey->nKind == KIND_PORT ? PORT_DIGITS : pKey->nSize - 1;
}

// The key shown in the edit field nID; NULL for any other control.
static const _SETTINGKEY *FieldKeyOf(int nID)
{
    for (int i = 0; i < nKeys; i++)
        if (aKeys[i].nID == nID && (aKeys[i].nKind == KIND_TEXT || aKeys[i].nKind == KIND_PORT))
            return &aKeys[i];
    return NULL;
}

// The number of characters at the start of pwszText (cch characters) whose
// ANSI spelling takes at most cbRoom bytes; a character of two UTF-16 units
// stays whole.
static int CharsWithinRoom(const WCHAR *pwszText, int cch, int cbRoom)
{
    int cchKept = 0, cbUsed = 0;
    while (cchKept < cch) {
        int cchChar = IS_HIGH_SURROGATE(pwszText[cchKept]) && cchKept + 1 < cch ? 2 : 1;
        cbUsed += WideCharToMultiByte(CP_ACP, 0, pwszText + cchKept, cchChar, NULL, 0, NULL,
                                      NULL);
        if (cbUsed > cbRoom)
            break;
        cchKept += cchChar;
    }
    return cchKept;
}

// EN_CHANGE: a field whose text takes more bytes than the file keeps of it is
// cut to what fits, in the field, where the player sees it; the caret goes to
// the end. Its character limit stops typing at the same point wherever one
// character is one byte; in a double-byte code page the bytes run out first.
static void FitFieldToRoom(HWND hwnd, int nID)
{
    const _SETTINGKEY *pKey = FieldKeyOf(nID);
    if (pKey == NULL)
        return;
    WCHAR wszText[FIELD_READ];
    int cch = GetDlgItemTextW(hwnd, nID, wszText, FIELD_READ);
    int cchKept = CharsWithinRoom(wszText, cch, RoomOf(pKey));
    if (cchKept >= cch)
        return;
    wszText[cchKept] = L'\0';
    // Sends EN_CHANGE again, which now finds the text within its room.
    SetDlgItemTextW(hwnd, nID, wszText);
    // At or past the end in the field's own unit, characters or bytes.
    WPARAM nEnd = (WPARAM)WideCharToMultiByte(CP_ACP, 0, wszText, -1, NULL, 0, NULL, NULL);
    SendDlgItemMessageA(hwnd, nID, EM_SETSEL, nEnd, (LPARAM)nEnd);
    SendDlgItemMessageA(hwnd, nID, EM_SCROLLCARET, 0, 0);
}

// Reads the text of a field into the global of its key, exactly as the field
// shows it; false, after telling the player why, when the file cannot get it so.
static bool ReadBackText(HWND hwnd, const _SETTINGKEY *pKey)
{
    WCHAR wszText[FIELD_READ];
    GetDlgItemTextW(hwnd, pKey->nID, wszText, FIELD_READ);
    int nSpelled = SpellInAnsi(wszText, pKey->szValue, RoomOf(pKey) + 1);
    if (nSpelled == SPELL_NOT_ANSI)
        DisplayMessageBoxF(hwnd, MSGBOX_ERROR, szFieldNotAnsi, pKey->szField);
    else if (nSpelled == SPELL_TOO_LONG)
        DisplayMessageBoxF(hwnd, MSGBOX_ERROR, szFieldTooLong, pKey->szField, RoomOf(pKey),
                           AnsiLengthUnit());
    return nSpelled == SPELL_OK;
}

// Reads the port field into uPort; false, after telling the player why, when
// it holds no number (empty, or text pasted past the digits-only rule) or one
// beyond 32 bits.
static bool ReadBackPort(HWND hwnd, const _SETTINGKEY *pKey)
{
    BOOL fNumber = FALSE;
    if (GetWindowTextLengthW(GetDlgItem(hwnd, pKey->nID)) == 0) {
        DisplayMessageBoxF(hwnd, MSGBOX_ERROR, szPortEmpty, pKey->szField);
        return false;
    }
    UINT uValue = GetDlgItemInt(hwnd, pKey->nID, &fNumber, FALSE);
    if (!fNumber) {
        DisplayMessageBoxF(hwnd, MSGBOX_ERROR, szPortNotNumber, pKey->szField);
        return false;
    }
    uPort = uValue;
    return true;
}

// Reads one key from the file as read at start into its global and shows it
// in its control.
static void LoadKey(HWND hwnd, HWND hwndVideoList, const _INISNAPSHOT *pSnapshot,
                    const _SETTINGKEY *pKey)
{
    switch (pKey->nKind) {
    case KIND_TEXT:
        IniFile_SnapshotLoadString(pSnapshot, pKey->szKey, pKey->szDefault, pKey->szValue,
                                   pKey->nSize);
        SendDlgItemMessageA(hwnd, pKey->nID, EM_LIMITTEXT, (WPARAM)RoomOf(pKey), 0);
        SetDlgItemTextA(hwnd, pKey->nID, pKey->szValue);
        break;
    case KIND_PORT:
        uPort = (UINT)IniFile_SnapshotLoadInt(pSnapshot, pKey->szKey, pKey->nDefault);
        SendDlgItemMessageA(hwnd, pKey->nID, EM_LIMITTEXT, (WPARAM)RoomOf(pKey), 0);
        SetDlgItemInt(hwnd, pKey->nID, uPort, FALSE);
        break;
    case KIND_FLAG:
        *pKey->pfValue = IniFile_SnapshotLoadInt(pSnapshot, pKey->szKey, pKey->nDefault) != 0;
        ShowFlag(hwnd, pKey->nID, *pKey->pfValue);
        break;
    case KIND_NOFLAG:
        *pKey->pfValue = IniFile_SnapshotLoadInt(pSnapshot, pKey->szKey, pKey->nDefault) == 0;
        ShowFlag(hwnd, pKey->nID, *pKey->pfValue);
        break;
    case KIND_VIDEO:
        nSelectedVideo = VideoIndexOf(IniFile_SnapshotLoadInt(pSnapshot, pKey->szKey,
                                                              pKey->nDefault));
        SendMessageA(hwndVideoList, LB_SETCURSEL, (WPARAM)nSelectedVideo, 0);
        break;
    }
}

// Reads one control back into its global and gives the key's value as text:
// the global itself for a text, szNumber (NUMBER_SIZE bytes) for a number.
// NULL, after telling the player why, for a field the file cannot get as it
// shows.
static const char *ReadBackKey(HWND hwnd, const _SETTINGKEY *pKey, char *szNumber)
{
    int nValue = 0;
    const char *pszFormat = "%d";
    switch (pKey->nKind) {
    case KIND_TEXT:
        return ReadBackText(hwnd, pKey) ? pKey->szValue : NULL;
    case KIND_PORT:
        if (!ReadBackPort(hwnd, pKey))
            return NULL;
        // Signed on purpose: the game client reads the port with "%d".
        nValue = (int)uPort;
        pszFormat = "%04d";
        break;
    case KIND_FLAG:
        *pKey->pfValue = CheckedFlag(hwnd, pKey->nID);
        nValue = *pKey->pfValue;
        break;
    case KIND_NOFLAG:
        *pKey->pfValue = CheckedFlag(hwnd, pKey->nID);
        nValue = *pKey->pfValue ? 0 : 1;
        break;
    case KIND_VIDEO:
        nValue = szVideoModes[nSelectedVideo].nMode;
        break;
    }
    // Any int fits, so the C runtime's own _snprintf always terminates it.
    _snprintf(szNumber, NUMBER_SIZE, pszFormat, nValue);
    return szNumber;
}

// "Okay": reads every control back and writes the fourteen keys in one
// replace of the file, in table order. When a field cannot be saved as it
// shows, or the file cannot be written, the player is told why and false
// keeps the window open; the file is then untouched.
static bool SaveAll(HWND hwnd)
{
    char aszNumbers[nKeys][NUMBER_SIZE];
    _INISETTING aSettings[nKeys];
    for (int i = 0; i < nKeys; i++) {
        aSettings[i].pszKey = aKeys[i].szKey;
        aSettings[i].pszValue = ReadBackKey(hwnd, &aKeys[i], aszNumbers[i]);
        if (aSettings[i].pszValue == NULL)
            return false;
    }
    int nResult = IniFile_PutStringsEx(szIniFile, NULL, aSettings, nKeys);
    if (nResult == INISAVE_OK)
        return true;
    DisplayMessageBoxPath(hwnd, MSGBOX_ERROR, NotSavedMessage(nResult), szIniFileShown);
    return false;
}

// LBN_SELCHANGE: follows the list's selection, ignoring anything outside the table.
static void SelectVideoMode(HWND hwnd)
{
    LRESULT nSel = SendDlgItemMessageA(hwnd, IDC_VIDEOMODE, LB_GETCURSEL, 0, 0);
    if (nSel >= 0 && nSel < VIDEO_MODES)
        nSelectedVideo = (short)nSel;
}

// The low-quality box: unchecking is free, checking needs the player's yes.
static void ConfirmPoorMan(HWND hwnd)
{
    if (IsDlgButtonChecked(hwnd, IDC_POORMAN)) {
        CheckDlgButton(hwnd, IDC_POORMAN, BST_UNCHECKED);
        return;
    }
    if (DisplayMessageBox(hwnd, MSGBOX_CONFIRMATION, szPoorManQuestion) == IDYES)
        CheckDlgButton(hwnd, IDC_POORMAN, BST_CHECKED);
}

// "Browse...": lets the player pick the browser, starting from the last one
// loaded or chosen (not from text typed into the field since).
static void BrowseForBrowser(HWND hwnd)
{
    if (GetFileName(szBrowser, szBrowser, szExe, FILENAME_OPEN, szBrowseTitle))
        SetDlgItemTextA(hwnd, IDC_BROWSER, szBrowser);
}

// True when the control is a plain check box, which does not check itself.
static bool IsCheckBox(HWND hwnd, int nID)
{
    HWND hwndControl = GetDlgItem(hwnd, nID);
    char szClass[8];
    if (hwndControl == NULL || GetClassNameA(hwndControl, szClass, sizeof(szClass)) == 0 ||
        lstrcmpiA(szClass, "Button") != 0)
        return false;
    LONG_PTR nType = GetWindowLongPtrA(hwndControl, GWL_STYLE) & BS_TYPEMASK;
    return nType == BS_CHECKBOX;
}

// Inverts a check box when it was clicked; any other control or notification
// (an edit field's, say) changes nothing.
static void ToggleCheck(HWND hwnd, int nID, WORD wCode)
{
    if (wCode != BN_CLICKED || !IsCheckBox(hwnd, nID))
        return;
    CheckDlgButton(hwnd, nID, IsDlgButtonChecked(hwnd, nID) == 0 ? BST_CHECKED : BST_UNCHECKED);
}

void Settings_Load(HWND hwnd, HWND hwndVideoList, const _INISNAPSHOT *pSnapshot)
{
    for (int i = 0; i < nKeys; i++)
        LoadKey(hwnd, hwndVideoList, pSnapshot, &aKeys[i]);
}

void Settings_Refresh(HWND hwnd, DlgItemsControl *p_dic)
{
    fAnyShadowsEnabled = (INT)(IsDlgButtonChecked(hwnd, IDC_SHADOWS) |
                               IsDlgButtonChecked(hwnd, IDC_CLOUDSSHADOWS));
    p_dic->update();
}

void Settings_OnCommand(HWND hwnd, DlgItemsControl *p_dic, WORD wID, WORD wCode)
{
    switch (wID) {
    case IDOK:
        if (!SaveAll(hwnd))
            return;
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        return;
    case IDCANCEL:
        SendMessageA(hwnd, WM_CLOSE, 0, 0);
        return;
    case IDC_VIDEOMODE:
        if (wCode == LBN_SELCHANGE)
            SelectVideoMode(hwnd);
        break;
    case IDC_POORMAN:
        ConfirmPoorMan(hwnd);
        break;
    case IDC_BROWSE:
        BrowseForBrowser(hwnd);
        break;
    default:
        if (wCode == EN_CHANGE)
            FitFieldToRoom(hwnd, wID);
        else
            ToggleCheck(hwnd, wID, wCode);
        break;
    }
    Settings_Refresh(hwnd, p_dic);
}
