// IniFiles: the loader of floating-point numbers, in a file of its own so that
// a program that reads none does not carry the C runtime's float parser.
#include "IniFiles.h"

#include <stdlib.h>

float IniFile_LoadFloat(const char *pszFile, const char *pszSection, const char *pszKey,
                        float fDefault)
{
    char szText[INIFILE_NUMBER_TEXT];
    if (!IniFile_GetString(pszFile, pszSection, pszKey, szText, sizeof(szText)))
        return fDefault;
    char *pszEnd;
    float fValue = strtof(szText, &pszEnd);
    return pszEnd == szText ? fDefault : fValue;
}
