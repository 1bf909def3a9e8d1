// IniFiles: reading and writing settings in the game client's text
// configuration file. A setting is a line "#key = value"; keys are matched
// without regard to ASCII case, every other line of the file is kept byte for
// byte. Each call opens the file, works on it and closes it again; nothing is
// cached between calls. The section argument exists for symmetry with the
// Windows profile functions and is never read (the file has no sections).
// File names are UTF-8 on Windows (IniFileStore.h).
#ifndef QW_INIFILES_H
#define QW_INIFILES_H

// A key is 1 to 253 bytes without blanks (0x20 or less) and without "="; any
// other key is refused by both operations (false, nothing touched). Bytes
// 0x80 to 0xFF are ordinary bytes everywhere. A UTF-8 byte-order mark at the
// start of the file is skipped by the reader and kept by the writer.

// Finds the first setting line of pszKey that has an "=" and copies its value
// (at most nSize - 1 bytes, always terminated; nothing when nSize < 1) into
// pszResult. Returns false, leaving pszResult untouched, when the file cannot
// be read or has no such line.
bool IniFile_GetString(const char *pszFile, const char *pszSection, const char *pszKey,
                       char *pszResult, int nSize);

// Sets pszKey to pszValue, of which only the part before its first control
// byte (below 0x20) is written: replaces every setting line of the key, or
// appends one. The same as IniFile_PutStrings with one change.
//
// How a save puts the new content in place (IniFileStore.h has the details):
// usually through a temporary file beside the file that replaces it in one
// step, keeping its permissions, owner and attributes; a crash leaves the old
// or the new content, never a mix. Where the folder refuses new files or their
// replace, or the file has a second hard link, the file is rewritten in place:
// a failure is undone before false is returned, but a crash during the
// rewrite can leave a mix, and an undo that fails too is reported
// (INISAVE_DAMAGED). A file that is read-only, locked, unreadable or no
// regular file, a full disk and an I/O error give false with the file as it
// was. Right before the file is replaced, the save makes sure that it still
// holds the bytes that were read; when another program changed it meanwhile,
// the changes are applied again to what that program wrote (its lines are
// kept), a few times at most.
bool IniFile_PutString(const char *pszFile, const char *pszSection, const char *pszKey,
                       const char *pszValue);

// Results of reading a file whole.
enum {
    INIFILE_OK,         // read whole
    INIFILE_MISSING,    // there is no file of that name
    INIFILE_LOCKED,     // another program holds it open without sharing (Windows)
    INIFILE_DENIED,     // no permission to read it
    INIFILE_NOT_FILE,   // a folder, device, pipe or anything else that is no regular file
    INIFILE_FAILED,     // any other failure: an I/O error, no memory, a name too long
    INIFILE_NOT_RESTORED // (Windows) missing, and the copy that a save which never ended
                         // left beside it could not be put back under its name
};

// A file read once for many lookups; free it with IniFile_FreeSnapshot.
struct _INISNAPSHOT;

// Reads pszFile whole, once, and stores one of the INIFILE_ results in
// *pnResult (when pnResult is not null). Gives the snapshot, an empty one for a
// missing file, or NULL when the file exists but cannot be read.
_INISNAPSHOT *IniFile_ReadSnapshot(const char *pszFile, int *pnResult);
void IniFile_FreeSnapshot(_INISNAPSHOT *pSnapshot);

// True when a copy of the file's earlier content lies beside pszFile that a
// save set aside and that no running save holds (Windows: a save cut off
// after the file was made again, or a lone copy that the start does not put
// back): its name (no folder, UTF-8) goes to pszName, of nSize bytes. The
// editor never deletes such a copy; the player decides.
bool IniFile_FindLeftBackup(const char *pszFile, char *pszName, int nSize);

// True when the read of the snapshot put back the copy of a save that was
// cut off (Windows) because the file was missing: the copy's former name (no
// folder, UTF-8) goes to pszName, of nSize bytes.
bool IniFile_SnapshotRestored(const _INISNAPSHOT *pSnapshot, char *pszName, int nSize);

