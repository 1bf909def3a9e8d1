// Stress of the Windows file store, the twin of stress_inifiles: in one
// process, a "game" thread adds a setting of its own every 300 us (2,000
// additions by default, each through IniFile_PutStringsEx as IniFile_PutString
// makes it), while an "editor" thread saves the editor's fourteen settings in
// a loop. At the end it prints how many of the additions reported saved are
// missing from the file, how many saves of either thread failed, and whether
// any file but qw.ini is left in the folder. Exit code 1 when more than 1 % of
// the additions are lost, more than 1 % of the saves fail, or a file is left.
//     wine build/win64/tests/config/stress_inifiles_win32.exe [ADDITIONS] [FILLER_BYTES]
#include "EditorSettings.h"
#include "IniFiles.h"

#include <windows.h>

#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

const char *const STRESS_DIR = "stress_inifiles.work";

// What the editor thread counts.
struct _EDITOR {
    const std::string *psFile;
    volatile LONG fStop;
    int anResults[INISAVE_FAILED + 1];
};

// Writes the starting file: the editor's settings and about cbFiller bytes of others.
void MakeFile(const std::string &sFile, size_t cbFiller)
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

// The editor thread: the editor's batch again and again until told to stop.
DWORD WINAPI SaveLoop(LPVOID pvEditor)
{
    _EDITOR *pEditor = (_EDITOR *)pvEditor;
    while (!pEditor->fStop) {
        int nResult = IniFile_PutStringsEx(pEditor->psFile->c_str(), nullptr, aEditor, nEditor);
        if (nResult >= 0 && nResult <= INISAVE_FAILED)
            pEditor->anResults[nResult]++;
    }
    return 0;
}

// Waits about nMicro microseconds, giving the processor away meanwhile.
void Pause(long nMicro)
{
    LARGE_INTEGER liFreq, liStart, liNow;
    QueryPerformanceFrequency(&liFreq);
    QueryPerformanceCounter(&liStart);
    do {
        SwitchToThread();
        QueryPerformanceCounter(&liNow);
    } while ((liNow.QuadPart - liStart.QuadPart) * 1000000 / liFreq.QuadPart < nMicro);
}

// The number of files in the folder besides qw.ini.
int OtherFiles()
{
    WIN32_FIND_DATAA fd;
    HANDLE hFind = FindFirstFileA((std::string(STRESS_DIR) + "\\*").c_str(), &fd);
    int cOthers = 0;
    if (hFind == INVALID_HANDLE_VALUE)
        return 0;
    do {
        std::string sName = fd.cFileName;
        if (sName != "." && sName != ".." && sName != "qw.ini") {
            printf("left in the folder: %s\n", fd.cFileName);
            cOthers++;
        }
    } while (FindNextFileA(hFind, &fd));
    FindClose(hFind);
    return cOthers;
}

} // namespace

int main(int argc, char **argv)
{
    int nAdditions = argc > 1 ? atoi(argv[1]) : 2000;
    size_t cbFiller = argc > 2 ? (size_t)atol(argv[2]) : 4096;
    CreateDirectoryA(STRESS_DIR, NULL);
    const std::string sFile = std::string(STRESS_DIR) + "\\qw.ini";
    MakeFile(sFile, cbFiller);

    static _EDITOR editor;
    editor.psFile = &sFile;
    HANDLE hEditor = CreateThread(NULL, 0, SaveLoop, &editor, 0, NULL);
    if (!hEditor)
        return 2;

    std::vector<std::string> asAdded;
    int anAdded[INISAVE_FAILED + 1] = {0};
    DWORD dwStart = GetTickCount();
    for (int n = 0; n < nAdditions; n++) {
        std::string sKey = "addition_" + std::to_string(n);
        const _INISETTING setting = {sKey.c_str(), "1"};
        int nResult = IniFile_PutStringsEx(sFile.c_str(), nullptr, &setting, 1);
        if (nResult == INISAVE_OK)
            asAdded.push_back(sKey);
        if (nResult >= 0 && nResult <= INISAVE_FAILED)
            anAdded[nResult]++;
        Pause(300);
    }
    InterlockedExchange(&editor.fStop, 1);
    WaitForSingleObject(hEditor, INFINITE);
    CloseHandle(hEditor);
    DWORD dwTime = GetTickCount() - dwStart;

    int nMissing = 0;
    char szValue[8];
    for (const std::string &sKey : asAdded) {
        if (!IniFile_GetString(sFile.c_str(), nullptr, sKey.c_str(), szValue, sizeof(szValue)))
            nMissing++;
    }
    int nSaves = 0;
    for (int n : editor.anResults)
        nSaves += n;
    int nEditorFailed = nSaves - editor.anResults[INISAVE_OK];
    int nAddedFailed = nAdditions - (int)asAdded.size();
    printf("%lu ms\n", (unsigned long)dwTime);
    printf("additions: %d tried, %zu returned true; false: %d changed, %d other\n", nAdditions,
           asAdded.size(), anAdded[INISAVE_CHANGED], nAddedFailed - anAdded[INISAVE_CHANGED]);
    printf("missing from the final file: %d of %zu (%.2f%%)\n", nMissing, asAdded.size(),
           asAdded.empty() ? 0.0 : 100.0 * nMissing / (double)asAdded.size());
    printf("editor saves: %d, of which ok %d, changed %d, other failures %d\n", nSaves,
           editor.anResults[INISAVE_OK], editor.anResults[INISAVE_CHANGED],
           nEditorFailed - editor.anResults[INISAVE_CHANGED]);
    printf("failed saves of both: %d of %d (%.2f%%)\n", nEditorFailed + nAddedFailed, nSaves + nAdditions,
           100.0 * (nEditorFailed + nAddedFailed) / (double)(nSaves + nAdditions));
    int cLeft = OtherFiles();
    bool fMet = nMissing * 100 <= (int)asAdded.size() && (nEditorFailed + nAddedFailed) * 100 <= nSaves + nAdditions &&
                cLeft == 0 && !asAdded.empty();
    DeleteFileA(sFile.c_str());
    RemoveDirectoryA(STRESS_DIR);
    return fMet ? 0 : 1;
}
