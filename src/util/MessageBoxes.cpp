// MessageBoxes: every message the program puts in front of the player.
#include "MessageBoxes.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// Size of the text buffer of DisplayMessageBoxF, terminator included.
static const int MSGBOX_TEXT_SIZE = 1024;

// What each kind of message looks like: its caption and its MessageBoxA style.
struct _MSGBOXKIND {
    const char *szCaption;
    UINT uStyle;
};

static const _MSGBOXKIND amkKinds[] = {
    { "Information", MB_OK | MB_ICONINFORMATION },     // 0x40
    { "Warning", MB_OK | MB_ICONWARNING },             // 0x30
    { "Error", MB_OK | MB_ICONERROR },                 // 0x10
    { "Confirmation", MB_YESNO | MB_ICONWARNING }      // 0x34: exclamation, not question mark
};

static const short nKinds = (short)(sizeof(amkKinds) / sizeof(amkKinds[0]));

int DisplayMessageBox(HWND hwndOwner, short nKind, const char *pszText)
{
    if (nKind < 0 || nKind >= nKinds)
        return 0;
    return MessageBoxA(hwndOwner, pszText, amkKinds[nKind].szCaption, amkKinds[nKind].uStyle);
}

int DisplayMessageBoxF(HWND hwndOwner, short nKind, const char *pszFormat, ...)
{
    char *pszText = (char *)malloc(MSGBOX_TEXT_SIZE);
    if (pszText == NULL)
        return 0;

    // _vsnprintf neither terminates a text that fills the buffer nor reports
    // its length, so the bound leaves room for the zero written after it.
    va_list args;
    va_start(args, pszFormat);
    _vsnprintf(pszText, MSGBOX_TEXT_SIZE - 1, pszFormat, args);
    va_end(args);
    pszText[MSGBOX_TEXT_SIZE - 1] = '\0';

    int nResult = DisplayMessageBox(hwndOwner, nKind, pszText);
    free(pszText);
    return nResult;
}

// Appends cb bytes of psz in code page uCodePage to the cchMax characters at
// pwszText, of which *pcch are used; stops where the buffer is full.
static void AppendWide(WCHAR *pwszText, int *pcch, int cchMax, UINT uCodePage, const char *psz,
                       int cb)
{
    if (cb <= 0 || *pcch >= cchMax)
        return;
    int cchNeeded = MultiByteToWideChar(uCodePage, 0, psz, cb, NULL, 0);
    WCHAR *pwszPiece = cchNeeded > 0 ? (WCHAR *)malloc((size_t)cchNeeded * sizeof(WCHAR)) : NULL;
    if (pwszPiece == NULL)
        return;
    int cch = MultiByteToWideChar(uCodePage, 0, psz, cb, pwszPiece, cchNeeded);
    if (cch > cchMax - *pcch)
        cch = cchMax - *pcch;
    memcpy(pwszText + *pcch, pwszPiece, (size_t)cch * sizeof(WCHAR));
    *pcch += cch;
    free(pwszPiece);
}

int DisplayMessageBoxPath(HWND hwndOwner, short nKind, const char *pszFormat, const char *pszPath)
{
    if (nKind < 0 || nKind >= nKinds)
        return 0;
    WCHAR *pwszText = (WCHAR *)malloc(MSGBOX_TEXT_SIZE * sizeof(WCHAR));
    if (pwszText == NULL)
        return 0;
    const char *pszSlot = strstr(pszFormat, "%s");
    int cbBefore = pszSlot != NULL ? (int)(pszSlot - pszFormat) : (int)strlen(pszFormat);
    int cch = 0;
    const int cchMax = MSGBOX_TEXT_SIZE - 1;
    AppendWide(pwszText, &cch, cchMax, CP_ACP, pszFormat, cbBefore);
    if (pszSlot != NULL) {
        AppendWide(pwszText, &cch, cchMax, CP_UTF8, pszPath, (int)strlen(pszPath));
        AppendWide(pwszText, &cch, cchMax, CP_ACP, pszSlot + 2, (int)strlen(pszSlot + 2));
    }
    // A cut never leaves half of a character that takes two UTF-16 units.
    if (cch == cchMax && IS_HIGH_SURROGATE(pwszText[cch - 1]))
        cch--;
    pwszText[cch] = L'\0';

    // The captions are plain ASCII.
    WCHAR wszCaption[16];
    MultiByteToWideChar(CP_ACP, 0, amkKinds[nKind].szCaption, -1, wszCaption, 16);
    wszCaption[15] = L'\0';
    int nResult = MessageBoxW(hwndOwner, pwszText, wszCaption, amkKinds[nKind].uStyle);
    free(pwszText);
    return nResult;
}
