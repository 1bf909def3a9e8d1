// IniFiles: reading and writing settings in the game client's text
// configuration file. A setting is a line "#key = value"; keys are matched
// without regard to ASCII case, every other line of the file is kept byte for
// byte. Each call opens the file, works on it and closes it again; nothing is
// cached between calls. The section argument exists for symmetry with the
// Windows profile functions and is never read (the file has no sections).
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
// appends one. The new content goes to a temporary file beside the file,
// which then replaces it in one step. A file that exists but cannot be read,
// a read-only file and any failed step leave the file exactly as it was, and
// the result is false.
bool IniFile_PutString(const char *pszFile, const char *pszSection, const char *pszKey,
                       const char *pszValue);

// Typed accessors built on the two operations above. The loaders give the
// default for a missing key and, for numbers, for a value that does not begin
// with a number; at most 31 bytes of a number are read. LoadString cuts a long
// default to nSize - 1 bytes and zeroes the rest of the buffer. The savers
// format with the caller's format, or "%d" / "%f" when it is null or empty.
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
