// MessageBoxes: every message the program puts in front of the player. The kind
// fixes caption, icon and buttons; callers choose only the kind and the text.
#ifndef QW_MESSAGEBOXES_H
#define QW_MESSAGEBOXES_H

#include <windows.h>

enum {
    MSGBOX_INFORMATION = 0,   // "Information", OK
    MSGBOX_WARNING = 1,       // "Warning", OK
    MSGBOX_ERROR = 2,         // "Error", OK
    MSGBOX_CONFIRMATION = 3   // "Confirmation", Yes and No
};

// Shows pszText in a modal box of the given kind owned by hwndOwner and returns
// the button pressed (IDOK, IDYES, IDNO), or 0 when nothing was shown (also for
// a kind outside 0 to 3).
int DisplayMessageBox(HWND hwndOwner, short nKind, const char *pszText);

// As DisplayMessageBox, with the text composed from a printf-style format; the
// text is cut to 1023 characters.
int DisplayMessageBoxF(HWND hwndOwner, short nKind, const char *pszFormat, ...);

// As DisplayMessageBox, with the one "%s" of pszFormat (the program's own
// text, in the ANSI code page, with no other conversion) standing for pszPath,
// a path in UTF-8: the box shows the path as the player sees it, whatever its
// characters. The text is cut to 1023 characters.
int DisplayMessageBoxPath(HWND hwndOwner, short nKind, const char *pszFormat,
                          const char *pszPath);

#endif