// Lookups in a snapshot: exactly the results of IniFile_GetString,
// IniFile_LoadString and IniFile_LoadInt on the file as it was read. A NULL
// snapshot has no keys.
bool IniFile_SnapshotGetString(const _INISNAPSHOT *pSnapshot, const char *pszKey,
                               char *pszResult, int nSize);
bool IniFile_SnapshotLoadString(const _INISNAPSHOT *pSnapshot, const char *pszKey,
                                const char *pszDefault, char *pszResult, int nSize);
int IniFile_SnapshotLoadInt(const _INISNAPSHOT *pSnapshot, const char *pszKey, int nDefault);

// One change of a batch save: a key and its new value.
struct _INISETTING {
    const char *pszKey;
    const char *pszValue;
};

// Applies nSettings changes in one rewrite of the file: the bytes are exactly
// those of the same IniFile_PutString calls made one after another, but the
// file is read once and replaced once. All or nothing: true only when the whole
// new content is durably in place; false (file as it was) when any key cannot
// be stored, any value is null, or the file cannot be read or written.
bool IniFile_PutStrings(const char *pszFile, const char *pszSection,
                        const _INISETTING *aSettings, int nSettings);

// How a save ended: IniFile_PutStringsEx gives one of these, and only
// INISAVE_OK means the new content is in place.
enum {
    INISAVE_OK,         // the new content is in place
    INISAVE_CHANGED,    // another program kept changing the file; it is as that program left it
    INISAVE_LOCKED,     // another program holds the file open (the game, for example)
    INISAVE_READ_ONLY,  // the file is marked read-only
    INISAVE_DENIED,     // no permission to write the file (or its folder)
    INISAVE_FULL,       // the disk is full
    INISAVE_IO,         // a disk error
    INISAVE_DAMAGED,    // the save failed half-way and could not be undone: the file may hold
                        // a mix, or (Windows) be missing, its last content kept as
                        // "<file>.qwconfig-<pid>-<n>.bak", which the next read puts back
    INISAVE_SET_ASIDE,  // (Windows) the new content is in place, but another program's file
                        // that replaced the file at the same moment could not be put back:
                        // it lies beside it as "<file>.qwconfig-<pid>-<n>.bak"
    INISAVE_FAILED      // anything else: a key that cannot be stored, a name too long, no memory
};

// IniFile_PutStrings with the reason of a failure: gives an INISAVE_ result.
// INISAVE_CHANGED comes after five tries, each of which found the file
// changed by another program between its read and its replace.
int IniFile_PutStringsEx(const char *pszFile, const char *pszSection,
                         const _INISETTING *aSettings, int nSettings);

// Typed accessors built on the two operations above. The loaders give the
// default for a missing key and, for numbers, for a value that does not begin
// with a number; at most 31 bytes of a number are read. LoadString cuts a long
// default to nSize - 1 bytes and zeroes the rest of the buffer. The savers
// format with the caller's format, or "%d" / "%f" when it is null or empty.
#define INIFILE_NUMBER_TEXT 32   // the loaders' buffer for a number's text
bool IniFile_LoadString(const char *pszFile, const char *pszSection, const char *pszKey,
                        const char *pszDefault, char *pszResult, int nSize);
int IniFile_LoadInt(const char *pszFile, const char *pszSection, const char *pszKey,
                    int nDefault);
float IniFile_LoadFloat(const char *pszFile, const char *pszSection, const char *pszKey,
                        float fDefault);
bool IniFile_SaveString(const char *pszFile, const char *pszSection, const char *pszKey,
                        const char *pszValue);
bool IniFile_SaveInt(const char *pszFile, const char *pszSection, const char *pszKey,
                     int nValue, const char *pszFormat);
bool IniFile_SaveFloat(const char *pszFile, const char *pszSection, const char *pszKey,
                       float fValue, const char *pszFormat);

#endif
