// Files: the system's open and save dialogs and small file-name helpers.
#include "Files.h"

#include <cderr.h>
#include <commdlg.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "MessageBoxes.h"

// Defined by the program's start-up code: the owner of the dialogs and the
// module they are created for.
extern HWND g_hwndMain;
extern HINSTANCE g_hInstance;

// Size of the buffer of FileExistsF, terminator included.
static const int PATH_SIZE = MAX_PATH;

// Size of the buffer that holds the dialog's title and then the file title.
static const int TITLE_SIZE = 128;

static const char szChosenTooLong[] =
    "The path of the chosen file is too long: the editor can keep paths of up to "
    "259 characters.\n\n"
    "Choose a file with a shorter path. The setting has not been changed.";

// Shows the open or the save dialog of pofn; true when the player confirmed a
// name. *pdwError receives the dialog's error code (0 for a cancel).
static bool RunFileDialog(OPENFILENAMEA *pofn, short nMode, DWORD *pdwError)
{
    BOOL fChosen = nMode == FILENAME_OPEN ? GetOpenFileNameA(pofn) : GetSaveFileNameA(pofn);
    *pdwError = fChosen ? 0 : CommDlgExtendedError();
    return fChosen != 0;
}

bool GetFileName(char *pszFile, char *pszInitialDir, char *pszFilter, short nMode,
                 char *pszTitle)
{
    if (nMode != FILENAME_OPEN && nMode != FILENAME_SAVE)
        return false;

    // The dialog works on a copy of the name: when it fails it may leave
    // anything in its buffer (the size it needed, for a path too long).
    char szChosen[PATH_SIZE];
    strncpy(szChosen, pszFile, PATH_SIZE - 1);
    szChosen[PATH_SIZE - 1] = '\0';

    // Holds the title while the dialog shows it; the dialog then writes the
    // chosen name without its path over it, which nothing uses.
    char szTitle[TITLE_SIZE];
    strncpy(szTitle, pszTitle, TITLE_SIZE - 1);
    szTitle[TITLE_SIZE - 1] = '\0';

    OPENFILENAMEA ofn;
    memset(&ofn, 0, sizeof(ofn));
    // The record as Windows before 2000 knows it, without the three newer fields.
    ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    ofn.hwndOwner = g_hwndMain;
    ofn.hInstance = g_hInstance;
    ofn.lpstrFilter = pszFilter;
    ofn.lpstrCustomFilter = NULL;
    ofn.nMaxCustFilter = 64;
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = szChosen;
    ofn.nMaxFile = PATH_SIZE;
    ofn.lpstrFileTitle = szTitle;
    ofn.nMaxFileTitle = TITLE_SIZE;
    ofn.lpstrInitialDir = pszInitialDir;
    ofn.lpstrTitle = szTitle;

    if (nMode == FILENAME_OPEN)
        ofn.Flags = OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    else
        ofn.Flags = OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY;

    DWORD dwError = 0;
    bool fChosen = RunFileDialog(&ofn, nMode, &dwError);
    if (dwError == FNERR_INVALIDFILENAME && szChosen[0] != '\0') {
        // A starting name that the dialog refuses (quotes from a hand-edited
        // file, say) shows no dialog at all: once more without it.
        szChosen[0] = '\0';
        fChosen = RunFileDialog(&ofn, nMode, &dwError);
    }
    if (dwError == FNERR_BUFFERTOOSMALL)
        DisplayMessageBox(g_hwndMain, MSGBOX_ERROR, szChosenTooLong);
    if (!fChosen)
        return false;
    memcpy(pszFile, szChosen, PATH_SIZE);
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
    size_t nLen = strlen(pszPath);
    if (nLen > 0 && pszPath[nLen - 1] == '\\')
        pszPath[nLen - 1] = '\0';
}
