// What both stress programs share: the starting file, the count of the
// additions lost, and the report of a run's figures.
#ifndef QW_STRESSREPORT_H
#define QW_STRESSREPORT_H

#include "EditorSettings.h"
#include "IniFiles.h"

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

// Writes the starting file: the editor's settings and about cbFiller bytes of others.
inline void MakeStressFile(const std::string &sFile, size_t cbFiller)
{
    std::string s;
    for (int i = 0; i < nEditor; i++)
        s += "#" + std::string(aEditor[i].pszKey) + " = " + aEditor[i].pszValue + "\r\n";
    for (int n = 0; s.size() < cbFiller; n++)
        s += "#setting_" + std::to_string(n) + " = value " + std::to_string(n * 7) + "\r\n";
    FILE *pf = fopen(sFile.c_str(), "wb");
    if (!pf || fwrite(s.data(), 1, s.size(), pf) != s.size() || fclose(pf) != 0)
        abort();
}

// The game's side: nAdditions settings of its own, one save each, as
// IniFile_PutString makes it, pfnPause(300) after each; counts the results
// in anAdded and keeps the keys of those reported saved in asAdded.
inline void AddSettings(const std::string &sFile, int nAdditions, void (*pfnPause)(long),
                        std::vector<std::string> &asAdded, int *anAdded)
{
    for (int n = 0; n < nAdditions; n++) {
        std::string sKey = "addition_" + std::to_string(n);
        const _INISETTING setting = {sKey.c_str(), "1"};
        int nResult = IniFile_PutStringsEx(sFile.c_str(), nullptr, &setting, 1);
        if (nResult == INISAVE_OK)
            asAdded.push_back(sKey);
        if (nResult >= 0 && nResult <= INISAVE_FAILED)
            anAdded[nResult]++;
        pfnPause(300);
    }
}

// Prints the figures of a run: nAdditions additions tried, their results
// counted in anAdded and the keys of those reported saved in asAdded; the
// editor's saves counted in anSaves (both by INISAVE_ result). True when at
// most 1 % of the additions reported saved are missing from the file and at
// most 1 % of all saves failed; with fNoneLost, when none is missing (failed
// saves, which the player is told of, are only counted).
inline bool ReportStress(const std::string &sFile, int nAdditions, const int *anAdded,
                         const std::vector<std::string> &asAdded, const int *anSaves,
                         bool fNoneLost = false)
{
    int nMissing = 0, nSaves = 0;
    char szValue[8];
    for (const std::string &sKey : asAdded) {
        if (!IniFile_GetString(sFile.c_str(), nullptr, sKey.c_str(), szValue, sizeof(szValue)))
            nMissing++;
    }
    for (int n = 0; n <= INISAVE_FAILED; n++)
        nSaves += anSaves[n];
    int nAddedFailed = nAdditions - (int)asAdded.size(), nSavesFailed = nSaves - anSaves[INISAVE_OK];
    printf("additions: %d tried, %zu returned true; false: %d changed, %d other\n", nAdditions,
           asAdded.size(), anAdded[INISAVE_CHANGED], nAddedFailed - anAdded[INISAVE_CHANGED]);
    printf("missing from the final file: %d of %zu (%.2f%%)\n", nMissing, asAdded.size(),
           asAdded.empty() ? 0.0 : 100.0 * nMissing / (double)asAdded.size());
    printf("editor saves: %d, of which ok %d, changed %d, other failures %d\n", nSaves,
           anSaves[INISAVE_OK], anSaves[INISAVE_CHANGED], nSavesFailed - anSaves[INISAVE_CHANGED]);
    printf("failed saves of both: %d of %d (%.2f%%)\n", nAddedFailed + nSavesFailed, nAdditions + nSaves,
           100.0 * (nAddedFailed + nSavesFailed) / (double)(nAdditions + nSaves));
    if (fNoneLost)
        return !asAdded.empty() && nMissing == 0;
    return !asAdded.empty() && nMissing * 100 <= (int)asAdded.size() &&
           (nAddedFailed + nSavesFailed) * 100 <= nAdditions + nSaves;
}

#endif
