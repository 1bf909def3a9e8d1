// IniFileStore, the part shared by both platforms: the names of the temporary
// files that stand in for a file while it is replaced.
#include "IniFileStore.h"

#include <stdio.h>
#include <string.h>

bool IniStore_TempName(char *pszTemp, size_t cchTemp, const char *pszFile, unsigned long uProcess,
                       unsigned n)
{
    int cch = snprintf(pszTemp, cchTemp, "%s.%lu-%u.tmp", pszFile, uProcess, n);
    return cch > 0 && (size_t)cch < cchTemp;
}

unsigned long IniStore_TempNameProcess(const char *pszName, const char *pszBase)
{
    size_t cchBase = strlen(pszBase);
    if (strncmp(pszName, pszBase, cchBase) != 0 || pszName[cchBase] != '.')
        return 0;
    // At most nine digits each, so that the number cannot overflow.
    const char *p = pszName + cchBase + 1;
    unsigned long uProcess = 0;
    int cDigits = 0;
    for (; *p >= '0' && *p <= '9' && cDigits < 9; p++, cDigits++)
        uProcess = uProcess * 10 + (unsigned long)(*p - '0');
    if (cDigits == 0 || *p++ != '-')
        return 0;
    for (cDigits = 0; *p >= '0' && *p <= '9' && cDigits < 9; p++)
        cDigits++;
    return cDigits > 0 && strcmp(p, ".tmp") == 0 ? uProcess : 0;
}
