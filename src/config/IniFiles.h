// IniFiles: reading and writing settings in the game client's text
// configuration file. A setting is a line "#key = value"; keys are matched
// without regard to ASCII case, every other line of the file is kept byte for
// byte. Each call opens the file, works on it and closes it again; nothing is
// cached between calls. The section argument exists for symmetry with the
// Windows profile functions and is never read (the file has no sections).
#ifndef QW_INIFILES_H
#define QW_INIFILES_H

// Finds the first setting line of pszKey that has an "=" and copies its value
// (at most nSize - 1 bytes, always terminated) into pszResult. Returns false,
// leaving pszResult untouched, when the file cannot be read or has no such line.
bool IniFile_GetString(const char *pszFile, const char *pszSection, const char *pszKey,
                       char *pszResult, int nSize);

// Sets pszKey to pszValue: replaces every setting line of the key, or appends
// one. The file is replaced in one step; on any failure it is left exactly as
// it was and the result is false.
bool IniFile_PutString(const char *pszFile, const char *pszSection, const char *pszKey,
                       const char *pszValue);

// Typed accessors built on the two operations above.
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
