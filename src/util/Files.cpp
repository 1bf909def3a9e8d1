// Files: the system's open and save dialogs and small file-name helpers.
#include "Files.h"

#include <cderr.h>
#include <commdlg.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include "MessageBoxes.h"

// Defined by the program's start-up code: the owner of the dialogs and the
// module they are created for.
extern HWND g_hwndMain;
extern HINSTANCE g_hInstance;

// Size of the buffer of FileExistsF, terminator included.
static const int PATH_SIZE = MAX_PATH;

// Size of the wide copy of the dialog's title.
static const int TITLE_SIZE = 128;

// Size of the wide copy of a filter: pairs of strings and the closing empty one.
static const int FILTER_SIZE = 128;

static const char szChosenTooLong[] =
    "The path of the chosen file is too long: the editor can keep paths of up to "
    "259 %s.\n\n"
    "Choose a file with a shorter path. The setting has not been changed.";

static const char szChosenNotAnsi[] =
    "The chosen file\n%s\ncannot be kept: its path has characters that the game "
    "cannot read from its settings file (they would come out changed or as \"?\"), "
    "and the disk keeps no other name for it without them.\n\n"
    "Choose a file in a folder whose name has none of them, or rename the folder. "
    "The setting has not been changed.";

static const char szDialogFailed[] =
    "The system's file dialog could not be shown (error %lu).\n\n"
    "The setting has not been changed.";

// Converts the ANSI text psz (cb bytes ending in a zero, -1 for all of it)
// into pwsz, cch characters with the terminator; empty when it does not fit.
static void Widen(const char *psz, int cb, WCHAR *pwsz, int cch)
{
    // The count includes the zero that ends psz, so a text that fills pwsz
    // ends there too.
    int cchDone = MultiByteToWideChar(CP_ACP, 0, psz, cb, pwsz, cch);
    pwsz[cchDone > 0 ? cchDone - 1 : 0] = L'\0';
}

// The bytes of a filter, pairs of strings ended by an empty one, with its last zero.
static int FilterLength(const char *pszFilter)
{
    const char *psz = pszFilter;
    while (*psz != '\0')
        psz += strlen(psz) + 1;
    return (int)(psz - pszFilter) + 1;
}

// Shows the "Error" box about a path too long for the game's settings file.
static void ReportTooLong()
{
    DisplayMessageBoxF(g_hwndMain, MSGBOX_ERROR, szChosenTooLong, AnsiLengthUnit());
}

// Shows the "Error" box pszFormat about the chosen path pwszPath.
static void ReportChosen(const char *pszFormat, const WCHAR *pwszPath)
{
    // A UTF-16 unit takes at most three bytes in UTF-8.
    char szPath[3 * PATH_SIZE];
    int cb = WideCharToMultiByte(CP_UTF8, 0, pwszPath, -1, szPath, (int)sizeof(szPath), NULL,
                                 NULL);
    szPath[cb > 0 ? cb - 1 : 0] = '\0';
    DisplayMessageBoxPath(g_hwndMain, MSGBOX_ERROR, pszFormat, szPath);
}

// Shows the open or the save dialog of pofn; true when the player confirmed a
// name. *pdwError receives the dialog's error code (0 for a cancel).
static bool RunFileDialog(OPENFILENAMEW *pofn, short nMode, DWORD *pdwError)
{
    BOOL fChosen = nMode == FILENAME_OPEN ? GetOpenFileNameW(pofn) : GetSaveFileNameW(pofn);
    *pdwError = fChosen ? 0 : CommDlgExtendedError();
    return fChosen != 0;
}

