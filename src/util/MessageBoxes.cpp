// MessageBoxes: every message the program puts in front of the player.
#include "MessageBoxes.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

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
