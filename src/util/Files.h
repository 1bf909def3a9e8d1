// Files: the system's open and save dialogs and small file-name helpers.
#ifndef QW_FILES_H
#define QW_FILES_H

#include <windows.h>

enum {
    FILENAME_OPEN = 1,   // the open dialog
    FILENAME_SAVE = 2    // the save dialog
};

// Lets the player pick a file. pszFile (at least MAX_PATH bytes) holds the
// initial name and receives the chosen path in the ANSI code page, only when
// the player confirmed one that it names exactly (by the file's own name or
// its short name); pszTitle is shorter than 128 bytes. An initial name that
// the dialog refuses is left out of it, with the initial folder; a chosen
// path that the code page cannot spell, or of 260 bytes or more, is refused
// with an "Error" box. Returns true when the player confirmed a name that is
// now in pszFile. Any nMode other than FILENAME_OPEN or FILENAME_SAVE shows
// nothing and returns false.
bool GetFileName(char *pszFile, char *pszInitialDir, char *pszFilter, short nMode,
                 char *pszTitle);

// True when the file can be opened for reading (a folder gives false).
bool FileExists(const char *pszPath);

// As FileExists, for a path composed from a printf-style format (cut to 259
// characters).
bool FileExistsF(const char *pszFormat, ...);

// Removes one trailing backslash from pszPath, in place (a double-byte
// character whose second byte is 0x5C stays whole).
void RemoveEndingSlash(char *pszPath);

// Results of SpellInAnsi.
enum {
    SPELL_OK,          // spelled exactly
    SPELL_NOT_ANSI,    // a character has no spelling of its own in the code page
    SPELL_TOO_LONG     // the spelling does not fit
};

// Spells pwszText in the ANSI code page, the form the game reads, into pszAnsi
// (cbAnsi bytes, terminator included), only when that spelling reads back as
// the very same text: no best fit ("L" for the Polish L with a stroke), no "?".
// pszAnsi is left alone unless the result is SPELL_OK.
int SpellInAnsi(const WCHAR *pwszText, char *pszAnsi, int cbAnsi);

// The unit in which the ANSI code page's text is counted for the player:
// "characters" where every character takes one byte, else "bytes" with a
// word on which characters take more.
const char *AnsiLengthUnit();

#endif