bool GetFileName(char *pszFile, char *pszInitialDir, char *pszFilter, short nMode,
                 char *pszTitle)
{
    if (nMode != FILENAME_OPEN && nMode != FILENAME_SAVE)
        return false;

    // The dialog works in UTF-16, on copies: it sees every folder by its own
    // name, and when it fails it may leave anything in its buffer (the size it
    // needed, for a path too long).
    WCHAR wszChosen[PATH_SIZE], wszInitialDir[PATH_SIZE], wszFilter[FILTER_SIZE];
    Widen(pszFile, -1, wszChosen, PATH_SIZE);
    Widen(pszInitialDir, -1, wszInitialDir, PATH_SIZE);
    int cbFilter = FilterLength(pszFilter);
    Widen(pszFilter, cbFilter <= FILTER_SIZE ? cbFilter : 0, wszFilter, FILTER_SIZE);

    // The chosen name without its path is not asked for (no lpstrFileTitle):
    // nothing uses it, and a buffer too small for it would fail the dialog.
    WCHAR wszTitle[TITLE_SIZE];
    Widen(pszTitle, -1, wszTitle, TITLE_SIZE);

    OPENFILENAMEW ofn;
    memset(&ofn, 0, sizeof(ofn));
    // The record as Windows before 2000 knows it, without the three newer fields.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
    ofn.hwndOwner = g_hwndMain;
    ofn.hInstance = g_hInstance;
    ofn.lpstrFilter = wszFilter[0] != L'\0' ? wszFilter : NULL;
    ofn.lpstrCustomFilter = NULL;
    ofn.nMaxCustFilter = 64;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = wszChosen;
    ofn.nMaxFile = PATH_SIZE;
    ofn.lpstrFileTitle = NULL;
    ofn.nMaxFileTitle = 0;
    ofn.lpstrInitialDir = wszInitialDir[0] != L'\0' ? wszInitialDir : NULL;
    ofn.lpstrTitle = wszTitle;

    if (nMode == FILENAME_OPEN)
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    else
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;

    DWORD dwError = 0;
    bool fChosen = RunFileDialog(&ofn, nMode, &dwError);
    if (dwError == FNERR_INVALIDFILENAME && wszChosen[0] != L'\0') {
        // A starting name that the dialog refuses (quotes from a hand-edited
        // file, say) shows no dialog at all: once more without it, and without
        // the starting folder, which is the same text.
        wszChosen[0] = L'\0';
        ofn.lpstrInitialDir = NULL;
        fChosen = RunFileDialog(&ofn, nMode, &dwError);
    }
    if (dwError == FNERR_BUFFERTOOSMALL)
        ReportTooLong();
    else if (dwError != 0)
        DisplayMessageBoxF(g_hwndMain, MSGBOX_ERROR, szDialogFailed, (unsigned long)dwError);
    if (!fChosen)
        return false;

    // The chosen path must end inside the buffer; the game reads it in the
    // ANSI code page, so it is kept only where that names the same file, by
    // its own name or else by its short name.
    if (wmemchr(wszChosen, L'\0', PATH_SIZE) == NULL) {
        ReportTooLong();
        return false;
    }
    char szAnsi[PATH_SIZE];
    int nSpelled = SpellInAnsi(wszChosen, szAnsi, PATH_SIZE);
    if (nSpelled != SPELL_OK) {
        WCHAR wszShort[PATH_SIZE];
        DWORD cchShort = GetShortPathNameW(wszChosen, wszShort, PATH_SIZE);
        if (cchShort == 0 || cchShort >= (DWORD)PATH_SIZE ||
            SpellInAnsi(wszShort, szAnsi, PATH_SIZE) != SPELL_OK) {
            if (nSpelled == SPELL_TOO_LONG)
                ReportTooLong();
            else
                ReportChosen(szChosenNotAnsi, wszChosen);
            return false;
        }
    }
    memcpy(pszFile, szAnsi, strlen(szAnsi) + 1);
    return true;
}

bool FileExists(const char *pszPath)
{
    HANDLE hFile = CreateFileA(pszPath, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, NULL);
    if (hFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(hFile);
    return true;
}

bool FileExistsF(const char *pszFormat, ...)
{
    char *pszPath = (char *)malloc(PATH_SIZE);
    if (pszPath == NULL)
        return false;

    // _vsnprintf does not terminate a path that fills the buffer: bound it one
    // byte short and terminate it here.
    va_list args;
    va_start(args, pszFormat);
    _vsnprintf(pszPath, PATH_SIZE - 1, pszFormat, args);
    va_end(args);
    pszPath[PATH_SIZE - 1] = '\0';

    bool fExists = FileExists(pszPath);
    free(pszPath);
    return fExists;
}

void RemoveEndingSlash(char *pszPath)
{
    // Walks the path by characters: in a double-byte code page the second
    // byte of a character may be 0x5C, which is no backslash there.
    size_t iChar = 0, iLast = 0;
    bool fAny = false;
    while (pszPath[iChar] != '\0') {
        iLast = iChar;
        fAny = true;
        iChar += IsDBCSLeadByte((BYTE)pszPath[iChar]) && pszPath[iChar + 1] != '\0' ? 2 : 1;
    }
    if (fAny && iChar == iLast + 1 && pszPath[iLast] == '\\')
        pszPath[iLast] = '\0';
}

const char *AnsiLengthUnit()
{
    CPINFO cpi;
    if (GetCPInfo(CP_ACP, &cpi) && cpi.MaxCharSize == 1)
        return "characters";
    return "bytes (a Chinese, Japanese or Korean character takes more than one)";
}

int SpellInAnsi(const WCHAR *pwszText, char *pszAnsi, int cbAnsi)
{
    // Look-alikes ("L" for the Polish L with a stroke, "?") would be other
    // text. A UTF-8 code page takes neither the flag nor the question.
    bool fUtf8 = GetACP() == CP_UTF8;
    DWORD dwFlags = fUtf8 ? 0 : WC_NO_BEST_FIT_CHARS;
    BOOL fUsedDefault = FALSE;
    int cb = WideCharToMultiByte(CP_ACP, dwFlags, pwszText, -1, NULL, 0, NULL,
                                 fUtf8 ? NULL : &fUsedDefault);
    if (cb <= 0 || fUsedDefault)
        return SPELL_NOT_ANSI;
    if (cb > cbAnsi)
        return SPELL_TOO_LONG;
    // The same conversion, into a copy first: pszAnsi changes only on success.
    char *pszCopy = (char *)malloc((size_t)cb);
    WCHAR *pwszBack = (WCHAR *)malloc((wcslen(pwszText) + 1) * sizeof(WCHAR));
    int nResult = SPELL_NOT_ANSI;
    if (pszCopy != NULL && pwszBack != NULL &&
        WideCharToMultiByte(CP_ACP, dwFlags, pwszText, -1, pszCopy, cb, NULL, NULL) == cb &&
        MultiByteToWideChar(CP_ACP, 0, pszCopy, cb, pwszBack, (int)wcslen(pwszText) + 1) > 0 &&
        wcscmp(pwszBack, pwszText) == 0) {
        memcpy(pszAnsi, pszCopy, (size_t)cb);
        nResult = SPELL_OK;
    }
    free(pszCopy);
    free(pwszBack);
    return nResult;
}
